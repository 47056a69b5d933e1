// BMP reading: parse the headers, validate them, then copy or decode the pixels into a fresh
// image that replaces the caller's only when everything succeeded.
#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "imaging/bmp/bmp_format.h"
#include "imaging/tbitmap.h"
#include "platform/byte_reader.h"
#include "platform/checked_math.h"
#include "platform/file_ops.h"
#include "platform/limits.h"

namespace tolvane::bmp {
namespace {

// The largest file worth reading: the biggest allowed image at 32 bits plus headers and a
// generous colour table.
constexpr std::uint64_t kMaxFileBytes = kMaxPixels * 4 + (std::uint64_t{1} << 20);

Status Fail(const std::string& message) { return Status::Error("BMP: " + message); }

std::string Num(std::int64_t v) { return std::to_string(v); }

std::string Hex(std::uint32_t v) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", v);
  return text;
}

Status ReadFileHeader(ByteReader& reader, FileHeader& header) {
  header.signature = reader.u16le();
  header.file_size = reader.u32le();
  reader.Skip(4);  // two reserved words
  header.pixel_offset = reader.u32le();
  if (!reader.ok())
    return Fail("file of " + Num(reader.size()) + " bytes is too short for a header");
  if (header.signature != kSignature) return Fail("signature is not \"BM\"");
  return {};
}

void ReadCoreFields(ByteReader& r, InfoHeader& h) {
  h.width = r.u16le();
  h.height = r.u16le();
  h.planes = r.u16le();
  h.bit_count = r.u16le();
}

// `padded` holds the header bytes followed by zeros, so short headers read 0 for the fields
// they lack.
void ReadInfoFields(std::span<const std::uint8_t> padded, InfoHeader& h) {
  ByteReader r(padded);
  r.Skip(kOffsetWidth);
  h.width = r.i32le();
  h.height = r.i32le();
  h.planes = r.u16le();
  h.bit_count = r.u16le();
  h.compression = r.u32le();
  h.image_size = r.u32le();
  h.x_pels_per_meter = r.i32le();
  h.y_pels_per_meter = r.i32le();
  h.colors_used = r.u32le();
  if (h.compression == kBitFields && h.size >= kMasksInsideHeaderSize) {
    r.Seek(kOffsetMasks);
    for (auto& mask : h.masks) mask = r.u32le();
  }
}

Status ReadInfoHeader(const ByteReader& file, InfoHeader& h, std::vector<std::uint8_t>& raw) {
  const auto size_bytes = file.Sub(kFileHeaderSize, 4);
  if (!size_bytes) return Fail("file too short for the info header size");
  h.size = ByteReader(*size_bytes).u32le();
  h.core = h.size == kCoreHeaderSize;
  if (!h.core && h.size < kMinInfoHeaderSize) {
    return Fail("info header size " + Num(h.size) + " is too small");
  }
  const auto bytes = file.Sub(kFileHeaderSize, h.size);
  if (!bytes) return Fail("info header size " + Num(h.size) + " runs past the end of the file");
  raw.assign(bytes->begin(), bytes->end());
  if (h.core) {
    ByteReader r(*bytes);
    r.Skip(4);
    ReadCoreFields(r, h);
    return {};
  }
  std::array<std::uint8_t, kMasksInsideHeaderSize> padded{};
  std::memcpy(padded.data(), bytes->data(), std::min(bytes->size(), padded.size()));
  ReadInfoFields(padded, h);
  if (h.compression == kBitFields && h.size < kMasksInsideHeaderSize) {
    const auto masks = file.Sub(kFileHeaderSize + h.size, kMaskBytes);
    if (!masks) return Fail("bit-field masks run past the end of the file");
    ByteReader r(*masks);
    for (auto& mask : h.masks) mask = r.u32le();
    h.masks_follow = true;
    raw.insert(raw.end(), masks->begin(), masks->end());
  }
  return {};
}

bool KnownBitCount(const InfoHeader& h) {
  switch (h.bit_count) {
    case 1:
    case 2:
    case 4:
    case 8:
    case 24:
      return true;
    case 16:
    case 32:
      return !h.core;
  }
  return false;
}

Status ValidateCompression(const InfoHeader& h) {
  const auto bits = h.bit_count;
  const bool fits = (h.compression == kRgb) || (h.compression == kRle8 && bits == 8) ||
                    (h.compression == kRle4 && bits == 4) ||
                    (h.compression == kBitFields && (bits == 16 || bits == 32));
  if (!fits) {
    return Fail("compression " + Num(h.compression) + " is not supported at " + Num(bits) +
                " bits per pixel");
  }
  if (h.compression != kBitFields) return {};
  const std::uint64_t limit = std::uint64_t{1} << bits;
  for (const std::uint32_t mask : h.masks) {
    // A mask must be one run of bits inside the pixel; an empty one gives a channel of 0.
    const std::uint32_t shifted = mask == 0 ? 0 : mask >> std::countr_zero(mask);
    if (mask >= limit || (shifted & (shifted + 1)) != 0) {
      return Fail("bit-field mask " + Hex(mask) + " is not one run of bits inside the pixel");
    }
  }
  return {};
}

Status ValidateHeader(const InfoHeader& h) {
  if (h.planes != 1) return Fail("planes " + Num(h.planes) + " (must be 1)");
  if (!KnownBitCount(h)) return Fail("bit count " + Num(h.bit_count) + " is not supported");
  if (h.width <= 0) return Fail("width " + Num(h.width) + " is not positive");
  if (h.height == 0) return Fail("height is 0");
  if (Status s = ValidateCompression(h); !s) return s;
  if (h.bit_count <= 8 && h.colors_used > (1u << h.bit_count)) {
    return Fail("colours used " + Num(h.colors_used) + " is more than " + Num(h.bit_count) +
                " bits can index");
  }
  return CheckImageSize(std::uint64_t(h.width), std::uint64_t(std::abs(h.height)), "BMP");
}

struct ColourTable {
  std::vector<TRgb> colours;
};

Status ReadColourTable(const ByteReader& file, const InfoHeader& h, std::uint32_t pixel_offset,
                       ColourTable& table) {
  const std::uint64_t start = kFileHeaderSize + h.size + (h.masks_follow ? kMaskBytes : 0);
  const std::uint64_t entry = h.core ? 3 : 4;
  std::uint64_t count = h.bit_count <= 8 ? (1u << h.bit_count) : 0;
  if (!h.core && h.colors_used != 0) count = h.colors_used;
  if (pixel_offset < start) {
    return Fail("pixel offset " + Num(pixel_offset) + " lies inside the headers");
  }
  // Some writers store fewer entries than the count promises; the pixels then start sooner.
  count = std::min(count, (pixel_offset - start) / entry);
  const auto bytes = file.Sub(start, count * entry);
  if (!bytes)
    return Fail("colour table of " + Num(count) + " entries runs past the end of the file");
  ByteReader r(*bytes);
  table.colours.resize(count);
  for (TRgb& c : table.colours) {
    c.b = r.u8();
    c.g = r.u8();
    c.r = r.u8();
    if (!h.core) r.u8();
  }
  return {};
}

// Two-bit files are held at four bits: each index moves into its own nibble.
void WidenTwoBitRow(std::span<const std::uint8_t> src, std::uint8_t* dst, int width) {
  for (int x = 0; x < width; ++x) {
    const unsigned index = (src[x / 4] >> (6 - 2 * (x % 4))) & 3u;
    dst[x / 2] = static_cast<std::uint8_t>(dst[x / 2] | (index << (x % 2 ? 0 : 4)));
  }
}

Status CopyUncompressed(const ByteReader& file, const InfoHeader& h, std::uint32_t pixel_offset,
                        TBitmap& out) {
  const int width = int(h.width);
  const int height = int(std::abs(h.height));
  const std::size_t file_stride = TBitmap::StrideFor(width, h.bit_count);
  const auto needed = CheckedMul(file_stride, std::uint64_t(height));
  const auto data = needed ? file.Sub(pixel_offset, *needed) : std::nullopt;
  if (!data) {
    return Fail("pixel data of " + Num(needed.value_or(0)) + " bytes at offset " +
                Num(pixel_offset) + " runs past the end of the file (" + Num(file.size()) +
                " bytes)");
  }
  const int held_bits = h.bit_count == 2 ? 4 : h.bit_count;
  out.Create(width, height, held_bits);
  const auto pixels = out.MutablePixels();
  for (int file_row = 0; file_row < height; ++file_row) {
    const int y = h.height < 0 ? file_row : height - 1 - file_row;
    const auto src = data->subspan(std::size_t(file_row) * file_stride, file_stride);
    std::uint8_t* dst = pixels.data() + std::size_t(y) * out.Stride();
    if (h.bit_count == 2) {
      WidenTwoBitRow(src, dst, width);
    } else {
      std::memcpy(dst, src.data(), file_stride);
    }
  }
  return {};
}

Status ReadPixels(const ByteReader& file, const InfoHeader& h, std::uint32_t pixel_offset,
                  TBitmap& out) {
  if (pixel_offset > file.size()) {
    return Fail("pixel offset " + Num(pixel_offset) + " lies beyond the end of the file (" +
                Num(file.size()) + " bytes)");
  }
  if (h.compression != kRle8 && h.compression != kRle4) {
    return CopyUncompressed(file, h, pixel_offset, out);
  }
  const std::uint64_t left = file.size() - pixel_offset;
  const std::uint64_t length =
      h.image_size != 0 ? std::min<std::uint64_t>(h.image_size, left) : left;
  out.Create(int(h.width), int(std::abs(h.height)), h.bit_count);
  return DecodeRle(*file.Sub(pixel_offset, length), h.compression, h.height < 0, out);
}

void Remember(std::span<const std::uint8_t> file, const InfoHeader& h,
              std::vector<std::uint8_t> raw_header, TBitmap& out) {
  BmpOrigin& origin = out.MutableOrigin();
  origin.from_file = true;
  origin.x_pels_per_meter = h.x_pels_per_meter;
  origin.y_pels_per_meter = h.y_pels_per_meter;
  origin.os2 = h.core;
  origin.top_down = h.height < 0;
  origin.info_header = std::move(raw_header);
  // A widened two-bit image no longer matches its header, so it is written afresh.
  origin.pristine = h.bit_count != 2;
  origin.kept_file.clear();
  if (h.compression == kRle8 || h.compression == kRle4) {
    origin.kept_file.assign(file.begin(), file.end());
  }
}

}  // namespace

Status DecodeBmp(std::span<const std::uint8_t> file, TBitmap& out) {
  const ByteReader whole(file);
  ByteReader reader(file);
  FileHeader file_header;
  if (Status s = ReadFileHeader(reader, file_header); !s) return s;
  InfoHeader info;
  std::vector<std::uint8_t> raw_header;
  if (Status s = ReadInfoHeader(whole, info, raw_header); !s) return s;
  if (Status s = ValidateHeader(info); !s) return s;
  ColourTable table;
  if (Status s = ReadColourTable(whole, info, file_header.pixel_offset, table); !s) return s;
  if (Status s = ReadPixels(whole, info, file_header.pixel_offset, out); !s) return s;
  if (!table.colours.empty()) out.SetPalette(std::move(table.colours));
  if (info.compression == kBitFields) out.SetMasks(info.masks);
  // Set last: every call above marks the image as changed.
  Remember(file, info, std::move(raw_header), out);
  return {};
}

}  // namespace tolvane::bmp

namespace tolvane {

Status TBitmap::LoadFromBytes(std::span<const std::uint8_t> bytes) {
  TBitmap decoded;
  if (Status s = bmp::DecodeBmp(bytes, decoded); !s) return s;
  *this = std::move(decoded);
  return {};
}

Status TBitmap::LoadFromFile(const std::string& path) {
  Status status;
  const auto bytes = ReadFileBytes(path, bmp::kMaxFileBytes, &status);
  if (!bytes) return Status::Error("BMP: " + status.message());
  return LoadFromBytes(*bytes);
}

}  // namespace tolvane
