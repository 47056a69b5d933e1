#pragma once
// Device-independent bitmaps carried inside metafile records.
#include <cstdint>
#include <optional>
#include <span>

#include "imaging/tbitmap.h"

namespace tolvane::metafile {

struct Dib {
  TBitmap image;          // 24-bit, top row first
  bool bottom_up = true;  // source rows counted from the bottom, as stored
};

// Decodes a DIB given as its BITMAPINFO and its bits (EMF records keep them apart), or
// nothing when the header is damaged, the bits are short or the image exceeds max_pixels.
std::optional<Dib> DecodeDib(std::span<const std::uint8_t> info, std::span<const std::uint8_t> bits,
                             std::uint64_t max_pixels);

// The same for a packed DIB (header, colour table and bits in one run, as in WMF records).
std::optional<Dib> DecodePackedDib(std::span<const std::uint8_t> packed, std::uint64_t max_pixels);

}  // namespace tolvane::metafile
