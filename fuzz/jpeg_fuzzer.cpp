// Feeds arbitrary bytes to the JPEG decoder. Whatever it accepts must encode again.
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "formats/jpeg/jpeg_codec.h"

namespace {
// Keeps each input fast; the decoder's own limit is far larger.
constexpr std::uint64_t kFuzzMaxPixels = std::uint64_t{1} << 22;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  tolvane::TBitmap image;
  if (!tolvane::DecodeJpeg(std::span<const std::uint8_t>(data, size), image, kFuzzMaxPixels)) {
    if (!image.Empty()) std::abort();  // a failed decode must leave the image untouched
    return 0;
  }
  if (image.Empty()) std::abort();
  std::vector<std::uint8_t> encoded;
  if (!tolvane::EncodeJpeg(image, 75, encoded) || encoded.empty()) std::abort();
  return 0;
}
