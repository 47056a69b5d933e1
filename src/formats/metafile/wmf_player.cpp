// Placeable Windows metafile records to device calls. WMF parameters are stored in the
// reverse order of the call's arguments.
#include <string>
#include <utility>
#include <vector>

#include "formats/metafile/device.h"
#include "formats/metafile/metafile.h"
#include "formats/metafile/metafile_format.h"
#include "formats/metafile/players.h"
#include "platform/checked_math.h"

namespace tolvane::metafile {
namespace {

// Reads a y, x pair (the stored order) as a point.
Point ReadYx(RecordCursor& c) {
  const double y = c.I16();
  return {double(c.I16()), y};
}

// bottom, right, top, left as stored.
Rect ReadBox(RecordCursor& c) {
  Rect r;
  r.bottom = c.I16(), r.right = c.I16(), r.top = c.I16(), r.left = c.I16();
  return r;
}

std::optional<std::vector<Point>> ReadXyPoints(RecordCursor& c, std::uint64_t count) {
  if (count > c.remaining() / 4) return std::nullopt;
  std::vector<Point> points(count);
  for (Point& p : points) {
    const double x = c.I16();
    p = {x, double(c.I16())};
  }
  return points;
}

std::u32string Latin1(std::span<const std::uint8_t> bytes) {
  return std::u32string(bytes.begin(), bytes.end());
}

class WmfPlayer {
 public:
  WmfPlayer(Device& device, std::uint64_t max_pixels)
      : device_(device), max_pixels_(max_pixels), dib_budget_(4 * max_pixels) {}
  void Play(std::uint16_t function, RecordCursor& c);

 private:
  void CreateFont(RecordCursor& c);
  void CreatePatternBrush(RecordCursor& c);
  void PolyPolygon(RecordCursor& c);
  void TextOut(RecordCursor& c);
  void ExtTextOut(RecordCursor& c);
  void Bitmap(std::uint16_t function, RecordCursor& c);
  std::optional<Dib> RecordDib(RecordCursor& c);

  Device& device_;
  std::uint64_t max_pixels_;
  std::uint64_t dib_budget_;
};

void WmfPlayer::CreateFont(RecordCursor& c) {
  Font font;
  font.height = c.I16();
  c.I16();
  font.escapement = c.I16();
  c.I16();
  font.weight = c.I16();
  font.italic = c.U8(), font.underline = c.U8(), font.strike_out = c.U8();
  c.Skip(5);
  if (!c.ok()) return;
  for (std::size_t i = 0; i < 32 && c.remaining() > 0; ++i) {
    const std::uint8_t b = c.U8();
    if (b == 0) break;
    font.face += b < 0x80 ? static_cast<char>(b) : '?';
  }
  device_.AddObject(font);
}

std::optional<Dib> WmfPlayer::RecordDib(RecordCursor& c) {
  const auto packed = c.Bytes(c.remaining());
  if (!packed) return std::nullopt;
  std::optional<Dib> dib = DecodePackedDib(*packed, std::min(max_pixels_, dib_budget_));
  if (dib) dib_budget_ -= std::uint64_t(dib->image.Width()) * std::uint64_t(dib->image.Height());
  return dib;
}

void WmfPlayer::CreatePatternBrush(RecordCursor& c) {
  const std::uint16_t style = c.U16();
  c.U16();
  Brush brush{Brush::kSolid, kBlack, 0, nullptr};
  if (style != Brush::kPattern && c.ok()) {
    if (std::optional<Dib> dib = RecordDib(c)) {
      brush.style = Brush::kPattern;
      brush.pattern = std::make_shared<const TBitmap>(std::move(dib->image));
    }
  }
  device_.AddObject(brush);
}

void WmfPlayer::PolyPolygon(RecordCursor& c) {
  const std::uint16_t polys = c.U16();
  if (!c.ok() || polys > c.remaining() / 2) return;
  std::vector<std::uint32_t> counts(polys);
  std::uint64_t total = 0;
  for (std::uint32_t& n : counts) total += (n = c.U16());
  const auto points = ReadXyPoints(c, total);
  if (points && c.ok()) device_.PolyPolygon(*points, counts, true);
}

void WmfPlayer::TextOut(RecordCursor& c) {
  const std::int16_t count = c.I16();
  if (!c.ok() || count <= 0) return;
  const auto string = c.Bytes(std::size_t(count));
  c.Skip(count & 1);
  const Point at = ReadYx(c);
  if (string && c.ok()) device_.TextOut(at, Latin1(*string), {}, 0, std::nullopt);
}

void WmfPlayer::ExtTextOut(RecordCursor& c) {
  const Point at = ReadYx(c);
  const std::int16_t count = c.I16();
  const std::uint16_t options = c.U16();
  std::optional<Rect> rect;
  if (options & 6) {
    Rect r;
    r.left = c.I16(), r.top = c.I16(), r.right = c.I16(), r.bottom = c.I16();
    rect = r;
  }
  if (!c.ok() || count < 0) return;
  const auto string = c.Bytes(std::size_t(count));
  if (!string) return;
  c.Skip(count & 1);
  std::vector<std::int32_t> dx;
  if (c.remaining() >= 2 * std::size_t(count)) {
    for (int i = 0; i < count; ++i) dx.push_back(c.I16());
  }
  device_.TextOut(at, Latin1(*string), dx, options, rect);
}

void WmfPlayer::Bitmap(std::uint16_t function, RecordCursor& c) {
  BltArgs a;
  a.rop = c.U32();
  // The pattern-only forms of the blit records are one word longer and carry no bitmap.
  const bool no_bitmap = c.record().size() == 2u * ((function >> 8) + 3);
  if (function == meta::kStretchDib || function == meta::kSetDibToDev) {
    if (function == meta::kSetDibToDev) {
      a.rop = kSrcCopy;
      c.Seek(6);
      c.U16();    // colour usage
      c.Skip(4);  // scan count and first scan
    } else {
      c.U16();
    }
    a.rows_from_bottom = true;
  }
  if (function == meta::kSetDibToDev) {
    a.src_y = c.I16(), a.src_x = c.I16();
    a.src_height = c.I16(), a.src_width = c.I16();
    a.dest.bottom = a.src_height, a.dest.right = a.src_width;
  } else {
    if (function != meta::kDibBitBlt) a.src_height = c.I16(), a.src_width = c.I16();
    a.src_y = c.I16(), a.src_x = c.I16();
    if (no_bitmap) c.I16();
    a.dest.bottom = c.I16(), a.dest.right = c.I16();
    if (function == meta::kDibBitBlt) a.src_height = a.dest.bottom, a.src_width = a.dest.right;
  }
  a.dest.top = c.I16(), a.dest.left = c.I16();
  if (!c.ok()) return;
  std::optional<Dib> dib;
  if (!no_bitmap) dib = RecordDib(c);
  a.source = dib ? &*dib : nullptr;
  device_.Blt(a);
}

void WmfPlayer::Play(std::uint16_t function, RecordCursor& c) {
  DcState& s = device_.State();
  switch (function) {
    case meta::kSetBkColor:
      s.bk_colour = c.U32() & 0xFFFFFF;
      break;
    case meta::kSetTextColor:
      s.text_colour = c.U32() & 0xFFFFFF;
      break;
    case meta::kSetBkMode:
      s.opaque_background = c.U16() == 2;
      break;
    case meta::kSetPolyFillMode:
      s.winding = c.U16() == 2;
      break;
    case meta::kSetRop2:
      s.rop2 = c.U16();
      break;
    case meta::kSetTextAlign:
      s.text_align = c.U16();
      break;
    case meta::kSetWindowOrg:
      device_.SetWindowOrg(ReadYx(c));
      break;
    case meta::kSetWindowExt:
      device_.SetWindowExt(ReadYx(c));
      break;
    case meta::kOffsetWindowOrg: {
      const Point d = ReadYx(c);
      device_.SetWindowOrg({s.window_org.x + d.x, s.window_org.y + d.y});
      break;
    }
    case meta::kScaleWindowExt: {
      const double yd = c.I16(), yn = c.I16(), xd = c.I16(), xn = c.I16();
      if (c.ok()) device_.ScaleWindowExt(xn, xd, yn, yd);
      break;
    }
    case meta::kMoveTo:
      device_.MoveTo(ReadYx(c));
      break;
    case meta::kLineTo:
      device_.LineTo(ReadYx(c));
      break;
    case meta::kSetPixel: {
      const TColor colour = c.U32() & 0xFFFFFF;
      const Point p = ReadYx(c);
      if (c.ok()) device_.SetPixel(p, colour);
      break;
    }
    case meta::kPolygon:
    case meta::kPolyline: {
      const auto points = ReadXyPoints(c, std::max<std::int16_t>(c.I16(), 0));
      if (!points || !c.ok()) break;
      function == meta::kPolygon ? device_.Polygon(*points) : device_.Polyline(*points);
      break;
    }
    case meta::kPolyPolygon:
      PolyPolygon(c);
      break;
    case meta::kRectangle:
      device_.Rectangle(ReadBox(c));
      break;
    case meta::kEllipse:
      device_.Ellipse(ReadBox(c));
      break;
    case meta::kRoundRect: {
      const double h = c.I16(), w = c.I16();
      const Rect r = ReadBox(c);
      if (c.ok()) device_.RoundRect(r, {w, h});
      break;
    }
    case meta::kArc:
    case meta::kPie:
    case meta::kChord: {
      const Point end = ReadYx(c), start = ReadYx(c);
      const Rect r = ReadBox(c);
      if (!c.ok()) break;
      device_.Arc(r, start, end,
                  function == meta::kArc   ? ArcKind::kArc
                  : function == meta::kPie ? ArcKind::kPie
                                           : ArcKind::kChord);
      break;
    }
    case meta::kIntersectClipRect:
      device_.IntersectClipRect(ReadBox(c));
      break;
    case meta::kExcludeClipRect:
      device_.ExcludeClipRect(ReadBox(c));
      break;
    case meta::kSaveDc:
      device_.SaveDc();
      break;
    case meta::kRestoreDc:
      device_.RestoreDc(c.I16());
      break;
    case meta::kSelectObject:
      device_.SelectObject(c.U16());
      break;
    case meta::kDeleteObject:
      device_.DeleteObject(c.U16());
      break;
    case meta::kCreatePenIndirect: {
      const std::uint16_t style = c.U16();
      const std::int16_t width = c.I16();
      c.I16();
      const TColor colour = c.U32() & 0xFFFFFF;
      if (c.ok()) device_.AddObject(Pen{style, width > 1 ? double(width) : 0.0, colour});
      break;
    }
    case meta::kCreateBrushIndirect: {
      const std::uint16_t style = c.U16();
      const TColor colour = c.U32() & 0xFFFFFF;
      const std::uint16_t hatch = c.U16();
      const std::uint32_t kind =
          style <= Brush::kHatched ? std::uint32_t{style} : std::uint32_t{Brush::kSolid};
      if (c.ok()) device_.AddObject(Brush{kind, colour, hatch, nullptr});
      break;
    }
    case meta::kCreateFontIndirect:
      CreateFont(c);
      break;
    case meta::kDibCreatePatternBrush:
      CreatePatternBrush(c);
      break;
    // Objects this player does not draw with still take their slot, keeping later indices.
    case meta::kCreatePalette:
    case meta::kCreatePatternBrush:
    case meta::kCreateRegion:
      device_.AddObject(Palette{});
      break;
    case meta::kTextOut:
      TextOut(c);
      break;
    case meta::kExtTextOut:
      ExtTextOut(c);
      break;
    case meta::kPatBlt: {
      BltArgs a;
      a.rop = c.U32();
      a.dest.bottom = c.I16(), a.dest.right = c.I16(), a.dest.top = c.I16(), a.dest.left = c.I16();
      if (c.ok()) device_.Blt(a);
      break;
    }
    case meta::kDibBitBlt:
    case meta::kDibStretchBlt:
    case meta::kStretchDib:
    case meta::kSetDibToDev:
      Bitmap(function, c);
      break;
    default:
      break;  // mapping mode and viewport belong to the placeable frame; others draw nothing
  }
}

// Bytes of parameters each function needs at least; shorter records are skipped whole.
std::size_t MinParams(std::uint16_t function) {
  static const std::pair<std::uint16_t, std::uint8_t> kSizes[] = {
      {meta::kSetBkColor, 4},
      {meta::kSetTextColor, 4},
      {meta::kSetBkMode, 2},
      {meta::kSetPolyFillMode, 2},
      {meta::kSetRop2, 2},
      {meta::kSetTextAlign, 2},
      {meta::kSetWindowOrg, 4},
      {meta::kSetWindowExt, 4},
      {meta::kOffsetWindowOrg, 4},
      {meta::kScaleWindowExt, 8},
      {meta::kMoveTo, 4},
      {meta::kLineTo, 4},
      {meta::kSetPixel, 8},
      {meta::kPolygon, 2},
      {meta::kPolyline, 2},
      {meta::kPolyPolygon, 2},
      {meta::kRectangle, 8},
      {meta::kEllipse, 8},
      {meta::kRoundRect, 12},
      {meta::kArc, 16},
      {meta::kPie, 16},
      {meta::kChord, 16},
      {meta::kIntersectClipRect, 8},
      {meta::kExcludeClipRect, 8},
      {meta::kRestoreDc, 2},
      {meta::kSelectObject, 2},
      {meta::kDeleteObject, 2},
      {meta::kCreatePenIndirect, 10},
      {meta::kCreateBrushIndirect, 8},
      {meta::kCreateFontIndirect, 18},
      {meta::kDibCreatePatternBrush, 4},
      {meta::kTextOut, 2},
      {meta::kExtTextOut, 8},
      {meta::kPatBlt, 12},
      {meta::kDibBitBlt, 16},
      {meta::kDibStretchBlt, 20},
      {meta::kStretchDib, 22},
      {meta::kSetDibToDev, 18},
  };
  for (const auto& [f, size] : kSizes) {
    if (f == function) return size;
  }
  return 0;
}

std::uint16_t U16At(std::span<const std::uint8_t> b, std::size_t at) {
  return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}

std::uint32_t U32At(std::span<const std::uint8_t> b, std::size_t at) {
  return U16At(b, at) | (std::uint32_t{U16At(b, at + 2)} << 16);
}

}  // namespace

Status ReadPlaceableHeader(std::span<const std::uint8_t> bytes, PlaceableHeader& h) {
  if (bytes.size() < kPlaceableHeaderSize || U32At(bytes, 0) != kPlaceableKey) {
    return Status::Error("WMF: not a placeable metafile (no 9AC6CDD7 key)");
  }
  std::uint16_t sum = 0;
  for (std::size_t i = 0; i < 20; i += 2) sum ^= U16At(bytes, i);
  if (sum != U16At(bytes, 20)) {
    return Status::Error("WMF: placeable header checksum " + std::to_string(U16At(bytes, 20)) +
                         " should be " + std::to_string(sum));
  }
  for (int i = 0; i < 4; ++i) h.box[i] = static_cast<std::int16_t>(U16At(bytes, 6 + 2 * i));
  h.units_per_inch = U16At(bytes, 14);
  if (h.units_per_inch == 0) return Status::Error("WMF: units per inch is 0");
  if (bytes.size() < kPlaceableHeaderSize + kWmfHeaderSize) {
    return Status::Error("WMF: file ends inside the metafile header");
  }
  const std::uint16_t type = U16At(bytes, 22), words = U16At(bytes, 24);
  if ((type != 1 && type != 2) || words < 9) {
    return Status::Error("WMF: metafile header of type " + std::to_string(type) + " and " +
                         std::to_string(words) + " words is not valid");
  }
  h.objects = U16At(bytes, 32);
  h.records_at = kPlaceableHeaderSize + 2u * words;
  h.width = MulDiv(std::abs(h.box[2] - h.box[0]), kScreenDpi, h.units_per_inch);
  h.height = MulDiv(std::abs(h.box[3] - h.box[1]), kScreenDpi, h.units_per_inch);
  return {};
}

Status PlayWmf(std::span<const std::uint8_t> bytes, const PlaceableHeader& h, Canvas& canvas,
               std::uint64_t max_pixels) {
  Device device(canvas, Xform{}, {kScreenDpi / 25.4, kScreenDpi / 25.4});
  DcState& s = device.State();
  // The bounding box is the window, the whole image the viewport.
  s.map_mode = kMmAnisotropic;
  s.window_org = {double(h.box[0]), double(h.box[1])};
  s.window_ext = {double(h.box[2] - h.box[0]), double(h.box[3] - h.box[1])};
  if (s.window_ext.x == 0) s.window_ext.x = 1;
  if (s.window_ext.y == 0) s.window_ext.y = 1;
  s.viewport_ext = {double(canvas.Width()), double(canvas.Height())};
  device.SetViewportFixed(true);
  device.ResizeObjectTable(h.objects);
  WmfPlayer player(device, max_pixels);
  // As for EMF: only the end-of-file record (of at least its own three words) ends playback
  // well; a run of zero bytes where records should be is damage, not an end.
  std::size_t pos = h.records_at;
  for (std::size_t record = 1;; ++record) {
    if (pos > bytes.size() || bytes.size() - pos < 6) {
      return Status::Error("WMF: the data ends after " + std::to_string(record - 1) +
                           " records, before the end-of-file record");
    }
    const std::uint64_t size = std::uint64_t{U32At(bytes, pos)} * 2;
    const std::uint16_t function = U16At(bytes, pos + 4);
    if (size < 6 || size > bytes.size() - pos) {
      return Status::Error("WMF: record " + std::to_string(record) + " (function " +
                           std::to_string(function) + ") at byte " + std::to_string(pos) +
                           " states a size of " + std::to_string(size / 2) + " words, " +
                           (size < 6 ? "less than its own head" : "past the end of the data"));
    }
    if (function == meta::kEof) return {};
    if (size - 6 >= MinParams(function) && !canvas.BudgetSpent()) {
      RecordCursor cursor(bytes.subspan(pos, static_cast<std::size_t>(size)));
      cursor.Skip(6);
      player.Play(function, cursor);
    }
    pos += static_cast<std::size_t>(size);
  }
}

}  // namespace tolvane::metafile
