#include "engine/crop_ranges.h"

#include <gtest/gtest.h>

#include "engine/run_conversion.h"

namespace tolvane {
namespace {

// The bars as the crop page sets them up: nothing cut, ranges 0..100.
CropBars Fresh() {
  CropBars bars;
  bars.right.position = bars.right.maximum;
  bars.bottom.position = bars.bottom.maximum;
  return bars;
}

TEST(SelectCrop, SpansTheImageSwappedAfterAQuarterTurn) {
  CropBars bars = Fresh();
  SelectCrop(bars, 1600, 1200, false);
  EXPECT_EQ(bars.left, (CropBar{0, 1600, 0}));
  EXPECT_EQ(bars.right, (CropBar{0, 1600, 1600}));
  EXPECT_EQ(bars.top, (CropBar{0, 1200, 0}));
  EXPECT_EQ(bars.bottom, (CropBar{0, 1200, 1200}));
  SelectCrop(bars, 1600, 1200, true);
  EXPECT_EQ(bars.right, (CropBar{0, 1200, 1200}));
  EXPECT_EQ(bars.bottom, (CropBar{0, 1600, 1600}));
}

TEST(SelectCrop, CarriesTheFarCutsAndLowersTheNearEdges) {
  CropBars bars = Fresh();
  SelectCrop(bars, 1600, 1200, false);
  MoveFarEdge(bars.right, bars.left, 1400);
  SelectCrop(bars, 1000, 1200, false);
  EXPECT_EQ(bars.right.position, 800);
  EXPECT_EQ(CutFromFarSide(bars.right), 200);
  EXPECT_EQ(bars.left.maximum, 1000);
}

TEST(SelectCrop, AStaleMinimumFailsOnceThenFits) {
  CropBars bars = Fresh();
  SelectCrop(bars, 1600, 1200, false);
  MoveNearEdge(bars.left, bars.right, 1500);
  EXPECT_EQ(bars.right.minimum, 1500);
  try {
    SelectCrop(bars, 1000, 1200, false);
    FAIL() << "a minimum above the extent must fail";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), kCropOutOfRangeMessage);
  }
  EXPECT_EQ(bars.left, (CropBar{0, 1000, 1000}));  // the step before the failure stays
  EXPECT_EQ(bars.right.minimum, 1000);
  EXPECT_EQ(bars.top.maximum, 1200);  // not reached
  SelectCrop(bars, 1000, 1200, false);
  EXPECT_EQ(bars.right, (CropBar{1000, 1000, 1000}));
}

TEST(CropBars, EdgesCannotCrossEachOther) {
  CropBars bars = Fresh();
  SelectCrop(bars, 1600, 1200, false);
  MoveNearEdge(bars.left, bars.right, 300);
  MoveFarEdge(bars.right, bars.left, 100);
  EXPECT_EQ(bars.right.position, 300);
  EXPECT_EQ(bars.left.maximum, 300);
  // Pushing Left past Right moves Right along; a Right at 1 or less leaves Left's range.
  bars = Fresh();
  SelectCrop(bars, 1600, 1200, false);
  MoveFarEdge(bars.right, bars.left, 1);
  EXPECT_EQ(bars.left.maximum, 1600);
  MoveNearEdge(bars.left, bars.right, 700);
  EXPECT_EQ(bars.right, (CropBar{700, 1600, 700}));
}

TEST(CropBars, ZeroOutCutsNothing) {
  CropBars bars = Fresh();
  SelectCrop(bars, 1600, 1200, false);
  MoveNearEdge(bars.left, bars.right, 100);
  MoveFarEdge(bars.bottom, bars.top, 1000);
  ZeroCrop(bars);
  EXPECT_EQ(bars.left.position, 0);
  EXPECT_EQ(CutFromFarSide(bars.right), 0);
  EXPECT_EQ(bars.top.position, 0);
  EXPECT_EQ(CutFromFarSide(bars.bottom), 0);
}

TEST(CropBars, TheRunsRangesFitEvenWithAStaleMinimum) {
  CropBars bars = Fresh();
  SelectCrop(bars, 1600, 1200, false);
  MoveNearEdge(bars.left, bars.right, 900);
  ZeroCrop(bars);  // Left back to 0, Right's minimum still 900
  SetRunRanges(bars, {500, 400, 0, 10, 20, 30});
  EXPECT_EQ(bars.left, (CropBar{0, 500, 0}));
  EXPECT_EQ(bars.right, (CropBar{500, 500, 500}));
  EXPECT_EQ(bars.top, (CropBar{0, 400, 10}));
  EXPECT_EQ(bars.bottom, (CropBar{0, 400, 370}));
}

}  // namespace
}  // namespace tolvane
