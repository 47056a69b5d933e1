// Feeds arbitrary bytes to the BMP reader. Whatever it accepts must also survive the writer:
// the saved file must load again to the same size, format and pixels, both unchanged and
// after conversion to 24 bits.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "fuzz_support.h"
#include "imaging/tbitmap.h"

namespace {

// Aborts (a finding for the fuzzer) unless `image` survives a save and a reload.
void CheckRoundTrip(const tolvane::TBitmap& image) {
  tolvane::TBitmap again;
  if (!again.LoadFromBytes(image.SaveToBytes())) std::abort();
  if (again.BitsPerPixel() != image.BitsPerPixel() || !tolvane::fuzz::SameColours(image, again))
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  tolvane::TBitmap image;
  if (!image.LoadFromBytes(std::span<const std::uint8_t>(data, size))) {
    if (!image.Empty()) std::abort();  // a failed load must leave the image untouched
    return 0;
  }
  // The pixel-by-pixel comparison is slow on huge images; round-trip only modest ones.
  if (std::uint64_t(image.Width()) * std::uint64_t(image.Height()) > (1u << 20)) return 0;
  CheckRoundTrip(image);
  image.SetPixelFormat(24);
  CheckRoundTrip(image);
  return 0;
}
