#include "engine/preview.h"

#include <gtest/gtest.h>

namespace tolvane {
namespace {

TBitmap Filled(int width, int height, TColor colour) {
  TBitmap image;
  image.Create(width, height, 24);
  image.FillRect(colour);
  return image;
}

struct ReduceCase {
  int width, height;
  int reduced_width, reduced_height;
};

TEST(ReduceForPreview, FitsTheBoxWidthThenTheBoxHeight) {
  const ReduceCase cases[] = {
      {100, 50, 402, 201},     // small but wide: only the second step, 201 / 0.5
      {40, 40, 40, 40},        // 42 rows or fewer stay as they are
      {30, 42, 30, 42},        // exactly 42 is not reduced
      {30, 43, 140, 201},      // trunc(201 / (43 / 30))
      {2000, 1000, 402, 201},  // 268 x 134 first, then 201 high
      {1000, 2000, 100, 201},  // taller than wide: 201 high in the first step
      {2000, 3, 268, 1},       // a height below 1 becomes 1
      {3, 2000, 1, 201},       // so does a width
  };
  for (const ReduceCase& c : cases) {
    TBitmap image = Filled(c.width, c.height, kWhite);
    ASSERT_TRUE(ReduceForPreview(image)) << c.width << "x" << c.height;
    EXPECT_EQ(image.Width(), c.reduced_width) << c.width << "x" << c.height;
    EXPECT_EQ(image.Height(), c.reduced_height) << c.width << "x" << c.height;
  }
}

TEST(ReduceForPreview, FourToThreeEndsAboutTheSizeOfTheBox) {
  TBitmap image = Filled(1600, 1200, kWhite);
  ASSERT_TRUE(ReduceForPreview(image));
  EXPECT_EQ(image.Height(), 201);
  EXPECT_NEAR(image.Width(), 268, 1);
}

TEST(ReduceForPreview, AnImageWithoutPixelsFails) {
  TBitmap image;
  EXPECT_FALSE(ReduceForPreview(image));
}

TEST(ImageOperation, WithNothingEnabledTheSourceComesBackUnchanged) {
  const TBitmap source = Filled(20, 10, RGBColor(10, 20, 30));
  TConvertOptions o;
  o.Invert = true;  // ignored while the adjustments are off
  const TBitmap p = ImageOperation(source, o, 40, 20);
  EXPECT_EQ(p.BitsPerPixel(), 24);
  EXPECT_EQ(p.Width(), 20);
  EXPECT_EQ(p.Pixels(3, 3), RGBColor(10, 20, 30));
}

TEST(ImageOperation, AppliesTheEnabledAdjustments) {
  TConvertOptions o;
  o.AdjustEnabled = true;
  o.Invert = true;
  const TBitmap p = ImageOperation(Filled(4, 4, RGBColor(10, 20, 30)), o, 4, 4);
  EXPECT_EQ(p.Pixels(0, 0), RGBColor(245, 235, 225));
}

// A 400 x 200 picture whose reduced copy is 200 x 100: preview scale 2.
TEST(ImageOperation, CropEdgesAreScaledToTheReducedCopy) {
  TConvertOptions o;
  o.CropEnabled = true;
  o.CropLeft = 100;
  o.CropRight = 100;  // right edge at 300
  o.CropBottom = 50;  // bottom edge at 150
  const TBitmap p = ImageOperation(Filled(200, 100, kWhite), o, 400, 200);
  EXPECT_EQ(p.Width(), 100);
  EXPECT_EQ(p.Height(), 75);
}

TEST(ImageOperation, CanvasWidthsAreScaledAndFilledWithTheColour) {
  TConvertOptions o;
  o.CanvasEnabled = true;
  o.CanvasLeft = 10;
  o.CanvasColor = RGBColor(255, 0, 0);
  const TBitmap p = ImageOperation(Filled(200, 100, kWhite), o, 400, 200);
  EXPECT_EQ(p.Width(), 205);
  EXPECT_EQ(p.Pixels(0, 50), RGBColor(255, 0, 0));
  EXPECT_EQ(p.Pixels(5, 50), kWhite);
}

TEST(ImageOperation, AQuarterTurnMeasuresTheScaleAgainstTheFullHeight) {
  TConvertOptions o;
  o.RotateEnabled = true;
  o.RotateOption = TRotateOption::kRotateRight;
  o.CanvasEnabled = true;
  o.CanvasLeft = 20;
  const TBitmap p = ImageOperation(Filled(200, 100, kWhite), o, 400, 200);
  // Rotated to 100 x 200; scale 200 / 100 = 2, so the border is 10 wide.
  EXPECT_EQ(p.Width(), 110);
  EXPECT_EQ(p.Height(), 200);
}

TEST(ImageOperation, AnEmptySourceStaysEmpty) {
  TConvertOptions o;
  o.CanvasEnabled = true;
  o.CanvasLeft = 5;
  EXPECT_TRUE(ImageOperation(TBitmap(), o, 0, 0).Empty());
}

}  // namespace
}  // namespace tolvane
