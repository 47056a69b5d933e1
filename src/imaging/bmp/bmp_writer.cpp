// BMP writing. An image still equal to the file it was read from rewrites that file's own
// header, depth and row order; anything else gets a plain 40-byte header, bottom-up rows.
#include <cstdlib>
#include <limits>
#include <stdexcept>
#include <string>

#include "imaging/bmp/bmp_format.h"
#include "imaging/tbitmap.h"
#include "platform/byte_reader.h"
#include "platform/file_ops.h"

namespace tolvane::bmp {
namespace {

struct Layout {
  std::vector<std::uint8_t> header;  // info header, with masks that follow it
  std::vector<TRgb> table;
  bool core = false;
  bool top_down = false;
};

std::size_t ImageBytes(const TBitmap& image) {
  return image.Stride() * std::size_t(image.Height());
}

// The stored header may be reused only if it still describes the pixels exactly.
bool StoredHeaderFits(const TBitmap& image) {
  const BmpOrigin& origin = image.Origin();
  if (!origin.pristine || !origin.from_file || origin.info_header.size() < kCoreHeaderSize) {
    return false;
  }
  ByteReader r(origin.info_header);
  const std::uint32_t size = r.u32le();
  std::int64_t width = 0, height = 0;
  std::uint32_t bits = 0, compression = kRgb;
  if (size == kCoreHeaderSize) {
    width = r.u16le();
    height = r.u16le();
    r.Skip(2);
    bits = r.u16le();
  } else {
    width = r.i32le();
    height = r.i32le();
    r.Skip(2);
    bits = r.u16le();
    if (size > kOffsetCompression) compression = r.u32le();  // 16-byte headers stop before it
  }
  return r.ok() && (size == kCoreHeaderSize) == origin.os2 && width == image.Width() &&
         std::abs(height) == image.Height() && (height < 0) == origin.top_down &&
         int(bits) == image.BitsPerPixel() && (compression == kRgb || compression == kBitFields);
}

// Palette images always carry a full table in core files; elsewhere the palette as held, or a
// black table when an indexed image has none.
std::vector<TRgb> TableFor(const TBitmap& image, bool core) {
  std::vector<TRgb> table = image.Palette();
  const int bits = image.BitsPerPixel();
  if (bits > 8) return core ? std::vector<TRgb>{} : table;
  const std::size_t full = std::size_t{1} << bits;
  if (table.size() > full || core || table.empty()) table.resize(full);
  return table;
}

void PatchStoredHeader(const TBitmap& image, Layout& layout) {
  auto& header = layout.header;
  if (layout.core) return;
  // Only fields wholly inside the header's declared size are its own: short headers end in the
  // middle of the standard layout, and bit-field masks may follow right after them.
  ByteReader r(header);
  const std::uint32_t declared = r.u32le();
  const auto has_field = [&](std::size_t offset) { return r.ok() && offset + 4 <= declared; };
  if (has_field(kOffsetImageSize)) {
    r.Seek(kOffsetImageSize);
    const std::uint32_t image_size = r.u32le();
    if (r.ok() && image_size != 0 && image_size != ImageBytes(image)) {
      PutU32le(header, kOffsetImageSize, static_cast<std::uint32_t>(ImageBytes(image)));
    }
  }
  const int bits = image.BitsPerPixel();
  if (!has_field(kOffsetColorsUsed)) {
    // A header that cannot count its colours promises a full table.
    if (bits <= 8) layout.table.resize(std::size_t{1} << bits);
    return;
  }
  r.Seek(kOffsetColorsUsed);
  const std::uint32_t colors_used = r.u32le();
  if (!r.ok()) return;
  const std::size_t promised = colors_used != 0 ? colors_used : bits <= 8 ? (1u << bits) : 0;
  if (promised != layout.table.size()) {
    PutU32le(header, kOffsetColorsUsed, static_cast<std::uint32_t>(layout.table.size()));
  }
}

bool CoreCanHold(const TBitmap& image) {
  const int bits = image.BitsPerPixel();
  return image.Width() <= 0xFFFF && image.Height() <= 0xFFFF &&
         (bits == 1 || bits == 4 || bits == 8 || bits == 24);
}

std::vector<std::uint8_t> CoreHeader(const TBitmap& image) {
  std::vector<std::uint8_t> header;
  ByteWriter w(header);
  w.u32le(kCoreHeaderSize);
  w.u16le(static_cast<std::uint16_t>(image.Width()));
  w.u16le(static_cast<std::uint16_t>(image.Height()));
  w.u16le(1);
  w.u16le(static_cast<std::uint16_t>(image.BitsPerPixel()));
  return header;
}

std::vector<std::uint8_t> InfoHeader40(const TBitmap& image, std::size_t table_size) {
  const int bits = image.BitsPerPixel();
  const bool bit_fields =
      (bits == 16 || bits == 32) && image.Masks() != TBitmap::DefaultMasks(bits);
  const BmpOrigin& origin = image.Origin();
  std::vector<std::uint8_t> header;
  ByteWriter w(header);
  w.u32le(kInfoHeaderSize);
  w.u32le(static_cast<std::uint32_t>(image.Width()));
  w.u32le(static_cast<std::uint32_t>(image.Height()));
  w.u16le(1);
  w.u16le(static_cast<std::uint16_t>(bits));
  w.u32le(bit_fields ? kBitFields : kRgb);
  w.u32le(static_cast<std::uint32_t>(ImageBytes(image)));
  w.u32le(static_cast<std::uint32_t>(origin.from_file ? origin.x_pels_per_meter : 0));
  w.u32le(static_cast<std::uint32_t>(origin.from_file ? origin.y_pels_per_meter : 0));
  w.u32le(static_cast<std::uint32_t>(table_size));
  w.u32le(0);  // colours important: all
  if (bit_fields) {
    for (const std::uint32_t mask : image.Masks()) w.u32le(mask);
  }
  return header;
}

Layout ChooseLayout(const TBitmap& image) {
  Layout layout;
  const BmpOrigin& origin = image.Origin();
  if (StoredHeaderFits(image)) {
    layout.header = origin.info_header;
    layout.core = origin.os2;
    layout.top_down = origin.top_down;
    layout.table = TableFor(image, layout.core);
    PatchStoredHeader(image, layout);
    return layout;
  }
  layout.core = origin.os2 && CoreCanHold(image);
  layout.table = TableFor(image, layout.core);
  layout.header = layout.core ? CoreHeader(image) : InfoHeader40(image, layout.table.size());
  return layout;
}

void WriteTable(const Layout& layout, ByteWriter& w) {
  for (const TRgb& c : layout.table) {
    w.u8(c.b);
    w.u8(c.g);
    w.u8(c.r);
    if (!layout.core) w.u8(0);
  }
}

// Rows go out in file order with their padding zeroed: the held padding is not always zero.
void WriteRows(const TBitmap& image, bool top_down, std::vector<std::uint8_t>& out) {
  const std::size_t stride = image.Stride();
  const std::size_t used = (std::size_t(image.Width()) * image.BitsPerPixel() + 7) / 8;
  for (int i = 0; i < image.Height(); ++i) {
    const int y = top_down ? i : image.Height() - 1 - i;
    const std::uint8_t* row = image.ScanLine(y);
    out.insert(out.end(), row, row + used);
    out.insert(out.end(), stride - used, 0);
  }
}

// The file header, the info header and the colour table; the rows follow in the order
// `top_down` says.
std::vector<std::uint8_t> EncodeHead(const TBitmap& image, bool& top_down) {
  const Layout layout = ChooseLayout(image);
  const std::uint64_t entry = layout.core ? 3 : 4;
  const std::uint64_t offset = kFileHeaderSize + layout.header.size() + entry * layout.table.size();
  const std::uint64_t total = offset + ImageBytes(image);
  if (total > std::numeric_limits<std::uint32_t>::max()) {
    throw std::runtime_error("BMP: image of " + std::to_string(image.Width()) + " x " +
                             std::to_string(image.Height()) + " pixels is too large for a file");
  }
  std::vector<std::uint8_t> out;
  out.reserve(offset);
  ByteWriter w(out);
  w.u16le(kSignature);
  w.u32le(static_cast<std::uint32_t>(total));
  w.u16le(0);
  w.u16le(0);
  w.u32le(static_cast<std::uint32_t>(offset));
  w.Bytes(layout.header);
  WriteTable(layout, w);
  top_down = layout.top_down;
  return out;
}

std::vector<std::uint8_t> EncodeBmp(const TBitmap& image) {
  bool top_down = false;
  std::vector<std::uint8_t> out = EncodeHead(image, top_down);
  out.reserve(out.size() + ImageBytes(image));
  WriteRows(image, top_down, out);
  return out;
}

}  // namespace
}  // namespace tolvane::bmp

namespace tolvane {

std::optional<BmpPieces> TBitmap::SaveToPieces() const {
  if ((origin_.pristine && !origin_.kept_file.empty()) || Empty()) return std::nullopt;
  // Held padding is not always zero; only rows without any can go out as they are.
  if ((std::size_t(width_) * std::size_t(bpp_) + 7) / 8 != stride_) return std::nullopt;
  BmpPieces pieces;
  bool top_down = false;
  pieces.head = bmp::EncodeHead(*this, top_down);
  pieces.rows.reserve(std::size_t(height_));
  for (int i = 0; i < height_; ++i) {
    pieces.rows.emplace_back(ScanLine(top_down ? i : height_ - 1 - i), stride_);
  }
  return pieces;
}

std::vector<std::uint8_t> TBitmap::SaveToBytes() const {
  if (origin_.pristine && !origin_.kept_file.empty()) return origin_.kept_file;
  if (Empty()) return {};
  return bmp::EncodeBmp(*this);
}

void TBitmap::SaveToFile(const std::string& path) const {
  const std::vector<std::uint8_t> bytes = SaveToBytes();
  std::string error;
  if (WriteFileAtomic(path, bytes, WriteMode::kReplace, &error) != WriteResult::kWritten) {
    throw std::runtime_error(error.empty() ? "cannot create \"" + path + "\"" : error);
  }
}

}  // namespace tolvane
