#pragma once
// Photoshop documents (".psd"): the composite image that the file stores after its layers,
// decoded by our own reader (TPSDGraphic in PSDUnit.h).
//   DecodePsd      colour modes Bitmap (1 bit, white/black palette), Grayscale and Duotone
//                  (8-bit grey ramp), Indexed (8 bits, the file's colour table), RGB, CMYK and
//                  Lab (24 bits, Lab converted to sRGB); depths 1, 8 and 16 (16-bit samples
//                  reduced to their high byte, except CMYK which works on the full samples);
//                  raw, PackBits and ZIP data with or without prediction. Version 2 (large
//                  documents), 32-bit samples, Multichannel and unlisted modes are refused.
//   DecodePsdFile  the same for a file on disk
// A wrong signature fails with kPsdInvalidFileText, the reader's message in the system's 8-bit
// code page (Windows-1251); other failures say in English what is wrong with the file.
#include <cstdint>
#include <span>
#include <string>

#include "imaging/tbitmap.h"
#include "platform/limits.h"
#include "platform/status.h"

namespace tolvane {

// "Неверный файл" ("invalid file") in Windows-1251.
inline constexpr char kPsdInvalidFileText[] = "\xCD\xE5\xE2\xE5\xF0\xED\xFB\xE9 \xF4\xE0\xE9\xEB";

// On failure the image is left as it was.
Status DecodePsd(std::span<const std::uint8_t> file, TBitmap& image,
                 std::uint64_t max_pixels = kMaxPixels);
Status DecodePsdFile(const std::string& path, TBitmap& image);

}  // namespace tolvane
