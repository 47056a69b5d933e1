#pragma once
// On-disk layout of BMP files, shared by the reader and the writer. Internal to imaging/.
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "platform/status.h"

namespace tolvane {
class TBitmap;
}

namespace tolvane::bmp {

inline constexpr std::size_t kFileHeaderSize = 14;
inline constexpr std::size_t kCoreHeaderSize = 12;  // OS/2 1.x
inline constexpr std::size_t kInfoHeaderSize = 40;  // BITMAPINFOHEADER
inline constexpr std::size_t kMinInfoHeaderSize = 16;
// Headers at least this long carry the bit-field masks themselves; shorter ones are
// followed by them.
inline constexpr std::size_t kMasksInsideHeaderSize = 52;
inline constexpr std::size_t kMaskBytes = 12;
inline constexpr std::uint16_t kSignature = 0x4D42;  // "BM", little-endian

// Byte offsets of the fields inside a BITMAPINFOHEADER (and its longer versions).
inline constexpr std::size_t kOffsetWidth = 4;
inline constexpr std::size_t kOffsetHeight = 8;
inline constexpr std::size_t kOffsetBitCount = 14;
inline constexpr std::size_t kOffsetCompression = 16;
inline constexpr std::size_t kOffsetImageSize = 20;
inline constexpr std::size_t kOffsetColorsUsed = 32;
inline constexpr std::size_t kOffsetMasks = 40;

enum Compression : std::uint32_t { kRgb = 0, kRle8 = 1, kRle4 = 2, kBitFields = 3 };

struct FileHeader {
  std::uint16_t signature = 0;
  std::uint32_t file_size = 0;
  std::uint32_t pixel_offset = 0;
};

// The fields of either header kind, as read; nothing is validated yet.
struct InfoHeader {
  std::uint32_t size = 0;
  bool core = false;  // 12-byte OS/2 header
  std::int64_t width = 0;
  std::int64_t height = 0;  // negative: rows stored top-down
  std::uint16_t planes = 0;
  std::uint16_t bit_count = 0;
  std::uint32_t compression = kRgb;
  std::uint32_t image_size = 0;
  std::int32_t x_pels_per_meter = 0;
  std::int32_t y_pels_per_meter = 0;
  std::uint32_t colors_used = 0;
  std::array<std::uint32_t, 3> masks = {0, 0, 0};
  bool masks_follow = false;  // masks stored after the header rather than inside it
};

// Writes little-endian fields into a growing byte vector.
class ByteWriter {
 public:
  explicit ByteWriter(std::vector<std::uint8_t>& out) : out_(out) {}
  void u8(std::uint8_t v) { out_.push_back(v); }
  void u16le(std::uint16_t v) {
    u8(static_cast<std::uint8_t>(v));
    u8(static_cast<std::uint8_t>(v >> 8));
  }
  void u32le(std::uint32_t v) {
    u16le(static_cast<std::uint16_t>(v));
    u16le(static_cast<std::uint16_t>(v >> 16));
  }
  void Bytes(std::span<const std::uint8_t> bytes) {
    out_.insert(out_.end(), bytes.begin(), bytes.end());
  }

 private:
  std::vector<std::uint8_t>& out_;
};

inline void PutU32le(std::span<std::uint8_t> bytes, std::size_t offset, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) bytes[offset + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// Decodes a whole BMP file into `out`, which must be a fresh image.
Status DecodeBmp(std::span<const std::uint8_t> file, TBitmap& out);

// Decodes run-length data (RLE8 or RLE4) into `out`, already created at the file's size and
// depth with every pixel at index 0.
Status DecodeRle(std::span<const std::uint8_t> data, std::uint32_t compression, bool top_down,
                 TBitmap& out);

}  // namespace tolvane::bmp
