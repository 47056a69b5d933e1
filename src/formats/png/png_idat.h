#pragma once
// The image data of a non-interlaced PNG read without libpng: the run of IDAT chunks (each CRC
// checked), its zlib stream inflated by ISA-L a few rows at a time, and the row filters undone.
// libpng still reads everything before the first IDAT; this takes over from there because
// inflating is most of a large PNG's decoding time and ISA-L does it about twice as fast.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>

#include "platform/status.h"

namespace tolvane::png_idat {

struct Layout {
  std::size_t row_bytes = 0;  // bytes of one unfiltered row, without its filter byte
  int height = 0;
  int pixel_bytes = 1;  // the filters' byte distance to the pixel on the left, 1..8
};

// Reads from `first_data`, the offset of the first IDAT chunk's data (its length and type are
// the 8 bytes before), and hands rows 0..height-1 to `use` in order. Fails, without handing on
// the rest, on a CRC error, a truncated file, a damaged stream, an unknown filter, a checksum
// that does not match, or too little data; data after the last row is ignored.
Status ReadRows(std::span<const std::uint8_t> file, std::size_t first_data, const Layout& layout,
                const std::function<void(int y, const std::uint8_t* row)>& use);

}  // namespace tolvane::png_idat
