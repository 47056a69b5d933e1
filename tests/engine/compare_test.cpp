#include "engine/compare.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "engine/run_conversion.h"
#include "imaging/operations.h"
#include "recording_host.h"

namespace tolvane {
namespace {

using testing::RecordingHost;

// Every pixel differs from its neighbours and from the canvas colours used below.
TBitmap Picture(int w, int h) {
  TBitmap image;
  image.Create(w, h, 24);
  for (int y = 0; y < h; ++y) {
    std::uint8_t* row = image.ScanLine(y);
    for (int x = 0; x < w; ++x) {
      row[3 * x] = 100, row[3 * x + 1] = std::uint8_t(10 * y + 1),
              row[3 * x + 2] = std::uint8_t(10 * x + 1);
    }
  }
  return image;
}

bool SamePixels(const TBitmap& a, const TBitmap& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height()) return false;
  for (int y = 0; y < a.Height(); ++y) {
    for (int x = 0; x < a.Width(); ++x) {
      if (a.Pixels(x, y) != b.Pixels(x, y)) return false;
    }
  }
  return true;
}

TConvertOptions Rotated(TRotateOption option) {
  TConvertOptions o;
  o.RotateEnabled = true;
  o.RotateOption = option;
  return o;
}

TEST(PrepareCompareImage, WithEverythingOffBothSidesAreTheSame) {
  const TBitmap source = Picture(7, 5);
  TConvertOptions o;
  RecordingHost host;
  EXPECT_TRUE(SamePixels(PrepareCompareImage(source, o, host), source));
  EXPECT_TRUE(host.calls.empty());
}

TEST(PrepareCompareImage, AnEmptySourceStaysEmptyWithoutMessages) {
  TConvertOptions o = Rotated(TRotateOption::kRotateLeft);
  o.CropEnabled = true;
  o.CropLeft = 3;
  o.ResizeEnabled = true;
  RecordingHost host;
  EXPECT_TRUE(PrepareCompareImage(TBitmap(), o, host).Empty());
  EXPECT_TRUE(host.messages.empty());
}

// The run's mapping: after a quarter turn the left width goes to the top.
TEST(PrepareCompareImage, LeftCanvasAfterRotateLeftIsAddedAtTheTop) {
  const TBitmap source = Picture(6, 4);
  TConvertOptions o = Rotated(TRotateOption::kRotateLeft);
  o.CanvasEnabled = true;
  o.CanvasLeft = 5;
  o.CanvasColor = RGBColor(0, 0, 255);
  RecordingHost host;
  const TBitmap prepared = PrepareCompareImage(source, o, host);

  TBitmap expected = source;
  RotateImage(expected, kWhite, 270);
  ASSERT_EQ(prepared.Width(), 4);
  ASSERT_EQ(prepared.Height(), 6 + 5);
  for (int y = 0; y < prepared.Height(); ++y) {
    for (int x = 0; x < prepared.Width(); ++x) {
      const TColor want = y < 5 ? o.CanvasColor : expected.Pixels(x, y - 5);
      ASSERT_EQ(prepared.Pixels(x, y), want) << x << "," << y;
    }
  }
}

TEST(PrepareCompareImage, MatchesTheRunsOperationsWithoutTouchingTheCropPage) {
  const TBitmap source = Picture(9, 6);
  TConvertOptions o = Rotated(TRotateOption::kRotateRight);
  o.AdjustEnabled = o.Invert = true;
  o.CropEnabled = true;
  o.CropLeft = 2;
  o.CropBottom = 100;  // more than the image has: a run carries a smaller value on
  o.CanvasEnabled = true;
  o.CanvasTop = 1;
  const TConvertOptions before = o;
  RecordingHost host;
  const TBitmap prepared = PrepareCompareImage(source, o, host);

  TBitmap by_run = source;
  TConvertOptions run_options = before;
  RecordingHost run_host;
  ApplyOperations(by_run, run_options, run_host);
  EXPECT_TRUE(SamePixels(prepared, by_run));
  EXPECT_NE(run_options.CropBottom, before.CropBottom);
  EXPECT_EQ(o.CropBottom, before.CropBottom);
  EXPECT_EQ(o.CropRight, before.CropRight);
  EXPECT_TRUE(host.crop_ranges.empty());
}

TEST(PrepareCompareImage, RotateRightWithNothingCutShowsTheWholeRotatedImage) {
  const TBitmap source = Picture(9, 6);
  TConvertOptions o = Rotated(TRotateOption::kRotateRight);
  o.CropEnabled = true;
  RecordingHost host;
  TBitmap expected = source;
  RotateImage(expected, kWhite, 90);
  EXPECT_TRUE(SamePixels(PrepareCompareImage(source, o, host), expected));
}

TEST(PrepareCompareImage, ACropValueThatDoesNotFitStopsThePreparation) {
  TConvertOptions o;
  o.CropEnabled = true;
  o.CropLeft = 10;
  RecordingHost host;
  EXPECT_THROW(
      {
        try {
          PrepareCompareImage(Picture(9, 6), o, host);
        } catch (const std::runtime_error& e) {
          EXPECT_STREQ(e.what(), kCropOutOfRangeMessage);
          throw;
        }
      },
      std::runtime_error);
}

TEST(PrepareCompareImage, ResizeWritesItsSizeBackOrShowsItsMessage) {
  const TBitmap source = Picture(20, 10);
  TConvertOptions o;
  o.ResizeEnabled = true;
  o.AspectByWidth = true;
  o.AspectByHeight = false;
  o.ResizeWidth = 40;
  o.ResizeHeight = 7;  // replaced by the height that keeps the proportions
  RecordingHost host;
  const TBitmap resized = PrepareCompareImage(source, o, host);
  EXPECT_EQ(resized.Width(), 40);
  EXPECT_EQ(resized.Height(), 20);
  EXPECT_EQ(o.ResizeHeight, 20);
  EXPECT_EQ(host.calls, std::vector<std::string>{"resize 40x20"});

  o.ResizeWidth = 4;
  o.ResizeHeight = 4;
  o.AspectByWidth = false;
  RecordingHost small_host;
  EXPECT_TRUE(SamePixels(PrepareCompareImage(source, o, small_host), source));
  EXPECT_EQ(small_host.messages, std::vector<std::string>{kResizeTooSmallMessage});
  EXPECT_EQ(o.ResizeWidth, 4);
}

}  // namespace
}  // namespace tolvane
