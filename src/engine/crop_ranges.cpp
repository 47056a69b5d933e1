#include "engine/crop_ranges.h"

#include <algorithm>
#include <stdexcept>

#include "engine/run_conversion.h"

namespace tolvane {
namespace {

void SetMaximum(CropBar& bar, int maximum) {
  if (maximum < bar.minimum) {
    // Left as it is, the stale minimum would fail every later derivation too.
    bar.minimum = maximum;
    throw std::runtime_error(kCropOutOfRangeMessage);
  }
  bar.maximum = maximum;
  bar.position = std::min(bar.position, maximum);
}

// A far edge keeps the amount it cuts when its extent changes.
void FollowExtent(CropBar& bar, int extent) {
  const int old_maximum = bar.maximum;
  const int old_position = bar.position;
  SetMaximum(bar, extent);
  bar.position = std::clamp(extent + old_position - old_maximum, bar.minimum, bar.maximum);
}

// Range changes as a scroll bar makes them: the other limit and the position follow.
void RaiseMinimum(CropBar& bar, int minimum) {
  bar.minimum = minimum;
  bar.maximum = std::max(bar.maximum, minimum);
  bar.position = std::clamp(bar.position, bar.minimum, bar.maximum);
}

void LowerMaximum(CropBar& bar, int maximum) {
  bar.maximum = maximum;
  bar.minimum = std::min(bar.minimum, maximum);
  bar.position = std::clamp(bar.position, bar.minimum, bar.maximum);
}

void SetExtent(CropBar& near, CropBar& far, int extent, int cut_near, int cut_far) {
  near.minimum = std::min(near.minimum, extent);
  near.maximum = extent;
  near.position = std::clamp(cut_near, near.minimum, near.maximum);
  far.minimum = std::min(far.minimum, extent);
  far.maximum = extent;
  far.position = std::clamp(extent - cut_far, far.minimum, far.maximum);
}

}  // namespace

void SelectCrop(CropBars& bars, int width, int height, bool quarter_turn) {
  const int d1 = quarter_turn ? height : width;
  const int d2 = quarter_turn ? width : height;
  SetMaximum(bars.left, d1);
  FollowExtent(bars.right, d1);
  SetMaximum(bars.top, d2);
  FollowExtent(bars.bottom, d2);
}

void MoveNearEdge(CropBar& moved, CropBar& partner, int position) {
  moved.position = std::clamp(position, moved.minimum, moved.maximum);
  RaiseMinimum(partner, moved.position);
}

void MoveFarEdge(CropBar& moved, CropBar& partner, int position) {
  moved.position = std::clamp(position, moved.minimum, moved.maximum);
  if (moved.position > 1) LowerMaximum(partner, moved.position);
}

void ZeroCrop(CropBars& bars) {
  bars.right.position = bars.right.maximum;
  bars.bottom.position = bars.bottom.maximum;
  for (CropBar* near : {&bars.left, &bars.top}) {
    near->minimum = 0;
    near->position = 0;
  }
}

void SetRunRanges(CropBars& bars, const CropRanges& ranges) {
  SetExtent(bars.left, bars.right, ranges.horizontal_extent, ranges.left, ranges.right);
  SetExtent(bars.top, bars.bottom, ranges.vertical_extent, ranges.top, ranges.bottom);
}

}  // namespace tolvane
