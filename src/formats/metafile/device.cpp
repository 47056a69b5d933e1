#include "formats/metafile/device.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "formats/metafile/metafile_format.h"

namespace tolvane::metafile {
namespace {

constexpr std::size_t kMaxObjects = 1 << 16;
constexpr std::size_t kMaxSaveDepth = 1024;
constexpr std::size_t kMaxTextChars = 4096;
constexpr double kPi = std::numbers::pi;

bool IsFixedMode(int mode) { return mode >= kMmLoMetric && mode <= kMmTwips; }

// Millimetres per logical unit of the fixed map modes.
double MmPerUnit(int mode) {
  switch (mode) {
    case kMmLoMetric:
      return 0.1;
    case kMmHiMetric:
      return 0.01;
    case kMmLoEnglish:
      return 0.254;
    case kMmHiEnglish:
      return 0.0254;
    case kMmTwips:
      return 25.4 / 1440;
    default:
      return 1;
  }
}

GdiObject MakeStockObject(std::uint32_t which) {
  auto brush = [](std::uint32_t style, TColor c) { return Brush{style, c, 0, nullptr}; };
  switch (which) {
    case kWhiteBrush:
      return brush(Brush::kSolid, kWhite);
    case kLtGrayBrush:
      return brush(Brush::kSolid, RGBColor(192, 192, 192));
    case kGrayBrush:
      return brush(Brush::kSolid, RGBColor(128, 128, 128));
    case kDkGrayBrush:
      return brush(Brush::kSolid, RGBColor(64, 64, 64));
    case kBlackBrush:
      return brush(Brush::kSolid, kBlack);
    case kNullBrush:
      return brush(Brush::kNull, kBlack);
    case kDcBrush:
      return brush(Brush::kSolid, kWhite);
    case kWhitePen:
      return Pen{0, 0, kWhite};
    case kBlackPen:
    case kDcPen:
      return Pen{0, 0, kBlack};
    case kNullPen:
      return Pen{5, 0, kBlack};
    default:
      return Font{};
  }
}

}  // namespace

// Collects one shape in logical coordinates, storing it transformed to device space.
class Device::Builder {
 public:
  explicit Builder(const Xform& t) : t_(t) {}
  void Move(Point p) { Add(PathOp::kMove, {p}); }
  void Line(Point p) { Add(PathOp::kLine, {p}); }
  void Curve(Point a, Point b, Point c) { Add(PathOp::kCurve, {a, b, c}); }
  void Close() { path_.push_back({PathOp::kClose, {}}); }
  void Polyline(std::span<const Point> points, bool move_first) {
    for (std::size_t i = 0; i < points.size(); ++i) {
      (i == 0 && move_first) ? Move(points[i]) : Line(points[i]);
    }
  }
  // Part of the ellipse around centre with radii r from angle a0 over sweep (radians,
  // counter-clockwise as seen with y growing downwards), as Bezier quarters at most.
  void EllipseArc(Point c, Point r, double a0, double sweep, bool move_first) {
    auto at = [&](double a) { return Point{c.x + r.x * std::cos(a), c.y - r.y * std::sin(a)}; };
    auto slope = [&](double a) { return Point{-r.x * std::sin(a), -r.y * std::cos(a)}; };
    const int n = std::max(1, static_cast<int>(std::ceil(std::abs(sweep) / (kPi / 2) - 1e-9)));
    const double step = sweep / n, k = 4.0 / 3.0 * std::tan(step / 4);
    move_first ? Move(at(a0)) : Line(at(a0));
    for (int i = 0; i < n; ++i) {
      const double s = a0 + i * step, e = s + step;
      const Point p0 = at(s), p3 = at(e), d0 = slope(s), d1 = slope(e);
      Curve({p0.x + k * d0.x, p0.y + k * d0.y}, {p3.x - k * d1.x, p3.y - k * d1.y}, p3);
    }
  }
  Path Take() { return std::move(path_); }

 private:
  void Add(PathOp::Kind kind, std::initializer_list<Point> points) {
    PathOp op{kind, {}};
    int i = 0;
    for (Point p : points) op.p[i++] = ClampPoint(t_.Apply(p));
    path_.push_back(op);
  }
  Xform t_;
  Path path_;
};

Device::Device(Canvas& canvas, const Xform& output, Point px_per_mm)
    : canvas_(canvas), output_(output), px_per_mm_(px_per_mm) {
  state_.pen = std::get<Pen>(MakeStockObject(kBlackPen));
  state_.brush = std::get<Brush>(MakeStockObject(kWhiteBrush));
}

// ---- mapping -------------------------------------------------------------------------

Xform Device::PageTransform() const {
  const DcState& s = state_;
  double sx = 1, sy = 1;
  if (IsFixedMode(s.map_mode)) {
    sx = px_per_mm_.x * MmPerUnit(s.map_mode);
    sy = -px_per_mm_.y * MmPerUnit(s.map_mode);
  } else if (s.map_mode == kMmIsotropic || s.map_mode == kMmAnisotropic) {
    sx = s.window_ext.x != 0 ? s.viewport_ext.x / s.window_ext.x : 1;
    sy = s.window_ext.y != 0 ? s.viewport_ext.y / s.window_ext.y : 1;
    if (s.map_mode == kMmIsotropic) {
      const double m = std::min(std::abs(sx), std::abs(sy));
      sx = std::copysign(m, sx), sy = std::copysign(m, sy);
    }
  }
  return {
      sx, 0, 0, sy, s.viewport_org.x - s.window_org.x * sx, s.viewport_org.y - s.window_org.y * sy};
}

// A transform that overflows maps everything onto one point, which draws nothing.
Xform Device::Full() const {
  const Xform full = state_.world.Then(PageTransform()).Then(output_);
  return full.Finite() ? full : Xform{0, 0, 0, 0, 0, 0};
}
Point Device::ToDevice(Point p) const { return ClampPoint(Full().Apply(p)); }

void Device::SetMapMode(int mode) {
  if (mode >= kMmText && mode <= kMmAnisotropic) state_.map_mode = mode;
}

void Device::SetWindowExt(Point p) {
  if (p.x != 0 && p.y != 0) state_.window_ext = p;
}

void Device::SetViewportOrg(Point p) {
  if (!viewport_fixed_) state_.viewport_org = p;
}

void Device::SetViewportExt(Point p) {
  if (!viewport_fixed_ && p.x != 0 && p.y != 0) state_.viewport_ext = p;
}

void Device::ScaleWindowExt(double xn, double xd, double yn, double yd) {
  if (xd == 0 || yd == 0 || xn == 0 || yn == 0) return;
  const Point ext{state_.window_ext.x * xn / xd, state_.window_ext.y * yn / yd};
  if (std::isfinite(ext.x) && std::isfinite(ext.y) && ext.x != 0 && ext.y != 0) {
    state_.window_ext = ext;
  }
}

void Device::ScaleViewportExt(double xn, double xd, double yn, double yd) {
  if (viewport_fixed_ || xd == 0 || yd == 0 || xn == 0 || yn == 0) return;
  const Point ext{state_.viewport_ext.x * xn / xd, state_.viewport_ext.y * yn / yd};
  if (std::isfinite(ext.x) && std::isfinite(ext.y) && ext.x != 0 && ext.y != 0) {
    state_.viewport_ext = ext;
  }
}

void Device::SetWorldTransform(const Xform& x) {
  if (x.Finite() && x.Determinant() != 0) state_.world = x;
}

void Device::ModifyWorldTransform(const Xform& x, std::uint32_t mode) {
  if (mode == 1)
    state_.world = Xform{};
  else if (mode == 2)
    SetWorldTransform(x.Then(state_.world));
  else if (mode == 3)
    SetWorldTransform(state_.world.Then(x));
  else if (mode == 4)
    SetWorldTransform(x);
}

void Device::SaveDc() {
  if (saved_.size() >= kMaxSaveDepth) return;
  saved_.push_back(state_);
  canvas_.Save();
}

void Device::RestoreDc(std::int32_t which) {
  const std::int64_t depth = static_cast<std::int64_t>(saved_.size());
  const std::int64_t pops = which < 0 ? -std::int64_t{which} : depth - which + 1;
  if (which == 0 || pops <= 0 || pops > depth) return;
  for (std::int64_t i = 0; i < pops; ++i) {
    state_ = std::move(saved_.back());
    saved_.pop_back();
    canvas_.Restore();
  }
}

// ---- objects -------------------------------------------------------------------------

void Device::ResizeObjectTable(std::size_t count) { objects_.resize(std::min(count, kMaxObjects)); }

void Device::PutObject(std::uint32_t index, GdiObject object) {
  if (index == 0 || index >= objects_.size()) return;
  objects_[index] = std::move(object);
}

void Device::AddObject(GdiObject object) {
  auto free = std::find(objects_.begin(), objects_.end(), std::nullopt);
  if (free != objects_.end()) {
    *free = std::move(object);
  } else if (objects_.size() < kMaxObjects) {
    objects_.emplace_back(std::move(object));
  }
}

void Device::SelectObject(std::uint32_t index) {
  std::optional<GdiObject> object;
  if (index & kStockFlag) {
    const std::uint32_t which = index & ~kStockFlag;
    if (which <= kLastStock) object = MakeStockObject(which);
  } else if (index < objects_.size()) {
    object = objects_[index];
  }
  if (!object) return;
  if (auto* pen = std::get_if<Pen>(&*object)) state_.pen = *pen;
  if (auto* brush = std::get_if<Brush>(&*object)) state_.brush = *brush;
  if (auto* font = std::get_if<Font>(&*object)) state_.font = *font;
}

void Device::DeleteObject(std::uint32_t index) {
  if (index < objects_.size()) objects_[index].reset();
}

std::optional<Brush> Device::BrushAt(std::uint32_t index) const {
  if (index & kStockFlag) {
    const GdiObject o = MakeStockObject(index & ~kStockFlag);
    if (auto* b = std::get_if<Brush>(&o)) return *b;
    return std::nullopt;
  }
  if (index >= objects_.size() || !objects_[index]) return std::nullopt;
  if (auto* b = std::get_if<Brush>(&*objects_[index])) return *b;
  return std::nullopt;
}

// ---- painting ------------------------------------------------------------------------

namespace {

// The binary raster operation as a colour and a blend, or nothing for R2_NOP.
std::optional<std::pair<TColor, Blend>> Mix(int rop2, TColor colour) {
  switch (rop2) {
    case 1:
      return std::pair{kBlack, Blend::kNormal};
    case 4:
      return std::pair{TColor(~colour & 0xFFFFFF), Blend::kNormal};
    case 6:
      return std::pair{kWhite, Blend::kDifference};
    case 7:
      return std::pair{colour, Blend::kDifference};
    case 9:
      return std::pair{colour, Blend::kMultiply};
    case 11:
      return std::nullopt;
    case 15:
      return std::pair{colour, Blend::kScreen};
    case 16:
      return std::pair{kWhite, Blend::kNormal};
    default:
      return std::pair{colour, Blend::kNormal};
  }
}

}  // namespace

void Device::FillShape(const Path& path, const Brush& brush) {
  if (brush.style == Brush::kNull || path.empty()) return;
  const auto mix = Mix(state_.rop2, brush.colour);
  if (!mix) return;
  FillStyle style;
  style.colour = mix->first;
  style.blend = mix->second;
  if (brush.style == Brush::kHatched) {
    style.hatch = static_cast<int>(std::min<std::uint32_t>(brush.hatch, 5));
    if (state_.opaque_background) style.hatch_background = state_.bk_colour;
  }
  if (brush.style == Brush::kPattern) style.pattern = brush.pattern;
  canvas_.Fill(path, style, state_.winding);
}

void Device::StrokeShape(const Path& path) {
  const Pen& pen = state_.pen;
  const std::uint32_t kind = pen.style & 0xF;
  if (kind == 5 || path.empty()) return;
  const auto mix = Mix(state_.rop2, pen.colour);
  if (!mix) return;
  StrokeStyle style;
  style.colour = mix->first;
  style.blend = mix->second;
  const double scale = std::sqrt(std::abs(Full().Determinant()));
  style.width = std::clamp(pen.width * scale, 1.0, kCoordinateLimit);
  const std::uint32_t cap = pen.style & 0xF00, join = pen.style & 0xF000;
  style.cap = cap == 0x100   ? StrokeStyle::kSquareCap
              : cap == 0x200 ? StrokeStyle::kFlatCap
                             : StrokeStyle::kRoundCap;
  style.join = join == 0x1000   ? StrokeStyle::kBevelJoin
               : join == 0x2000 ? StrokeStyle::kMiterJoin
                                : StrokeStyle::kRoundJoin;
  style.miter_limit = state_.miter_limit;
  const double unit = std::max(1.0, style.width);
  switch (kind) {
    case 1:
      style.dashes = {18 * unit, 6 * unit};
      break;
    case 2:
      style.dashes = {3 * unit, 3 * unit};
      break;
    case 3:
      style.dashes = {9 * unit, 6 * unit, 3 * unit, 6 * unit};
      break;
    case 4:
      style.dashes = {9 * unit, 3 * unit, 3 * unit, 3 * unit, 3 * unit, 3 * unit};
      break;
    default:
      break;
  }
  canvas_.Stroke(path, style);
}

void Device::Emit(Path&& path, bool fill, bool stroke) {
  if (in_path_) {
    path_.insert(path_.end(), path.begin(), path.end());
    return;
  }
  if (fill) FillShape(path, state_.brush);
  if (stroke) StrokeShape(path);
}

Path Device::RectPath(const Rect& r, const Xform& t) const {
  Builder b(t);
  b.Move({r.left, r.top});
  b.Line({r.right, r.top});
  b.Line({r.right, r.bottom});
  b.Line({r.left, r.bottom});
  b.Close();
  return b.Take();
}

// A figure continuing from the current position starts there when the path has none open.
void Device::ContinuePath(Builder& b) {
  if (!in_path_ || path_.empty() || path_.back().kind == PathOp::kClose) b.Move(state_.position);
}

void Device::MoveTo(Point p) {
  state_.position = p;
  if (in_path_) {
    Builder b(Full());
    b.Move(p);
    Path part = b.Take();
    path_.insert(path_.end(), part.begin(), part.end());
  }
}

void Device::LineTo(Point p) { PolylineTo(std::span<const Point>(&p, 1)); }

void Device::Polyline(std::span<const Point> points) {
  if (points.empty()) return;
  Builder b(Full());
  b.Polyline(points, true);
  Emit(b.Take(), false, true);
}

void Device::PolylineTo(std::span<const Point> points) {
  if (points.empty()) return;
  const Xform t = Full();
  Builder b(t);
  ContinuePath(b);
  b.Polyline(points, false);
  state_.position = points.back();
  Emit(b.Take(), false, true);
}

void Device::Polygon(std::span<const Point> points) {
  const std::uint32_t count = static_cast<std::uint32_t>(points.size());
  PolyPolygon(points, std::span<const std::uint32_t>(&count, 1), true);
}

void Device::PolyPolygon(std::span<const Point> points, std::span<const std::uint32_t> counts,
                         bool closed) {
  const Xform t = Full();
  Builder b(t);
  std::size_t at = 0;
  for (std::uint32_t n : counts) {
    if (n > points.size() - at) break;
    if (n >= 2) {
      b.Polyline(points.subspan(at, n), true);
      if (closed) b.Close();
    }
    at += n;
  }
  Emit(b.Take(), closed, true);
}

void Device::PolyBezier(std::span<const Point> points) {
  if (points.empty()) return;
  const Xform t = Full();
  Builder b(t);
  b.Move(points[0]);
  for (std::size_t i = 1; i + 2 < points.size(); i += 3) {
    b.Curve(points[i], points[i + 1], points[i + 2]);
  }
  Emit(b.Take(), false, true);
}

void Device::PolyBezierTo(std::span<const Point> points) {
  if (points.size() < 3) return;
  const Xform t = Full();
  Builder b(t);
  ContinuePath(b);
  std::size_t i = 0;
  for (; i + 2 < points.size(); i += 3) b.Curve(points[i], points[i + 1], points[i + 2]);
  state_.position = points[i - 1];
  Emit(b.Take(), false, true);
}

void Device::PolyDraw(std::span<const Point> points, std::span<const std::uint8_t> types) {
  const Xform t = Full();
  Builder b(t);
  ContinuePath(b);
  const std::size_t n = std::min(points.size(), types.size());
  for (std::size_t i = 0; i < n; ++i) {
    const std::uint8_t kind = types[i] & 0x6;
    if (kind == 0x6) {
      b.Move(points[i]);
    } else if (kind == 0x4 && i + 2 < n) {
      b.Curve(points[i], points[i + 1], points[i + 2]);
      i += 2;
    } else {
      b.Line(points[i]);
    }
    state_.position = points[i];
    if (types[i] & 0x1) b.Close();
  }
  Emit(b.Take(), false, true);
}

void Device::Rectangle(const Rect& r) { Emit(RectPath(r, Full()), true, true); }

void Device::RoundRect(const Rect& box, Point corner) {
  Rect r{std::min(box.left, box.right), std::min(box.top, box.bottom),
         std::max(box.left, box.right), std::max(box.top, box.bottom)};
  const double rx = std::min(std::abs(corner.x) / 2, (r.right - r.left) / 2);
  const double ry = std::min(std::abs(corner.y) / 2, (r.bottom - r.top) / 2);
  const Xform t = Full();
  Builder b(t);
  const double q = kPi / 2;
  b.EllipseArc({r.right - rx, r.top + ry}, {rx, ry}, q, -q, true);
  b.EllipseArc({r.right - rx, r.bottom - ry}, {rx, ry}, 0, -q, false);
  b.EllipseArc({r.left + rx, r.bottom - ry}, {rx, ry}, -q, -q, false);
  b.EllipseArc({r.left + rx, r.top + ry}, {rx, ry}, -2 * q, -q, false);
  b.Close();
  Emit(b.Take(), true, true);
}

void Device::Ellipse(const Rect& r) {
  const Xform t = Full();
  Builder b(t);
  const Point c{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
  b.EllipseArc(c, {std::abs(r.right - r.left) / 2, std::abs(r.bottom - r.top) / 2}, 0, 2 * kPi,
               true);
  b.Close();
  Emit(b.Take(), true, true);
}

void Device::Arc(const Rect& box, Point start, Point end, ArcKind kind) {
  const Point c{(box.left + box.right) / 2, (box.top + box.bottom) / 2};
  const Point r{std::abs(box.right - box.left) / 2, std::abs(box.bottom - box.top) / 2};
  if (r.x == 0 || r.y == 0) return;
  const double a0 = std::atan2(-(start.y - c.y) / r.y, (start.x - c.x) / r.x);
  const double a1 = std::atan2(-(end.y - c.y) / r.y, (end.x - c.x) / r.x);
  double sweep = a1 - a0;
  if (state_.clockwise) {
    if (sweep >= 0) sweep -= 2 * kPi;
  } else if (sweep <= 0) {
    sweep += 2 * kPi;
  }
  const Xform t = Full();
  Builder b(t);
  if (kind == ArcKind::kPie) b.Move(c);
  if (kind == ArcKind::kArcTo) ContinuePath(b);
  b.EllipseArc(c, r, a0, sweep, kind == ArcKind::kArc || kind == ArcKind::kChord);
  const bool closed = kind == ArcKind::kChord || kind == ArcKind::kPie;
  if (closed) b.Close();
  if (kind == ArcKind::kArcTo) {
    state_.position = {c.x + r.x * std::cos(a0 + sweep), c.y - r.y * std::sin(a0 + sweep)};
  }
  Emit(b.Take(), closed, true);
}

void Device::AngleArc(Point centre, double radius, double start_deg, double sweep_deg) {
  if (!std::isfinite(start_deg) || !std::isfinite(sweep_deg)) return;
  const double a0 = start_deg * kPi / 180;
  const double sweep = std::clamp(sweep_deg, -3600.0, 3600.0) * kPi / 180;
  const Xform t = Full();
  Builder b(t);
  ContinuePath(b);
  b.EllipseArc(centre, {radius, radius}, a0, sweep, false);
  state_.position = {centre.x + radius * std::cos(a0 + sweep),
                     centre.y - radius * std::sin(a0 + sweep)};
  Emit(b.Take(), false, true);
}

void Device::SetPixel(Point p, TColor colour) {
  const Point d = ToDevice(p);
  canvas_.SetPixel(static_cast<int>(std::floor(d.x)), static_cast<int>(std::floor(d.y)), colour);
}

// ---- paths and clipping ----------------------------------------------------------------

void Device::BeginPath() {
  in_path_ = true;
  path_.clear();
}

void Device::AbortPath() {
  in_path_ = false;
  path_.clear();
}

void Device::CloseFigure() {
  if (in_path_ && !path_.empty()) path_.push_back({PathOp::kClose, {}});
}

void Device::FillPath() {
  in_path_ = false;
  FillShape(path_, state_.brush);
  path_.clear();
}

void Device::StrokePath() {
  in_path_ = false;
  StrokeShape(path_);
  path_.clear();
}

void Device::StrokeAndFillPath() {
  in_path_ = false;
  FillShape(path_, state_.brush);
  StrokeShape(path_);
  path_.clear();
}

// Union and exclusive-or with the previous clip cannot be expressed by cairo's intersecting
// clip; they take the new area alone, which keeps what the file means to draw visible.
void Device::SelectClipPath(std::uint32_t mode) {
  in_path_ = false;
  if (mode == kRgnDiff) {
    canvas_.ClipOut(path_);
  } else if (mode == kRgnAnd) {
    canvas_.ClipTo(path_, state_.winding);
  } else if (mode >= kRgnOr && mode <= kRgnCopy) {
    canvas_.ResetClip();
    canvas_.ClipTo(path_, state_.winding);
  }
  path_.clear();
}

void Device::IntersectClipRect(const Rect& r) { canvas_.ClipTo(RectPath(r, Full()), true); }
void Device::ExcludeClipRect(const Rect& r) { canvas_.ClipOut(RectPath(r, Full())); }

void Device::SelectClipRegion(std::span<const Rect> rects, std::uint32_t mode) {
  if (mode < kRgnAnd || mode > kRgnCopy) return;
  if (mode != kRgnAnd && mode != kRgnDiff) canvas_.ResetClip();
  if (rects.empty()) return;
  Path all;
  for (const Rect& r : rects) {
    Path p = RectPath(r, output_);
    all.insert(all.end(), p.begin(), p.end());
  }
  mode == kRgnDiff ? canvas_.ClipOut(all) : canvas_.ClipTo(all, true);
}

void Device::FillRegion(std::span<const Rect> rects, const Brush& brush) {
  const Xform t = Full();
  for (const Rect& r : rects) FillShape(RectPath(r, t), brush);
}

void Device::FrameRegion(std::span<const Rect> rects, const Brush& brush) {
  const Pen saved = state_.pen;
  state_.pen = Pen{0, 0, brush.colour};
  const Xform t = Full();
  for (const Rect& r : rects) StrokeShape(RectPath(r, t));
  state_.pen = saved;
}

void Device::InvertRegion(std::span<const Rect> rects) {
  for (const Rect& r : rects) {
    BltArgs args;
    args.dest = {r.left, r.top, r.right - r.left, r.bottom - r.top};
    args.rop = 0x00550009;  // DSTINVERT
    Blt(args);
  }
}

// ---- text ------------------------------------------------------------------------------

namespace {

void AppendUtf8(std::string& out, char32_t c) {
  if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = 0xFFFD;
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

std::string Utf8(std::u32string_view text) {
  std::string out;
  for (char32_t c : text) {
    if (c != 0) AppendUtf8(out, c);
  }
  return out;
}

}  // namespace

void Device::TextOut(Point reference, const std::u32string& full_text,
                     std::span<const std::int32_t> dx, std::uint32_t options,
                     std::optional<Rect> rect) {
  // Longer runs are no real text and would only cost time glyph by glyph.
  const std::u32string text = full_text.substr(0, kMaxTextChars);
  if (in_path_) return;
  const Xform t = Full();
  const bool update_cp = state_.text_align & 1;
  if (rect && (options & 2))
    FillShape(RectPath(*rect, t), Brush{Brush::kSolid, state_.bk_colour, 0, nullptr});
  if (text.empty()) return;
  if (rect && (options & 4)) {
    canvas_.Save();
    canvas_.ClipTo(RectPath(*rect, t), true);
  }
  const Font& font = state_.font;
  TextStyle style;
  style.family = font.face;
  style.bold = font.weight >= 600;
  style.italic = font.italic, style.underline = font.underline;
  style.strike_out = font.strike_out;
  style.colour = state_.text_colour;
  if (state_.opaque_background) style.background = state_.bk_colour;
  const Point up = t.ApplyVector({0, 1});
  const double vscale = std::hypot(up.x, up.y);
  const double height = font.height == 0 ? 12 : std::abs(font.height);
  style.size = std::clamp(height * vscale, 0.5, 4096.0);
  if (font.height > 0) {  // a cell height: shrink to the em height it implies
    const TextMetrics m = canvas_.MeasureText("X", style);
    if (m.ascent + m.descent > 0) style.size = style.size * style.size / (m.ascent + m.descent);
  }
  style.angle = -double(font.escapement) * kPi / 1800 + std::atan2(t.m12, t.m11);
  const Point across = t.ApplyVector({1, 0});
  const double hscale = std::hypot(across.x, across.y);
  const TextMetrics m = canvas_.MeasureText(Utf8(text), style);
  double width = m.width;
  if (!dx.empty()) {
    width = 0;
    for (std::size_t i = 0; i < text.size() && i < dx.size(); ++i) width += dx[i] * hscale;
  }
  const std::uint32_t h = state_.text_align & 6, v = state_.text_align & 24;
  const double ox = h == 6 ? -width / 2 : h == 2 ? -width : 0;
  const double oy = v == 24 ? 0 : v == 8 ? -m.descent : m.ascent;
  const Point start = ToDevice(update_cp ? state_.position : reference);
  const double ca = std::cos(style.angle), sa = std::sin(style.angle);
  auto place = [&](double along) {
    const double x = ox + along;
    return Point{start.x + x * ca - oy * sa, start.y + x * sa + oy * ca};
  };
  if (dx.empty()) {
    canvas_.DrawText(Utf8(text), place(0), style);
  } else {
    double along = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
      canvas_.DrawText(Utf8(text.substr(i, 1)), place(along), style);
      along += i < dx.size() ? dx[i] * hscale : 0;
    }
  }
  if (update_cp && hscale > 0) state_.position.x += (h == 2 ? -width : width) / hscale;
  if (rect && (options & 4)) canvas_.Restore();
}

// ---- bitmaps ---------------------------------------------------------------------------

void Device::Blt(const BltArgs& a) {
  if (in_path_) return;
  const std::uint8_t rop3 = static_cast<std::uint8_t>(a.rop >> 16);
  const bool uses_source = ((rop3 >> 2) ^ rop3) & 0x33;
  const Xform t = Full();
  if (rop3 == 0xF0) {  // PATCOPY: the brush over the rectangle
    FillShape(
        RectPath({a.dest.left, a.dest.top, a.dest.left + a.dest.right, a.dest.top + a.dest.bottom},
                 t),
        state_.brush);
    return;
  }
  TBitmap crop;
  Xform to_device = t;
  if (uses_source) {
    if (!a.source || a.src_width <= 0 || a.src_height <= 0) return;
    const TBitmap& full = a.source->image;
    const double sy = a.rows_from_bottom && a.source->bottom_up
                          ? full.Height() - (a.src_y + a.src_height)
                          : a.src_y;
    const double kx = a.dest.right / a.src_width, ky = a.dest.bottom / a.src_height;
    const int x0 = static_cast<int>(std::clamp(std::floor(a.src_x), 0.0, double(full.Width())));
    const int y0 = static_cast<int>(std::clamp(std::floor(sy), 0.0, double(full.Height())));
    const int x1 =
        static_cast<int>(std::clamp(std::ceil(a.src_x + a.src_width), 0.0, double(full.Width())));
    const int y1 =
        static_cast<int>(std::clamp(std::ceil(sy + a.src_height), 0.0, double(full.Height())));
    if (x0 >= x1 || y0 >= y1) return;
    crop.Create(x1 - x0, y1 - y0, 24);
    crop.CopyRect(0, 0, full, x0, y0, x1 - x0, y1 - y0);
    const Xform to_logical{
        kx, 0, 0, ky, a.dest.left + (x0 - a.src_x) * kx, a.dest.top + (y0 - sy) * ky};
    to_device = to_logical.Then(t);
    if (rop3 == 0xCC) {
      canvas_.DrawImage(crop, to_device);
      return;
    }
  }
  Point lo{kCoordinateLimit, kCoordinateLimit}, hi{-kCoordinateLimit, -kCoordinateLimit};
  for (Point corner : {Point{0, 0}, Point{1, 0}, Point{0, 1}, Point{1, 1}}) {
    const Point d =
        ToDevice({a.dest.left + corner.x * a.dest.right, a.dest.top + corner.y * a.dest.bottom});
    lo = {std::min(lo.x, d.x), std::min(lo.y, d.y)};
    hi = {std::max(hi.x, d.x), std::max(hi.y, d.y)};
  }
  canvas_.RasterOp(static_cast<int>(std::lround(lo.x)), static_cast<int>(std::lround(lo.y)),
                   static_cast<int>(std::lround(hi.x)), static_cast<int>(std::lround(hi.y)),
                   uses_source ? &crop : nullptr, to_device, rop3, state_.brush.colour);
}

}  // namespace tolvane::metafile
