// Feeds arbitrary bytes to the metafile player. A refused file must leave the image empty with
// a message; an accepted one must be a 24-bit picture within the pixel limit.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "formats/metafile/metafile.h"

// fontconfig, loaded by cairo for text, keeps a few font patterns for the life of the process
// and drops its pointers to them; LeakSanitizer would report them at every exit.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

namespace {

// Keeps each input fast: the limits are checked the same way at any size.
constexpr std::uint64_t kFuzzMaxPixels = std::uint64_t{1} << 22;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  tolvane::TBitmap image;
  const tolvane::Status status =
      tolvane::DecodeMetafile(std::span<const std::uint8_t>(data, size), image, kFuzzMaxPixels);
  if (!status.ok()) {
    if (!image.Empty() || status.message().empty()) std::abort();
    return 0;
  }
  if (image.Empty() || image.BitsPerPixel() != 24) std::abort();
  if (std::uint64_t(image.Width()) * std::uint64_t(image.Height()) > kFuzzMaxPixels) std::abort();
  return 0;
}
