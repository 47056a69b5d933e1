#include "engine/preview.h"

#include <algorithm>

#include "engine/run_conversion.h"
#include "imaging/operations.h"

namespace tolvane {
namespace {

// Cuts toward zero; a result below 1 becomes 1.
int TruncAtLeastOne(long double value) { return std::max(1, static_cast<int>(value)); }

// The crop edges are the bar positions: the right and bottom bars span the full picture's
// extents (swapped after a quarter turn), and the options hold what they cut off.
void ApplyPreviewCrop(TBitmap& image, const TConvertOptions& o, int full_width, int full_height,
                      double scale) {
  const bool quarter = IsQuarterTurn(o.RotateOption);
  const int d1 = quarter ? full_height : full_width;
  const int d2 = quarter ? full_width : full_height;
  const int left = std::clamp(o.CropLeft, 0, d1);
  const int top = std::clamp(o.CropTop, 0, d2);
  const int right = std::clamp(d1 - o.CropRight, left, d1);
  const int bottom = std::clamp(d2 - o.CropBottom, top, d2);
  CropImage(image, left, top, right, bottom, scale);
}

}  // namespace

bool ReduceForPreview(TBitmap& image) {
  const long double w = image.Width(), h = image.Height();
  if (w <= 0 || h <= 0) return false;
  if (w > kPreviewBoxWidth) {
    const bool reduced =
        w > h
            ? StretchImage(image, kPreviewBoxWidth, TruncAtLeastOne(kPreviewBoxWidth / (w / h)))
            : StretchImage(image, TruncAtLeastOne(kPreviewBoxHeight / (h / w)), kPreviewBoxHeight);
    if (!reduced) return false;
  }
  const long double w2 = image.Width(), h2 = image.Height();
  if (h2 > 42) {
    return StretchImage(image, TruncAtLeastOne(kPreviewBoxHeight / (h2 / w2)), kPreviewBoxHeight);
  }
  return true;
}

TBitmap ImageOperation(const TBitmap& preview_source, const TConvertOptions& options,
                       int full_width, int full_height) {
  TBitmap p = preview_source;
  if (p.Empty()) return p;
  p.SetPixelFormat(24);
  ApplyAdjustments(p, options);
  ApplyRotate(p, options);
  const int reference = IsQuarterTurn(options.RotateOption) ? full_height : full_width;
  const double scale = static_cast<double>(reference) / p.Width();
  // Without a full-size picture there is nothing the edges could be measured against.
  if (scale <= 0) return p;
  if (options.CropEnabled) ApplyPreviewCrop(p, options, full_width, full_height, scale);
  if (options.CanvasEnabled) {
    AddCanvas(p, options.CanvasLeft, options.CanvasTop, options.CanvasRight, options.CanvasBottom,
              scale, options.CanvasColor);
  }
  return p;
}

}  // namespace tolvane
