#pragma once
// JPEG files through libjpeg-turbo:
//   DecodeJpeg  full size, accurate integer IDCT, fancy upsampling, block smoothing; colour
//               files give 24-bit images, greyscale files 8-bit images quantised to 236 grey
//               levels (one pass, Floyd-Steinberg), CMYK and YCCK files are converted to RGB
//   EncodeJpeg  library defaults (YCbCr, 4:2:0) at a quality of 1..100, baseline, rows from
//               the top; the stream as the codec writes it, JFIF header included
#include <cstdint>
#include <span>
#include <vector>

#include "imaging/tbitmap.h"
#include "platform/limits.h"
#include "platform/status.h"

namespace tolvane {

// On failure the image is left as it was. max_pixels lets a caller (the fuzzer) refuse large
// images sooner than the general limit.
Status DecodeJpeg(std::span<const std::uint8_t> file, TBitmap& image,
                  std::uint64_t max_pixels = kMaxPixels);

// Fails for an empty image and for images beyond JPEG's 65500-pixel sides.
Status EncodeJpeg(const TBitmap& image, int quality, std::vector<std::uint8_t>& out);

}  // namespace tolvane
