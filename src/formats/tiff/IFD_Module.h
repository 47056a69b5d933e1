#pragma once
// TIFD: the image file directory of one TIFF image, as read from a file or as the writer
// lays it out, with the on-disk constants that reader and writer share.
#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "platform/byte_reader.h"
#include "platform/status.h"

namespace tolvane::tiff {

inline constexpr std::uint16_t kMagic = 42;
inline constexpr std::size_t kHeaderSize = 8;
inline constexpr std::size_t kEntrySize = 12;

// Field types of TIFF 6.0 that the directory reads; others are refused for our tags.
enum FieldType : std::uint16_t { kByte = 1, kAscii = 2, kShort = 3, kLong = 4 };

enum Tag : std::uint16_t {
  kNewSubfileType = 254,
  kImageWidth = 256,
  kImageLength = 257,
  kBitsPerSample = 258,
  kCompression = 259,
  kPhotometric = 262,
  kFillOrder = 266,
  kStripOffsets = 273,
  kOrientation = 274,
  kSamplesPerPixel = 277,
  kRowsPerStrip = 278,
  kStripByteCounts = 279,
  kPlanarConfiguration = 284,
  kPredictor = 317,
  kColorMap = 320,
};

enum Compression : std::uint16_t { kNoCompression = 1, kLzw = 5 };
enum Photometric : std::uint16_t { kWhiteIsZero = 0, kBlackIsZero = 1, kRgb = 2, kPalette = 3 };
inline constexpr std::uint16_t kHorizontalDifferencing = 2;

// One 12-byte directory entry. `field` keeps the value-or-offset bytes as stored, because a
// value shorter than four bytes sits at their start whatever the byte order.
struct Entry {
  std::uint16_t tag = 0;
  std::uint16_t type = 0;
  std::uint32_t count = 0;
  std::array<std::uint8_t, 4> field = {};
};

// A cursor that reads numbers in the byte order the file declares.
class OrderedReader {
 public:
  OrderedReader(std::span<const std::uint8_t> data, bool big_endian)
      : reader_(data), big_endian_(big_endian) {}
  ByteReader& raw() { return reader_; }
  std::uint16_t u16() { return big_endian_ ? reader_.u16be() : reader_.u16le(); }
  std::uint32_t u32() { return big_endian_ ? reader_.u32be() : reader_.u32le(); }

 private:
  ByteReader reader_;
  bool big_endian_;
};

class TIFD {
 public:
  // Reads the header and the first directory of `file`; the arrays the directory points to
  // (bits per sample, strip offsets and byte counts, colour map) are read as well, each by
  // its declared type and only where the file holds them.
  Status Read(std::span<const std::uint8_t> file);

  // Checks what the bitmap set-up needs: size, depth, photometric sense, colour map.
  Status CheckPixelLayout() const;
  // Checks what the strip decoding needs: compression, predictor, rows per strip, arrays.
  Status CheckStrips() const;

  bool big_endian() const { return big_endian_; }
  std::uint32_t width() const { return width_; }
  std::uint32_t height() const { return height_; }
  // Meaningful once CheckPixelLayout passed.
  std::uint32_t bits_per_pixel() const { return std::uint32_t{bits_per_sample_} * samples_; }
  std::uint32_t compression() const { return compression_; }
  std::uint32_t photometric() const { return photometric_; }
  bool differencing() const { return predictor_ == kHorizontalDifferencing; }
  // Rows of every strip but perhaps the last; never more than the height.
  std::uint32_t rows_per_strip() const;
  std::size_t strip_count() const { return strip_offsets_.size(); }
  std::uint32_t strip_offset(std::size_t s) const { return strip_offsets_[s]; }
  std::uint32_t strip_byte_count(std::size_t s) const { return strip_byte_counts_[s]; }
  // Red values first, then green, then blue, 2^bits_per_sample each.
  const std::vector<std::uint16_t>& colour_map() const { return colour_map_; }

  // The writer's directory: an uncompressed 8-bit RGB image in `strip_count` strips.
  // Entries come in the order the writer stores them.
  static std::vector<Entry> RgbEntries(std::uint16_t width, std::uint16_t height,
                                       std::uint16_t rows_per_strip, std::uint32_t strip_count,
                                       std::uint32_t offsets_field, std::uint32_t counts_field);

 private:
  Status ReadHeader(ByteReader& file, std::uint32_t& directory_offset);
  Status ReadEntries(std::span<const std::uint8_t> file, std::uint32_t offset);
  Status TakeEntry(std::span<const std::uint8_t> file, const Entry& entry);
  Status TakeScalar(const Entry& entry);

  bool big_endian_ = false;
  std::vector<Entry> entries_;
  std::uint32_t next_directory_ = 0;  // read and ignored: only the first image is used
  // Scalars as their entries give them, SHORT or LONG; checked against what we read later.
  std::uint32_t width_ = 0;
  std::uint32_t height_ = 0;
  std::uint16_t bits_per_sample_ = 1;
  std::uint32_t samples_ = 1;
  std::uint32_t compression_ = kNoCompression;
  std::uint32_t photometric_ = kWhiteIsZero;
  std::uint32_t fill_order_ = 1;   // ignored: bits are taken most significant first
  std::uint32_t orientation_ = 1;  // ignored: rows are taken top row first
  std::uint32_t planar_ = 1;
  std::uint32_t predictor_ = 1;
  std::uint32_t rows_per_strip_ = 0;  // 0 when missing
  std::vector<std::uint32_t> strip_offsets_;
  std::vector<std::uint32_t> strip_byte_counts_;
  std::vector<std::uint16_t> colour_map_;
};

}  // namespace tolvane::tiff
