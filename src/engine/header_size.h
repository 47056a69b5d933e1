#pragma once
#include <optional>
#include <string>

namespace tolvane {

struct PictureSize {
  int width = 0, height = 0;
};

// The picture size a source's header states, read without decoding: BMP, JPEG, PNG, GIF (the
// frame the decoder takes), PSD and TIFF (its first directory). Nothing for metafiles, whose size
// comes from playing them, and for a file that cannot be read or whose header makes no sense. The
// decoder may still refuse the file.
std::optional<PictureSize> HeaderSize(const std::string& path);

}  // namespace tolvane
