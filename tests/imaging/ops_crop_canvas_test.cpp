#include <gtest/gtest.h>

#include "imaging/operations.h"
#include "imaging/ops_images.h"

namespace tolvane {
namespace {

using ops_test::RandomImage;
using ops_test::SamePixels;

// Every pixel of `image` at (x, y) is the source's pixel at (x + dx, y + dy).
void ExpectWindow(const TBitmap& image, const TBitmap& source, int dx, int dy) {
  for (int y = 0; y < image.Height(); ++y) {
    for (int x = 0; x < image.Width(); ++x) {
      ASSERT_EQ(image.Pixels(x, y), source.Pixels(x + dx, y + dy)) << x << "," << y;
    }
  }
}

TEST(OpsCropTest, KeepsTheRectangle) {
  const TBitmap source = RandomImage(100, 80, 20);
  TBitmap image = source;
  CropImage(image, 10, 5, 90, 75, 1.0);
  ASSERT_EQ(image.Width(), 80);
  ASSERT_EQ(image.Height(), 70);
  EXPECT_EQ(image.Pixels(0, 0), source.Pixels(10, 5));
  EXPECT_EQ(image.Pixels(79, 69), source.Pixels(89, 74));
  ExpectWindow(image, source, 10, 5);
}

TEST(OpsCropTest, ScaledEdgesAreTruncated) {
  const TBitmap source = RandomImage(100, 50, 21);
  TBitmap image = source;
  // 21 / 2 = 10.5 -> column 10; 100 / 2 = 50; 50 / 2 = 25.
  CropImage(image, 21, 0, 100, 50, 2.0);
  ASSERT_EQ(image.Width(), 40);
  ASSERT_EQ(image.Height(), 25);
  ExpectWindow(image, source, 10, 0);
}

// The preview of a 1600 x 1200 image is 268 x 201 at scale 1600 / 268; cropping nothing must
// keep every preview column although the scale as a double is a little too large.
TEST(OpsCropTest, FullExtentAtAPreviewScaleKeepsEveryColumn) {
  const TBitmap source = RandomImage(268, 201, 23);
  TBitmap image = source;
  CropImage(image, 0, 0, 1600, 1200, 1600.0 / 268);
  ASSERT_EQ(image.Width(), 268);
  ASSERT_EQ(image.Height(), 201);
  ExpectWindow(image, source, 0, 0);
}

TEST(OpsCropTest, FullRectangleIsTheOriginal) {
  const TBitmap source = RandomImage(33, 17, 22);
  TBitmap image = source;
  CropImage(image, 0, 0, 33, 17, 1.0);
  EXPECT_TRUE(SamePixels(image, source));
}

TEST(OpsCropTest, ResultIs24BitWithoutTransparentMark) {
  const TBitmap source = RandomImage(12, 9, 23);
  TBitmap image = ops_test::As32Bit(source);
  image.SetTransparent(true, source.Pixels(3, 3));
  CropImage(image, 2, 1, 10, 8, 1.0);
  EXPECT_EQ(image.BitsPerPixel(), 24);
  EXPECT_FALSE(image.Transparent());
  ExpectWindow(image, source, 2, 1);
}

TEST(OpsCropTest, EmptyRectangleGivesAnEmptyImage) {
  TBitmap image = RandomImage(12, 9, 24);
  CropImage(image, 4, 2, 4, 8, 1.0);
  EXPECT_TRUE(image.Empty());
}

TEST(OpsCanvasTest, SurroundsTheImageWithTheColour) {
  constexpr TColor kColour = RGBColor(10, 20, 30);
  const TBitmap source = RandomImage(100, 80, 25);
  TBitmap image = source;
  AddCanvas(image, 10, 20, 30, 40, 1.0, kColour);
  ASSERT_EQ(image.Width(), 140);
  ASSERT_EQ(image.Height(), 140);
  for (int y = 0; y < 140; ++y) {
    for (int x = 0; x < 140; ++x) {
      const bool inside = x >= 10 && x < 110 && y >= 20 && y < 100;
      const TColor want = inside ? source.Pixels(x - 10, y - 20) : kColour;
      ASSERT_EQ(image.Pixels(x, y), want) << x << "," << y;
    }
  }
}

TEST(OpsCanvasTest, ScaledMarginsRoundHalfToEven) {
  const struct {
    int margin;
    int scaled;
  } cases[] = {{1, 0}, {3, 2}, {5, 2}, {7, 4}, {8, 4}};
  for (const auto& t : cases) {
    TBitmap image = RandomImage(4, 3, 26);
    AddCanvas(image, t.margin, 0, 0, t.margin, 2.0, kBlack);
    EXPECT_EQ(image.Width(), 4 + t.scaled) << t.margin;
    EXPECT_EQ(image.Height(), 3 + t.scaled) << t.margin;
  }
}

TEST(OpsCanvasTest, NoMarginsIsTheOriginal) {
  const TBitmap source = RandomImage(31, 7, 27);
  TBitmap image = source;
  AddCanvas(image, 0, 0, 0, 0, 1.0, RGBColor(1, 2, 3));
  EXPECT_TRUE(SamePixels(image, source));
}

TEST(OpsCanvasTest, TransparentColourShowsTheCanvasAndTheMarkIsDropped) {
  constexpr TColor kKey = RGBColor(0, 255, 0), kOther = RGBColor(200, 100, 50);
  constexpr TColor kCanvas = RGBColor(9, 9, 9);
  // Explicit key colour, and the automatic one taken from the bottom-left pixel.
  for (bool automatic : {false, true}) {
    TBitmap image = ops_test::ImageOf(2, 2, {kKey, kOther, kOther, kKey});
    if (automatic) {
      image = ops_test::ImageOf(2, 2, {kKey, kOther, kKey, kOther});
      image.SetTransparent(true);
    } else {
      image.SetTransparent(true, kKey);
    }
    const TBitmap before = image;
    AddCanvas(image, 1, 0, 0, 0, 1.0, kCanvas);
    EXPECT_FALSE(image.Transparent());
    ASSERT_EQ(image.Width(), 3);
    for (int y = 0; y < 2; ++y) {
      for (int x = 0; x < 2; ++x) {
        const TColor was = before.Pixels(x, y);
        EXPECT_EQ(image.Pixels(x + 1, y), was == kKey ? kCanvas : was) << automatic;
      }
    }
  }
}

}  // namespace
}  // namespace tolvane
