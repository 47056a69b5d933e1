// The placeable WMF player: the content rule, the size rule at 96 DPI and its record families.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>

#include "formats/metafile/metafile.h"
#include "metafile_builder.h"
#include "platform/limits.h"

namespace tolvane {
namespace {

using testing::Dib24;
using testing::RecordBytes;
using testing::WmfBuilder;

constexpr TColor kRed = RGBColor(255, 0, 0);
constexpr TColor kGreen = RGBColor(0, 255, 0);
constexpr TColor kBlue = RGBColor(0, 0, 255);

std::string Hex(TColor c) {
  char s[16];
  std::snprintf(s, sizeof s, "%06X", c);
  return s;
}

// 96 units per inch: one unit is one pixel of a 40 x 40 image.
WmfBuilder RedFill() {
  WmfBuilder w(40, 40, 96);
  w.Record(0x02FC, RecordBytes().U16(0).U32(kRed).U16(0)).Record(0x012D, RecordBytes().U16(0));
  w.Record(0x02FA, RecordBytes().U16(5).I16(0).I16(0).U32(0)).Record(0x012D, RecordBytes().U16(1));
  return w;
}

TBitmap Play(const std::vector<std::uint8_t>& bytes) {
  TBitmap image;
  const Status status = DecodeMetafile(bytes, image, kMaxPixels);
  EXPECT_TRUE(status.ok()) << status.message();
  return image;
}

TEST(WmfContent, OnlyPlaceableFilesWithAValidChecksumAreRead) {
  const std::vector<std::uint8_t> good = RedFill().Build();
  ASSERT_TRUE(Play(good).Width() == 40);
  struct Case {
    const char* what;
    std::function<void(std::vector<std::uint8_t>&)> change;
  } cases[] = {
      {"plain metafile without the placeable header",
       [](auto& b) { b.erase(b.begin(), b.begin() + 22); }},
      {"checksum off by one", [](auto& b) { b[20] ^= 1; }},
      {"bounding box changed after the checksum", [](auto& b) { b[10] ^= 0x10; }},
      {"wrong key", [](auto& b) { b[0] = 0xD6; }},
      {"no units per inch",
       [](auto& b) {
         b[14] = b[15] = 0;
         std::uint16_t sum = 0;
         for (int i = 0; i < 20; i += 2) sum ^= std::uint16_t(b[i] | b[i + 1] << 8);
         b[20] = std::uint8_t(sum), b[21] = std::uint8_t(sum >> 8);
       }},
      {"metafile header type 7", [](auto& b) { b[22] = 7; }},
      {"cut inside the metafile header", [](auto& b) { b.resize(30); }},
      {"empty", [](auto& b) { b.clear(); }},
  };
  for (const Case& c : cases) {
    std::vector<std::uint8_t> bytes = good;
    c.change(bytes);
    TBitmap image;
    const Status status = DecodeMetafile(bytes, image, kMaxPixels);
    EXPECT_FALSE(status.ok()) << c.what;
    EXPECT_FALSE(status.message().empty()) << c.what;
    EXPECT_TRUE(image.Empty()) << c.what;
  }
}

TEST(WmfSize, BoundingBoxAtNinetySixDpi) {
  struct Case {
    std::int16_t right, bottom;
    std::uint16_t inch;
    int width, height;
  } cases[] = {
      {1999, 1249, 1200, 160, 100},  // 159.92 x 99.92
      {1369, 1369, 1200, 110, 110},  // 109.52
      {96, 48, 96, 96, 48},         {1440, 720, 1440, 96, 48},
      {5, 5, 10, 48, 48},  // a coarse unit scales up
  };
  for (const Case& c : cases) {
    const TBitmap image = Play(WmfBuilder(c.right, c.bottom, c.inch).Build());
    EXPECT_EQ(image.Width(), c.width) << c.right << " at " << c.inch;
    EXPECT_EQ(image.Height(), c.height) << c.bottom << " at " << c.inch;
  }
}

struct Probe {
  int x, y;
  TColor colour;
};

struct DrawCase {
  const char* name;
  std::function<void(WmfBuilder&)> records;
  std::vector<Probe> probes;
};

RecordBytes Box(int l, int t, int r, int b) {  // stored bottom, right, top, left
  return RecordBytes().I16s({std::int16_t(b), std::int16_t(r), std::int16_t(t), std::int16_t(l)});
}

auto quad_dib = Dib24(2, 2, [](int x, int y) {
  return y == 0 ? (x == 0 ? kRed : kGreen) : (x == 0 ? kBlue : kBlack);
});

RecordBytes Packed(const std::pair<std::vector<std::uint8_t>, std::vector<std::uint8_t>>& dib) {
  return RecordBytes().Append(dib.first).Append(dib.second);
}

const std::vector<DrawCase> kDrawCases = {
    {"rectangle",
     [](WmfBuilder& w) { w.Record(0x041B, Box(10, 10, 30, 30)); },
     {{20, 20, kRed}, {5, 5, kWhite}}},
    {"ellipse",
     [](WmfBuilder& w) { w.Record(0x0418, Box(0, 0, 40, 40)); },
     {{20, 20, kRed}, {2, 2, kWhite}}},
    {"polygon",
     [](WmfBuilder& w) {
       w.Record(0x0324, RecordBytes().I16(3).I16s({0, 0, 39, 0, 0, 39}));
     },
     {{5, 5, kRed}, {35, 35, kWhite}}},
    {"poly-polygon with a hole",
     [](WmfBuilder& w) {
       w.Record(0x0538, RecordBytes().U16(2).U16(4).U16(4).I16s(
                            {0, 0, 40, 0, 40, 40, 0, 40, 10, 10, 30, 10, 30, 30, 10, 30}));
     },
     {{5, 5, kRed}, {20, 20, kWhite}}},
    {"pen line",
     [](WmfBuilder& w) {
       w.Record(0x02FA, RecordBytes().U16(0).I16(3).I16(0).U32(kBlue));
       w.Record(0x012D, RecordBytes().U16(2));
       w.Record(0x0214, RecordBytes().I16s({5, 0})).Record(0x0213, RecordBytes().I16s({5, 39}));
     },
     {{20, 5, kBlue}, {20, 15, kWhite}}},
    {"window origin and extent map onto the box",
     [](WmfBuilder& w) {
       w.Record(0x020B, RecordBytes().I16s({-100, -100}));  // y, x
       w.Record(0x020C, RecordBytes().I16s({400, 400}));
       w.Record(0x041B, Box(-100, -100, 100, 100));
     },
     {{10, 10, kRed}, {30, 30, kWhite}}},
    {"mapping mode records do not move the frame",
     [](WmfBuilder& w) {
       w.Record(0x0103, RecordBytes().U16(1)).Record(0x020E, RecordBytes().I16s({5, 5}));
       w.Record(0x041B, Box(0, 0, 20, 20));
     },
     {{10, 10, kRed}, {30, 30, kWhite}}},
    {"objects take the lowest free slot",
     [](WmfBuilder& w) {
       w.Record(0x01F0, RecordBytes().U16(0));  // frees slot 0
       w.Record(0x02FC, RecordBytes().U16(0).U32(kGreen).U16(0));
       w.Record(0x012D, RecordBytes().U16(0)).Record(0x041B, Box(0, 0, 40, 40));
     },
     {{20, 20, kGreen}}},
    {"save and restore",
     [](WmfBuilder& w) {
       w.Record(0x001E).Record(0x0416, Box(0, 0, 10, 10)).Record(0x0127, RecordBytes().I16(-1));
       w.Record(0x041B, Box(0, 0, 40, 40));
     },
     {{30, 30, kRed}}},
    {"intersect clip",
     [](WmfBuilder& w) { w.Record(0x0416, Box(0, 0, 20, 40)).Record(0x041B, Box(0, 0, 40, 40)); },
     {{10, 10, kRed}, {30, 10, kWhite}}},
    {"pie",
     [](WmfBuilder& w) {
       w.Record(0x081A, RecordBytes().I16s({0, 20, 20, 40}).Append(Box(0, 0, 40, 40).bytes));
     },
     {{28, 12, kRed}, {12, 28, kWhite}}},
    {"stretched bitmap",
     [](WmfBuilder& w) {
       RecordBytes r;
       r.U32(0x00CC0020).U16(0).I16s({2, 2, 0, 0, 40, 40, 0, 0}).Append(Packed(quad_dib).bytes);
       w.Record(0x0F43, r);
     },
     {{10, 10, kRed}, {30, 10, kGreen}, {10, 30, kBlue}, {30, 30, kBlack}}},
    {"dib stretch blit",
     [](WmfBuilder& w) {
       RecordBytes r;
       r.U32(0x00CC0020).I16s({2, 2, 0, 0, 20, 20, 0, 0}).Append(Packed(quad_dib).bytes);
       w.Record(0x0B41, r);
     },
     {{5, 5, kRed}, {15, 15, kBlack}, {30, 30, kWhite}}},
    {"pattern blit inverts",
     [](WmfBuilder& w) {
       w.Record(0x061D, RecordBytes().U32(0x00550009).I16s({40, 20, 0, 0}));
     },
     {{10, 10, kBlack}, {30, 10, kWhite}}},
};

class WmfDrawing : public ::testing::TestWithParam<DrawCase> {};

TEST_P(WmfDrawing, PaintsTheExpectedPixels) {
  WmfBuilder w = RedFill();
  GetParam().records(w);
  const TBitmap image = Play(w.Build());
  ASSERT_EQ(image.Width(), 40);
  for (const Probe& p : GetParam().probes) {
    EXPECT_EQ(Hex(image.Pixels(p.x, p.y)), Hex(p.colour)) << "at " << p.x << "," << p.y;
  }
}

INSTANTIATE_TEST_SUITE_P(Records, WmfDrawing, ::testing::ValuesIn(kDrawCases),
                         [](const auto& info) {
                           std::string name = info.param.name;
                           for (char& c : name) {
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           }
                           return name;
                         });

TEST(WmfText, TextOutDrawsInTheTextColour) {
  WmfBuilder w(200, 60, 96);
  RecordBytes font;
  font.I16s({-30, 0, 0, 0, 400}).U32(0).U32(0);
  for (char c : std::string("DejaVu Sans")) font.U8(std::uint8_t(c));
  font.U8(0);
  w.Record(0x02FB, font).Record(0x012D, RecordBytes().U16(0));
  w.Record(0x0209, RecordBytes().U32(kBlue)).Record(0x0102, RecordBytes().U16(1));
  w.Record(0x0521, RecordBytes().I16(2).U8('H').U8('H').I16s({10, 100}));
  const TBitmap image = Play(w.Build());
  int blue_left = 0, blue_right = 0;
  for (int y = 0; y < 60; ++y) {
    for (int x = 0; x < 200; ++x) (x < 100 ? blue_left : blue_right) += image.Pixels(x, y) == kBlue;
  }
  EXPECT_EQ(blue_left, 0);
  EXPECT_GT(blue_right, 50);
}

TEST(WmfHostile, DataThatEndsBeforeTheEndOfFileRecordFails) {
  auto with = [](const RecordBytes& raw) {
    WmfBuilder w = RedFill();
    w.Record(0x041B, Box(0, 0, 10, 10)).Raw(raw).Record(0x041B, Box(0, 0, 40, 40));
    return w.Build();
  };
  WmfBuilder drawn = RedFill();
  drawn.Record(0x041B, Box(0, 0, 10, 10));
  const std::vector<std::uint8_t> whole = drawn.Build();
  struct Case {
    const char* what;
    std::vector<std::uint8_t> bytes;
    const char* says;
  } cases[] = {
      {"record of zero words", with(RecordBytes().U32(0).U16(0x041B)), "less than its own head"},
      {"record of two words", with(RecordBytes().U32(2).U16(0x041B)), "less than its own head"},
      {"record longer than the file", with(RecordBytes().U32(0x7FFFFFFF).U16(0x041B)),
       "past the end of the data"},
      {"no end-of-file record", {whole.begin(), whole.end() - 6}, "before the end-of-file record"},
      {"cut inside the end-of-file record",
       {whole.begin(), whole.end() - 2},
       "before the end-of-file record"},
      {"cut inside a drawing record",
       {whole.begin(), whole.end() - 10},
       "past the end of the data"},
      // Zero bytes read as a record of function 0 (the end) but of no size.
      {"zeros where records should be",
       [&] {
         std::vector<std::uint8_t> b(whole.begin(), whole.end() - 6);
         b.resize(b.size() + 64, 0);
         return b;
       }(),
       "less than its own head"},
  };
  for (const Case& c : cases) {
    TBitmap image;
    const Status status = DecodeMetafile(c.bytes, image, kMaxPixels);
    EXPECT_FALSE(status.ok()) << c.what;
    EXPECT_EQ(status.message().rfind("WMF: ", 0), 0u) << c.what << ": " << status.message();
    EXPECT_NE(status.message().find(c.says), std::string::npos)
        << c.what << ": " << status.message();
    EXPECT_TRUE(image.Empty()) << c.what;
  }
  // Bytes after the end-of-file record are not read.
  std::vector<std::uint8_t> trailing = whole;
  trailing.insert(trailing.end(), {0x07, 0x00, 0x00, 0x00, 0x1B, 0x04, 40, 0, 40, 0, 0, 0, 0, 0});
  const TBitmap image = Play(trailing);
  EXPECT_EQ(Hex(image.Pixels(5, 5)), Hex(kRed));
  EXPECT_EQ(Hex(image.Pixels(20, 20)), Hex(kWhite));
}

// The work budget of the EMF tests holds for WMF playback too.
TEST(WmfHostile, PlaybackStopsWhenItsWorkBudgetIsSpent) {
  for (const int fills : {10, 1000}) {
    WmfBuilder w(1024, 1024, 96);
    w.Record(0x02FA, RecordBytes().U16(5).I16(0).I16(0).U32(0))
        .Record(0x012D, RecordBytes().U16(0));
    w.Record(0x02FC, RecordBytes().U16(0).U32(kBlue).U16(0)).Record(0x012D, RecordBytes().U16(1));
    w.Record(0x041B, Box(0, 0, 100, 100));
    w.Record(0x02FC, RecordBytes().U16(0).U32(kRed).U16(0)).Record(0x012D, RecordBytes().U16(2));
    for (int i = 0; i < fills; ++i) w.Record(0x041B, Box(0, 200, 1024, 1024));
    w.Record(0x02FC, RecordBytes().U16(0).U32(kGreen).U16(0)).Record(0x012D, RecordBytes().U16(3));
    w.Record(0x041B, Box(0, 0, 100, 100));
    const TBitmap image = Play(w.Build());
    ASSERT_EQ(image.Width(), 1024);
    EXPECT_EQ(Hex(image.Pixels(50, 50)), Hex(fills == 10 ? kGreen : kBlue)) << fills;
    EXPECT_EQ(Hex(image.Pixels(500, 500)), Hex(kRed)) << fills;
  }
}

TEST(WmfHostile, LyingCountsAreSkipped) {
  WmfBuilder w = RedFill();
  w.Record(0x0324, RecordBytes().I16(30000).I16s({0, 0, 9, 9}));
  w.Record(0x0538, RecordBytes().U16(60000).U16(4));
  w.Record(0x0538, RecordBytes().U16(2).U16(65535).U16(65535).I16s({0, 0}));
  w.Record(0x0521, RecordBytes().I16(32000).U8('A').U8(0));
  w.Record(0x0A32, RecordBytes().I16s({0, 0, 30000, 0}));
  w.Record(0x0F43, RecordBytes()
                       .U32(0x00CC0020)
                       .U16(0)
                       .I16s({2, 2, 0, 0, 40, 40, 0, 0})
                       .U32(40)
                       .I32(30000)
                       .I32(30000)
                       .U16(1)
                       .U16(24));
  w.Record(0x012D, RecordBytes().U16(65535)).Record(0x01F0, RecordBytes().U16(65535));
  w.Record(0x041B, Box(0, 30, 40, 40));
  const TBitmap image = Play(w.Build());
  EXPECT_EQ(Hex(image.Pixels(20, 35)), Hex(kRed));
  EXPECT_EQ(Hex(image.Pixels(20, 20)), Hex(kWhite));
}

}  // namespace
}  // namespace tolvane
