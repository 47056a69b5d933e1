// Enhanced metafile records to device calls.
#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "formats/metafile/device.h"
#include "formats/metafile/metafile_format.h"
#include "formats/metafile/players.h"

namespace tolvane::metafile {
namespace {

constexpr std::size_t kRecordHead = 8;

Rect ReadRect(RecordCursor& c) {
  Rect r;
  r.left = c.I32(), r.top = c.I32(), r.right = c.I32(), r.bottom = c.I32();
  return r;
}

Point ReadPoint(RecordCursor& c) {
  const double x = c.I32();
  return {x, double(c.I32())};
}

std::optional<std::vector<Point>> ReadPoints(RecordCursor& c, std::uint64_t count, bool small) {
  if (count > c.remaining() / (small ? 4 : 8)) return std::nullopt;
  std::vector<Point> points(count);
  for (Point& p : points) {
    if (small) {
      const double x = c.I16();
      p = {x, double(c.I16())};
    } else {
      p = ReadPoint(c);
    }
  }
  return points;
}

Xform ReadXform(RecordCursor& c) {
  Xform x;
  x.m11 = c.F32(), x.m12 = c.F32(), x.m21 = c.F32(), x.m22 = c.F32();
  x.dx = c.F32(), x.dy = c.F32();
  return x;
}

// RGNDATA: a header of 32 bytes, then nCount rectangles.
std::vector<Rect> ReadRegion(RecordCursor& c, std::uint32_t size) {
  std::vector<Rect> rects;
  if (size < 32 || size > c.remaining()) return rects;
  c.U32();
  c.U32();
  const std::uint32_t count = c.U32();
  c.Skip(20);
  if (count > (size - 32) / 16) return rects;
  rects.reserve(count);
  for (std::uint32_t i = 0; i < count; ++i) rects.push_back(ReadRect(c));
  return rects;
}

class EmfPlayer {
 public:
  EmfPlayer(Device& device, std::uint64_t max_pixels)
      : device_(device), max_pixels_(max_pixels), dib_budget_(4 * max_pixels) {}
  void Play(std::uint32_t type, RecordCursor& c);

 private:
  void Poly(std::uint32_t type, RecordCursor& c, bool small);
  void PolyPoly(std::uint32_t type, RecordCursor& c, bool small);
  void PolyDraw(RecordCursor& c, bool small);
  void CreatePen(RecordCursor& c);
  void ExtCreatePen(RecordCursor& c);
  void CreateBrush(RecordCursor& c);
  void CreatePatternBrush(RecordCursor& c);
  void CreateFont(RecordCursor& c);
  void Text(RecordCursor& c, bool wide);
  void Bitmap(std::uint32_t type, RecordCursor& c);
  void Region(std::uint32_t type, RecordCursor& c);
  std::optional<Dib> RecordDib(const RecordCursor& c, std::uint32_t off_bmi, std::uint32_t cb_bmi,
                               std::uint32_t off_bits, std::uint32_t cb_bits);

  Device& device_;
  std::uint64_t max_pixels_;
  std::uint64_t dib_budget_;  // pixels all bitmaps of the file may decode to
};

void EmfPlayer::Poly(std::uint32_t type, RecordCursor& c, bool small) {
  c.Skip(16);
  const auto points = ReadPoints(c, c.U32(), small);
  if (!points || !c.ok()) return;
  const std::uint32_t base = small ? type - (emr::kPolyBezier16 - emr::kPolyBezier) : type;
  switch (base) {
    case emr::kPolyBezier:
      device_.PolyBezier(*points);
      break;
    case emr::kPolygon:
      device_.Polygon(*points);
      break;
    case emr::kPolyline:
      device_.Polyline(*points);
      break;
    case emr::kPolyBezierTo:
      device_.PolyBezierTo(*points);
      break;
    case emr::kPolylineTo:
      device_.PolylineTo(*points);
      break;
    default:
      break;
  }
}

void EmfPlayer::PolyPoly(std::uint32_t type, RecordCursor& c, bool small) {
  c.Skip(16);
  const std::uint32_t polys = c.U32(), total = c.U32();
  if (!c.ok() || polys > c.remaining() / 4) return;
  std::vector<std::uint32_t> counts(polys);
  std::uint64_t sum = 0;
  for (std::uint32_t& n : counts) sum += (n = c.U32());
  if (sum != total) return;
  const auto points = ReadPoints(c, total, small);
  if (!points || !c.ok()) return;
  const bool polygon = type == emr::kPolyPolygon || type == emr::kPolyPolygon16;
  device_.PolyPolygon(*points, counts, polygon);
}

void EmfPlayer::PolyDraw(RecordCursor& c, bool small) {
  c.Skip(16);
  const std::uint32_t count = c.U32();
  const auto points = ReadPoints(c, count, small);
  if (!points) return;
  const auto types = c.Bytes(count);
  if (!types || !c.ok()) return;
  device_.PolyDraw(*points, *types);
}

void EmfPlayer::CreatePen(RecordCursor& c) {
  const std::uint32_t index = c.U32(), style = c.U32();
  const std::int32_t width = c.I32();
  c.I32();
  const TColor colour = c.U32() & 0xFFFFFF;
  // Widths up to one are the one-pixel cosmetic pen.
  if (c.ok()) device_.PutObject(index, Pen{style, width > 1 ? double(width) : 0.0, colour});
}

void EmfPlayer::ExtCreatePen(RecordCursor& c) {
  const std::uint32_t index = c.U32();
  c.Skip(16);
  std::uint32_t style = c.U32();
  const std::uint32_t width = c.U32(), brush_style = c.U32();
  const TColor colour = c.U32() & 0xFFFFFF;
  if (!c.ok()) return;
  if (brush_style == Brush::kNull) style = (style & ~0xFu) | 5;
  const bool geometric = style & 0x10000;
  device_.PutObject(index, Pen{style, geometric ? double(width) : 0.0, colour});
}

void EmfPlayer::CreateBrush(RecordCursor& c) {
  const std::uint32_t index = c.U32(), style = c.U32();
  const TColor colour = c.U32() & 0xFFFFFF;
  const std::uint32_t hatch = c.U32();
  if (!c.ok()) return;
  const std::uint32_t kind = style <= Brush::kHatched ? style : std::uint32_t{Brush::kSolid};
  device_.PutObject(index, Brush{kind, colour, hatch, nullptr});
}

void EmfPlayer::CreatePatternBrush(RecordCursor& c) {
  const std::uint32_t index = c.U32();
  c.U32();
  const std::uint32_t off_bmi = c.U32(), cb_bmi = c.U32(), off_bits = c.U32(), cb_bits = c.U32();
  if (!c.ok()) return;
  std::optional<Dib> dib = RecordDib(c, off_bmi, cb_bmi, off_bits, cb_bits);
  Brush brush{Brush::kSolid, kBlack, 0, nullptr};
  if (dib) {
    brush.style = Brush::kPattern;
    brush.pattern = std::make_shared<const TBitmap>(std::move(dib->image));
  }
  device_.PutObject(index, brush);
}

std::u32string ReadUtf16(std::span<const std::uint8_t> bytes, std::size_t units) {
  std::u32string out;
  for (std::size_t i = 0; i < units && 2 * i + 1 < bytes.size(); ++i) {
    char32_t u = bytes[2 * i] | (bytes[2 * i + 1] << 8);
    if (u >= 0xD800 && u < 0xDC00 && i + 1 < units && 2 * i + 3 < bytes.size()) {
      const char32_t low = bytes[2 * i + 2] | (bytes[2 * i + 3] << 8);
      if (low >= 0xDC00 && low < 0xE000) {
        u = 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00);
        ++i;
      }
    }
    out.push_back(u);
  }
  return out;
}

void EmfPlayer::CreateFont(RecordCursor& c) {
  const std::uint32_t index = c.U32();
  Font font;
  font.height = c.I32();
  c.I32();
  font.escapement = c.I32();
  c.I32();
  font.weight = c.I32();
  font.italic = c.U8(), font.underline = c.U8(), font.strike_out = c.U8();
  c.Skip(5);
  if (!c.ok()) return;
  const std::u32string face = ReadUtf16(c.record().subspan(c.pos()), 32);
  for (char32_t ch : face) {
    if (ch == 0) break;
    font.face += ch < 0x80 ? static_cast<char>(ch) : '?';
  }
  device_.PutObject(index, font);
}

void EmfPlayer::Text(RecordCursor& c, bool wide) {
  c.Skip(28);
  const Point reference = ReadPoint(c);
  const std::uint32_t chars = c.U32(), off_string = c.U32(), options = c.U32();
  const Rect rect = ReadRect(c);
  const std::uint32_t off_dx = c.U32();
  if (!c.ok()) return;
  const auto string = c.Sub(off_string, std::uint64_t{chars} * (wide ? 2 : 1));
  if (!string) return;
  std::u32string text;
  if (wide) {
    text = ReadUtf16(*string, chars);
  } else {
    for (std::uint8_t b : *string) text.push_back(b);
  }
  std::vector<std::int32_t> dx;
  if (off_dx != 0) {
    if (const auto spacing = c.Sub(off_dx, std::uint64_t{chars} * 4)) {
      RecordCursor d(*spacing);
      for (std::uint32_t i = 0; i < chars; ++i) dx.push_back(d.I32());
    }
  }
  const bool has_rect = (options & 6) && rect.right > rect.left && rect.bottom > rect.top;
  device_.TextOut(reference, text, dx, options,
                  has_rect ? std::optional<Rect>(rect) : std::nullopt);
}

std::optional<Dib> EmfPlayer::RecordDib(const RecordCursor& c, std::uint32_t off_bmi,
                                        std::uint32_t cb_bmi, std::uint32_t off_bits,
                                        std::uint32_t cb_bits) {
  const auto info = c.Sub(off_bmi, cb_bmi);
  const auto bits = c.Sub(off_bits, cb_bits);
  if (!info || !bits || cb_bmi == 0) return std::nullopt;
  std::optional<Dib> dib = DecodeDib(*info, *bits, std::min(max_pixels_, dib_budget_));
  if (!dib) return std::nullopt;
  dib_budget_ -= std::uint64_t(dib->image.Width()) * std::uint64_t(dib->image.Height());
  return dib;
}

void EmfPlayer::Bitmap(std::uint32_t type, RecordCursor& c) {
  c.Skip(16);
  BltArgs a;
  a.dest.left = c.I32(), a.dest.top = c.I32();
  std::uint32_t off_bmi = 0, cb_bmi = 0, off_bits = 0, cb_bits = 0;
  if (type == emr::kBitBlt || type == emr::kStretchBlt) {
    a.dest.right = c.I32(), a.dest.bottom = c.I32();
    a.rop = c.U32();
    a.src_x = c.I32(), a.src_y = c.I32();
    c.Skip(24 + 4 + 4);  // source transform, background colour, colour usage
    off_bmi = c.U32(), cb_bmi = c.U32(), off_bits = c.U32(), cb_bits = c.U32();
    a.src_width = a.dest.right, a.src_height = a.dest.bottom;
    if (type == emr::kStretchBlt) a.src_width = c.I32(), a.src_height = c.I32();
  } else {
    a.src_x = c.I32(), a.src_y = c.I32(), a.src_width = c.I32(), a.src_height = c.I32();
    off_bmi = c.U32(), cb_bmi = c.U32(), off_bits = c.U32(), cb_bits = c.U32();
    c.U32();
    a.rows_from_bottom = true;
    a.dest.right = a.src_width, a.dest.bottom = a.src_height;
    if (type == emr::kStretchDiBits) {
      a.rop = c.U32();
      a.dest.right = c.I32(), a.dest.bottom = c.I32();
    }
  }
  if (!c.ok()) return;
  std::optional<Dib> dib;
  if (cb_bmi != 0) dib = RecordDib(c, off_bmi, cb_bmi, off_bits, cb_bits);
  a.source = dib ? &*dib : nullptr;
  device_.Blt(a);
}

void EmfPlayer::Region(std::uint32_t type, RecordCursor& c) {
  if (type == emr::kExtSelectClipRgn) {
    const std::uint32_t size = c.U32(), mode = c.U32();
    if (c.ok()) device_.SelectClipRegion(ReadRegion(c, size), mode);
    return;
  }
  c.Skip(16);
  const std::uint32_t size = c.U32();
  std::uint32_t brush_index = 0;
  if (type == emr::kFillRgn || type == emr::kFrameRgn) brush_index = c.U32();
  if (type == emr::kFrameRgn) c.Skip(8);
  const std::vector<Rect> rects = ReadRegion(c, size);
  if (!c.ok()) return;
  const std::optional<Brush> brush = device_.BrushAt(brush_index);
  if (type == emr::kFillRgn && brush) device_.FillRegion(rects, *brush);
  if (type == emr::kFrameRgn && brush) device_.FrameRegion(rects, *brush);
  if (type == emr::kPaintRgn) device_.FillRegion(rects, device_.State().brush);
  if (type == emr::kInvertRgn) device_.InvertRegion(rects);
}

void EmfPlayer::Play(std::uint32_t type, RecordCursor& c) {
  DcState& s = device_.State();
  switch (type) {
    case emr::kPolyBezier:
    case emr::kPolygon:
    case emr::kPolyline:
    case emr::kPolyBezierTo:
    case emr::kPolylineTo:
      Poly(type, c, false);
      break;
    case emr::kPolyBezier16:
    case emr::kPolygon16:
    case emr::kPolyline16:
    case emr::kPolyBezierTo16:
    case emr::kPolylineTo16:
      Poly(type, c, true);
      break;
    case emr::kPolyPolyline:
    case emr::kPolyPolygon:
      PolyPoly(type, c, false);
      break;
    case emr::kPolyPolyline16:
    case emr::kPolyPolygon16:
      PolyPoly(type, c, true);
      break;
    case emr::kPolyDraw:
      PolyDraw(c, false);
      break;
    case emr::kPolyDraw16:
      PolyDraw(c, true);
      break;
    case emr::kSetWindowExtEx:
      device_.SetWindowExt(ReadPoint(c));
      break;
    case emr::kSetWindowOrgEx:
      device_.SetWindowOrg(ReadPoint(c));
      break;
    case emr::kSetViewportExtEx:
      device_.SetViewportExt(ReadPoint(c));
      break;
    case emr::kSetViewportOrgEx:
      device_.SetViewportOrg(ReadPoint(c));
      break;
    case emr::kScaleViewportExtEx:
    case emr::kScaleWindowExtEx: {
      const double xn = c.I32(), xd = c.I32(), yn = c.I32(), yd = c.I32();
      if (!c.ok()) break;
      type == emr::kScaleWindowExtEx ? device_.ScaleWindowExt(xn, xd, yn, yd)
                                     : device_.ScaleViewportExt(xn, xd, yn, yd);
      break;
    }
    case emr::kSetMapMode:
      device_.SetMapMode(static_cast<int>(c.U32()));
      break;
    case emr::kSetBkMode:
      s.opaque_background = c.U32() == 2;
      break;
    case emr::kSetPolyFillMode:
      s.winding = c.U32() == 2;
      break;
    case emr::kSetRop2:
      s.rop2 = static_cast<int>(c.U32());
      break;
    case emr::kSetTextAlign:
      s.text_align = c.U32();
      break;
    case emr::kSetTextColor:
      s.text_colour = c.U32() & 0xFFFFFF;
      break;
    case emr::kSetBkColor:
      s.bk_colour = c.U32() & 0xFFFFFF;
      break;
    case emr::kSetArcDirection:
      s.clockwise = c.U32() == 2;
      break;
    case emr::kSetMiterLimit:
      s.miter_limit = c.U32();
      break;
    case emr::kMoveToEx:
      device_.MoveTo(ReadPoint(c));
      break;
    case emr::kLineTo:
      device_.LineTo(ReadPoint(c));
      break;
    case emr::kSetPixelV: {
      const Point p = ReadPoint(c);
      const TColor colour = c.U32() & 0xFFFFFF;
      if (c.ok()) device_.SetPixel(p, colour);
      break;
    }
    case emr::kSaveDc:
      device_.SaveDc();
      break;
    case emr::kRestoreDc:
      device_.RestoreDc(c.I32());
      break;
    case emr::kSetWorldTransform: {
      const Xform x = ReadXform(c);
      if (c.ok()) device_.SetWorldTransform(x);
      break;
    }
    case emr::kModifyWorldTransform: {
      const Xform x = ReadXform(c);
      const std::uint32_t mode = c.U32();
      if (c.ok()) device_.ModifyWorldTransform(x, mode);
      break;
    }
    case emr::kSelectObject:
      device_.SelectObject(c.U32());
      break;
    case emr::kDeleteObject:
      device_.DeleteObject(c.U32());
      break;
    case emr::kCreatePen:
      CreatePen(c);
      break;
    case emr::kExtCreatePen:
      ExtCreatePen(c);
      break;
    case emr::kCreateBrushIndirect:
      CreateBrush(c);
      break;
    case emr::kCreateDibPatternBrushPt:
    case emr::kCreateMonoBrush:
      CreatePatternBrush(c);
      break;
    case emr::kExtCreateFontIndirectW:
      CreateFont(c);
      break;
    case emr::kRectangle:
      device_.Rectangle(ReadRect(c));
      break;
    case emr::kEllipse:
      device_.Ellipse(ReadRect(c));
      break;
    case emr::kRoundRect: {
      const Rect r = ReadRect(c);
      const Point corner = ReadPoint(c);
      if (c.ok()) device_.RoundRect(r, corner);
      break;
    }
    case emr::kArc:
    case emr::kArcTo:
    case emr::kChord:
    case emr::kPie: {
      const Rect r = ReadRect(c);
      const Point start = ReadPoint(c), end = ReadPoint(c);
      if (!c.ok()) break;
      const ArcKind kind = type == emr::kArc     ? ArcKind::kArc
                           : type == emr::kArcTo ? ArcKind::kArcTo
                           : type == emr::kChord ? ArcKind::kChord
                                                 : ArcKind::kPie;
      device_.Arc(r, start, end, kind);
      break;
    }
    case emr::kAngleArc: {
      const Point centre = ReadPoint(c);
      const double radius = c.U32(), start = c.F32(), sweep = c.F32();
      if (c.ok()) device_.AngleArc(centre, radius, start, sweep);
      break;
    }
    case emr::kBeginPath:
      device_.BeginPath();
      break;
    case emr::kEndPath:
      device_.EndPath();
      break;
    case emr::kAbortPath:
      device_.AbortPath();
      break;
    case emr::kCloseFigure:
      device_.CloseFigure();
      break;
    case emr::kFillPath:
      device_.FillPath();
      break;
    case emr::kStrokePath:
      device_.StrokePath();
      break;
    case emr::kStrokeAndFillPath:
      device_.StrokeAndFillPath();
      break;
    case emr::kSelectClipPath:
      device_.SelectClipPath(c.U32());
      break;
    case emr::kIntersectClipRect:
      device_.IntersectClipRect(ReadRect(c));
      break;
    case emr::kExcludeClipRect:
      device_.ExcludeClipRect(ReadRect(c));
      break;
    case emr::kExtSelectClipRgn:
    case emr::kFillRgn:
    case emr::kFrameRgn:
    case emr::kPaintRgn:
    case emr::kInvertRgn:
      Region(type, c);
      break;
    case emr::kExtTextOutW:
      Text(c, true);
      break;
    case emr::kExtTextOutA:
      Text(c, false);
      break;
    case emr::kBitBlt:
    case emr::kStretchBlt:
    case emr::kStretchDiBits:
    case emr::kSetDiBitsToDevice:
      Bitmap(type, c);
      break;
    default:
      break;  // comments, palettes, colour management and the rest draw nothing
  }
}

// The smallest size of each record type the player reads; shorter ones are skipped whole
// rather than played with missing fields.
std::uint32_t MinRecordSize(std::uint32_t type) {
  static const std::pair<std::uint32_t, std::uint32_t> kSizes[] = {
      {emr::kPolyBezier, 28},
      {emr::kPolygon, 28},
      {emr::kPolyline, 28},
      {emr::kPolyBezierTo, 28},
      {emr::kPolylineTo, 28},
      {emr::kPolyPolyline, 32},
      {emr::kPolyPolygon, 32},
      {emr::kSetWindowExtEx, 16},
      {emr::kSetWindowOrgEx, 16},
      {emr::kSetViewportExtEx, 16},
      {emr::kSetViewportOrgEx, 16},
      {emr::kSetPixelV, 20},
      {emr::kSetMapMode, 12},
      {emr::kSetBkMode, 12},
      {emr::kSetPolyFillMode, 12},
      {emr::kSetRop2, 12},
      {emr::kSetTextAlign, 12},
      {emr::kSetTextColor, 12},
      {emr::kSetBkColor, 12},
      {emr::kMoveToEx, 16},
      {emr::kExcludeClipRect, 24},
      {emr::kIntersectClipRect, 24},
      {emr::kScaleViewportExtEx, 24},
      {emr::kScaleWindowExtEx, 24},
      {emr::kRestoreDc, 12},
      {emr::kSetWorldTransform, 32},
      {emr::kModifyWorldTransform, 36},
      {emr::kSelectObject, 12},
      {emr::kCreatePen, 28},
      {emr::kCreateBrushIndirect, 24},
      {emr::kDeleteObject, 12},
      {emr::kAngleArc, 28},
      {emr::kEllipse, 24},
      {emr::kRectangle, 24},
      {emr::kRoundRect, 32},
      {emr::kArc, 40},
      {emr::kChord, 40},
      {emr::kPie, 40},
      {emr::kLineTo, 16},
      {emr::kArcTo, 40},
      {emr::kPolyDraw, 28},
      {emr::kSetArcDirection, 12},
      {emr::kSetMiterLimit, 12},
      {emr::kSelectClipPath, 12},
      {emr::kFillRgn, 32},
      {emr::kFrameRgn, 40},
      {emr::kInvertRgn, 28},
      {emr::kPaintRgn, 28},
      {emr::kExtSelectClipRgn, 16},
      {emr::kBitBlt, 100},
      {emr::kStretchBlt, 108},
      {emr::kSetDiBitsToDevice, 76},
      {emr::kStretchDiBits, 80},
      {emr::kExtCreateFontIndirectW, 40},
      {emr::kExtTextOutA, 76},
      {emr::kExtTextOutW, 76},
      {emr::kPolyBezier16, 28},
      {emr::kPolygon16, 28},
      {emr::kPolyline16, 28},
      {emr::kPolyBezierTo16, 28},
      {emr::kPolylineTo16, 28},
      {emr::kPolyPolyline16, 32},
      {emr::kPolyPolygon16, 32},
      {emr::kPolyDraw16, 28},
      {emr::kCreateMonoBrush, 32},
      {emr::kCreateDibPatternBrushPt, 32},
      {emr::kExtCreatePen, 52},
  };
  for (const auto& [t, size] : kSizes) {
    if (t == type) return size;
  }
  return kRecordHead;
}

std::int32_t I32At(std::span<const std::uint8_t> b, std::size_t at) {
  return static_cast<std::int32_t>(b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) |
                                   (std::uint32_t{b[at + 3]} << 24));
}

}  // namespace

bool LooksLikeEmf(std::span<const std::uint8_t> bytes) {
  return bytes.size() >= kEmfHeaderMinSize && I32At(bytes, 0) == emr::kHeader &&
         static_cast<std::uint32_t>(I32At(bytes, 40)) == kEmfSignature;
}

Status ReadEmfHeader(std::span<const std::uint8_t> bytes, EmfHeader& h) {
  if (!LooksLikeEmf(bytes)) return Status::Error("EMF: no enhanced-metafile header");
  h.size = static_cast<std::uint32_t>(I32At(bytes, 4));
  if (h.size < kEmfHeaderMinSize || h.size > bytes.size()) {
    return Status::Error("EMF: header record size " + std::to_string(h.size) + " does not fit");
  }
  for (int i = 0; i < 4; ++i) h.frame[i] = I32At(bytes, 24 + 4 * i);
  h.handles = static_cast<std::uint16_t>(I32At(bytes, 56));
  for (int i = 0; i < 2; ++i) {
    h.device_px[i] = I32At(bytes, 72 + 4 * i);
    h.device_mm[i] = I32At(bytes, 80 + 4 * i);
  }
  if (h.device_px[0] <= 0 || h.device_px[1] <= 0 || h.device_mm[0] <= 0 || h.device_mm[1] <= 0) {
    return Status::Error("EMF: reference device of " + std::to_string(h.device_px[0]) + " x " +
                         std::to_string(h.device_px[1]) + " pixels and " +
                         std::to_string(h.device_mm[0]) + " x " + std::to_string(h.device_mm[1]) +
                         " mm is not usable");
  }
  const long double fw = (long double)h.frame[2] - h.frame[0];
  const long double fh = (long double)h.frame[3] - h.frame[1];
  h.width = std::llroundl(fw * h.device_px[0] / (h.device_mm[0] * 100.0L));
  h.height = std::llroundl(fh * h.device_px[1] / (h.device_mm[1] * 100.0L));
  return {};
}

Status PlayEmf(std::span<const std::uint8_t> bytes, const EmfHeader& h, Canvas& canvas,
               std::uint64_t max_pixels) {
  // The frame, converted to reference pixels, is stretched over the whole image.
  const double ppx = h.device_px[0] / (h.device_mm[0] * 100.0);
  const double ppy = h.device_px[1] / (h.device_mm[1] * 100.0);
  const double sx = canvas.Width() / ((double(h.frame[2]) - h.frame[0]) * ppx);
  const double sy = canvas.Height() / ((double(h.frame[3]) - h.frame[1]) * ppy);
  // In floating point: a frame edge of INT_MIN has no negation as an int.
  const Xform output{sx, 0, 0, sy, -double(h.frame[0]) * ppx * sx, -double(h.frame[1]) * ppy * sy};
  Device device(canvas, output,
                {h.device_px[0] / double(h.device_mm[0]), h.device_px[1] / double(h.device_mm[1])});
  device.ResizeObjectTable(h.handles);
  EmfPlayer player(device, max_pixels);
  // A file cut short must not pass for the whole picture, so playback succeeds only at the
  // end-of-file record (whatever follows it is ignored).
  // Records are counted as the header's record count does, the header being the first.
  std::size_t pos = h.size;
  for (std::size_t record = 2;; ++record) {
    if (bytes.size() - pos < kRecordHead) {
      return Status::Error("EMF: the data ends after record " + std::to_string(record - 1) +
                           ", before the end-of-file record");
    }
    const std::uint32_t type = static_cast<std::uint32_t>(I32At(bytes, pos));
    const std::uint32_t size = static_cast<std::uint32_t>(I32At(bytes, pos + 4));
    if (size < kRecordHead || size > bytes.size() - pos) {
      return Status::Error(
          "EMF: record " + std::to_string(record) + " (type " + std::to_string(type) +
          ") at byte " + std::to_string(pos) + " states a size of " + std::to_string(size) +
          " bytes, " +
          (size < kRecordHead ? "less than its own head" : "past the end of the data"));
    }
    if (type == emr::kEof) return {};
    // Once the work budget is spent nothing more is drawn, but the records are still walked:
    // a cut file fails whether or not its drawing was finished.
    if (size >= MinRecordSize(type) && !canvas.BudgetSpent()) {
      RecordCursor cursor(bytes.subspan(pos, size));
      cursor.Skip(kRecordHead);
      player.Play(type, cursor);
    }
    pos += size;
  }
}

}  // namespace tolvane::metafile
