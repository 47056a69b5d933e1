// Feeds arbitrary bytes to the GIF decoder. Whatever it accepts must survive our own writer:
// the written file decodes again to the same size and colours.
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "formats/gif/gif_codec.h"
#include "fuzz_support.h"

namespace {

constexpr std::uint64_t kFuzzMaxPixels = std::uint64_t{1} << 22;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  tolvane::TBitmap image;
  if (!tolvane::DecodeGif(std::span<const std::uint8_t>(data, size), image, kFuzzMaxPixels)) {
    if (!image.Empty()) std::abort();
    return 0;
  }
  if (image.BitsPerPixel() != 8) std::abort();
  std::vector<std::uint8_t> encoded;
  if (!tolvane::EncodeGif(image, encoded)) std::abort();
  tolvane::TBitmap again;
  if (!tolvane::DecodeGif(encoded, again) || !tolvane::fuzz::SameColours(image, again))
    std::abort();
  return 0;
}
