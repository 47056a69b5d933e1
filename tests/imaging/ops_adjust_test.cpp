#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <vector>

#include "imaging/operations.h"
#include "imaging/ops_images.h"

namespace tolvane {
namespace {

using ops_test::ColoursOf;
using ops_test::ImageOf;
using ops_test::RandomImage;
using ops_test::SamePixels;

struct ColourCase {
  TColor in;
  TColor out;
};

TColor AdjustOne(void (*op)(TBitmap&), TColor in) {
  TBitmap image = ImageOf(1, 1, {in});
  op(image);
  return image.Pixels(0, 0);
}

TEST(OpsInvertTest, ComplementsEveryChannelAndTwiceRestores) {
  EXPECT_EQ(AdjustOne(InvertImage, RGBColor(0, 200, 255)), RGBColor(255, 55, 0));
  const TBitmap original = RandomImage(37, 11, 1);
  TBitmap image = original;
  InvertImage(image);
  InvertImage(image);
  EXPECT_TRUE(SamePixels(image, original));
}

TEST(OpsGrayScaleTest, MeanRoundsDown) {
  const ColourCase cases[] = {
      {RGBColor(255, 0, 1), RGBColor(85, 85, 85)},
      {RGBColor(1, 1, 0), RGBColor(0, 0, 0)},
      {RGBColor(2, 2, 1), RGBColor(1, 1, 1)},
      {RGBColor(255, 255, 255), RGBColor(255, 255, 255)},
      {RGBColor(10, 20, 60), RGBColor(30, 30, 30)},
  };
  for (const ColourCase& c : cases) EXPECT_EQ(AdjustOne(GrayScaleImage, c.in), c.out) << c.in;
}

TEST(OpsGrayScaleTest, EveryPixelOfARowIsConverted) {
  // Long enough for any unrolled or vector loop plus its remainder.
  TBitmap image = RandomImage(67, 3, 2);
  const std::vector<TColor> before = ColoursOf(image);
  GrayScaleImage(image);
  const std::vector<TColor> after = ColoursOf(image);
  for (std::size_t i = 0; i < before.size(); ++i) {
    const unsigned mean = (RedOf(before[i]) + GreenOf(before[i]) + BlueOf(before[i])) / 3;
    ASSERT_EQ(after[i], RGBColor(mean, mean, mean)) << "pixel " << i;
  }
}

TEST(OpsSepiaTest, KnownColours) {
  const ColourCase cases[] = {
      {RGBColor(255, 255, 255), RGBColor(255, 255, 238)},
      {RGBColor(0, 0, 0), RGBColor(0, 0, 0)},
      {RGBColor(128, 128, 128), RGBColor(172, 153, 119)},
      {RGBColor(100, 100, 100), RGBColor(135, 120, 93)},
      {RGBColor(255, 0, 0), RGBColor(100, 88, 69)},
      {RGBColor(0, 255, 0), RGBColor(196, 174, 136)},
      {RGBColor(0, 0, 255), RGBColor(48, 42, 33)},
      {RGBColor(200, 150, 100), RGBColor(212, 189, 147)},
  };
  for (const ColourCase& c : cases) EXPECT_EQ(AdjustOne(SepiaImage, c.in), c.out) << c.in;
}

// The evaluation that defines sepia: extended precision, red and green terms first, truncated.
std::uint8_t SepiaReference(const long double (&w)[3], int r, int g, int b) {
  long double sum = static_cast<long double>(r) * w[0] + static_cast<long double>(g) * w[1];
  sum = sum + static_cast<long double>(b) * w[2];
  return sum >= 255.0L ? 255 : static_cast<std::uint8_t>(static_cast<int>(sum));
}

TEST(OpsSepiaTest, MatchesExtendedEvaluationForEveryColour) {
  constexpr long double kRed[3] = {0.393L, 0.769L, 0.189L};
  constexpr long double kGreen[3] = {0.349L, 0.686L, 0.168L};
  constexpr long double kBlue[3] = {0.272L, 0.534L, 0.131L};
  // Row = red * 16 + green / 16, column = (green % 16) * 256 + blue: all 2^24 colours.
  TBitmap image;
  image.Create(4096, 4096, 24);
  for (int y = 0; y < 4096; ++y) {
    std::uint8_t* row = image.ScanLine(y);
    for (int x = 0; x < 4096; ++x) {
      row[3 * x] = static_cast<std::uint8_t>(x % 256);
      row[3 * x + 1] = static_cast<std::uint8_t>((y % 16) * 16 + x / 256);
      row[3 * x + 2] = static_cast<std::uint8_t>(y / 16);
    }
  }
  SepiaImage(image);
  int mismatches = 0;
  for (int y = 0; y < 4096 && mismatches < 5; ++y) {
    const std::uint8_t* row = image.ScanLine(y);
    for (int x = 0; x < 4096 && mismatches < 5; ++x) {
      const int r = y / 16, g = (y % 16) * 16 + x / 256, b = x % 256;
      const TColor want = RGBColor(SepiaReference(kRed, r, g, b), SepiaReference(kGreen, r, g, b),
                                   SepiaReference(kBlue, r, g, b));
      const TColor got = RGBColor(row[3 * x + 2], row[3 * x + 1], row[3 * x]);
      if (got != want) {
        ++mismatches;
        ADD_FAILURE() << "rgb(" << r << "," << g << "," << b << ") gave " << std::hex << got
                      << " want " << want;
      }
    }
  }
}

TEST(OpsNightVisionTest, GreenIsInvertedForAll256ValuesAndRedBlueCleared) {
  std::vector<TColor> colours;
  for (int g = 0; g < 256; ++g) colours.push_back(RGBColor(g ^ 0x5A, g, 255 - g));
  TBitmap image = ImageOf(256, 1, colours);
  NightVisionImage(image);
  for (int g = 0; g < 256; ++g) ASSERT_EQ(image.Pixels(g, 0), RGBColor(0, 255 - g, 0)) << g;
}

TEST(OpsColorizeTest, MapsEachChannelBetweenItsLowAndHighValue) {
  const TColor low = RGBColor(10, 200, 0), high = RGBColor(250, 20, 255);
  TBitmap image =
      ImageOf(3, 1, {RGBColor(0, 0, 0), RGBColor(255, 255, 255), RGBColor(128, 128, 1)});
  ColorizeImage(image, low, high);
  EXPECT_EQ(image.Pixels(0, 0), low);
  EXPECT_EQ(image.Pixels(1, 0), high);
  // red 128/255*240+10 = 130.47, green 128/255*(-180)+200 = 109.65, blue 1/255*255 = 1.
  EXPECT_EQ(image.Pixels(2, 0), RGBColor(130, 109, 1));
}

struct NamedOp {
  const char* name;
  std::function<void(TBitmap&)> run;
};

// Every in-place operation, with what it must do to a known image.
std::vector<NamedOp> InPlaceOps() {
  return {
      {"invert", InvertImage},
      {"night vision", NightVisionImage},
      {"gray scale", GrayScaleImage},
      {"sepia", SepiaImage},
      {"rotate 90", [](TBitmap& i) { RotateImage(i, kWhite, 90); }},
      {"rotate 180", [](TBitmap& i) { RotateImage(i, kWhite, 180); }},
      {"rotate 0", [](TBitmap& i) { RotateImage(i, kWhite, 0); }},
      {"rotate 30", [](TBitmap& i) { RotateImage(i, kWhite, 30); }},
      {"flip vertically", [](TBitmap& i) { FlipImage(i, false); }},
      {"flip horizontally", [](TBitmap& i) { FlipImage(i, true); }},
  };
}

TEST(OpsInPlaceTest, ThirtyTwoBitInputGivesTheSame24BitResult) {
  const TBitmap original = RandomImage(9, 5, 3);
  for (const NamedOp& op : InPlaceOps()) {
    TBitmap expected = original;
    op.run(expected);
    TBitmap wide = ops_test::As32Bit(original);
    op.run(wide);
    EXPECT_EQ(wide.BitsPerPixel(), 24) << op.name;
    EXPECT_TRUE(SamePixels(wide, expected)) << op.name;
  }
}

TEST(OpsInPlaceTest, TransparentMarkStaysAsItWas) {
  for (const NamedOp& op : InPlaceOps()) {
    TBitmap keyed = RandomImage(6, 4, 4);
    keyed.SetTransparent(true, RGBColor(1, 2, 3));
    op.run(keyed);
    EXPECT_TRUE(keyed.Transparent()) << op.name;
    EXPECT_EQ(keyed.TransparentColor(), RGBColor(1, 2, 3)) << op.name;

    // Without an explicit colour the mark still follows the bottom-left pixel of the result.
    TBitmap automatic = RandomImage(6, 4, 5);
    automatic.SetTransparent(true);
    op.run(automatic);
    EXPECT_TRUE(automatic.Transparent()) << op.name;
    EXPECT_EQ(automatic.TransparentColor(), automatic.Pixels(0, automatic.Height() - 1)) << op.name;
  }
}

TEST(OpsInPlaceTest, EmptyImageStaysEmpty) {
  for (const NamedOp& op : InPlaceOps()) {
    TBitmap image;
    image.Create(0, 7, 24);
    op.run(image);
    EXPECT_EQ(image.Width(), 0) << op.name;
    EXPECT_EQ(image.Height(), 7) << op.name;
  }
}

}  // namespace
}  // namespace tolvane
