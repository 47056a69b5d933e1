#pragma once
// TTIFFBitMap: a TBitmap that loads itself from a TIFF file and saves itself as one.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "imaging/tbitmap.h"
#include "platform/status.h"

namespace tolvane {

namespace tiff {
class TIFD;
}

inline constexpr const char* kTiffReadFailedText = "Picture reading failed!";
inline constexpr const char* kTiffReadFailedCaption = "Error";
inline constexpr const char* kTiffWriteFailedText = "Picture Write Failed";

class TTIFFBitMap : public TBitmap {
 public:
  // An empty bitmap of 24 bits per pixel.
  TTIFFBitMap();

  // Replaces the contents with the first image of the file. A file that cannot be read beeps
  // and leaves a 1 x 1 bitmap; any other failure shows "Picture reading failed!" and leaves
  // what could be set up: the file's size and the rows stored before the failure. The status
  // says what went wrong either way.
  Status LoadFromTiffFile(const std::string& path);
  // The same for a file already in memory (no beep: there is nothing to open).
  Status LoadFromTiffBytes(std::span<const std::uint8_t> file);

  // Writes the bitmap as an uncompressed little-endian RGB file in the one fixed layout.
  // `compression` must be 0. Throws std::runtime_error with "Picture Write Failed" when the
  // file cannot be made or written.
  void SaveToTiffFile(const std::string& path, int compression) const;
  std::vector<std::uint8_t> SaveToTiffBytes(int compression) const;

 private:
  Status Decode(std::span<const std::uint8_t> file);
  Status ReadStrips(const tiff::TIFD& ifd, std::span<const std::uint8_t> file);
};

}  // namespace tolvane
