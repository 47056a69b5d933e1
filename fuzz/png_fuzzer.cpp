// Feeds arbitrary bytes to the PNG decoder. Whatever it accepts must survive our own writer:
// the written file decodes again to the same size, depth and colours.
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "formats/png/png_codec.h"
#include "fuzz_support.h"

namespace {

constexpr std::uint64_t kFuzzMaxPixels = std::uint64_t{1} << 22;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  tolvane::TBitmap image;
  if (!tolvane::DecodePng(std::span<const std::uint8_t>(data, size), image, kFuzzMaxPixels)) {
    if (!image.Empty()) std::abort();
    return 0;
  }
  std::vector<std::uint8_t> encoded;
  if (!tolvane::EncodePng(image, {}, encoded)) std::abort();
  // A transparent colour mark writes a tRNS chunk, which whitens pixels on the way back in.
  if (image.Transparent()) return 0;
  tolvane::TBitmap again;
  if (!tolvane::DecodePng(encoded, again) || again.BitsPerPixel() != image.BitsPerPixel() ||
      !tolvane::fuzz::SameColours(image, again))
    std::abort();
  return 0;
}
