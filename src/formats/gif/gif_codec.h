#pragma once
// GIF files through giflib:
//   DecodeGif  the frame with index (number of frames) div 3, at its own size, 8 bits with its
//              own colour table (local, else global); the transparent index is not applied
//   EncodeGif  one frame of the image's size: palette images keep palette and indices, others
//              go to the 216-colour cube; an image with a transparent colour mark gets an
//              optimised table with one clear entry appended and is written as GIF89a
#include <cstdint>
#include <span>
#include <vector>

#include "imaging/tbitmap.h"
#include "platform/limits.h"
#include "platform/status.h"

namespace tolvane {

// On failure the image is left as it was.
Status DecodeGif(std::span<const std::uint8_t> file, TBitmap& image,
                 std::uint64_t max_pixels = kMaxPixels);

// Fails for an empty image and for sides beyond 65535 pixels.
Status EncodeGif(const TBitmap& image, std::vector<std::uint8_t>& out);

// The cube's level of one channel value: (v + 3) div 51, so 47 goes to 0, not to 51.
constexpr int CubeLevel(std::uint8_t v) { return (v + 3) / 51; }

}  // namespace tolvane
