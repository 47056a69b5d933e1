#pragma once
// On-disk facts shared by the metafile readers and the writer: record numbers, header layouts
// and a cursor over one record's bytes.
#include <bit>
#include <cstdint>
#include <cstring>
#include <span>

#include "platform/byte_reader.h"

namespace tolvane::metafile {

inline constexpr std::uint32_t kEmfSignature = 0x464D4520;  // " EMF"
inline constexpr std::uint32_t kPlaceableKey = 0x9AC6CDD7;
inline constexpr std::size_t kEmfHeaderMinSize = 88;
inline constexpr std::size_t kPlaceableHeaderSize = 22;
inline constexpr std::size_t kWmfHeaderSize = 18;

// Enhanced metafile record types.
namespace emr {
enum : std::uint32_t {
  kHeader = 1,
  kPolyBezier = 2,
  kPolygon = 3,
  kPolyline = 4,
  kPolyBezierTo = 5,
  kPolylineTo = 6,
  kPolyPolyline = 7,
  kPolyPolygon = 8,
  kSetWindowExtEx = 9,
  kSetWindowOrgEx = 10,
  kSetViewportExtEx = 11,
  kSetViewportOrgEx = 12,
  kEof = 14,
  kSetPixelV = 15,
  kSetMapMode = 17,
  kSetBkMode = 18,
  kSetPolyFillMode = 19,
  kSetRop2 = 20,
  kSetTextAlign = 22,
  kSetTextColor = 24,
  kSetBkColor = 25,
  kOffsetClipRgn = 26,
  kMoveToEx = 27,
  kExcludeClipRect = 29,
  kIntersectClipRect = 30,
  kScaleViewportExtEx = 31,
  kScaleWindowExtEx = 32,
  kSaveDc = 33,
  kRestoreDc = 34,
  kSetWorldTransform = 35,
  kModifyWorldTransform = 36,
  kSelectObject = 37,
  kCreatePen = 38,
  kCreateBrushIndirect = 39,
  kDeleteObject = 40,
  kAngleArc = 41,
  kEllipse = 42,
  kRectangle = 43,
  kRoundRect = 44,
  kArc = 45,
  kChord = 46,
  kPie = 47,
  kLineTo = 54,
  kArcTo = 55,
  kPolyDraw = 56,
  kSetArcDirection = 57,
  kSetMiterLimit = 58,
  kBeginPath = 59,
  kEndPath = 60,
  kCloseFigure = 61,
  kFillPath = 62,
  kStrokeAndFillPath = 63,
  kStrokePath = 64,
  kSelectClipPath = 67,
  kAbortPath = 68,
  kFillRgn = 71,
  kFrameRgn = 72,
  kInvertRgn = 73,
  kPaintRgn = 74,
  kExtSelectClipRgn = 75,
  kBitBlt = 76,
  kStretchBlt = 77,
  kSetDiBitsToDevice = 80,
  kStretchDiBits = 81,
  kExtCreateFontIndirectW = 82,
  kExtTextOutA = 83,
  kExtTextOutW = 84,
  kPolyBezier16 = 85,
  kPolygon16 = 86,
  kPolyline16 = 87,
  kPolyBezierTo16 = 88,
  kPolylineTo16 = 89,
  kPolyPolyline16 = 90,
  kPolyPolygon16 = 91,
  kPolyDraw16 = 92,
  kCreateMonoBrush = 93,
  kCreateDibPatternBrushPt = 94,
  kExtCreatePen = 95,
};
}  // namespace emr

// Windows metafile record functions.
namespace meta {
enum : std::uint16_t {
  kEof = 0x0000,
  kSaveDc = 0x001E,
  kRealizePalette = 0x0035,
  kSetPalEntries = 0x0037,
  kCreatePalette = 0x00F7,
  kSetBkMode = 0x0102,
  kSetMapMode = 0x0103,
  kSetRop2 = 0x0104,
  kSetPolyFillMode = 0x0106,
  kRestoreDc = 0x0127,
  kSelectClipRegion = 0x012C,
  kSelectObject = 0x012D,
  kSetTextAlign = 0x012E,
  kDibCreatePatternBrush = 0x0142,
  kDeleteObject = 0x01F0,
  kSetBkColor = 0x0201,
  kSetTextColor = 0x0209,
  kSetWindowOrg = 0x020B,
  kSetWindowExt = 0x020C,
  kSetViewportOrg = 0x020D,
  kSetViewportExt = 0x020E,
  kOffsetWindowOrg = 0x020F,
  kOffsetViewportOrg = 0x0211,
  kLineTo = 0x0213,
  kMoveTo = 0x0214,
  kOffsetClipRgn = 0x0220,
  kCreatePenIndirect = 0x02FA,
  kCreateFontIndirect = 0x02FB,
  kCreateBrushIndirect = 0x02FC,
  kPolygon = 0x0324,
  kPolyline = 0x0325,
  kScaleWindowExt = 0x0410,
  kScaleViewportExt = 0x0412,
  kExcludeClipRect = 0x0415,
  kIntersectClipRect = 0x0416,
  kEllipse = 0x0418,
  kRectangle = 0x041B,
  kSetPixel = 0x041F,
  kTextOut = 0x0521,
  kPolyPolygon = 0x0538,
  kRoundRect = 0x061C,
  kPatBlt = 0x061D,
  kArc = 0x0817,
  kPie = 0x081A,
  kChord = 0x0830,
  kDibBitBlt = 0x0940,
  kExtTextOut = 0x0A32,
  kDibStretchBlt = 0x0B41,
  kSetDibToDev = 0x0D33,
  kStretchDib = 0x0F43,
  kCreatePatternBrush = 0x01F9,
  kCreateRegion = 0x06FF,
};
}  // namespace meta

// Stock object numbers (with the high bit set in EMF selections).
inline constexpr std::uint32_t kStockFlag = 0x80000000;
enum StockObject : std::uint32_t {
  kWhiteBrush = 0,
  kLtGrayBrush = 1,
  kGrayBrush = 2,
  kDkGrayBrush = 3,
  kBlackBrush = 4,
  kNullBrush = 5,
  kWhitePen = 6,
  kBlackPen = 7,
  kNullPen = 8,
  kDcBrush = 18,
  kDcPen = 19,
  kLastStock = 19,
};

// The ternary raster operations named by the formats.
inline constexpr std::uint32_t kSrcCopy = 0x00CC0020;

// Reads one record's parameters; every read past the record's end yields zero and marks the
// cursor failed, so a record handler checks ok() once before acting.
class RecordCursor {
 public:
  explicit RecordCursor(std::span<const std::uint8_t> record) : reader_(record), record_(record) {}
  bool ok() const { return reader_.ok(); }
  std::size_t pos() const { return reader_.pos(); }
  std::size_t remaining() const { return reader_.remaining(); }
  std::span<const std::uint8_t> record() const { return record_; }
  bool Skip(std::size_t n) { return reader_.Skip(n); }
  bool Seek(std::size_t n) { return reader_.Seek(n); }

  std::uint8_t U8() { return reader_.u8(); }
  std::uint16_t U16() { return reader_.u16le(); }
  std::int16_t I16() { return reader_.i16le(); }
  std::uint32_t U32() { return reader_.u32le(); }
  std::int32_t I32() { return reader_.i32le(); }
  float F32() { return std::bit_cast<float>(reader_.u32le()); }
  std::optional<std::span<const std::uint8_t>> Bytes(std::size_t n) { return reader_.Bytes(n); }
  // A range of the record by absolute offset from its first byte.
  std::optional<std::span<const std::uint8_t>> Sub(std::uint64_t offset, std::uint64_t n) const {
    return reader_.Sub(offset, n);
  }

 private:
  ByteReader reader_;
  std::span<const std::uint8_t> record_;
};

}  // namespace tolvane::metafile
