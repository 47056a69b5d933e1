#include "formats/psd/psd_planes.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>

#include "formats/psd/PSDUnit.h"
#include "formats/psd/psd_zip.h"
#include "platform/byte_reader.h"
#include "platform/checked_math.h"

namespace tolvane::psd {
namespace {

// Deflate cannot expand data by more than about 1032:1, so a stream that claims more output
// than this is refused before anything is allocated for it.
constexpr std::uint64_t kMaxDeflateRatio = 1032;

Status Fail(const std::string& message) { return Status::Error("PSD: " + message); }

std::string Num(std::uint64_t v) { return std::to_string(v); }

// Bytes of `planes` whole planes, or nothing when that does not fit 64 bits.
std::optional<std::uint64_t> PlaneBytes(const PlaneLayout& layout, std::uint64_t planes) {
  const auto rows = CheckedMul(planes, layout.height);
  return rows ? CheckedMul(*rows, layout.RowBytes()) : std::nullopt;
}

// ZIP with prediction stores each row as differences from the sample before it.
void UndoPrediction(std::span<std::uint8_t> row, int depth) {
  if (depth == 8) {
    for (std::size_t i = 1; i < row.size(); ++i) row[i] = std::uint8_t(row[i] + row[i - 1]);
    return;
  }
  unsigned previous = 0;
  for (std::size_t i = 0; i + 1 < row.size(); i += 2) {
    previous = (previous + ((unsigned(row[i]) << 8) | row[i + 1])) & 0xFFFF;
    row[i] = std::uint8_t(previous >> 8);
    row[i + 1] = std::uint8_t(previous);
  }
}

}  // namespace

Status PlaneRows::Open(std::span<const std::uint8_t> section, const PlaneLayout& layout) {
  layout_ = layout;
  ByteReader reader(section);
  const std::uint16_t code = reader.u16be();
  if (!reader.ok()) return Fail("the file ends before the image data");
  const std::span<const std::uint8_t> data = section.subspan(2);
  compression_ = static_cast<Compression>(code);
  switch (compression_) {
    case Compression::kRaw:
      return OpenRaw(data);
    case Compression::kPackBits:
      return OpenPackBits(data);
    case Compression::kZip:
      return OpenZip(data, false);
    case Compression::kZipPrediction:
      return OpenZip(data, true);
  }
  return Fail("unknown image data compression " + Num(code));
}

Status PlaneRows::OpenRaw(std::span<const std::uint8_t> data) {
  const auto needed = PlaneBytes(layout_, layout_.channels);
  if (!needed || *needed > data.size()) {
    return Fail("raw image data needs " + (needed ? Num(*needed) : std::string("too many")) +
                " bytes, the file holds " + Num(data.size()));
  }
  data_ = data;
  return {};
}

Status PlaneRows::OpenPackBits(std::span<const std::uint8_t> data) {
  // One 16-bit byte count per row of every plane, then the rows one after another.
  const std::uint64_t rows = std::uint64_t{layout_.channels} * layout_.height;
  ByteReader reader(data);
  const auto table = reader.Bytes(rows * 2);
  if (!table) return Fail("the file ends inside the PackBits byte count table");
  const std::uint64_t used_rows = std::uint64_t{layout_.used} * layout_.height;
  row_starts_.assign(used_rows + 1, 0);
  // Each header byte yields at most 128 bytes, so a shorter row cannot fill the picture;
  // refusing it here keeps the picture from being allocated for data that is not there.
  const std::uint64_t min_count = 2 * ((layout_.RowBytes() + 127) / 128);
  ByteReader counts(*table);
  std::uint64_t total = 0;
  for (std::uint64_t k = 0; k < rows; ++k) {
    const std::uint16_t count = counts.u16be();
    if (k < used_rows && count < min_count) {
      return Fail("PackBits row " + Num(k % layout_.height) + " of plane " +
                  Num(k / layout_.height) + " has " + Num(count) + " bytes, too few for " +
                  Num(layout_.RowBytes()));
    }
    total += count;
    if (k < used_rows) row_starts_[k + 1] = total;
  }
  if (total > reader.remaining()) {
    return Fail("PackBits byte counts add up to " + Num(total) + " bytes, the file holds " +
                Num(reader.remaining()));
  }
  data_ = data.subspan(reader.pos());
  return {};
}

Status PlaneRows::OpenZip(std::span<const std::uint8_t> data, bool prediction) {
  if (prediction && layout_.depth == 1) return Fail("ZIP prediction on 1-bit data");
  const auto needed = PlaneBytes(layout_, layout_.used);
  if (!needed || *needed > data.size() * kMaxDeflateRatio) {
    return Fail("ZIP image data of " + Num(data.size()) + " bytes cannot hold the image");
  }
  inflated_.resize(static_cast<std::size_t>(*needed));
  if (Status s = InflateInto(data, inflated_); !s) return s;
  if (prediction) {
    const std::size_t row_bytes = layout_.RowBytes();
    for (std::size_t at = 0; at < inflated_.size(); at += row_bytes) {
      UndoPrediction(std::span(inflated_).subspan(at, row_bytes), layout_.depth);
    }
  }
  data_ = inflated_;
  return {};
}

Status PlaneRows::Read(int plane, std::uint32_t y, std::span<std::uint8_t> row) const {
  const std::uint64_t k = std::uint64_t(plane) * layout_.height + y;
  if (compression_ != Compression::kPackBits) {
    std::memcpy(row.data(), data_.data() + k * row.size(), row.size());
    return {};
  }
  const auto input = data_.subspan(row_starts_[k], row_starts_[k + 1] - row_starts_[k]);
  const std::size_t written = TPackbitsRLE().Decode(input, row);
  if (written < row.size()) {
    return Fail("PackBits row " + Num(y) + " of plane " + Num(plane) + " holds " + Num(written) +
                " of " + Num(row.size()) + " bytes");
  }
  return {};
}

}  // namespace tolvane::psd
