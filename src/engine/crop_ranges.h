#pragma once
// The four crop scroll bars as numbers, and how their ranges follow the picture in the source
// preview. The window copies its bars in, calls these and copies them back, so the rules are
// tested without a window.
#include "engine/conversion_host.h"

namespace tolvane {

struct CropBar {
  int minimum = 0;
  int maximum = 100;
  int position = 0;
  friend bool operator==(const CropBar&, const CropBar&) = default;
};

// Left and Top hold the left and top edges of the kept rectangle, Right and Bottom its right and
// bottom edges, each within its bar's range.
struct CropBars {
  CropBar left, right, top, bottom;
  friend bool operator==(const CropBars&, const CropBars&) = default;
};

// Re-derives the ranges for a width x height picture; after a quarter turn the left/right pair
// spans the height. The amounts cut from the right and bottom stay, left and top are lowered
// into the new extents. A Right (Bottom) minimum, left there by the last Left (Top) movement,
// that exceeds the new extent makes it throw std::runtime_error with kCropOutOfRangeMessage;
// the bars keep the steps done so far, and that minimum is lowered to the extent so that the
// next derivation succeeds.
void SelectCrop(CropBars& bars, int width, int height, bool quarter_turn);

// The user moved Left (Top) to position: its partner may not end left of (above) it.
void MoveNearEdge(CropBar& moved, CropBar& partner, int position);
// The user moved Right (Bottom) to position: its partner may not pass it.
void MoveFarEdge(CropBar& moved, CropBar& partner, int position);

// "Zero Out": nothing cut on any side.
void ZeroCrop(CropBars& bars);

// The bars after the run's crop-range update of one file; the run has checked the values.
void SetRunRanges(CropBars& bars, const CropRanges& ranges);

// What the labels show: the position for Left and Top, maximum minus position for the others.
inline int CutFromFarSide(const CropBar& bar) { return bar.maximum - bar.position; }

}  // namespace tolvane
