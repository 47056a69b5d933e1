// The EMF player on hand-built metafiles: one table of drawing cases per record family, the
// content and size rules, and damaged records.
#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <limits>
#include <string>

#include "formats/metafile/metafile.h"
#include "metafile_builder.h"
#include "platform/limits.h"

namespace tolvane {
namespace {

using testing::Dib24;
using testing::EmfBuilder;
using testing::RecordBytes;

constexpr TColor kRed = RGBColor(255, 0, 0);
constexpr TColor kGreen = RGBColor(0, 255, 0);
constexpr TColor kBlue = RGBColor(0, 0, 255);
constexpr TColor kCyan = RGBColor(0, 255, 255);
constexpr std::uint32_t kStock = 0x80000000;

RecordBytes Rect(int l, int t, int r, int b) { return RecordBytes().I32s({l, t, r, b}); }
RecordBytes U32(std::uint32_t v) { return RecordBytes().U32(v); }
RecordBytes Pt(int x, int y) { return RecordBytes().I32s({x, y}); }

// Points of the 16-bit forms: bounds, count, points.
RecordBytes Points16(std::initializer_list<std::pair<int, int>> points) {
  RecordBytes r = Rect(0, 0, 0, 0);
  r.U32(std::uint32_t(points.size()));
  for (auto [x, y] : points) r.I16(std::int16_t(x)).I16(std::int16_t(y));
  return r;
}

void Brush(EmfBuilder& e, std::uint32_t index, TColor colour, std::uint32_t style = 0,
           std::uint32_t hatch = 0) {
  e.Record(39, RecordBytes().U32(index).U32(style).U32(colour).U32(hatch)).Record(37, U32(index));
}

void PenOf(EmfBuilder& e, std::uint32_t index, TColor colour, int width = 0) {
  e.Record(38, RecordBytes().U32(index).U32(0).I32(width).I32(0).U32(colour));
  e.Record(37, U32(index));
}

// Red brush, no pen: what most cases start from.
EmfBuilder RedFill(int size = 40) {
  EmfBuilder e(size, size);
  Brush(e, 1, kRed);
  e.Record(37, U32(kStock | 8));
  return e;
}

RecordBytes StretchDiBits(
    int x, int y, int w, int h, std::uint32_t rop,
    const std::pair<std::vector<std::uint8_t>, std::vector<std::uint8_t>>& dib, int src_w,
    int src_h) {
  RecordBytes r = Rect(0, 0, 0, 0);
  const std::uint32_t bmi = std::uint32_t(dib.first.size()),
                      bits = std::uint32_t(dib.second.size());
  r.I32s({x, y, 0, 0, src_w, src_h}).U32(80).U32(bmi).U32(80 + bmi).U32(bits).U32(0).U32(rop);
  r.I32s({w, h}).Append(dib.first).Append(dib.second);
  return r;
}

// BITBLT without a source bitmap.
RecordBytes PatternBlt(int x, int y, int w, int h, std::uint32_t rop) {
  RecordBytes r = Rect(0, 0, 0, 0);
  r.I32s({x, y, w, h}).U32(rop).I32s({0, 0});
  r.F32(1).F32(0).F32(0).F32(1).F32(0).F32(0);
  r.U32(0).U32(0).U32(0).U32(0).U32(0).U32(0);
  return r;
}

TBitmap Play(const std::vector<std::uint8_t>& bytes) {
  TBitmap image;
  const Status status = DecodeMetafile(bytes, image, kMaxPixels);
  EXPECT_TRUE(status.ok()) << status.message();
  return image;
}

std::string Hex(TColor c) {
  char s[16];
  std::snprintf(s, sizeof s, "%06X", c);
  return s;
}

struct Probe {
  int x, y;
  TColor colour;
};

struct DrawCase {
  const char* name;
  std::function<void(EmfBuilder&)> records;
  std::vector<Probe> probes;
};

const auto tri16 = Points16({{0, 0}, {39, 0}, {0, 39}});
auto bar_dib = Dib24(2, 2, [](int x, int y) {
  return y == 0 ? (x == 0 ? kRed : kGreen) : (x == 0 ? kBlue : kBlack);
});

const std::vector<DrawCase> kDrawCases = {
    {"rectangle",
     [](EmfBuilder& e) { e.Record(43, Rect(10, 10, 30, 30)); },
     {{20, 20, kRed}, {10, 10, kRed}, {29, 29, kRed}, {5, 5, kWhite}, {31, 31, kWhite}}},
    {"ellipse",
     [](EmfBuilder& e) { e.Record(42, Rect(0, 0, 40, 40)); },
     {{20, 20, kRed}, {20, 2, kRed}, {2, 2, kWhite}, {37, 37, kWhite}}},
    {"polygon16", [](EmfBuilder& e) { e.Record(86, tri16); }, {{5, 5, kRed}, {35, 35, kWhite}}},
    {"polygon32",
     [](EmfBuilder& e) {
       e.Record(3, Rect(0, 0, 0, 0).U32(3).I32s({0, 0, 39, 0, 0, 39}));
     },
     {{5, 5, kRed}, {35, 35, kWhite}}},
    {"polypolygon alternate leaves the hole",
     [](EmfBuilder& e) {
       e.Record(91, Rect(0, 0, 0, 0)
                        .U32(2)
                        .U32(8)
                        .U32(4)
                        .U32(4)
                        .I16s({0, 0, 40, 0, 40, 40, 0, 40, 10, 10, 30, 10, 30, 30, 10, 30}));
     },
     {{5, 5, kRed}, {20, 20, kWhite}}},
    {"polypolygon winding fills the hole",
     [](EmfBuilder& e) {
       e.Record(19, U32(2));
       e.Record(8, Rect(0, 0, 0, 0)
                       .U32(2)
                       .U32(8)
                       .U32(4)
                       .U32(4)
                       .I32s({0, 0, 40, 0, 40, 40, 0, 40, 10, 10, 30, 10, 30, 30, 10, 30}));
     },
     {{5, 5, kRed}, {20, 20, kRed}}},
    {"polyline16 with a pen",
     [](EmfBuilder& e) {
       PenOf(e, 2, kBlue);
       e.Record(87, Points16({{0, 20}, {39, 20}}));
     },
     {{20, 20, kBlue}, {20, 10, kWhite}}},
    {"move and line",
     [](EmfBuilder& e) {
       PenOf(e, 2, kBlue, 3);
       e.Record(27, Pt(5, 5)).Record(54, Pt(5, 35));
     },
     {{5, 20, kBlue}, {15, 20, kWhite}}},
    {"bezier16",
     [](EmfBuilder& e) {
       PenOf(e, 2, kBlue);
       e.Record(85, Points16({{0, 20}, {10, 20}, {30, 20}, {39, 20}}));
     },
     {{20, 20, kBlue}, {20, 25, kWhite}}},
    {"polydraw",
     [](EmfBuilder& e) {
       PenOf(e, 2, kBlue);
       e.Record(56, Rect(0, 0, 0, 0).U32(2).I32s({0, 20, 39, 20}).U8(6).U8(2).U8(0).U8(0));
     },
     {{20, 20, kBlue}}},
    {"filled path",
     [](EmfBuilder& e) {
       e.Record(59).Record(27, Pt(0, 0)).Record(54, Pt(39, 0)).Record(54, Pt(0, 39));
       e.Record(61).Record(60).Record(62, Rect(0, 0, 0, 0));
     },
     {{5, 5, kRed}, {35, 35, kWhite}}},
    {"stroked and filled path",
     [](EmfBuilder& e) {
       PenOf(e, 2, kBlue);
       e.Record(59).Record(43, Rect(10, 10, 30, 30)).Record(60).Record(63, Rect(0, 0, 0, 0));
     },
     {{20, 20, kRed}, {10, 20, kBlue}, {5, 5, kWhite}}},
    {"aborted path draws nothing",
     [](EmfBuilder& e) {
       e.Record(59).Record(43, Rect(10, 10, 30, 30)).Record(68).Record(62, Rect(0, 0, 0, 0));
     },
     {{20, 20, kWhite}}},
    {"stock black brush",
     [](EmfBuilder& e) { e.Record(37, U32(kStock | 4)).Record(43, Rect(0, 0, 40, 40)); },
     {{20, 20, kBlack}}},
    {"null brush keeps the outline only",
     [](EmfBuilder& e) {
       PenOf(e, 2, kBlue);
       e.Record(37, U32(kStock | 5)).Record(43, Rect(10, 10, 30, 30));
     },
     {{20, 20, kWhite}, {10, 20, kBlue}}},
    {"deleted brush stays selected",
     [](EmfBuilder& e) { e.Record(40, U32(1)).Record(43, Rect(0, 0, 40, 40)); },
     {{20, 20, kRed}}},
    {"anisotropic window and viewport",
     [](EmfBuilder& e) {
       e.Record(17, U32(8)).Record(9, Pt(100, 100)).Record(11, Pt(40, 40));
       e.Record(43, Rect(0, 0, 50, 50));
     },
     {{10, 10, kRed}, {25, 25, kWhite}}},
    {"window origin",
     [](EmfBuilder& e) {
       e.Record(17, U32(8)).Record(9, Pt(40, 40)).Record(11, Pt(40, 40)).Record(10, Pt(100, 100));
       e.Record(43, Rect(100, 100, 120, 120));
     },
     {{10, 10, kRed}, {30, 30, kWhite}}},
    {"isotropic keeps the aspect ratio",
     [](EmfBuilder& e) {
       e.Record(17, U32(7)).Record(9, Pt(100, 50)).Record(11, Pt(40, 40));
       e.Record(43, Rect(0, 0, 100, 50));
     },
     {{20, 10, kRed}, {20, 30, kWhite}}},
    {"hi-metric units grow upwards",
     [](EmfBuilder& e) { e.Record(17, U32(3)).Record(43, Rect(0, 0, 200, -200)); },
     {{10, 10, kRed}, {30, 30, kWhite}}},
    {"world transform translates",
     [](EmfBuilder& e) {
       e.Record(35, RecordBytes().F32(1).F32(0).F32(0).F32(1).F32(20).F32(0));
       e.Record(43, Rect(0, 0, 10, 10));
     },
     {{25, 5, kRed}, {5, 5, kWhite}}},
    {"world transform multiplied",
     [](EmfBuilder& e) {
       e.Record(36, RecordBytes().F32(2).F32(0).F32(0).F32(2).F32(0).F32(0).U32(4));
       e.Record(36, RecordBytes().F32(1).F32(0).F32(0).F32(1).F32(5).F32(0).U32(2));
       e.Record(43, Rect(0, 0, 10, 10));
     },
     {{15, 15, kRed}, {5, 5, kWhite}}},
    {"restore brings back the brush",
     [](EmfBuilder& e) {
       Brush(e, 2, kBlue);
       e.Record(33).Record(37, U32(1)).Record(34, RecordBytes().I32(-1));
       e.Record(43, Rect(0, 0, 40, 40));
     },
     {{20, 20, kBlue}}},
    {"intersect clip",
     [](EmfBuilder& e) { e.Record(30, Rect(0, 0, 20, 40)).Record(43, Rect(0, 0, 40, 40)); },
     {{10, 20, kRed}, {30, 20, kWhite}}},
    {"exclude clip",
     [](EmfBuilder& e) { e.Record(29, Rect(10, 10, 30, 30)).Record(43, Rect(0, 0, 40, 40)); },
     {{20, 20, kWhite}, {5, 5, kRed}}},
    {"clip path",
     [](EmfBuilder& e) {
       e.Record(59).Record(42, Rect(0, 0, 40, 40)).Record(60).Record(67, U32(5));
       e.Record(43, Rect(0, 0, 40, 40));
     },
     {{20, 20, kRed}, {1, 1, kWhite}}},
    {"restore removes the clip",
     [](EmfBuilder& e) {
       e.Record(33).Record(30, Rect(0, 0, 10, 10)).Record(34, RecordBytes().I32(-1));
       e.Record(43, Rect(0, 0, 40, 40));
     },
     {{30, 30, kRed}}},
    {"clip region",
     [](EmfBuilder& e) {
       e.Record(75, RecordBytes()
                        .U32(48)
                        .U32(5)
                        .U32(32)
                        .U32(1)
                        .U32(1)
                        .U32(16)
                        .Append(Rect(0, 0, 20, 20).bytes)
                        .Append(Rect(0, 0, 20, 20).bytes));
       e.Record(43, Rect(0, 0, 40, 40));
     },
     {{10, 10, kRed}, {30, 30, kWhite}}},
    {"empty copy region removes the clip",
     [](EmfBuilder& e) {
       e.Record(30, Rect(0, 0, 10, 10)).Record(75, RecordBytes().U32(0).U32(5));
       e.Record(43, Rect(0, 0, 40, 40));
     },
     {{30, 30, kRed}}},
    {"pie",
     [](EmfBuilder& e) {
       e.Record(47, Rect(0, 0, 40, 40).I32s({40, 20, 20, 0}));
     },
     {{28, 12, kRed}, {25, 10, kRed}, {12, 28, kWhite}, {12, 12, kWhite}}},
    {"chord",
     [](EmfBuilder& e) {
       e.Record(46, Rect(0, 0, 40, 40).I32s({40, 20, 20, 0}));
     },
     {{33, 8, kRed}, {25, 10, kWhite}, {12, 28, kWhite}}},
    {"clockwise pie",
     [](EmfBuilder& e) {
       e.Record(57, U32(2)).Record(47, Rect(0, 0, 40, 40).I32s({40, 20, 20, 0}));
     },
     {{12, 28, kRed}, {12, 12, kRed}, {28, 12, kWhite}}},
    {"arc with pen",
     [](EmfBuilder& e) {
       PenOf(e, 2, kBlue, 3);
       e.Record(45, Rect(0, 0, 40, 40).I32s({40, 20, 0, 20}));
     },
     {{20, 1, kBlue}, {20, 38, kWhite}, {20, 20, kWhite}}},
    {"angle arc starts with a line",
     [](EmfBuilder& e) {
       PenOf(e, 2, kBlue, 3);
       e.Record(27, Pt(20, 20)).Record(41, Pt(20, 20).U32(15).F32(0).F32(90));
     },
     {{28, 20, kBlue}, {20, 5, kBlue}, {20, 35, kWhite}}},
    {"rounded rectangle",
     [](EmfBuilder& e) {
       e.Record(44, Rect(0, 0, 40, 40).I32s({20, 20}));
     },
     {{20, 20, kRed}, {20, 1, kRed}, {1, 1, kWhite}}},
    {"stretched bitmap, rows bottom-up",
     [](EmfBuilder& e) { e.Record(81, StretchDiBits(0, 0, 40, 40, 0x00CC0020, bar_dib, 2, 2)); },
     {{10, 10, kRed}, {30, 10, kGreen}, {10, 30, kBlue}, {30, 30, kBlack}}},
    {"mirrored bitmap",
     [](EmfBuilder& e) { e.Record(81, StretchDiBits(39, 0, -40, 40, 0x00CC0020, bar_dib, 2, 2)); },
     {{10, 10, kGreen}, {30, 10, kRed}}},
    {"source invert",
     [](EmfBuilder& e) {
       e.Record(43, Rect(0, 0, 20, 40));
       e.Record(81, StretchDiBits(0, 0, 40, 40, 0x00660046,
                                  Dib24(1, 1, [](int, int) { return kWhite; }), 1, 1));
     },
     {{10, 10, kCyan}, {30, 10, kBlack}}},
    {"source and",
     [](EmfBuilder& e) {
       e.Record(43, Rect(0, 0, 40, 40));
       e.Record(81, StretchDiBits(0, 0, 40, 40, 0x008800C6, bar_dib, 2, 2));
     },
     {{10, 10, kRed}, {30, 10, kBlack}, {30, 30, kBlack}}},
    {"destination invert without bitmap",
     [](EmfBuilder& e) { e.Record(76, PatternBlt(0, 0, 20, 40, 0x00550009)); },
     {{10, 10, kBlack}, {30, 10, kWhite}}},
    {"pattern copy uses the brush",
     [](EmfBuilder& e) { e.Record(76, PatternBlt(0, 0, 20, 40, 0x00F00021)); },
     {{10, 10, kRed}, {30, 10, kWhite}}},
    {"bits to device at their own size",
     [](EmfBuilder& e) {
       RecordBytes r = Rect(0, 0, 0, 0);
       const auto& [bmi, bits] = bar_dib;
       r.I32s({10, 10, 0, 0, 2, 2}).U32(76).U32(40).U32(116).U32(std::uint32_t(bits.size()));
       r.U32(0).U32(0).U32(2).Append(bmi).Append(bits);
       e.Record(80, r);
     },
     {{10, 10, kRed}, {11, 10, kGreen}, {11, 11, kBlack}, {12, 12, kWhite}}},
    {"not raster operation inverts",
     [](EmfBuilder& e) { e.Record(20, U32(6)).Record(43, Rect(0, 0, 40, 40)); },
     {{20, 20, kBlack}}},
    {"fill region with a brush",
     [](EmfBuilder& e) {
       Brush(e, 2, kBlue);
       e.Record(71, Rect(0, 0, 0, 0)
                        .U32(48)
                        .U32(1)
                        .U32(32)
                        .U32(1)
                        .U32(1)
                        .U32(16)
                        .Append(Rect(5, 5, 15, 15).bytes)
                        .Append(Rect(5, 5, 15, 15).bytes));
     },
     {{10, 10, kRed}, {20, 20, kWhite}}},
    {"set pixel",
     [](EmfBuilder& e) { e.Record(15, Pt(7, 9).U32(kBlue)); },
     {{7, 9, kBlue}, {8, 9, kWhite}}},
};

class EmfDrawing : public ::testing::TestWithParam<DrawCase> {};

TEST_P(EmfDrawing, PaintsTheExpectedPixels) {
  EmfBuilder e = RedFill();
  GetParam().records(e);
  const TBitmap image = Play(e.Build());
  ASSERT_EQ(image.Width(), 40);
  ASSERT_EQ(image.Height(), 40);
  for (const Probe& p : GetParam().probes) {
    EXPECT_EQ(Hex(image.Pixels(p.x, p.y)), Hex(p.colour)) << "at " << p.x << "," << p.y;
  }
}

INSTANTIATE_TEST_SUITE_P(Records, EmfDrawing, ::testing::ValuesIn(kDrawCases),
                         [](const auto& info) {
                           std::string name = info.param.name;
                           for (char& c : name) {
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           }
                           return name;
                         });

int CountColour(const TBitmap& image, TColor colour, int x0, int y0, int x1, int y1) {
  int n = 0;
  for (int y = y0; y < y1; ++y) {
    for (int x = x0; x < x1; ++x) n += image.Pixels(x, y) == colour;
  }
  return n;
}

TEST(EmfBrushes, HatchAndPatternBrushesMixTheirColours) {
  EmfBuilder hatched = RedFill();
  hatched.Record(18, U32(1));  // transparent background
  Brush(hatched, 2, kBlue, 2, 4);
  hatched.Record(43, Rect(0, 0, 40, 40));
  const TBitmap cross = Play(hatched.Build());
  EXPECT_GT(CountColour(cross, kBlue, 8, 8, 16, 16), 8);
  EXPECT_GT(CountColour(cross, kWhite, 8, 8, 16, 16), 32);

  EmfBuilder pattern = RedFill();
  const auto& [bmi, bits] = bar_dib;
  pattern.Record(94, RecordBytes()
                         .U32(2)
                         .U32(0)
                         .U32(32)
                         .U32(40)
                         .U32(72)
                         .U32(std::uint32_t(bits.size()))
                         .Append(bmi)
                         .Append(bits));
  pattern.Record(37, U32(2)).Record(43, Rect(0, 0, 40, 40));
  const TBitmap tiled = Play(pattern.Build());
  EXPECT_EQ(CountColour(tiled, kRed, 0, 0, 40, 40), 400);
  EXPECT_EQ(CountColour(tiled, kGreen, 0, 0, 40, 40), 400);
}

// Text: the pixels drawn sit on the side of the reference point the alignment says.
RecordBytes TextW(int x, int y, const std::u16string& text) {
  RecordBytes r = Rect(0, 0, 0, 0);
  r.U32(1).F32(1).F32(1).I32s({x, y}).U32(std::uint32_t(text.size())).U32(76).U32(0);
  r.Append(Rect(0, 0, 0, 0).bytes).U32(0);
  for (char16_t c : text) r.U16(c);
  if (text.size() % 2) r.U16(0);
  return r;
}

TBitmap PlayText(std::uint32_t align) {
  EmfBuilder e(200, 60);
  RecordBytes font;
  font.U32(3).I32s({-30, 0, 0, 0, 400}).U32(0).U32(0);
  for (char c : std::string("DejaVu Sans")) font.U16(std::uint16_t(c));
  for (std::size_t i = 11; i < 32; ++i) font.U16(0);
  e.Record(82, font).Record(37, U32(3)).Record(18, U32(1)).Record(24, U32(kBlue));
  e.Record(22, U32(align)).Record(84, TextW(100, 40, u"HH"));
  return Play(e.Build());
}

TEST(EmfText, AlignmentPlacesTheTextAroundTheReference) {
  const TBitmap left = PlayText(24);       // baseline, left
  const TBitmap right = PlayText(24 | 2);  // baseline, right
  const TBitmap centre = PlayText(24 | 6);
  EXPECT_GT(CountColour(left, kBlue, 100, 0, 200, 60), 50);
  EXPECT_EQ(CountColour(left, kBlue, 0, 0, 99, 60), 0);
  EXPECT_GT(CountColour(right, kBlue, 0, 0, 100, 60), 50);
  EXPECT_EQ(CountColour(right, kBlue, 101, 0, 200, 60), 0);
  EXPECT_GT(CountColour(centre, kBlue, 0, 0, 100, 60), 20);
  EXPECT_GT(CountColour(centre, kBlue, 100, 0, 200, 60), 20);
  // Baseline alignment: the letters stand above y = 40.
  EXPECT_EQ(CountColour(left, kBlue, 0, 42, 200, 60), 0);
  const TBitmap top = PlayText(0);
  EXPECT_EQ(CountColour(top, kBlue, 0, 0, 200, 39), 0);
  EXPECT_GT(CountColour(top, kBlue, 0, 40, 200, 60), 50);
}

// ---- the content and size rules ----------------------------------------------------------

std::vector<std::uint8_t> EmfWithReference(std::int32_t frame_w, std::int32_t frame_h,
                                           std::int32_t px_w, std::int32_t px_h, std::int32_t mm_w,
                                           std::int32_t mm_h) {
  std::vector<std::uint8_t> bytes = EmfBuilder(1, 1).Build();
  auto put = [&](std::size_t at, std::int32_t v) { std::memcpy(bytes.data() + at, &v, 4); };
  put(24, 100), put(28, 200), put(32, 100 + frame_w), put(36, 200 + frame_h);
  put(72, px_w), put(76, px_h), put(80, mm_w), put(84, mm_h);
  return bytes;
}

TEST(EmfSize, FrameConvertedAtTheStatedResolution) {
  struct Case {
    std::int32_t frame_w, frame_h, px_w, px_h, mm_w, mm_h;
    int width, height;
  } cases[] = {
      {6064, 3569, 1024, 768, 270, 203, 230, 135},  // 229.98 x 135.03
      {2540, 2540, 1920, 1440, 508, 381, 96, 96},   // 96 DPI
      {1000, 500, 1000, 1000, 100, 100, 100, 50},   // ten pixels per mm
      {15, 15, 1000, 1000, 100, 100, 2, 2},         // 1.5 rounds up
  };
  for (const Case& c : cases) {
    TBitmap image;
    const auto bytes = EmfWithReference(c.frame_w, c.frame_h, c.px_w, c.px_h, c.mm_w, c.mm_h);
    ASSERT_TRUE(DecodeMetafile(bytes, image, kMaxPixels).ok());
    EXPECT_EQ(image.Width(), c.width) << c.frame_w;
    EXPECT_EQ(image.Height(), c.height) << c.frame_h;
    EXPECT_EQ(image.BitsPerPixel(), 24);
    EXPECT_EQ(image.Pixels(0, 0), kWhite);
  }
}

TEST(EmfSize, UnusableHeadersAreRefused) {
  struct Case {
    const char* what;
    std::vector<std::uint8_t> bytes;
  } cases[] = {
      {"empty frame", EmfWithReference(0, 100, 1000, 1000, 100, 100)},
      {"inverted frame", EmfWithReference(-500, 100, 1000, 1000, 100, 100)},
      {"no device millimetres", EmfWithReference(100, 100, 1000, 1000, 0, 100)},
      {"negative device pixels", EmfWithReference(100, 100, -1000, 1000, 100, 100)},
      {"beyond the pixel limit", EmfWithReference(2000000, 2000000, 1000, 1000, 100, 100)},
      {"header shorter than its record",
       [] {
         auto b = EmfBuilder(4, 4).Build();
         b.resize(80);
         return b;
       }()},
      {"header size beyond the file",
       [] {
         auto b = EmfBuilder(4, 4).Build();
         b[4] = 0xFF, b[5] = 0xFF;
         return b;
       }()},
  };
  for (const Case& c : cases) {
    TBitmap image;
    const Status status = DecodeMetafile(c.bytes, image, kMaxPixels);
    EXPECT_FALSE(status.ok()) << c.what;
    EXPECT_FALSE(status.message().empty()) << c.what;
    EXPECT_TRUE(image.Empty()) << c.what;
  }
}

TEST(EmfSize, MaxPixelsIsHonoured) {
  TBitmap image;
  EXPECT_FALSE(DecodeMetafile(EmfBuilder(100, 100).Build(), image, 9999).ok());
  EXPECT_TRUE(DecodeMetafile(EmfBuilder(100, 100).Build(), image, 10000).ok());
}

// ---- damaged records ---------------------------------------------------------------------------

// A cut or damaged record list must fail: a half-drawn picture passed as a success would let a
// "Move" delete the only copy of the file.
TEST(EmfHostile, DataThatEndsBeforeTheEndOfFileRecordFails) {
  auto drawn = [] {
    EmfBuilder e = RedFill();
    e.Record(43, Rect(0, 0, 10, 10));
    return e;
  };
  auto with = [&](const std::function<void(EmfBuilder&)>& damage) {
    EmfBuilder e = drawn();
    damage(e);
    Brush(e, 5, kBlue);
    e.Record(43, Rect(0, 0, 40, 40));
    return e.Build(false);
  };
  const std::vector<std::uint8_t> whole = drawn().Build();
  struct Case {
    const char* what;
    std::vector<std::uint8_t> bytes;
    const char* says;
  } cases[] = {
      {"record size zero", with([](EmfBuilder& e) { e.RawRecord(43, 0); }),
       "less than its own head"},
      {"record size below its head", with([](EmfBuilder& e) { e.RawRecord(43, 4); }),
       "less than its own head"},
      {"record size beyond the file", with([](EmfBuilder& e) { e.RawRecord(43, 1u << 30); }),
       "past the end of the data"},
      {"record size one past the end",
       with([](EmfBuilder& e) { e.RawRecord(43, 200, Rect(0, 0, 40, 40)); }),
       "past the end of the data"},
      {"no end-of-file record", drawn().Build(false), "before the end-of-file record"},
      {"cut inside the end-of-file record's head",
       {whole.begin(), whole.end() - 14},
       "before the end-of-file record"},
      {"cut inside the end-of-file record",
       {whole.begin(), whole.end() - 6},
       "past the end of the data"},
      {"cut inside a drawing record",
       {whole.begin(), whole.end() - 28},
       "past the end of the data"},
      {"zeros where records should be",
       [&] {
         auto b = drawn().Build(false);
         b.resize(b.size() + 64, 0);
         return b;
       }(),
       "less than its own head"},
  };
  for (const Case& c : cases) {
    TBitmap image;
    const Status status = DecodeMetafile(c.bytes, image, kMaxPixels);
    EXPECT_FALSE(status.ok()) << c.what;
    EXPECT_EQ(status.message().rfind("EMF: ", 0), 0u) << c.what << ": " << status.message();
    EXPECT_NE(status.message().find(c.says), std::string::npos)
        << c.what << ": " << status.message();
    EXPECT_TRUE(image.Empty()) << c.what;
  }
}

TEST(EmfHostile, WhatFollowsTheEndOfFileRecordIsIgnored) {
  EmfBuilder e = RedFill();
  e.Record(43, Rect(0, 0, 10, 10));
  const std::vector<std::uint8_t> whole = e.Build();
  for (const std::vector<std::uint8_t>& tail :
       {std::vector<std::uint8_t>{1, 2, 3}, std::vector<std::uint8_t>(64, 0),
        RecordBytes().U32(43).U32(24).I32s({0, 0, 40, 40}).bytes}) {
    std::vector<std::uint8_t> bytes = whole;
    bytes.insert(bytes.end(), tail.begin(), tail.end());
    const TBitmap image = Play(bytes);
    EXPECT_EQ(Hex(image.Pixels(5, 5)), Hex(kRed)) << tail.size();
    EXPECT_EQ(Hex(image.Pixels(20, 20)), Hex(kWhite)) << tail.size();
  }
}

// Drawing costs about one unit per pixel against a budget of a few passes over the picture and
// 16384 units per byte of the file. A file of nothing but large fills stops drawing part-way, and
// keeps what it drew; its records are still checked through to the end.
TEST(EmfHostile, PlaybackStopsWhenItsWorkBudgetIsSpent) {
  auto fills = [](int count, bool with_eof = true) {
    EmfBuilder e = RedFill(1024);
    Brush(e, 2, kBlue);
    e.Record(43, Rect(0, 0, 100, 100));
    Brush(e, 1, kRed);
    for (int i = 0; i < count; ++i) e.Record(43, Rect(0, 200, 1024, 1024));
    Brush(e, 3, kGreen);
    e.Record(43, Rect(0, 0, 100, 100));
    return e.Build(with_eof);
  };
  struct Case {
    int fills;
    TColor last;  // what the final record over the blue square leaves there
  } cases[] = {
      {10, kGreen},   // within the budget: everything is drawn
      {1000, kBlue},  // 24 KB: about 500 fills fit, then nothing more
  };
  for (const Case& c : cases) {
    const TBitmap image = Play(fills(c.fills));
    ASSERT_EQ(image.Width(), 1024);
    EXPECT_EQ(Hex(image.Pixels(50, 50)), Hex(c.last)) << c.fills;
    EXPECT_EQ(Hex(image.Pixels(500, 500)), Hex(kRed)) << c.fills;
    EXPECT_EQ(Hex(image.Pixels(500, 150)), Hex(kWhite)) << c.fills;
  }
  TBitmap image;
  EXPECT_FALSE(DecodeMetafile(fills(1000, false), image, kMaxPixels).ok()) << "cut after spending";
}

TEST(EmfHostile, LyingFieldsAreSkippedAndPlaybackGoesOn) {
  const std::int32_t big = std::numeric_limits<std::int32_t>::max();
  struct Case {
    const char* what;
    std::function<void(EmfBuilder&)> records;
  } cases[] = {
      {"point count beyond the record",
       [](EmfBuilder& e) {
         e.Record(86, Rect(0, 0, 0, 0).U32(0x40000000).I16s({0, 0, 9, 9}));
       }},
      {"polygon counts that do not add up",
       [](EmfBuilder& e) { e.Record(91, Rect(0, 0, 0, 0).U32(2).U32(3).U32(0xFFFFFFFF).U32(4)); }},
      {"poly count beyond the record",
       [](EmfBuilder& e) { e.Record(8, Rect(0, 0, 0, 0).U32(0x7FFFFFFF).U32(3)); }},
      {"huge coordinates",
       [=](EmfBuilder& e) {
         e.Record(43, Rect(-big, -big, big, 5));
         e.Record(42, Rect(big, big, -big, -big));
       }},
      {"singular and non-finite world transforms",
       [](EmfBuilder& e) {
         e.Record(35, RecordBytes().F32(0).F32(0).F32(0).F32(0).F32(0).F32(0));
         e.Record(35, RecordBytes().F32(std::nanf("")).F32(0).F32(0).F32(1).F32(0).F32(0));
         e.Record(36, RecordBytes().F32(1e30f).F32(0).F32(0).F32(1e30f).F32(0).F32(0).U32(3));
         e.Record(36, RecordBytes().F32(1).F32(0).F32(0).F32(1).F32(0).F32(0).U32(1));
       }},
      {"bitmap offsets outside the record",
       [](EmfBuilder& e) {
         RecordBytes r = Rect(0, 0, 0, 0);
         r.I32s({0, 0, 0, 0, 2, 2})
             .U32(0xFFFFFFF0)
             .U32(40)
             .U32(80)
             .U32(1000)
             .U32(0)
             .U32(0x00CC0020);
         e.Record(81, r.I32s({40, 40}));
       }},
      {"bitmap far beyond the pixel limit",
       [](EmfBuilder& e) {
         RecordBytes r = Rect(0, 0, 0, 0);
         r.I32s({0, 0, 0, 0, 2, 2}).U32(80).U32(40).U32(120).U32(4).U32(0).U32(0x00CC0020);
         r.I32s({40, 40}).U32(40).I32(1 << 20).I32(1 << 20).U16(1).U16(24).U32(0).U32(0);
         r.U32(0).U32(0).U32(0).U32(0).U32(0);
         e.Record(81, r);
       }},
      {"object slots out of range",
       [](EmfBuilder& e) {
         e.Record(39, RecordBytes().U32(0xFFFFFF).U32(0).U32(kBlue).U32(0));
         e.Record(37, U32(0xFFFFFF)).Record(37, U32(kStock | 999)).Record(40, U32(0xFFFFFFFF));
       }},
      {"unbalanced restores and deep saves",
       [](EmfBuilder& e) {
         e.Record(34, RecordBytes().I32(-5)).Record(34, RecordBytes().I32(7));
         for (int i = 0; i < 3000; ++i) e.Record(33);
         e.Record(34, RecordBytes().I32(std::numeric_limits<std::int32_t>::min()));
         e.Record(34, RecordBytes().I32(1));
       }},
      {"text offsets outside the record",
       [](EmfBuilder& e) {
         RecordBytes r = Rect(0, 0, 0, 0);
         r.U32(1).F32(1).F32(1).I32s({0, 0}).U32(0x7FFFFFFF).U32(76).U32(0);
         e.Record(84, r.Append(Rect(0, 0, 0, 0).bytes).U32(0xFFFFFFF0));
       }},
      {"transforms that overflow",
       [](EmfBuilder& e) {
         e.Record(33).Record(17, U32(8));
         for (int i = 0; i < 40; ++i)
           e.Record(31, RecordBytes().I32s({1000000000, 1, 1000000000, 1}));
         e.Record(36, RecordBytes().F32(3e38f).F32(0).F32(0).F32(3e38f).F32(0).F32(0).U32(4));
         e.Record(36, RecordBytes().F32(3e38f).F32(0).F32(0).F32(3e38f).F32(0).F32(0).U32(2));
         e.Record(43, Rect(0, 0, 10, 10)).Record(84, TextW(5, 5, u"x"));
         e.Record(81, StretchDiBits(0, 0, 40, 40, 0x00CC0020, bar_dib, 2, 2));
         e.Record(34, RecordBytes().I32(-1));
       }},
      {"records cut short",
       [](EmfBuilder& e) {
         for (std::uint32_t type = 2; type < 120; ++type) {
           if (type != 14) e.Record(type, U32(0));
         }
       }},
  };
  for (const Case& c : cases) {
    EmfBuilder e = RedFill();
    c.records(e);
    e.Record(37, U32(kStock | 8)).Record(37, U32(1)).Record(43, Rect(0, 30, 40, 40));
    const TBitmap image = Play(e.Build());
    ASSERT_EQ(image.Width(), 40) << c.what;
    EXPECT_EQ(Hex(image.Pixels(20, 35)), Hex(kRed)) << c.what;
  }
}

}  // namespace
}  // namespace tolvane
