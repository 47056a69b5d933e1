#include "formats/tiff/IFD_Module.h"

#include <algorithm>
#include <iterator>
#include <string>
#include <utility>

#include "platform/limits.h"

namespace tolvane::tiff {
namespace {

// More strips than rows can never be needed, and rows are 16-bit.
constexpr std::uint32_t kMaxStrips = 65535;
// Three channels of 2^8 entries: the largest colour map an image we read can use.
constexpr std::uint32_t kMaxColourMapValues = 3 * 256;

Status Fail(const std::string& message) { return Status::Error("TIFF: " + message); }

std::string Num(std::uint64_t v) { return std::to_string(v); }

std::uint32_t TypeSize(std::uint16_t type) {
  switch (type) {
    case kByte:
      return 1;
    case kShort:
      return 2;
    case kLong:
      return 4;
    default:
      return 0;
  }
}

std::uint32_t ReadTyped(OrderedReader& reader, std::uint16_t type) {
  if (type == kByte) return reader.raw().u8();
  if (type == kShort) return reader.u16();
  return reader.u32();
}

// The values of an entry of type BYTE, SHORT or LONG: inside the entry when they fit in its
// four bytes, else at the offset it holds. Nothing is allocated before the bytes are known to
// be in the file.
Status ReadValues(std::span<const std::uint8_t> file, bool big_endian, const Entry& entry,
                  std::vector<std::uint32_t>& values) {
  const std::uint32_t size = TypeSize(entry.type);
  if (size == 0) {
    return Fail("tag " + Num(entry.tag) + " has field type " + Num(entry.type));
  }
  const std::uint64_t bytes = std::uint64_t{size} * entry.count;
  std::span<const std::uint8_t> source = entry.field;
  if (bytes > entry.field.size()) {
    const std::uint32_t offset = OrderedReader(entry.field, big_endian).u32();
    const auto stored = ByteReader(file).Sub(offset, bytes);
    if (!stored) {
      return Fail("the " + Num(entry.count) + " values of tag " + Num(entry.tag) + " at offset " +
                  Num(offset) + " lie outside the file");
    }
    source = *stored;
  }
  OrderedReader reader(source, big_endian);
  values.resize(entry.count);
  for (auto& v : values) v = ReadTyped(reader, entry.type);
  return {};
}

Status ReadBoundedValues(std::span<const std::uint8_t> file, bool big_endian, const Entry& entry,
                         std::uint32_t max_count, std::vector<std::uint32_t>& values) {
  if (entry.count == 0 || entry.count > max_count) {
    return Fail("tag " + Num(entry.tag) + " has " + Num(entry.count) + " values");
  }
  return ReadValues(file, big_endian, entry, values);
}

std::uint32_t Scalar(const Entry& entry, bool big_endian) {
  OrderedReader reader(entry.field, big_endian);
  return ReadTyped(reader, entry.type);
}

}  // namespace

Status TIFD::ReadHeader(ByteReader& file, std::uint32_t& directory_offset) {
  const std::uint16_t order = file.u16le();
  if (!file.ok()) return Fail("file too short for a header");
  if (order != 0x4949 && order != 0x4D4D) return Fail("byte-order mark is neither II nor MM");
  big_endian_ = order == 0x4D4D;
  const std::uint16_t magic = big_endian_ ? file.u16be() : file.u16le();
  directory_offset = big_endian_ ? file.u32be() : file.u32le();
  if (!file.ok()) return Fail("file too short for a header");
  if (magic != kMagic) return Fail("version " + Num(magic) + " is not 42");
  return {};
}

Status TIFD::ReadEntries(std::span<const std::uint8_t> file, std::uint32_t offset) {
  OrderedReader reader(file, big_endian_);
  reader.raw().Seek(offset);
  const std::uint16_t count = reader.u16();
  if (!reader.raw().ok() || reader.raw().remaining() < std::uint64_t{count} * kEntrySize) {
    return Fail("directory at offset " + Num(offset) + " lies outside the file");
  }
  entries_.resize(count);
  for (Entry& e : entries_) {
    e.tag = reader.u16();
    e.type = reader.u16();
    e.count = reader.u32();
    const auto field = reader.raw().Bytes(4);
    std::copy(field->begin(), field->end(), e.field.begin());
  }
  next_directory_ = reader.u32();  // may be missing in files that end right after the entries
  return {};
}

Status TIFD::Read(std::span<const std::uint8_t> file) {
  ByteReader header(file);
  std::uint32_t offset = 0;
  if (Status s = ReadHeader(header, offset); !s) return s;
  if (Status s = ReadEntries(file, offset); !s) return s;
  for (const Entry& e : entries_) {
    if (Status s = TakeEntry(file, e); !s) return s;
  }
  return {};
}

Status TIFD::TakeEntry(std::span<const std::uint8_t> file, const Entry& entry) {
  std::vector<std::uint32_t> values;
  switch (entry.tag) {
    case kBitsPerSample: {
      // All samples are taken to have the first sample's depth.
      if (Status s = ReadBoundedValues(file, big_endian_, entry, 0xFFFF, values); !s) return s;
      bits_per_sample_ = static_cast<std::uint16_t>(values[0]);
      return {};
    }
    case kStripOffsets:
      if (Status s = ReadBoundedValues(file, big_endian_, entry, kMaxStrips, values); !s) return s;
      strip_offsets_ = std::move(values);
      return {};
    case kStripByteCounts:
      if (Status s = ReadBoundedValues(file, big_endian_, entry, kMaxStrips, values); !s) return s;
      strip_byte_counts_ = std::move(values);
      return {};
    case kColorMap:
      if (Status s = ReadBoundedValues(file, big_endian_, entry, kMaxColourMapValues, values); !s) {
        return s;
      }
      colour_map_.assign(values.begin(), values.end());
      return {};
    default:
      return TakeScalar(entry);
  }
}

Status TIFD::TakeScalar(const Entry& entry) {
  static constexpr std::pair<std::uint16_t, std::uint32_t TIFD::*> kScalars[] = {
      {kImageWidth, &TIFD::width_},           {kImageLength, &TIFD::height_},
      {kCompression, &TIFD::compression_},    {kPhotometric, &TIFD::photometric_},
      {kFillOrder, &TIFD::fill_order_},       {kOrientation, &TIFD::orientation_},
      {kSamplesPerPixel, &TIFD::samples_},    {kRowsPerStrip, &TIFD::rows_per_strip_},
      {kPlanarConfiguration, &TIFD::planar_}, {kPredictor, &TIFD::predictor_},
  };
  const auto* slot = std::find_if(std::begin(kScalars), std::end(kScalars),
                                  [&](const auto& s) { return s.first == entry.tag; });
  if (slot == std::end(kScalars)) return {};
  if (TypeSize(entry.type) == 0 || entry.count == 0) {
    return Fail("tag " + Num(entry.tag) + " has field type " + Num(entry.type) + " and " +
                Num(entry.count) + " values");
  }
  this->*(slot->second) = Scalar(entry, big_endian_);
  return {};
}

std::uint32_t TIFD::rows_per_strip() const { return std::min(rows_per_strip_, height_); }

Status TIFD::CheckPixelLayout() const {
  if (width_ > kMaxSide16 || height_ > kMaxSide16) {
    return Fail("image of " + Num(width_) + " x " + Num(height_) + " pixels: sides are 16-bit");
  }
  if (Status s = CheckImageSize(width_, height_, "TIFF"); !s) return s;
  const bool grey =
      samples_ == 1 && (bits_per_sample_ == 1 || bits_per_sample_ == 4 || bits_per_sample_ == 8);
  const bool rgb = bits_per_sample_ == 8 && (samples_ == 3 || samples_ == 4);
  if (!grey && !rgb) {
    return Fail(Num(samples_) + " samples of " + Num(bits_per_sample_) + " bits are not read");
  }
  if (rgb && photometric_ != kRgb) return Fail("photometric " + Num(photometric_) + " for RGB");
  if (rgb && planar_ != 1) return Fail("planar configuration " + Num(planar_) + " is not read");
  if (grey && photometric_ > kPalette && bits_per_sample_ > 1) {
    return Fail("photometric " + Num(photometric_) + " for one sample");
  }
  if (grey && photometric_ == kRgb && bits_per_sample_ > 1) {
    return Fail("photometric 2 (RGB) for one sample");
  }
  const std::size_t map_values = std::size_t{3} << bits_per_sample_;
  if (grey && photometric_ == kPalette && bits_per_sample_ > 1 &&
      colour_map_.size() != map_values) {
    return Fail("colour map holds " + Num(colour_map_.size()) + " values, " + Num(map_values) +
                " needed");
  }
  return {};
}

Status TIFD::CheckStrips() const {
  if (compression_ != kNoCompression && compression_ != kLzw) {
    return Fail("compression " + Num(compression_) + " is not read");
  }
  if (strip_offsets_.empty()) return Fail("no StripOffsets (tiled or empty image)");
  if (rows_per_strip_ == 0) return Fail("RowsPerStrip is 0 or missing");
  if (predictor_ == kHorizontalDifferencing && bits_per_sample_ < 8) {
    return Fail("horizontal differencing on " + Num(bits_per_sample_) + "-bit samples");
  }
  if (compression_ == kLzw && strip_byte_counts_.size() < strip_offsets_.size()) {
    return Fail(Num(strip_byte_counts_.size()) + " strip byte counts for " +
                Num(strip_offsets_.size()) + " strips");
  }
  return {};
}

std::vector<Entry> TIFD::RgbEntries(std::uint16_t width, std::uint16_t height,
                                    std::uint16_t rows_per_strip, std::uint32_t strip_count,
                                    std::uint32_t offsets_field, std::uint32_t counts_field) {
  const auto one = [](std::uint16_t tag, std::uint16_t type, std::uint32_t value) {
    Entry e{tag, type, 1, {}};
    for (int i = 0; i < 4; ++i) e.field[i] = static_cast<std::uint8_t>(value >> (8 * i));
    return e;
  };
  Entry offsets = one(kStripOffsets, kLong, offsets_field);
  Entry counts = one(kStripByteCounts, kLong, counts_field);
  offsets.count = counts.count = strip_count;
  return {one(kNewSubfileType, kLong, 0),
          one(kImageWidth, kShort, width),
          one(kImageLength, kShort, height),
          one(kBitsPerSample, kShort, 8),
          one(kCompression, kShort, kNoCompression),
          one(kPhotometric, kShort, kRgb),
          one(kFillOrder, kShort, 1),
          offsets,
          one(kOrientation, kShort, 1),
          one(kSamplesPerPixel, kShort, 3),
          one(kRowsPerStrip, kShort, rows_per_strip),
          counts,
          one(kPlanarConfiguration, kShort, 1),
          one(kPredictor, kShort, 1)};
}

}  // namespace tolvane::tiff
