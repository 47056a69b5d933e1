#include "engine/resize_panel.h"

#include <gtest/gtest.h>

namespace tolvane {
namespace {

TEST(ResizePanel, NearestTakesHalvesToTheEvenNeighbour) {
  EXPECT_EQ(NearestInt(500.5L), 500);
  EXPECT_EQ(NearestInt(400.5L), 400);
  EXPECT_EQ(NearestInt(151.5L), 152);
  EXPECT_EQ(NearestInt(2.5L), 2);
  EXPECT_EQ(NearestInt(3e9L), std::nullopt);
}

TEST(ResizePanel, FieldTextsAreNumbersWithTheGivenSeparator) {
  EXPECT_EQ(ParseFieldNumber("26.46", "."), 26.46L);
  EXPECT_EQ(ParseFieldNumber("26,46", ","), 26.46L);
  EXPECT_EQ(ParseFieldNumber("7,", ","), 7.0L);
  EXPECT_EQ(ParseFieldNumber(",5", ","), 0.5L);
  for (const char* text : {"", ",", "1,2,3", "26.46", "12a", "-3", " 4"}) {
    EXPECT_EQ(ParseFieldNumber(text, ","), std::nullopt) << text;
  }
  EXPECT_EQ(ParseWholeNumber("2147483647"), 2147483647);
  EXPECT_EQ(ParseWholeNumber("2147483648"), std::nullopt);
  EXPECT_EQ(ParseWholeNumber(""), std::nullopt);
  EXPECT_EQ(ParseWholeNumber("1.5"), std::nullopt);
}

TEST(ResizePanel, HundredthsDropTrailingZeros) {
  EXPECT_EQ(HundredthsText(2646, ","), "26,46");
  EXPECT_EQ(HundredthsText(1050, "."), "10.5");
  EXPECT_EQ(HundredthsText(700, "."), "7");
  EXPECT_EQ(HundredthsText(5, "."), "0.05");
}

struct UnitCase {
  SizeUnit unit;
  int dpi;
  int pixels;
  const char* text;  // the field text for those pixels
};

TEST(ResizePanel, UnitsConvertBothWaysAtTheDpi) {
  const UnitCase cases[] = {
      {SizeUnit::kPixels, 96, 1000, "1000"}, {SizeUnit::kCm, 96, 1000, "26.46"},
      {SizeUnit::kCm, 96, 750, "19.84"},     {SizeUnit::kInches, 96, 1000, "10.42"},
      {SizeUnit::kInches, 72, 36, "0.5"},    {SizeUnit::kCm, 300, 0, "0"},
  };
  for (const UnitCase& c : cases) {
    EXPECT_EQ(FieldTextFromPixels(c.pixels, c.unit, c.dpi, "."), c.text) << c.text;
    EXPECT_EQ(PixelsFromFieldText(c.text, c.unit, c.dpi, "."), c.pixels) << c.text;
  }
  // nearest(10.42 * 96) = nearest(1000.32): two decimals lose a little.
  EXPECT_EQ(PixelsFromFieldText("10.42", SizeUnit::kInches, 96, "."), 1000);
  EXPECT_EQ(PixelsFromFieldText("0.5", SizeUnit::kPixels, 96, "."), 0);
}

TEST(ResizePanel, NoDpiOrAHugeNumberGivesNoSize) {
  EXPECT_EQ(PixelsFromFieldText("10", SizeUnit::kCm, 0, "."), std::nullopt);
  EXPECT_EQ(PixelsFromFieldText("10", SizeUnit::kInches, 0, "."), std::nullopt);
  EXPECT_EQ(FieldTextFromPixels(10, SizeUnit::kCm, 0, "."), std::nullopt);
  EXPECT_EQ(PixelsFromFieldText("10", SizeUnit::kPixels, 0, "."), 10);
  EXPECT_EQ(PixelsFromFieldText("99999999999", SizeUnit::kPixels, 96, "."), std::nullopt);
  EXPECT_EQ(PixelsFromFieldText("30000000", SizeUnit::kInches, 96, "."), std::nullopt);
}

TEST(ResizePanel, AspectCouplingRoundsInHundredths) {
  constexpr double kFourToThree = 4.0 / 3.0;
  EXPECT_EQ(DrivenHeightText(800, kFourToThree, SizeUnit::kPixels, "."), "600");
  EXPECT_EQ(
      DrivenWidthText(600, kFourToThree, SizeUnit::kPixels, DriveOrder::kHundredthsFirst, "."),
      "800");
  EXPECT_EQ(DrivenHeightText(10, kFourToThree, SizeUnit::kCm, ","), "7,5");
  // 1001 / 801: 10 / ratio = 8.0019..., shown in hundredths, and in pixels rounded once more.
  const double odd = 1001.0 / 801.0;
  EXPECT_EQ(DrivenHeightText(10, odd, SizeUnit::kInches, "."), "8");
  EXPECT_EQ(DrivenHeightText(3, 2.0, SizeUnit::kPixels, "."), "2");  // 150 hundredths -> 2
  EXPECT_EQ(DrivenHeightText(5, 2.0, SizeUnit::kPixels, "."), "2");  // 250 hundredths -> 2
  EXPECT_EQ(DrivenHeightText(5, 0.0, SizeUnit::kPixels, "."), std::nullopt);
}

TEST(ResizePanel, PercentagesOfTheSelectedImage) {
  EXPECT_EQ(PercentOf(50, 1001), 500);
  EXPECT_EQ(PercentOf(50, 801), 400);
  EXPECT_EQ(PercentOf(150, 101), 152);
  EXPECT_EQ(PercentOf(100, 0), 0);
}

TEST(ResizePanel, StandardSizesByRow) {
  EXPECT_EQ(StandardSize(0), (PixelSize{640, 480}));
  EXPECT_EQ(StandardSize(1), (PixelSize{800, 600}));
  EXPECT_EQ(StandardSize(13), (PixelSize{2560, 1600}));
  EXPECT_EQ(StandardSize(-1), (PixelSize{640, 480}));
}

TEST(ResizePanel, HalfRoundsToEvenAndDoubleStopsAtIntLimits) {
  PixelSize size{1000, 750};
  const PixelSize expected[] = {{500, 375}, {250, 188}, {125, 94}};
  for (const PixelSize& step : expected) {
    size = HalfSize(size);
    EXPECT_EQ(size, step);
  }
  EXPECT_EQ(HalfSize({5, 7}), (PixelSize{2, 4}));
  EXPECT_EQ(DoubleSize({125, 94}), (PixelSize{250, 188}));
  EXPECT_EQ(DoubleSize({1 << 30, 1}), std::nullopt);
}

}  // namespace
}  // namespace tolvane
