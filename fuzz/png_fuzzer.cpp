// Feeds arbitrary bytes to the PNG decoder. Whatever it accepts must survive our own writer:
// the written file decodes again to the same size, depth and colours.
#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "formats/png/png_codec.h"
#include "fuzz_support.h"

namespace {

constexpr std::uint64_t kFuzzMaxPixels = std::uint64_t{1} << 22;

// The same bytes with every chunk's CRC made right: mutations seldom keep them, and without
// this they would hardly ever get past the first chunk into the image data.
std::vector<std::uint8_t> WithCrcsMended(const std::uint8_t* data, std::size_t size) {
  std::vector<std::uint8_t> file(data, data + size);
  for (std::size_t pos = 8; pos + 12 <= file.size();) {
    const std::uint32_t length = std::uint32_t(file[pos]) << 24 |
                                 std::uint32_t(file[pos + 1]) << 16 |
                                 std::uint32_t(file[pos + 2]) << 8 | file[pos + 3];
    if (length > file.size() - pos - 12) break;
    const std::size_t end = pos + 8 + length;
    const auto crc = std::uint32_t(crc32(0, file.data() + pos + 4, uInt(4 + length)));
    for (int i = 0; i < 4; ++i) file[end + std::size_t(i)] = std::uint8_t(crc >> (24 - 8 * i));
    pos = end + 4;
  }
  return file;
}

// Whatever decodes must survive our own writer and read back the same.
void CheckOne(std::span<const std::uint8_t> file) {
  tolvane::TBitmap image;
  if (!tolvane::DecodePng(file, image, kFuzzMaxPixels)) {
    if (!image.Empty()) std::abort();
    return;
  }
  std::vector<std::uint8_t> encoded;
  if (!tolvane::EncodePng(image, {}, encoded)) std::abort();
  // A transparent colour mark writes a tRNS chunk, which whitens pixels on the way back in.
  if (image.Transparent()) return;
  tolvane::TBitmap again;
  if (!tolvane::DecodePng(encoded, again) || again.BitsPerPixel() != image.BitsPerPixel() ||
      !tolvane::fuzz::SameColours(image, again))
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  CheckOne(std::span<const std::uint8_t>(data, size));
  CheckOne(WithCrcsMended(data, size));
  return 0;
}
