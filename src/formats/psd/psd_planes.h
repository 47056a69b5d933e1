#pragma once
// The image data section: the stored planes (one per channel, each height rows, top first) in
// raw, PackBits or ZIP form, handed out one row at a time.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "formats/psd/psd_format.h"
#include "platform/status.h"

namespace tolvane::psd {

struct PlaneLayout {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::uint16_t channels = 0;  // planes stored in the file
  std::uint16_t used = 0;      // the leading planes the picture is made of
  std::uint16_t depth = 8;     // bits per sample: 1, 8 or 16

  std::size_t RowBytes() const { return (std::size_t(width) * depth + 7) / 8; }
};

class PlaneRows {
 public:
  // Reads the compression code and checks that the data it announces is in the section (the
  // rest of the file). ZIP data is inflated here, only as far as the used planes reach.
  Status Open(std::span<const std::uint8_t> section, const PlaneLayout& layout);

  // Fills row (RowBytes() long) with row y of plane `plane` (< layout.used) as stored:
  // big-endian samples, 1-bit rows most significant bit first.
  Status Read(int plane, std::uint32_t y, std::span<std::uint8_t> row) const;

 private:
  Status OpenRaw(std::span<const std::uint8_t> data);
  Status OpenPackBits(std::span<const std::uint8_t> data);
  Status OpenZip(std::span<const std::uint8_t> data, bool prediction);

  PlaneLayout layout_;
  Compression compression_ = Compression::kRaw;
  std::span<const std::uint8_t> data_;  // raw planes, PackBits rows, or inflated_
  std::vector<std::uint8_t> inflated_;
  // PackBits: row k of the used planes (plane * height + y) spans
  // data_[row_starts_[k], row_starts_[k + 1]).
  std::vector<std::uint64_t> row_starts_;
};

}  // namespace tolvane::psd
