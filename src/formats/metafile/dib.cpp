#include "formats/metafile/dib.h"

#include <cstdlib>
#include <vector>

#include "platform/byte_reader.h"

namespace tolvane::metafile {
namespace {

constexpr std::uint32_t kCoreHeaderSize = 12;
constexpr std::uint32_t kInfoHeaderSize = 40;

struct DibShape {
  std::uint32_t header_size = 0;
  std::int64_t width = 0, height = 0;
  std::uint32_t bpp = 0, compression = 0, colours_used = 0;
};

std::optional<DibShape> ReadShape(std::span<const std::uint8_t> info) {
  ByteReader r(info);
  DibShape s;
  s.header_size = r.u32le();
  if (s.header_size == kCoreHeaderSize) {
    s.width = r.u16le();
    s.height = r.u16le();
    r.u16le();
    s.bpp = r.u16le();
  } else if (s.header_size >= kInfoHeaderSize && s.header_size <= info.size()) {
    s.width = r.i32le();
    s.height = r.i32le();
    r.u16le();
    s.bpp = r.u16le();
    s.compression = r.u32le();
    r.Skip(12);
    s.colours_used = r.u32le();
  } else {
    return std::nullopt;
  }
  if (!r.ok()) return std::nullopt;
  return s;
}

// Bytes of the colour table (and of the masks that follow a plain info header).
std::uint64_t TableBytes(const DibShape& s) {
  if (s.header_size == kCoreHeaderSize) return s.bpp <= 8 ? 3ull << s.bpp : 0;
  std::uint64_t colours = s.colours_used;
  if (colours == 0 && s.bpp <= 8) colours = 1ull << s.bpp;
  std::uint64_t masks = 0;
  if (s.header_size == kInfoHeaderSize && s.compression == 3) masks = 12;
  if (s.header_size == kInfoHeaderSize && s.compression == 6) masks = 16;
  return std::min<std::uint64_t>(colours, 1u << 16) * 4 + masks;
}

void PutU32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

}  // namespace

std::optional<Dib> DecodeDib(std::span<const std::uint8_t> info, std::span<const std::uint8_t> bits,
                             std::uint64_t max_pixels) {
  const std::optional<DibShape> shape = ReadShape(info);
  if (!shape || shape->width <= 0 || shape->height == 0) return std::nullopt;
  const std::uint64_t w = std::uint64_t(shape->width);
  const std::uint64_t h = std::uint64_t(std::llabs(shape->height));
  if (w > max_pixels || h > max_pixels || w * h > max_pixels) return std::nullopt;
  // A BMP file in memory: the image reader already checks every header field and depth.
  std::vector<std::uint8_t> file = {'B', 'M'};
  const std::uint64_t offset = 14 + info.size();
  const std::uint64_t total = offset + bits.size();
  if (total > 0xFFFFFFFFu) return std::nullopt;
  PutU32(file, static_cast<std::uint32_t>(total));
  PutU32(file, 0);
  PutU32(file, static_cast<std::uint32_t>(offset));
  file.insert(file.end(), info.begin(), info.end());
  file.insert(file.end(), bits.begin(), bits.end());
  Dib dib;
  if (!dib.image.LoadFromBytes(file).ok() || dib.image.Empty()) return std::nullopt;
  dib.image.SetPixelFormat(24);
  dib.image.SetTransparent(false);
  dib.bottom_up = shape->height > 0;
  return dib;
}

std::optional<Dib> DecodePackedDib(std::span<const std::uint8_t> packed, std::uint64_t max_pixels) {
  const std::optional<DibShape> shape = ReadShape(packed);
  if (!shape) return std::nullopt;
  const std::uint64_t info_size = shape->header_size + TableBytes(*shape);
  if (info_size > packed.size()) return std::nullopt;
  return DecodeDib(packed.first(info_size), packed.subspan(info_size), max_pixels);
}

}  // namespace tolvane::metafile
