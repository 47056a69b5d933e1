#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "imaging/operations.h"
#include "imaging/ops_images.h"
#include "platform/limits.h"

namespace tolvane {
namespace {

using ops_test::ColoursOf;
using ops_test::ImageOf;
using ops_test::RandomImage;
using ops_test::SamePixels;

constexpr TColor a = RGBColor(1, 0, 0), b = RGBColor(2, 0, 0), c = RGBColor(3, 0, 0);
constexpr TColor d = RGBColor(4, 0, 0), e = RGBColor(5, 0, 0), f = RGBColor(6, 0, 0);

struct TurnCase {
  const char* name;
  std::function<void(TBitmap&)> run;
  int width, height;
  std::vector<TColor> rows;
};

// Top row a b c, bottom row d e f.
TEST(OpsRotateFlipTest, SmallImageTable) {
  const TurnCase cases[] = {
      {"right", [](TBitmap& i) { RotateImage(i, kWhite, 90); }, 2, 3, {d, a, e, b, f, c}},
      {"left", [](TBitmap& i) { RotateImage(i, kWhite, 270); }, 2, 3, {c, f, b, e, a, d}},
      {"half", [](TBitmap& i) { RotateImage(i, kWhite, 180); }, 3, 2, {f, e, d, c, b, a}},
      {"vertical", [](TBitmap& i) { FlipImage(i, false); }, 3, 2, {d, e, f, a, b, c}},
      {"horizontal", [](TBitmap& i) { FlipImage(i, true); }, 3, 2, {c, b, a, f, e, d}},
  };
  for (const TurnCase& t : cases) {
    TBitmap image = ImageOf(3, 2, {a, b, c, d, e, f});
    t.run(image);
    EXPECT_EQ(image.Width(), t.width) << t.name;
    EXPECT_EQ(image.Height(), t.height) << t.name;
    EXPECT_EQ(ColoursOf(image), t.rows) << t.name;
  }
}

// Sizes that leave partial tiles at both edges (tiles are up to 512 rows by 64 columns), rows
// with padding and rows without (where reading past a row's last pixel would leave the image).
TEST(OpsRotateFlipTest, QuarterTurnsMatchTheirDefinitionOnLargerImages) {
  constexpr int kH = 1101;
  for (const int w : {150, 152}) {
    const TBitmap source = RandomImage(w, kH, 7);
    TBitmap right = source, left = source;
    RotateImage(right, kWhite, 90);
    RotateImage(left, kWhite, 270);
    ASSERT_EQ(right.Width(), kH);
    ASSERT_EQ(right.Height(), w);
    ASSERT_EQ(left.Width(), kH);
    for (int y = 0; y < w; ++y) {
      for (int x = 0; x < kH; ++x) {
        ASSERT_EQ(right.Pixels(x, y), source.Pixels(y, kH - 1 - x)) << x << "," << y;
        ASSERT_EQ(left.Pixels(x, y), source.Pixels(w - 1 - y, x)) << x << "," << y;
      }
    }
  }
}

TEST(OpsRotateFlipTest, IdentitiesGiveBackTheOriginal) {
  const std::function<void(TBitmap&)> right = [](TBitmap& i) { RotateImage(i, kWhite, 90); };
  const std::function<void(TBitmap&)> left = [](TBitmap& i) { RotateImage(i, kWhite, 270); };
  const std::function<void(TBitmap&)> half = [](TBitmap& i) { RotateImage(i, kWhite, 180); };
  const std::function<void(TBitmap&)> vertical = [](TBitmap& i) { FlipImage(i, false); };
  const std::function<void(TBitmap&)> horizontal = [](TBitmap& i) { FlipImage(i, true); };
  const struct {
    const char* name;
    std::vector<std::function<void(TBitmap&)>> steps;
  } cases[] = {
      {"four rights", {right, right, right, right}},
      {"right then left", {right, left}},
      {"two halves", {half, half}},
      {"two vertical flips", {vertical, vertical}},
      {"two mirrors", {horizontal, horizontal}},
      {"half is both flips", {half, vertical, horizontal}},
  };
  for (const auto& sizes : {std::pair{131, 67}, std::pair{1, 5}, std::pair{4, 1}}) {
    const TBitmap original = RandomImage(sizes.first, sizes.second, 8);
    for (const auto& t : cases) {
      TBitmap image = original;
      for (const auto& step : t.steps) step(image);
      EXPECT_TRUE(SamePixels(image, original))
          << t.name << " " << sizes.first << "x" << sizes.second;
    }
  }
}

TEST(OpsRotateFlipTest, WholeTurnsLeavePixels) {
  const TBitmap original = RandomImage(13, 7, 9);
  for (double angle : {0.0, 360.0, 720.0, -360.0}) {
    TBitmap image = original;
    RotateImage(image, RGBColor(9, 9, 9), angle);
    EXPECT_TRUE(SamePixels(image, original)) << angle;
  }
}

TEST(OpsRotateFlipTest, SingleLineFlipsAcrossItsLengthAreUnchanged) {
  const TBitmap row = RandomImage(9, 1, 10), column = RandomImage(1, 9, 11);
  TBitmap flipped_row = row, mirrored_column = column;
  FlipImage(flipped_row, false);
  FlipImage(mirrored_column, true);
  EXPECT_TRUE(SamePixels(flipped_row, row));
  EXPECT_TRUE(SamePixels(mirrored_column, column));
}

TEST(OpsRotateGeneralTest, BoundingBoxSizes) {
  const struct {
    int width, height;
    double angle;
    int out_width, out_height;
  } cases[] = {
      {10, 10, 45, 14, 14},
      {100, 50, 30, 112, 93},
      {100, 50, -30, 112, 93},
      {100, 50, 90.5, 51, 100},
  };
  for (const auto& t : cases) {
    TBitmap image = RandomImage(t.width, t.height, 12);
    RotateImage(image, kWhite, t.angle);
    EXPECT_EQ(image.Width(), t.out_width) << t.angle;
    EXPECT_EQ(image.Height(), t.out_height) << t.angle;
    EXPECT_EQ(image.BitsPerPixel(), 24);
  }
}

// A thin strip turned by 45 degrees asks for a square over the pixel limit: refused before
// anything is allocated, the image left as it was.
TEST(OpsRotateGeneralTest, ResultsOverThePixelLimitAreRefused) {
  TBitmap image = RandomImage(30000, 3, 5);
  try {
    RotateImage(image, kWhite, 45);
    ADD_FAILURE() << "no refusal";
  } catch (const ImageTooLarge& e) {
    EXPECT_STREQ(e.what(), "too large: 21215 x 21215");
  }
  EXPECT_EQ(image.Width(), 30000);
  EXPECT_EQ(image.Height(), 3);
  EXPECT_THROW(TBitmap().Create(20000, 20000, 24), ImageTooLarge);
}

TEST(OpsRotateGeneralTest, TurnsAboutTheTopLeftCornerWithBackgroundOutside) {
  constexpr TColor kBackground = RGBColor(7, 8, 9);
  const TBitmap source = RandomImage(10, 10, 13);
  TBitmap image = source;
  RotateImage(image, kBackground, 45);
  // The corner (0, 0) lands at x = -minX = 7 on the top row; the left and right ends of the
  // top row lie outside the turned picture.
  EXPECT_EQ(image.Pixels(7, 0), source.Pixels(0, 0));
  EXPECT_EQ(image.Pixels(0, 0), kBackground);
  EXPECT_EQ(image.Pixels(13, 0), kBackground);
  EXPECT_EQ(image.Pixels(0, 13), kBackground);
}

// -90 is not a quarter turn: the general path's rounding leaves a background row on top and
// loses the source's first column.
TEST(OpsRotateGeneralTest, MinusNinetyTakesTheGeneralPath) {
  constexpr TColor kBackground = RGBColor(7, 8, 9);
  TBitmap image = ImageOf(3, 2, {a, b, c, d, e, f});
  RotateImage(image, kBackground, -90);
  ASSERT_EQ(image.Width(), 2);
  ASSERT_EQ(image.Height(), 3);
  EXPECT_EQ(ColoursOf(image), (std::vector<TColor>{kBackground, kBackground, c, f, b, e}));
}

}  // namespace
}  // namespace tolvane
