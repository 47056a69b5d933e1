// Metafiles made by public drawing tools, played and checked against what their drawings show.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "codec_test_support.h"
#include "formats/metafile/metafile.h"
#include "platform/limits.h"

// fontconfig, loaded by cairo for text, keeps a few font patterns for the life of the process
// and drops its pointers to them; LeakSanitizer would report them at every exit.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

namespace tolvane {
namespace {

using testing::DataBytes;

constexpr TColor kRed = RGBColor(255, 0, 0);
constexpr TColor kGreen = RGBColor(0, 160, 0);  // the drawing's #00A000
constexpr TColor kBlue = RGBColor(0, 0, 255);

std::string Hex(TColor c) {
  char s[16];
  std::snprintf(s, sizeof s, "%06X", c);
  return s;
}

TBitmap Play(const std::string& name) {
  TBitmap image;
  const Status status = DecodeMetafile(DataBytes("metafile/" + name), image, kMaxPixels);
  EXPECT_TRUE(status.ok()) << name << ": " << status.message();
  return image;
}

struct Probe {
  double x, y;  // fractions of the width and height
  TColor colour;
};

// The Inkscape drawing (160 x 100): white ground, red rectangle with a black outline top left,
// blue ellipse right of centre, green triangle bottom left, a magenta diagonal.
const Probe kShapes[] = {
    {0.25, 0.25, kRed},   {0.68, 0.60, kBlue},  {0.35, 0.85, kGreen},
    {0.03, 0.03, kWhite}, {0.97, 0.95, kWhite}, {0.50, 0.05, kWhite},
};

TEST(MetafileFiles, InkscapeDrawingAsEmfAndPlaceableWmf) {
  struct Case {
    const char* file;
    int width, height;
  } cases[] = {{"inkscape_shapes.emf", 2031, 1275}, {"inkscape_shapes_placeable.wmf", 160, 100}};
  for (const Case& c : cases) {
    const TBitmap image = Play(c.file);
    ASSERT_EQ(image.Width(), c.width) << c.file;
    ASSERT_EQ(image.Height(), c.height) << c.file;
    for (const Probe& p : kShapes) {
      const int x = int(p.x * c.width), y = int(p.y * c.height);
      EXPECT_EQ(Hex(image.Pixels(x, y)), Hex(p.colour)) << c.file << " at " << x << "," << y;
    }
  }
}

TEST(MetafileFiles, WmfWithoutPlaceableHeaderIsRefused) {
  TBitmap image;
  const Status status =
      DecodeMetafile(DataBytes("metafile/inkscape_shapes_noplaceable.wmf"), image, kMaxPixels);
  EXPECT_FALSE(status.ok());
  EXPECT_TRUE(image.Empty());
}

// The Pillow drawing: a red disc with a black outline. The EMF holds it whole; the placeable
// WMF's bounding box cuts it at the right and bottom.
TEST(MetafileFiles, PillowDrawing) {
  const TBitmap emf = Play("pillow_drawing.emf");
  ASSERT_EQ(emf.Width(), 1370);
  ASSERT_EQ(emf.Height(), 1370);
  EXPECT_EQ(Hex(emf.Pixels(685, 685)), Hex(kRed));
  EXPECT_EQ(Hex(emf.Pixels(20, 20)), Hex(kWhite));
  EXPECT_EQ(Hex(emf.Pixels(1350, 1350)), Hex(kWhite));
  EXPECT_EQ(Hex(emf.Pixels(685, 10)), Hex(kBlack));  // the outline at the top

  const TBitmap wmf = Play("pillow_drawing_placeable.wmf");
  ASSERT_EQ(wmf.Width(), 110);
  ASSERT_EQ(wmf.Height(), 110);
  EXPECT_EQ(Hex(wmf.Pixels(90, 90)), Hex(kRed));
  EXPECT_EQ(Hex(wmf.Pixels(3, 3)), Hex(kWhite));
}

// gnuplot: sin(x) as a violet line, cos(x) as green points, black axes and tick labels.
TEST(MetafileFiles, GnuplotPlotDrawsBothCurvesAndItsLabels) {
  const TBitmap image = Play("gnuplot_plot.emf");
  ASSERT_EQ(image.Width(), 321);
  ASSERT_EQ(image.Height(), 245);
  int violet = 0, green = 0, dark = 0;
  for (int y = 0; y < image.Height(); ++y) {
    for (int x = 0; x < image.Width(); ++x) {
      const TColor c = image.Pixels(x, y);
      violet += c == RGBColor(0x94, 0x00, 0xD3);
      green += c == RGBColor(0x00, 0x9E, 0x73);
      dark += x < 40 && c == kBlack;  // the y-axis tick labels
    }
  }
  EXPECT_GT(violet, 300);
  EXPECT_GT(green, 100);
  EXPECT_GT(dark, 100);
  // The frame around the plot area: MOVETOEX and four LINETO records with a 1-pixel pen, each
  // side unbroken (curves may cross it in their own colour).
  const auto unbroken = [&image](int x0, int y0, int x1, int y1) {
    for (int x = x0; x <= x1; ++x) {
      for (int y = y0; y <= y1; ++y) {
        if (image.Pixels(x, y) == kWhite) return false;
      }
    }
    return true;
  };
  EXPECT_TRUE(unbroken(63, 21, 63, 197)) << "left side";
  EXPECT_TRUE(unbroken(290, 21, 290, 197)) << "right side";
  EXPECT_TRUE(unbroken(63, 21, 290, 21)) << "top side";
  EXPECT_TRUE(unbroken(63, 197, 290, 197)) << "bottom side";
}

}  // namespace
}  // namespace tolvane
