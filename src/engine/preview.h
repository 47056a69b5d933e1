#pragma once
#include "engine/convert_options.h"
#include "imaging/tbitmap.h"

namespace tolvane {

// The box both previews are shown in.
inline constexpr int kPreviewBoxWidth = 268;
inline constexpr int kPreviewBoxHeight = 201;

// Reduces a decoded picture to the preview's working copy in two nearest-pixel steps: down to
// the box width when wider than it, then to the box height when taller than 42 rows (so most
// pictures end 201 high, and wide ones wider than the box). False when a step failed.
bool ReduceForPreview(TBitmap& image);

// The processed preview: a 24-bit copy of the reduced source with the enabled adjustments,
// rotate or flip, crop and canvas applied (resize is only shown in figures). Crop edges and
// canvas widths are in pixels of the full-size picture of full_width x full_height and are
// scaled down to the reduced copy.
TBitmap ImageOperation(const TBitmap& preview_source, const TConvertOptions& options,
                       int full_width, int full_height);

}  // namespace tolvane
