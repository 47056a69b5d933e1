#pragma once
// The only drawing code of the metafile player: device-space paths, images, text and raster
// operations on a white cairo image surface, antialiasing off. Everything above it works in
// plain numbers and never sees cairo.
// Each drawing call is charged an estimate of its work (about one unit per pixel it touches)
// against a budget; a call that does not fit draws nothing and every later one is refused, so
// a small file cannot make playback run for minutes.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "formats/metafile/geometry.h"
#include "imaging/tbitmap.h"

namespace tolvane::metafile {

// How a pen or brush colour meets the pixels below (the binary raster operations cairo can
// express).
enum class Blend { kNormal, kDifference, kMultiply, kScreen };

struct FillStyle {
  TColor colour = kBlack;
  int hatch = -1;                          // 0..5: the hatch pattern drawn in colour; -1: solid
  std::optional<TColor> hatch_background;  // opaque background mode
  std::shared_ptr<const TBitmap> pattern;  // a bitmap brush, tiled from the device origin
  Blend blend = Blend::kNormal;
};

struct StrokeStyle {
  TColor colour = kBlack;
  double width = 1;
  enum Cap { kRoundCap, kSquareCap, kFlatCap } cap = kRoundCap;
  enum Join { kRoundJoin, kBevelJoin, kMiterJoin } join = kRoundJoin;
  double miter_limit = 10;
  std::vector<double> dashes;
  Blend blend = Blend::kNormal;
};

struct TextStyle {
  std::string family;
  double size = 12;  // em height in device pixels
  bool bold = false;
  bool italic = false;
  bool underline = false;
  bool strike_out = false;
  double angle = 0;  // radians, clockwise on the device (y grows downwards)
  TColor colour = kBlack;
  std::optional<TColor> background;
};

struct TextMetrics {
  double ascent = 0, descent = 0, width = 0;
};

class Canvas {
 public:
  // A white canvas, or nothing when cairo cannot make a surface of that size.
  static std::unique_ptr<Canvas> Create(int width, int height);
  ~Canvas();
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;

  int Width() const { return width_; }
  int Height() const { return height_; }

  // Work units the drawing calls may use from now on (unlimited until set).
  void SetWorkBudget(std::uint64_t units) { budget_left_ = double(units); }
  // Whether a call was refused for want of budget.
  bool BudgetSpent() const { return spent_; }
  // Units charged so far.
  double WorkDone() const { return work_done_; }

  void Fill(const Path& path, const FillStyle& style, bool winding);
  void Stroke(const Path& path, const StrokeStyle& style);

  void Save();
  void Restore();
  void ResetClip();
  void ClipTo(const Path& path, bool winding);
  void ClipOut(const Path& path);

  // Draws source with its pixel (u, v) mapped through to_device, nearest-pixel sampling.
  void DrawImage(const TBitmap& source, const Xform& to_device);
  // Combines pattern colour, source (optional, sampled through to_device) and the pixels in
  // the device rectangle [x0, x1) x [y0, y1) by the ternary raster operation rop3.
  void RasterOp(int x0, int y0, int x1, int y1, const TBitmap* source, const Xform& to_device,
                std::uint8_t rop3, TColor pattern);

  TextMetrics MeasureText(const std::string& utf8, const TextStyle& style);
  // Draws utf8 with its baseline start at origin (device space).
  void DrawText(const std::string& utf8, Point origin, const TextStyle& style);

  void SetPixel(int x, int y, TColor colour);

  // The pixels as a 24-bit image. The canvas hands its memory back to the system as the rows
  // are converted, so the picture is not held twice; nothing can be drawn afterwards.
  void TakePixels(TBitmap& image);

  struct Impl;  // cairo's objects and the pixel memory; only Create makes one
  Canvas(int width, int height, std::unique_ptr<Impl> impl);

 private:
  // Takes units from the budget: false, and refused from then on, when they do not fit.
  bool Charge(double units);
  // Pixels of the device box [x0, x1) x [y0, y1) inside the surface and the clip.
  double VisibleArea(double x0, double y0, double x1, double y1) const;
  double PathArea(const Path& path, double margin) const;

  int width_;
  int height_;
  std::unique_ptr<Impl> impl_;
  double budget_left_ = 1e300;
  double work_done_ = 0;
  bool spent_ = false;
};

}  // namespace tolvane::metafile
