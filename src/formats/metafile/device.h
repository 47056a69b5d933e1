#pragma once
// The device context both players drive: mapping (map modes, window and viewport), world
// transform, the save/restore stack, the object table with stock objects, paths, clipping and
// the drawing calls, all in logical coordinates. Records become calls here; only the canvas
// draws.
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "formats/metafile/cairo_canvas.h"
#include "formats/metafile/dib.h"
#include "formats/metafile/geometry.h"

namespace tolvane::metafile {

enum MapMode : int {
  kMmText = 1,
  kMmLoMetric,
  kMmHiMetric,
  kMmLoEnglish,
  kMmHiEnglish,
  kMmTwips,
  kMmIsotropic,
  kMmAnisotropic,
};

struct Pen {
  std::uint32_t style = 0;  // PS_* with end cap, join and geometric bits
  double width = 0;         // logical units; 0 is one device pixel
  TColor colour = kBlack;
};

struct Brush {
  enum Style : std::uint32_t { kSolid = 0, kNull = 1, kHatched = 2, kPattern = 3 };
  std::uint32_t style = kSolid;
  TColor colour = kWhite;
  std::uint32_t hatch = 0;
  std::shared_ptr<const TBitmap> pattern;
};

struct Font {
  double height = 0;   // logical; negative: em height, positive: cell height
  int escapement = 0;  // tenths of a degree, counter-clockwise
  int weight = 400;
  bool italic = false, underline = false, strike_out = false;
  std::string face;
};

struct Palette {};  // kept only so its slot is occupied

using GdiObject = std::variant<Pen, Brush, Font, Palette>;

struct DcState {
  int map_mode = kMmText;
  Point window_org, window_ext{1, 1}, viewport_org, viewport_ext{1, 1};
  Xform world;
  Pen pen;
  Brush brush;
  Font font;
  TColor text_colour = kBlack, bk_colour = kWhite;
  bool opaque_background = true;
  bool winding = false;  // polygon fill mode: alternate unless set to winding
  std::uint32_t text_align = 0;
  int rop2 = 13;  // R2_COPYPEN
  bool clockwise = false;
  double miter_limit = 10;
  Point position;
};

enum class ArcKind { kArc, kArcTo, kChord, kPie };
enum ClipMode : std::uint32_t { kRgnAnd = 1, kRgnOr = 2, kRgnXor = 3, kRgnDiff = 4, kRgnCopy = 5 };

struct Rect {
  double left = 0, top = 0, right = 0, bottom = 0;
};

struct BltArgs {
  Rect dest;  // left, top, width (right), height (bottom) in logical units
  const Dib* source = nullptr;
  double src_x = 0, src_y = 0, src_width = 0, src_height = 0;
  bool rows_from_bottom = false;  // src_y counts from the bottom row of a bottom-up DIB
  std::uint32_t rop = 0x00CC0020;
};

class Device {
 public:
  // output maps the metafile's device space onto the image; px_per_mm gives the fixed map
  // modes their size.
  Device(Canvas& canvas, const Xform& output, Point px_per_mm);

  DcState& State() { return state_; }
  void SetViewportFixed(bool fixed) { viewport_fixed_ = fixed; }

  void SetMapMode(int mode);
  void SetWindowOrg(Point p) { state_.window_org = p; }
  void SetWindowExt(Point p);
  void SetViewportOrg(Point p);
  void SetViewportExt(Point p);
  void ScaleWindowExt(double xn, double xd, double yn, double yd);
  void ScaleViewportExt(double xn, double xd, double yn, double yd);
  void SetWorldTransform(const Xform& x);
  void ModifyWorldTransform(const Xform& x, std::uint32_t mode);
  void SaveDc();
  void RestoreDc(std::int32_t which);

  // Object table: EMF files name the slot; WMF files take the lowest free one.
  void ResizeObjectTable(std::size_t count);
  void PutObject(std::uint32_t index, GdiObject object);
  void AddObject(GdiObject object);
  void SelectObject(std::uint32_t index);
  void DeleteObject(std::uint32_t index);
  std::optional<Brush> BrushAt(std::uint32_t index) const;

  void MoveTo(Point p);
  void LineTo(Point p);
  void Polyline(std::span<const Point> points);
  void PolylineTo(std::span<const Point> points);
  void Polygon(std::span<const Point> points);
  // Consecutive figures of counts[i] points each, as one shape.
  void PolyPolygon(std::span<const Point> points, std::span<const std::uint32_t> counts,
                   bool closed);
  void PolyBezier(std::span<const Point> points);
  void PolyBezierTo(std::span<const Point> points);
  void PolyDraw(std::span<const Point> points, std::span<const std::uint8_t> types);
  void Rectangle(const Rect& r);
  void RoundRect(const Rect& r, Point corner);
  void Ellipse(const Rect& r);
  void Arc(const Rect& box, Point start, Point end, ArcKind kind);
  void AngleArc(Point centre, double radius, double start_deg, double sweep_deg);
  void SetPixel(Point p, TColor colour);

  void BeginPath();
  void EndPath() { in_path_ = false; }
  void AbortPath();
  void CloseFigure();
  void FillPath();
  void StrokePath();
  void StrokeAndFillPath();
  void SelectClipPath(std::uint32_t mode);

  void IntersectClipRect(const Rect& r);
  void ExcludeClipRect(const Rect& r);
  // Rectangles in the metafile's device units; none with kRgnCopy removes the clip.
  void SelectClipRegion(std::span<const Rect> rects, std::uint32_t mode);
  void FillRegion(std::span<const Rect> rects, const Brush& brush);
  void FrameRegion(std::span<const Rect> rects, const Brush& brush);
  void InvertRegion(std::span<const Rect> rects);

  void TextOut(Point reference, const std::u32string& text, std::span<const std::int32_t> dx,
               std::uint32_t options, std::optional<Rect> rect);
  void Blt(const BltArgs& args);

 private:
  class Builder;
  Xform PageTransform() const;
  Xform Full() const;
  Point ToDevice(Point p) const;
  void Emit(Path&& path, bool fill, bool stroke);
  void FillShape(const Path& path, const Brush& brush);
  void StrokeShape(const Path& path);
  Path RectPath(const Rect& r, const Xform& t) const;
  void ContinuePath(Builder& b);

  Canvas& canvas_;
  Xform output_;
  Point px_per_mm_;
  bool viewport_fixed_ = false;
  DcState state_;
  std::vector<DcState> saved_;
  std::vector<std::optional<GdiObject>> objects_;
  bool in_path_ = false;
  Path path_;
};

}  // namespace tolvane::metafile
