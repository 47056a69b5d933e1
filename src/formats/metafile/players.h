#pragma once
// The two record players and their headers, as metafile.cpp uses them.
#include <cstdint>
#include <optional>
#include <span>

#include "formats/metafile/cairo_canvas.h"
#include "platform/status.h"

namespace tolvane::metafile {

struct EmfHeader {
  std::int32_t frame[4] = {};  // left, top, right, bottom in 0.01 mm
  std::int32_t device_px[2] = {};
  std::int32_t device_mm[2] = {};
  std::uint32_t handles = 0;
  std::uint32_t size = 0;  // of the header record
  // The picture in pixels: the frame converted at the reference device's resolution.
  std::int64_t width = 0, height = 0;
};

struct PlaceableHeader {
  std::int16_t box[4] = {};  // left, top, right, bottom in metafile units
  std::uint16_t units_per_inch = 0;
  std::uint16_t objects = 0;
  std::size_t records_at = 0;          // first record after both headers
  std::int64_t width = 0, height = 0;  // at 96 DPI
};

// Whether bytes start with an enhanced-metafile header record.
bool LooksLikeEmf(std::span<const std::uint8_t> bytes);
Status ReadEmfHeader(std::span<const std::uint8_t> bytes, EmfHeader& header);
Status ReadPlaceableHeader(std::span<const std::uint8_t> bytes, PlaceableHeader& header);

// Play the records onto the canvas up to the end-of-file record. Data that ends before it, or
// a record whose size runs past the data, fails. Records after the canvas's work budget is
// spent are checked but not played.
Status PlayEmf(std::span<const std::uint8_t> bytes, const EmfHeader& header, Canvas& canvas,
               std::uint64_t max_pixels);
Status PlayWmf(std::span<const std::uint8_t> bytes, const PlaceableHeader& header, Canvas& canvas,
               std::uint64_t max_pixels);

}  // namespace tolvane::metafile
