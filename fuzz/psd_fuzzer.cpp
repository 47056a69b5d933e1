// Feeds arbitrary bytes to the PSD reader. A failed load must leave the image untouched; an
// accepted one must be a well-formed picture of a format the reader promises.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "formats/psd/psd.h"

namespace {

// Keeps each input fast: the reader's limits are checked the same way at any size.
constexpr std::uint64_t kFuzzMaxPixels = std::uint64_t{1} << 22;

bool WellFormed(const tolvane::TBitmap& image) {
  const int bpp = image.BitsPerPixel();
  const std::size_t palette = image.Palette().size();
  if (image.Empty()) return false;
  if (bpp == 1) return palette == 2;
  if (bpp == 8) return palette == 256;
  return bpp == 24 && image.PixelBytes().size() == image.Stride() * std::size_t(image.Height());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  tolvane::TBitmap image;
  const tolvane::Status status =
      tolvane::DecodePsd(std::span<const std::uint8_t>(data, size), image, kFuzzMaxPixels);
  if (!status.ok()) {
    if (!image.Empty() || status.message().empty()) std::abort();
    return 0;
  }
  if (!WellFormed(image)) std::abort();
  if (std::uint64_t(image.Width()) * std::uint64_t(image.Height()) > kFuzzMaxPixels) std::abort();
  return 0;
}
