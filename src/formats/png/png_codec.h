#pragma once
// PNG files through libpng, zlib, libdeflate (writing) and ISA-L (reading 8-bit image data):
//   DecodePng  every colour type, bit depth and interlacing. Files at 1, 2, 4 bits and 8-bit
//              palette files keep their own colours or grey levels as a 1-, 4- (2-bit files
//              too) or 8-bit palette image; partial transparency is blended over white into
//              24 bits; a single transparent colour leaves its pixels white and becomes the
//              image's transparent colour mark; 16-bit samples are reduced to 8
//   EncodePng  truecolour 8-bit for 16/24/32-bit images, palette images at their own depth,
//              Sub filter on every row, IDAT chunks of at most 65535 bytes, and only the chunks
//              IHDR, PLTE, tRNS, IDAT, IEND
#include <cstdint>
#include <span>
#include <vector>

#include "imaging/tbitmap.h"
#include "platform/limits.h"
#include "platform/status.h"

namespace tolvane {

// On failure the image is left as it was.
Status DecodePng(std::span<const std::uint8_t> file, TBitmap& image,
                 std::uint64_t max_pixels = kMaxPixels);

struct PngWriteOptions {
  int compression_level = 6;  // zlib-like level 0..9; 0 writes stored blocks
  // The bottom-left pixel's colour becomes transparent (replacing the image's own mark).
  bool transparent_bottom_left = false;
};

// Fails for an empty image.
Status EncodePng(const TBitmap& image, const PngWriteOptions& options,
                 std::vector<std::uint8_t>& out);

}  // namespace tolvane
