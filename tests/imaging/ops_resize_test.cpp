#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "imaging/operations.h"
#include "imaging/ops_images.h"
#include "platform/checked_math.h"

namespace tolvane {
namespace {

using ops_test::ColoursOf;
using ops_test::RandomImage;
using ops_test::SamePixels;

TBitmap GreyImage(int width, int height, const std::vector<int>& values) {
  std::vector<TColor> colours;
  for (int v : values) colours.push_back(RGBColor(v, v, v));
  return ops_test::ImageOf(width, height, colours);
}

TBitmap Resampled(const TBitmap& source, int width, int height) {
  TBitmap destination;
  destination.Create(width, height, 24);
  ResampleBilinear(source, destination);
  return destination;
}

// The filter written out pixel by pixel, to hold the optimised one to.
TBitmap ReferenceResample(const TBitmap& source, int dw, int dh) {
  TBitmap out;
  out.Create(dw, dh, 24);
  const int sw = source.Width(), sh = source.Height();
  const auto xstep = static_cast<std::uint32_t>(MulDiv(sw - 1, 65536, dw));
  const auto ystep = static_cast<std::uint32_t>(MulDiv(sh - 1, 65536, dh));
  std::uint32_t sy = 0;
  for (int y = 0; y < dh; ++y, sy += ystep) {
    const int iy = int(sy >> 16), fy = int(sy & 0xFFFF);
    const std::uint8_t* upper = source.ScanLine(iy);
    const std::uint8_t* lower = source.ScanLine(iy < sh - 1 ? iy + 1 : iy);
    const int a0 = 65536 - fy, a1 = fy + 1;
    std::uint32_t sx = 0;
    for (int x = 0; x < dw; ++x, sx += xstep) {
      const int ix = int(sx >> 16), fx = int(sx & 0xFFFF);
      const int ix1 = ix < sw - 1 ? ix + 1 : ix;
      const std::int64_t w01 = MulDiv(fx, a0, 65536), w00 = a0 - w01;
      const std::int64_t w11 = MulDiv(fx, a1, 65536), w10 = a1 - w11;
      for (int ch = 0; ch < 3; ++ch) {
        const std::int64_t sum = upper[3 * ix + ch] * w00 + upper[3 * ix1 + ch] * w01 +
                                 lower[3 * ix + ch] * w10 + lower[3 * ix1 + ch] * w11;
        out.ScanLine(y)[3 * x + ch] = static_cast<std::uint8_t>(sum >> 16);
      }
    }
  }
  return out;
}

TEST(OpsResampleTest, KnownTables) {
  const struct {
    TBitmap source;
    int width, height;
    std::vector<int> rows;
  } cases[] = {
      {GreyImage(2, 2, {0, 255, 255, 0}),
       4,
       4,
       {0, 63, 127, 191, 63, 95, 127, 159, 127, 127, 127, 127, 191, 159, 127, 95}},
      // The last source column is never sampled.
      {GreyImage(3, 2, {0, 100, 200, 50, 150, 250}), 2, 2, {0, 100, 25, 125}},
  };
  for (const auto& t : cases) {
    EXPECT_EQ(ColoursOf(Resampled(t.source, t.width, t.height)),
              ColoursOf(GreyImage(t.width, t.height, t.rows)));
  }
}

TEST(OpsResampleTest, MatchesThePixelByPixelFilter) {
  const struct {
    int sw, sh, dw, dh;
  } cases[] = {{37, 23, 11, 7}, {11, 7, 53, 29},  {1, 1, 5, 3}, {3, 50, 99, 2},
               {200, 3, 7, 41}, {64, 64, 65, 63}, {2, 9, 1, 1}};
  std::uint32_t seed = 30;
  for (const auto& t : cases) {
    const TBitmap source = RandomImage(t.sw, t.sh, ++seed);
    EXPECT_TRUE(SamePixels(Resampled(source, t.dw, t.dh), ReferenceResample(source, t.dw, t.dh)))
        << t.sw << "x" << t.sh << " -> " << t.dw << "x" << t.dh;
  }
}

TEST(OpsResampleTest, SameSizeIsACopyAndUniformStaysUniform) {
  const TBitmap source = RandomImage(19, 8, 40);
  EXPECT_TRUE(SamePixels(Resampled(source, 19, 8), source));

  TBitmap uniform;
  uniform.Create(17, 9, 24);
  for (TColor colour : {RGBColor(0, 0, 0), RGBColor(255, 255, 255), RGBColor(1, 128, 254)}) {
    uniform.FillRect(colour);
    for (const auto& size : {std::pair{1, 1}, std::pair{50, 3}, std::pair{4, 40}}) {
      const TBitmap out = Resampled(uniform, size.first, size.second);
      for (TColor got : ColoursOf(out)) ASSERT_EQ(got, colour) << size.first << "x" << size.second;
    }
  }
}

TEST(OpsResampleTest, ThirtyTwoBitSourceIsReadAndLeftAlone) {
  const TBitmap source24 = RandomImage(13, 6, 41);
  const TBitmap source32 = ops_test::As32Bit(source24);
  EXPECT_TRUE(SamePixels(Resampled(source32, 5, 9), Resampled(source24, 5, 9)));
  EXPECT_EQ(source32.BitsPerPixel(), 32);
}

TEST(OpsResizeTest, TargetsOfFiveOrLessChangeNothing) {
  for (const auto& target : {std::pair{5, 100}, std::pair{100, 5}, std::pair{0, 0}}) {
    const TBitmap original = RandomImage(20, 10, 50);
    TBitmap image = original;
    ResizeSettings settings{target.first, target.second, true, false};
    EXPECT_EQ(ResizeImage(image, settings), ResizeOutcome::kTooSmall);
    EXPECT_TRUE(SamePixels(image, original));
    EXPECT_EQ(settings.width, target.first);
    EXPECT_EQ(settings.height, target.second);
  }
}

TEST(OpsResizeTest, AspectRuleAndWrittenBackSize) {
  const struct {
    int image_width, image_height;
    ResizeSettings settings;
    int width, height;
  } cases[] = {
      {8, 2, {10, 100, true, false}, 10, 2},  // 2.5 rounds to 2
      {8, 2, {14, 100, true, false}, 14, 4},  // 3.5 rounds to 4
      {8, 2, {100, 6, false, true}, 24, 6},
      {6, 6, {6, 6, false, false}, 6, 6},
      {1000, 500, {300, 200, false, false}, 300, 200},
      {300, 900, {300, 200, false, false}, 300, 200},
  };
  for (const auto& t : cases) {
    TBitmap image = RandomImage(t.image_width, t.image_height, 51);
    image.SetTransparent(true);
    ResizeSettings settings = t.settings;
    ASSERT_EQ(ResizeImage(image, settings), ResizeOutcome::kResized);
    EXPECT_EQ(image.Width(), t.width);
    EXPECT_EQ(image.Height(), t.height);
    EXPECT_EQ(settings.width, t.width);
    EXPECT_EQ(settings.height, t.height);
    EXPECT_EQ(image.BitsPerPixel(), 24);
    EXPECT_FALSE(image.Transparent());
  }
}

TEST(OpsResizeTest, ResultIsTheBilinearResample) {
  const TBitmap source = RandomImage(41, 29, 52);
  TBitmap image = ops_test::As32Bit(source);
  ResizeSettings settings{20, 6, true, false};
  ASSERT_EQ(ResizeImage(image, settings), ResizeOutcome::kResized);
  EXPECT_TRUE(SamePixels(image, ReferenceResample(source, 20, 14)));
}

// A derived side that rounds below one pixel is refused like a too small target.
TEST(OpsResizeTest, DerivedSideBelowOnePixelChangesNothing) {
  const TBitmap original = RandomImage(1000, 1, 53);
  TBitmap image = original;
  ResizeSettings settings{10, 10, true, false};
  EXPECT_EQ(ResizeImage(image, settings), ResizeOutcome::kTooSmall);
  EXPECT_TRUE(SamePixels(image, original));
  EXPECT_EQ(settings.height, 10);
}

TEST(OpsStretchTest, NearestPixelsAreCopiedNotBlended) {
  const std::vector<TColor> pixels = {RGBColor(10, 0, 0), RGBColor(20, 0, 0), RGBColor(30, 0, 0),
                                      RGBColor(40, 0, 0)};
  TBitmap image = ops_test::ImageOf(4, 1, pixels);
  ASSERT_TRUE(StretchImage(image, 2, 1));
  ASSERT_EQ(image.Width(), 2);
  ASSERT_EQ(image.Height(), 1);
  for (TColor c : ColoursOf(image)) {
    EXPECT_NE(std::find(pixels.begin(), pixels.end(), c), pixels.end()) << c;
  }
  EXPECT_NE(image.Pixels(0, 0), image.Pixels(1, 0));

  ASSERT_TRUE(StretchImage(image, 6, 3));
  EXPECT_EQ(image.Width(), 6);
  EXPECT_EQ(image.Height(), 3);
  EXPECT_FALSE(StretchImage(image, -1, 3));
}

}  // namespace
}  // namespace tolvane
