#pragma once
// The reader of Photoshop documents: the composite image, nothing of layers or resources.
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "formats/psd/psd_format.h"
#include "imaging/tbitmap.h"
#include "platform/limits.h"
#include "platform/status.h"

namespace tolvane {

// PackBits as PSD rows use it: a signed header byte h, then h + 1 literal bytes (h >= 0) or
// one byte repeated 1 - h times (h < 0); -128 is a no-op.
class TPackbitsRLE {
 public:
  // Decodes input into output and returns the bytes written. Never writes past output: a run
  // that would overflow it is cut, and decoding stops there.
  std::size_t Decode(std::span<const std::uint8_t> input, std::span<std::uint8_t> output) const;
};

// A TBitmap that loads itself from a PSD file: 1-bit for Bitmap documents, 8-bit with a palette
// for Grayscale, Duotone and Indexed, 24-bit for RGB, CMYK and Lab.
class TPSDGraphic : public TBitmap {
 public:
  // Replaces the picture with the composite image of the document in data. On failure the
  // picture is left as it was and the status carries the reason (kPsdInvalidFileText for a
  // wrong signature).
  Status LoadFromStream(std::span<const std::uint8_t> data, std::uint64_t max_pixels = kMaxPixels);
  // Reads the file and calls LoadFromStream. Hides TBitmap's BMP reader on purpose.
  Status LoadFromFile(const std::string& path);

  // 256 red values, then 256 green, then 256 blue: filled by Indexed documents, zero otherwise.
  const std::array<std::uint8_t, psd::kColourTableSize>& ColourTable() const {
    return colour_table_;
  }

 private:
  std::array<std::uint8_t, psd::kColourTableSize> colour_table_{};
};

}  // namespace tolvane
