// Crop and canvas borders: both build their result in a new 24-bit image, which then replaces
// the input (without its transparent mark).
#include <algorithm>
#include <cmath>

#include "imaging/operations.h"
#include "imaging/pixel_rows.h"

namespace tolvane {
namespace {

using pixel_rows::SaturatedInt;

// Crop edges are truncated after scaling. A quotient that misses a whole number only by the
// rounding of the scale (1600 / (1600 / 268.0) is just under 268) counts as that number, so
// an edge at the full extent stays there instead of cutting one preview column.
int ScaledEdge(int value, double scale) {
  const long double scaled = static_cast<long double>(value) / scale;
  const long double whole = std::nearbyint(scaled);
  if (std::fabs(scaled - whole) <= 1e-9L * std::max(1.0L, std::fabs(whole))) {
    return SaturatedInt(whole);
  }
  return SaturatedInt(std::trunc(scaled));
}

// Canvas margins are rounded after scaling, halves to even, so 2.5 gives 2 and 3.5 gives 4.
int ScaledMargin(int value, double scale) {
  const long double scaled = static_cast<long double>(value) / scale;
  if (!std::isfinite(scaled)) return SaturatedInt(scaled);
  return SaturatedInt(std::nearbyint(scaled));
}

}  // namespace

void CropImage(TBitmap& image, int left, int top, int right, int bottom, double scale) {
  const int l = ScaledEdge(left, scale), t = ScaledEdge(top, scale);
  const int r = ScaledEdge(right, scale), b = ScaledEdge(bottom, scale);
  TBitmap result;
  result.Create(r - l, b - t, 24);
  // The callers keep the rectangle inside the image; clipping anyway means a wrong rectangle
  // gives white where it overhangs instead of reading outside the pixels.
  const int x0 = std::clamp(l, 0, image.Width()), x1 = std::clamp(r, x0, image.Width());
  const int y0 = std::clamp(t, 0, image.Height()), y1 = std::clamp(b, y0, image.Height());
  if (!result.Empty()) result.CopyRect(x0 - l, y0 - t, image, x0, y0, x1 - x0, y1 - y0);
  image = std::move(result);
}

void AddCanvas(TBitmap& image, int left, int top, int right, int bottom, double scale,
               TColor colour) {
  const int l = ScaledMargin(left, scale), t = ScaledMargin(top, scale);
  const int r = ScaledMargin(right, scale), b = ScaledMargin(bottom, scale);
  TBitmap result;
  result.Create(image.Width() + l + r, image.Height() + t + b, 24);
  result.FillRect(colour);
  // Draw leaves out the pixels of the image's transparent colour, so they show the canvas.
  result.Draw(l, t, image);
  image = std::move(result);
}

}  // namespace tolvane
