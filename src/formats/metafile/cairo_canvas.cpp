// cairo glue of the metafile player.
#include "formats/metafile/cairo_canvas.h"

#include <cairo.h>
#include <sys/mman.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace tolvane::metafile {
namespace {

struct SurfaceDeleter {
  void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};
struct ContextDeleter {
  void operator()(cairo_t* c) const { cairo_destroy(c); }
};
struct PatternDeleter {
  void operator()(cairo_pattern_t* p) const { cairo_pattern_destroy(p); }
};
using SurfacePtr = std::unique_ptr<cairo_surface_t, SurfaceDeleter>;
using ContextPtr = std::unique_ptr<cairo_t, ContextDeleter>;
using PatternPtr = std::unique_ptr<cairo_pattern_t, PatternDeleter>;

void SetColour(cairo_t* cr, TColor c) {
  cairo_set_source_rgb(cr, RedOf(c) / 255.0, GreenOf(c) / 255.0, BlueOf(c) / 255.0);
}

std::uint32_t ToArgb(TColor c) {
  return 0xFF000000u | (std::uint32_t{RedOf(c)} << 16) | (std::uint32_t{GreenOf(c)} << 8) |
         BlueOf(c);
}

cairo_operator_t OperatorOf(Blend blend) {
  switch (blend) {
    case Blend::kDifference:
      return CAIRO_OPERATOR_DIFFERENCE;
    case Blend::kMultiply:
      return CAIRO_OPERATOR_MULTIPLY;
    case Blend::kScreen:
      return CAIRO_OPERATOR_SCREEN;
    case Blend::kNormal:
      break;
  }
  return CAIRO_OPERATOR_OVER;
}

void AddPath(cairo_t* cr, const Path& path) {
  cairo_new_path(cr);
  for (const PathOp& op : path) {
    switch (op.kind) {
      case PathOp::kMove:
        cairo_move_to(cr, op.p[0].x, op.p[0].y);
        break;
      case PathOp::kLine:
        cairo_line_to(cr, op.p[0].x, op.p[0].y);
        break;
      case PathOp::kCurve:
        cairo_curve_to(cr, op.p[0].x, op.p[0].y, op.p[1].x, op.p[1].y, op.p[2].x, op.p[2].y);
        break;
      case PathOp::kClose:
        cairo_close_path(cr);
        break;
    }
  }
}

// An RGB24 surface holding a copy of a 24-bit image.
SurfacePtr SurfaceFromImage(const TBitmap& image) {
  SurfacePtr surface(cairo_image_surface_create(CAIRO_FORMAT_RGB24, image.Width(), image.Height()));
  if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) return nullptr;
  unsigned char* data = cairo_image_surface_get_data(surface.get());
  const int stride = cairo_image_surface_get_stride(surface.get());
  for (int y = 0; y < image.Height(); ++y) {
    const std::uint8_t* src = image.ScanLine(y);
    auto* dst = reinterpret_cast<std::uint32_t*>(data + std::size_t(y) * stride);
    for (int x = 0; x < image.Width(); ++x) {
      dst[x] = 0xFF000000u | (std::uint32_t{src[3 * x + 2]} << 16) |
               (std::uint32_t{src[3 * x + 1]} << 8) | src[3 * x];
    }
  }
  cairo_surface_mark_dirty(surface.get());
  return surface;
}

// An 8 x 8 tile of one of the six hatch styles.
SurfacePtr HatchTile(int hatch, TColor colour, std::optional<TColor> background) {
  SurfacePtr tile(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 8, 8));
  if (cairo_surface_status(tile.get()) != CAIRO_STATUS_SUCCESS) return nullptr;
  cairo_surface_flush(tile.get());
  unsigned char* data = cairo_image_surface_get_data(tile.get());
  const int stride = cairo_image_surface_get_stride(tile.get());
  for (int y = 0; y < 8; ++y) {
    auto* row = reinterpret_cast<std::uint32_t*>(data + std::size_t(y) * stride);
    for (int x = 0; x < 8; ++x) {
      const bool h = y == 4, v = x == 4, f = x == y, b = x == 7 - y;
      const bool on = hatch == 0   ? h
                      : hatch == 1 ? v
                      : hatch == 2 ? f
                      : hatch == 3 ? b
                      : hatch == 4 ? (h || v)
                                   : (f || b);
      row[x] = on ? ToArgb(colour) : background ? ToArgb(*background) : 0;
    }
  }
  cairo_surface_mark_dirty(tile.get());
  return tile;
}

void SetFillSource(cairo_t* cr, const FillStyle& style) {
  SurfacePtr tile;
  if (style.pattern && !style.pattern->Empty()) {
    tile = SurfaceFromImage(*style.pattern);
  } else if (style.hatch >= 0 && style.hatch <= 5) {
    tile = HatchTile(style.hatch, style.colour, style.hatch_background);
  }
  if (!tile) {
    SetColour(cr, style.colour);
    return;
  }
  PatternPtr pattern(cairo_pattern_create_for_surface(tile.get()));
  cairo_pattern_set_extend(pattern.get(), CAIRO_EXTEND_REPEAT);
  cairo_pattern_set_filter(pattern.get(), CAIRO_FILTER_NEAREST);
  cairo_set_source(cr, pattern.get());
}

// A ternary raster operation with its pattern colour p fixed, as four masks: bit b of
// when[s][d] is the result where the source's bit b is s and the destination's is d. Bit i of
// rop3 is the result for pattern bit (i & 4), source bit (i & 2) and destination bit (i & 1).
struct Rop {
  std::uint32_t when[2][2] = {};

  Rop(std::uint8_t rop3, std::uint32_t p) {
    for (int i = 0; i < 8; ++i) {
      if ((rop3 >> i) & 1) when[(i >> 1) & 1][i & 1] |= (i & 4) ? p : ~p;
    }
  }
  std::uint32_t Apply(std::uint32_t s, std::uint32_t d) const {
    return ((when[1][1] & s & d) | (when[1][0] & s & ~d) | (when[0][1] & ~s & d) |
            (when[0][0] & ~s & ~d)) &
           0x00FFFFFF;
  }
};

// Work units of the calls whose cost is not in the pixels they cover, in pixel-sized units
// (about a third of a nanosecond each on a fill): a glyph laid out and placed, one dash of a
// dashed line (cairo strokes each as a polygon of its own), a call of any kind.
constexpr double kGlyphUnits = 1024;
constexpr double kDashUnits = 4096;
constexpr double kCallUnits = 16;
// Raster operations read, combine and write every pixel in our own loop (about eight times a
// solid fill with a source bitmap); scaled images are sampled per pixel by pixman.
constexpr double kRasterOpWeight = 8;
constexpr double kImageWeight = 2;

// Code points in UTF-8 text.
double Glyphs(const std::string& utf8) {
  return double(std::count_if(utf8.begin(), utf8.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }));
}

// Page-aligned anonymous memory for the surface: it comes zeroed, faults in on first write and
// can be handed back a range at a time.
struct Mapping {
  void* base = MAP_FAILED;
  std::size_t bytes = 0;
  Mapping() = default;
  Mapping(const Mapping&) = delete;
  Mapping& operator=(const Mapping&) = delete;
  ~Mapping() {
    if (base != MAP_FAILED) munmap(base, bytes);
  }
};

}  // namespace

struct Canvas::Impl {
  Mapping memory;  // destroyed last: the surface and the context point into it
  SurfacePtr surface;
  ContextPtr cr;
};

Canvas::Canvas(int width, int height, std::unique_ptr<Impl> impl)
    : width_(width), height_(height), impl_(std::move(impl)) {}
Canvas::~Canvas() = default;

std::unique_ptr<Canvas> Canvas::Create(int width, int height) {
  auto impl = std::make_unique<Impl>();
  const int stride = cairo_format_stride_for_width(CAIRO_FORMAT_RGB24, width);
  if (stride <= 0 || height <= 0) return nullptr;
  Mapping& memory = impl->memory;
  memory.bytes = std::size_t(stride) * std::size_t(height);
  memory.base =
      mmap(nullptr, memory.bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (memory.base == MAP_FAILED) return nullptr;
  // Huge pages: a canvas of a gigabyte faults in with a few hundred faults, not 260000.
  madvise(memory.base, memory.bytes, MADV_HUGEPAGE);
  impl->surface.reset(cairo_image_surface_create_for_data(
      static_cast<unsigned char*>(memory.base), CAIRO_FORMAT_RGB24, width, height, stride));
  if (cairo_surface_status(impl->surface.get()) != CAIRO_STATUS_SUCCESS) return nullptr;
  impl->cr.reset(cairo_create(impl->surface.get()));
  if (cairo_status(impl->cr.get()) != CAIRO_STATUS_SUCCESS) return nullptr;
  cairo_t* cr = impl->cr.get();
  cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_paint(cr);
  cairo_font_options_t* options = cairo_font_options_create();
  cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_NONE);
  cairo_set_font_options(cr, options);
  cairo_font_options_destroy(options);
  return std::make_unique<Canvas>(width, height, std::move(impl));
}

bool Canvas::Charge(double units) {
  if (spent_ || units > budget_left_) {
    spent_ = true;
    return false;
  }
  budget_left_ -= units;
  work_done_ += units;
  return true;
}

double Canvas::VisibleArea(double x0, double y0, double x1, double y1) const {
  // The clip's extents in device space, whatever transform the caller has set.
  cairo_t* cr = impl_->cr.get();
  cairo_matrix_t matrix;
  cairo_get_matrix(cr, &matrix);
  cairo_identity_matrix(cr);
  double cx0 = 0, cy0 = 0, cx1 = 0, cy1 = 0;
  cairo_clip_extents(cr, &cx0, &cy0, &cx1, &cy1);
  cairo_set_matrix(cr, &matrix);
  x0 = std::max({x0, cx0, 0.0}), y0 = std::max({y0, cy0, 0.0});
  x1 = std::min({x1, cx1, double(width_)}), y1 = std::min({y1, cy1, double(height_)});
  return x1 > x0 && y1 > y0 ? (x1 - x0) * (y1 - y0) : 0;
}

// The box of every point of the path (a curve stays inside its control points), widened by
// margin; paths are in device space.
double Canvas::PathArea(const Path& path, double margin) const {
  double x0 = HUGE_VAL, y0 = HUGE_VAL, x1 = -HUGE_VAL, y1 = -HUGE_VAL;
  for (const PathOp& op : path) {
    const int n = op.kind == PathOp::kCurve ? 3 : op.kind == PathOp::kClose ? 0 : 1;
    for (int i = 0; i < n; ++i) {
      x0 = std::min(x0, op.p[i].x), x1 = std::max(x1, op.p[i].x);
      y0 = std::min(y0, op.p[i].y), y1 = std::max(y1, op.p[i].y);
    }
  }
  if (x0 > x1) return 0;
  return VisibleArea(x0 - margin, y0 - margin, x1 + margin, y1 + margin);
}

void Canvas::Fill(const Path& path, const FillStyle& style, bool winding) {
  // A pattern brush is copied into a surface of its own for every fill.
  const double pattern =
      style.pattern ? double(style.pattern->Width()) * double(style.pattern->Height()) : 0;
  if (!Charge(kCallUnits + PathArea(path, 1) + pattern)) return;
  cairo_t* cr = impl_->cr.get();
  cairo_save(cr);
  cairo_set_operator(cr, OperatorOf(style.blend));
  SetFillSource(cr, style);
  cairo_set_fill_rule(cr, winding ? CAIRO_FILL_RULE_WINDING : CAIRO_FILL_RULE_EVEN_ODD);
  AddPath(cr, path);
  cairo_fill(cr);
  cairo_restore(cr);
}

void Canvas::Stroke(const Path& path, const StrokeStyle& style) {
  const double width = std::max(1.0, style.width);
  // Miter joins may reach out to the miter limit times half the width.
  const double reach =
      width / 2 *
      (style.join == StrokeStyle::kMiterJoin ? std::clamp(style.miter_limit, 1.0, 100.0) : 1.5);
  double dashes = 0;
  if (!style.dashes.empty()) {
    double period = 0, length = 0;
    for (double d : style.dashes) period += d;
    Point at{};
    for (const PathOp& op : path) {
      const int n = op.kind == PathOp::kCurve ? 3 : op.kind == PathOp::kClose ? 0 : 1;
      for (int i = 0; i < n; ++i) {
        if (op.kind != PathOp::kMove) length += std::hypot(op.p[i].x - at.x, op.p[i].y - at.y);
        at = op.p[i];
      }
    }
    dashes = period > 0 ? length / period * double(style.dashes.size()) : 0;
  }
  if (!Charge(kCallUnits + PathArea(path, reach + 1) + dashes * kDashUnits)) return;
  cairo_t* cr = impl_->cr.get();
  cairo_save(cr);
  // Pixel centres: a one-pixel line at x = 10 covers column 10, as on a display device.
  cairo_translate(cr, 0.5, 0.5);
  cairo_set_operator(cr, OperatorOf(style.blend));
  SetColour(cr, style.colour);
  cairo_set_line_width(cr, std::max(1.0, style.width));
  cairo_set_line_cap(cr, style.cap == StrokeStyle::kRoundCap    ? CAIRO_LINE_CAP_ROUND
                         : style.cap == StrokeStyle::kSquareCap ? CAIRO_LINE_CAP_SQUARE
                                                                : CAIRO_LINE_CAP_BUTT);
  cairo_set_line_join(cr, style.join == StrokeStyle::kRoundJoin   ? CAIRO_LINE_JOIN_ROUND
                          : style.join == StrokeStyle::kBevelJoin ? CAIRO_LINE_JOIN_BEVEL
                                                                  : CAIRO_LINE_JOIN_MITER);
  cairo_set_miter_limit(cr, std::clamp(style.miter_limit, 1.0, 100.0));
  if (!style.dashes.empty()) {
    cairo_set_dash(cr, style.dashes.data(), static_cast<int>(style.dashes.size()), 0);
  }
  AddPath(cr, path);
  cairo_stroke(cr);
  cairo_restore(cr);
}

// Saves and restores stay paired whatever the budget says: they cost next to nothing.
void Canvas::Save() { cairo_save(impl_->cr.get()); }
void Canvas::Restore() { cairo_restore(impl_->cr.get()); }
void Canvas::ResetClip() { cairo_reset_clip(impl_->cr.get()); }

// A clip that is not a set of rectangles is drawn into a mask of its extent.
void Canvas::ClipTo(const Path& path, bool winding) {
  if (!Charge(kCallUnits + PathArea(path, 1))) return;
  cairo_t* cr = impl_->cr.get();
  cairo_set_fill_rule(cr, winding ? CAIRO_FILL_RULE_WINDING : CAIRO_FILL_RULE_EVEN_ODD);
  AddPath(cr, path);
  cairo_clip(cr);
  cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);
}

void Canvas::ClipOut(const Path& path) {
  if (!Charge(kCallUnits + VisibleArea(0, 0, width_, height_))) return;
  cairo_t* cr = impl_->cr.get();
  AddPath(cr, path);
  cairo_new_sub_path(cr);
  cairo_rectangle(cr, -kCoordinateLimit, -kCoordinateLimit, 2 * kCoordinateLimit,
                  2 * kCoordinateLimit);
  cairo_set_fill_rule(cr, CAIRO_FILL_RULE_EVEN_ODD);
  cairo_clip(cr);
  cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);
}

void Canvas::DrawImage(const TBitmap& source, const Xform& to_device) {
  if (source.Empty() || std::abs(to_device.Determinant()) < 1e-12 || !to_device.Finite()) return;
  double x0 = HUGE_VAL, y0 = HUGE_VAL, x1 = -HUGE_VAL, y1 = -HUGE_VAL;
  for (const Point corner :
       {Point{0, 0}, Point{double(source.Width()), 0}, Point{0, double(source.Height())},
        Point{double(source.Width()), double(source.Height())}}) {
    const Point d = to_device.Apply(corner);
    x0 = std::min(x0, d.x), x1 = std::max(x1, d.x), y0 = std::min(y0, d.y), y1 = std::max(y1, d.y);
  }
  const double copied = double(source.Width()) * double(source.Height());
  if (!Charge(kCallUnits + copied + kImageWeight * VisibleArea(x0, y0, x1, y1))) return;
  SurfacePtr surface = SurfaceFromImage(source);
  if (!surface) return;
  cairo_t* cr = impl_->cr.get();
  // A context in an error state (a transform it could not take) draws nothing, and its
  // source call would leak the pattern it makes.
  if (cairo_status(cr) != CAIRO_STATUS_SUCCESS) return;
  cairo_save(cr);
  cairo_matrix_t m;
  cairo_matrix_init(&m, to_device.m11, to_device.m12, to_device.m21, to_device.m22, to_device.dx,
                    to_device.dy);
  cairo_transform(cr, &m);
  cairo_set_source_surface(cr, surface.get(), 0, 0);
  cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
  cairo_rectangle(cr, 0, 0, source.Width(), source.Height());
  cairo_fill(cr);
  cairo_restore(cr);
}

void Canvas::RasterOp(int x0, int y0, int x1, int y1, const TBitmap* source, const Xform& to_device,
                      std::uint8_t rop3, TColor pattern) {
  x0 = std::clamp(x0, 0, width_), x1 = std::clamp(x1, 0, width_);
  y0 = std::clamp(y0, 0, height_), y1 = std::clamp(y1, 0, height_);
  if (x0 >= x1 || y0 >= y1) return;
  const double det = to_device.Determinant();
  if (source && (std::abs(det) < 1e-12 || !to_device.Finite())) return;
  if (!Charge(kCallUnits + kRasterOpWeight * VisibleArea(x0, y0, x1, y1))) return;
  // The inverse mapping finds the source pixel under each device pixel centre.
  Xform inv;
  if (source) {
    const Xform& t = to_device;
    inv = {t.m22 / det,
           -t.m12 / det,
           -t.m21 / det,
           t.m11 / det,
           (t.m21 * t.dy - t.m22 * t.dx) / det,
           (t.m12 * t.dx - t.m11 * t.dy) / det};
  }
  cairo_surface_t* target = impl_->surface.get();
  cairo_surface_flush(target);
  const unsigned char* data = cairo_image_surface_get_data(target);
  const int stride = cairo_image_surface_get_stride(target);
  const Rop rop(rop3, ToArgb(pattern) & 0x00FFFFFF);
  // Without rotation or shear each device column has one source column: looked up once.
  const bool straight = source && inv.m12 == 0 && inv.m21 == 0;
  std::vector<int> columns;
  if (straight) {
    columns.resize(std::size_t(x1 - x0));
    for (int x = x0; x < x1; ++x) {
      const double u = inv.m11 * (x + 0.5) + inv.dx;
      columns[std::size_t(x - x0)] = u >= 0 && u < source->Width() ? int(u) : -1;
    }
  }
  cairo_t* cr = impl_->cr.get();
  // In bands of about a megapixel, each combined and then put in place through the clip:
  // pixels outside the source keep the destination's value, so the band replaces what is
  // under it and never needs a second full-size surface.
  const int band = std::min(y1 - y0, std::max(1, (1 << 20) / (x1 - x0)));
  SurfacePtr result(cairo_image_surface_create(CAIRO_FORMAT_RGB24, x1 - x0, band));
  if (cairo_surface_status(result.get()) != CAIRO_STATUS_SUCCESS) return;
  unsigned char* out = cairo_image_surface_get_data(result.get());
  const int out_stride = cairo_image_surface_get_stride(result.get());
  for (int top = y0; top < y1; top += band) {
    const int bottom = std::min(y1, top + band);
    cairo_surface_flush(result.get());
    for (int y = top; y < bottom; ++y) {
      const auto* drow = reinterpret_cast<const std::uint32_t*>(data + std::size_t(y) * stride);
      auto* orow = reinterpret_cast<std::uint32_t*>(out + std::size_t(y - top) * out_stride);
      if (straight) {
        const double v = inv.m22 * (y + 0.5) + inv.dy;
        const bool inside = v >= 0 && v < source->Height();
        const std::uint8_t* srow = inside ? source->ScanLine(int(v)) : nullptr;
        for (int x = x0; x < x1; ++x) {
          const std::uint32_t d = drow[x] & 0x00FFFFFF;
          const int u = columns[std::size_t(x - x0)];
          if (!srow || u < 0) {
            orow[x - x0] = d;
            continue;
          }
          const std::uint8_t* px = srow + 3 * u;
          orow[x - x0] =
              rop.Apply((std::uint32_t{px[2]} << 16) | (std::uint32_t{px[1]} << 8) | px[0], d);
        }
        continue;
      }
      for (int x = x0; x < x1; ++x) {
        const std::uint32_t d = drow[x] & 0x00FFFFFF;
        std::uint32_t s = 0;
        if (source) {
          const Point uv = inv.Apply({x + 0.5, y + 0.5});
          if (!(uv.x >= 0 && uv.y >= 0 && uv.x < source->Width() && uv.y < source->Height())) {
            orow[x - x0] = d;
            continue;
          }
          const std::uint8_t* px = source->ScanLine(int(uv.y)) + 3 * int(uv.x);
          s = (std::uint32_t{px[2]} << 16) | (std::uint32_t{px[1]} << 8) | px[0];
        }
        orow[x - x0] = rop.Apply(s, d);
      }
    }
    cairo_surface_mark_dirty(result.get());
    cairo_save(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_set_source_surface(cr, result.get(), x0, top);
    cairo_rectangle(cr, x0, top, x1 - x0, bottom - top);
    cairo_fill(cr);
    cairo_restore(cr);
  }
}

namespace {

void SelectFont(cairo_t* cr, const TextStyle& style) {
  cairo_select_font_face(cr, style.family.empty() ? "sans-serif" : style.family.c_str(),
                         style.italic ? CAIRO_FONT_SLANT_ITALIC : CAIRO_FONT_SLANT_NORMAL,
                         style.bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr, std::clamp(style.size, 0.5, 4096.0));
}

}  // namespace

TextMetrics Canvas::MeasureText(const std::string& utf8, const TextStyle& style) {
  if (!Charge(kCallUnits + Glyphs(utf8) * kGlyphUnits / 4)) return {};
  cairo_t* cr = impl_->cr.get();
  cairo_save(cr);
  SelectFont(cr, style);
  cairo_font_extents_t fe;
  cairo_font_extents(cr, &fe);
  cairo_text_extents_t te;
  cairo_text_extents(cr, utf8.c_str(), &te);
  cairo_restore(cr);
  return {fe.ascent, fe.descent, te.x_advance};
}

void Canvas::DrawText(const std::string& utf8, Point origin, const TextStyle& style) {
  cairo_t* cr = impl_->cr.get();
  cairo_save(cr);
  cairo_translate(cr, origin.x, origin.y);
  cairo_rotate(cr, style.angle);
  SelectFont(cr, style);
  cairo_font_extents_t fe;
  cairo_font_extents(cr, &fe);
  cairo_text_extents_t te;
  cairo_text_extents(cr, utf8.c_str(), &te);
  // The run's box from its ink and its background, turned with the text.
  double bx0 = HUGE_VAL, by0 = HUGE_VAL, bx1 = -HUGE_VAL, by1 = -HUGE_VAL;
  const double left = std::min(0.0, te.x_bearing),
               right = std::max(te.x_advance, te.x_bearing + te.width);
  const double top = std::min(-fe.ascent, te.y_bearing),
               bottom = std::max(fe.descent, te.y_bearing + te.height);
  for (double u : {left, right}) {
    for (double v : {top, bottom}) {
      double x = u, y = v;
      cairo_user_to_device(cr, &x, &y);
      bx0 = std::min(bx0, x), bx1 = std::max(bx1, x), by0 = std::min(by0, y),
      by1 = std::max(by1, y);
    }
  }
  if (!Charge(kCallUnits + Glyphs(utf8) * kGlyphUnits + VisibleArea(bx0, by0, bx1, by1))) {
    cairo_restore(cr);
    return;
  }
  if (style.background) {
    SetColour(cr, *style.background);
    cairo_rectangle(cr, 0, -fe.ascent, te.x_advance, fe.ascent + fe.descent);
    cairo_fill(cr);
  }
  SetColour(cr, style.colour);
  const double line = std::max(1.0, style.size / 14);
  if (style.underline) {
    cairo_rectangle(cr, 0, fe.descent / 2, te.x_advance, line);
    cairo_fill(cr);
  }
  if (style.strike_out) {
    cairo_rectangle(cr, 0, -fe.ascent / 3, te.x_advance, line);
    cairo_fill(cr);
  }
  cairo_move_to(cr, 0, 0);
  cairo_show_text(cr, utf8.c_str());
  cairo_restore(cr);
}

void Canvas::SetPixel(int x, int y, TColor colour) {
  if (x < 0 || y < 0 || x >= width_ || y >= height_ || !Charge(kCallUnits)) return;
  cairo_t* cr = impl_->cr.get();
  cairo_save(cr);
  SetColour(cr, colour);
  cairo_rectangle(cr, x, y, 1, 1);
  cairo_fill(cr);
  cairo_restore(cr);
}

void Canvas::TakePixels(TBitmap& image) {
  cairo_surface_t* surface = impl_->surface.get();
  cairo_surface_flush(surface);
  auto* data = static_cast<unsigned char*>(impl_->memory.base);
  const std::size_t stride = std::size_t(cairo_image_surface_get_stride(surface));
  spent_ = true;  // the memory goes from here on
  image.CreateForOverwrite(width_, height_, 24);
  // Rows already converted go back in runs of 2 MiB (whole huge pages), so the canvas shrinks
  // as the image grows.
  constexpr std::size_t kRun = std::size_t{2} << 20;
  std::size_t released = 0;
  for (int y = 0; y < height_; ++y) {
    const auto* src = reinterpret_cast<const std::uint32_t*>(data + std::size_t(y) * stride);
    std::uint8_t* dst = image.ScanLine(y);
    for (int x = 0; x < width_; ++x) {
      dst[3 * x] = static_cast<std::uint8_t>(src[x]);
      dst[3 * x + 1] = static_cast<std::uint8_t>(src[x] >> 8);
      dst[3 * x + 2] = static_cast<std::uint8_t>(src[x] >> 16);
    }
    const std::size_t done = std::size_t(y + 1) * stride;
    if (done - released >= kRun) {
      const std::size_t n = (done - released) / kRun * kRun;
      madvise(data + released, n, MADV_DONTNEED);
      released += n;
    }
  }
}

}  // namespace tolvane::metafile
