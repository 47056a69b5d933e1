#pragma once
// The EXIF text report of the window's EXIF panel and of a run. Each function returns the
// lines to append, in order; a line may itself hold CR LF (the long summary).
#include <string>
#include <vector>

#include "formats/exif/ExifData.h"

namespace tolvane {

// " ", the EXIF header line, "ErrStr = ..." and, with an EXIF segment, the byte order and
// one "caption = text" line per EXIF/GPS entry.
std::vector<std::string> ReportExifBlock(TimgData& holder);
// The maker-note entries under their own header.
std::vector<std::string> ReportMakerBlock(TimgData& holder);
// The full report of a selected JPEG: reads its metadata into the holder first.
std::vector<std::string> PreviewReport(TimgData& holder, const std::string& path);

}  // namespace tolvane
