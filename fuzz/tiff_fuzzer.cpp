// Feeds arbitrary bytes to the TIFF reader. Whatever it accepts must survive our writer: the
// written file must read back to the same size and pixels.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "formats/tiff/TIFFBMP.h"
#include "fuzz_support.h"
#include "platform/message_sink.h"

namespace {

class SilentSink final : public tolvane::MessageSink {
 public:
  void Message(const std::string&, const std::string&) override {}
  void Beep() override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static SilentSink sink;
  tolvane::SetMessageSink(&sink);
  tolvane::TTIFFBitMap image;
  if (!image.LoadFromTiffBytes(std::span<const std::uint8_t>(data, size))) return 0;
  if (image.Empty() || image.Width() > 65535 || image.Height() > 65535) std::abort();
  // The pixel-by-pixel comparison is slow on huge images; round-trip only modest ones.
  if (std::uint64_t(image.Width()) * std::uint64_t(image.Height()) > (1u << 20)) return 0;
  tolvane::TTIFFBitMap again;
  if (!again.LoadFromTiffBytes(image.SaveToTiffBytes(0))) std::abort();
  if (again.BitsPerPixel() != 24 || !tolvane::fuzz::SameColours(image, again)) std::abort();
  return 0;
}
