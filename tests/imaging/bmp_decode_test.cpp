// BMP decoding of small files built byte by byte here: exact pixels of run-length and two-bit
// data, and clean refusal of corrupt headers and codes.
#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "imaging/tbitmap.h"

namespace tolvane {
namespace {

using Bytes = std::vector<std::uint8_t>;

void Put16(Bytes& b, std::size_t at, std::uint32_t v) {
  b[at] = std::uint8_t(v);
  b[at + 1] = std::uint8_t(v >> 8);
}
void Put32(Bytes& b, std::size_t at, std::uint32_t v) {
  Put16(b, at, v & 0xFFFF);
  Put16(b, at + 2, v >> 16);
}
void Append32(Bytes& b, std::uint32_t v) {
  b.resize(b.size() + 4);
  Put32(b, b.size() - 4, v);
}

// Field offsets in a file with a 40-byte info header.
constexpr std::size_t kPixelOffset = 10, kHeaderSize = 14, kWidth = 18, kHeight = 22, kPlanes = 26,
                      kBitCount = 28, kCompression = 30, kColorsUsed = 46;

struct Recipe {
  std::int32_t width = 4;
  std::int32_t height = 2;
  std::uint16_t bits = 8;
  std::uint32_t compression = 0;
  std::uint32_t colours = 4;         // table entries, also stored as colours used
  std::vector<std::uint32_t> masks;  // written after the header
  Bytes pixels;                      // as stored in the file
};

// A file with a 40-byte header; colour i of the table is (10i, 20i, 30i).
Bytes Build(const Recipe& s) {
  Bytes b(54, 0);
  b[0] = 'B';
  b[1] = 'M';
  const std::uint32_t offset = 54 + 4 * std::uint32_t(s.masks.size()) + 4 * s.colours;
  Put32(b, kPixelOffset, offset);
  Put32(b, kHeaderSize, 40);
  Put32(b, kWidth, std::uint32_t(s.width));
  Put32(b, kHeight, std::uint32_t(s.height));
  Put16(b, kPlanes, 1);
  Put16(b, kBitCount, s.bits);
  Put32(b, kCompression, s.compression);
  Put32(b, 34, std::uint32_t(s.pixels.size()));
  Put32(b, kColorsUsed, s.colours);
  for (std::uint32_t m : s.masks) Append32(b, m);
  for (std::uint32_t i = 0; i < s.colours; ++i)
    Append32(b, (30 * i) | (20 * i) << 8 | (10 * i) << 16);
  b.insert(b.end(), s.pixels.begin(), s.pixels.end());
  Put32(b, 2, std::uint32_t(b.size()));
  return b;
}

Recipe Plain8() {
  Recipe s;
  s.pixels = {0, 1, 2, 3, 3, 2, 1, 0};
  return s;
}

Recipe Rle8(Bytes data, std::int32_t height = 3) {
  Recipe s;
  s.height = height;
  s.compression = 1;
  s.pixels = std::move(data);
  return s;
}

Recipe Rle4(Bytes data) {
  Recipe s;
  s.width = 5;
  s.bits = 4;
  s.compression = 2;
  s.pixels = std::move(data);
  return s;
}

// Palette index of pixel (x, y), y counted from the top.
unsigned IndexAt(const TBitmap& image, int x, int y) {
  const std::uint8_t* row = image.ScanLine(y);
  const int bits = image.BitsPerPixel();
  const std::size_t bit = std::size_t(x) * bits;
  return (row[bit / 8] >> (8 - bits - int(bit % 8))) & ((1u << bits) - 1);
}

std::vector<std::vector<unsigned>> Indices(const TBitmap& image) {
  std::vector<std::vector<unsigned>> rows(image.Height());
  for (int y = 0; y < image.Height(); ++y) {
    for (int x = 0; x < image.Width(); ++x) rows[y].push_back(IndexAt(image, x, y));
  }
  return rows;
}

TBitmap MustLoad(const Bytes& bytes) {
  TBitmap image;
  const Status s = image.LoadFromBytes(bytes);
  EXPECT_TRUE(s.ok()) << s.message();
  return image;
}

using Rows = std::vector<std::vector<unsigned>>;

TEST(BmpDecode, Rle8RunsLiteralsEndOfLineAndDelta) {
  // Bottom row: run of three 1s, end of line. Middle row: literal 2 3 1 (padded), delta one
  // row up. Top row: a 2 at column 3. Pixels never reached stay at index 0.
  const Bytes data = {3, 1, 0, 0, 0, 3, 2, 3, 1, 0, 0, 2, 0, 1, 1, 2, 0, 1};
  const TBitmap image = MustLoad(Build(Rle8(data)));
  ASSERT_EQ(image.BitsPerPixel(), 8);
  EXPECT_EQ(Indices(image), (Rows{{0, 0, 0, 2}, {2, 3, 1, 0}, {1, 1, 1, 0}}));
  EXPECT_EQ(image.Pixels(1, 1), RGBColor(30, 60, 90));  // palette entry 3
  // A negative height stores the same codes from the top row down.
  EXPECT_EQ(Indices(MustLoad(Build(Rle8(data, -3)))),
            (Rows{{1, 1, 1, 0}, {2, 3, 1, 0}, {0, 0, 0, 2}}));
}

TEST(BmpDecode, Rle4AlternatesNibblesAndEndsWithoutEndCode) {
  // Bottom: run of five from 0x12. Top: literal 3 4 5, then a run of two 6s; the data simply
  // stops without an end-of-bitmap code.
  const TBitmap image = MustLoad(Build(Rle4({5, 0x12, 0, 0, 0, 3, 0x34, 0x50, 2, 0x66})));
  ASSERT_EQ(image.BitsPerPixel(), 4);
  EXPECT_EQ(Indices(image), (Rows{{3, 4, 5, 6, 6}, {1, 2, 1, 2, 1}}));
}

TEST(BmpDecode, RunsMayFillTheRowPadding) {
  // Three 8-bit pixels pad to four; encoders that code the padded row are accepted.
  Recipe s = Rle8({4, 2, 0, 0, 0, 4, 1, 2, 3, 9, 0, 1}, 2);
  s.width = 3;
  EXPECT_EQ(Indices(MustLoad(Build(s))), (Rows{{1, 2, 3}, {2, 2, 2}}));
}

TEST(BmpDecode, TwoBitFileIsHeldAtFourBits) {
  Recipe s;
  s.width = 5;
  s.height = 1;
  s.bits = 2;
  s.pixels = {0x1B, 0x80, 0, 0};  // 0 1 2 3 2
  TBitmap image = MustLoad(Build(s));
  ASSERT_EQ(image.BitsPerPixel(), 4);
  EXPECT_EQ(Indices(image), (Rows{{0, 1, 2, 3, 2}}));
  EXPECT_EQ(image.Palette().size(), 4u);
  const TBitmap again = MustLoad(image.SaveToBytes());
  EXPECT_EQ(Indices(again), Indices(image));
}

TEST(BmpDecode, BitFieldMasksFollowA40ByteHeaderBeforeTheTable) {
  Recipe s;
  s.width = 2;
  s.height = 1;
  s.bits = 16;
  s.compression = 3;
  s.colours = 2;  // a table on a 16-bit image is kept as its palette
  s.masks = {0xF800, 0x07E0, 0x001F};
  s.pixels = {0x00, 0xF8, 0xE0, 0x07};  // pure red, pure green
  const Bytes file = Build(s);
  const TBitmap image = MustLoad(file);
  EXPECT_EQ(image.Pixels(0, 0), RGBColor(255, 0, 0));
  EXPECT_EQ(image.Pixels(1, 0), RGBColor(0, 255, 0));
  EXPECT_EQ(image.Palette().size(), 2u);
  EXPECT_EQ(image.SaveToBytes(), file);
}

struct BadCase {
  const char* name;
  Bytes bytes;
  const char* message_part;
};

// The plain 8-bit file with some 16- or 32-bit fields replaced.
struct Field {
  std::size_t at;
  int size;
  std::uint32_t value;
};

Bytes Patched(std::initializer_list<Field> fields) {
  Bytes b = Build(Plain8());
  for (const Field& f : fields) f.size == 2 ? Put16(b, f.at, f.value) : Put32(b, f.at, f.value);
  return b;
}

Bytes Cut(Bytes b, std::size_t size) {
  b.resize(size);
  return b;
}

Recipe Bits16(std::vector<std::uint32_t> masks) {
  Recipe s;
  s.width = 2;
  s.height = 1;
  s.bits = 16;
  s.compression = 3;
  s.colours = 0;
  s.masks = std::move(masks);
  s.pixels = {0, 0, 0, 0};
  return s;
}

std::vector<BadCase> BadCases() {
  Bytes ba = Build(Plain8());
  ba[1] = 'A';
  return {
      {"empty file", {}, "too short"},
      {"cut in the file header", Cut(Build(Plain8()), 10), "too short"},
      {"signature BA", ba, "signature"},
      {"planes 2", Patched({{kPlanes, 2, 2}}), "planes 2"},
      {"info header size 8", Patched({{kHeaderSize, 4, 8}}), "info header size"},
      {"info header longer than the file", Patched({{kHeaderSize, 4, 5000}}), "info header size"},
      {"cut in the info header", Cut(Build(Plain8()), 30), "info header size"},
      {"width 0", Patched({{kWidth, 4, 0}}), "width"},
      {"negative width", Patched({{kWidth, 4, 0xFFFFFFFC}}), "width"},
      {"height 0", Patched({{kHeight, 4, 0}}), "height"},
      {"height -2^31", Patched({{kHeight, 4, 0x80000000}}), "size limit"},
      {"100000 x 100000 pixels", Patched({{kWidth, 4, 100000}, {kHeight, 4, 100000}}),
       "size limit"},
      // Within the pixel limit, but the file holds none of those pixels: refused before
      // anything is allocated.
      {"16000 x 16000 pixels in 78 bytes", Patched({{kWidth, 4, 16000}, {kHeight, 4, 16000}}),
       "pixel data"},
      {"bit count 7", Patched({{kBitCount, 2, 7}}), "bit count"},
      {"compression 5", Patched({{kCompression, 4, 5}}), "compression"},
      {"RLE4 at 8 bits", Patched({{kCompression, 4, 2}}), "compression"},
      {"bit fields at 8 bits", Patched({{kCompression, 4, 3}}), "compression"},
      {"colours used 1000 at 8 bits", Patched({{kColorsUsed, 4, 1000}}), "colours used"},
      {"colour table past the file end",
       Patched({{kBitCount, 2, 24}, {kColorsUsed, 4, 0x40000000}, {kPixelOffset, 4, 0xFFFFFFF0}}),
       "colour table"},
      {"pixel offset past the file end", Patched({{kPixelOffset, 4, 1000}}), "pixel offset"},
      {"pixel offset inside the headers", Patched({{kPixelOffset, 4, 20}}), "pixel offset"},
      {"cut in the pixels", Cut(Build(Plain8()), 74), "pixel data"},
      {"masks cut off", Cut(Build(Bits16({0xF800, 0x07E0, 0x001F})), 60), "masks"},
      {"mask with a gap", Build(Bits16({0xF00F, 0x07E0, 0x001F})), "mask"},
      {"mask wider than the pixel", Build(Bits16({0x1F800, 0x07E0, 0x001F})), "mask"},
      {"RLE run past the row end", Build(Rle8({5, 1, 0, 1})), "row end"},
      {"RLE literal past the row end", Build(Rle8({2, 1, 0, 3, 1, 2, 3, 0})), "row end"},
      // Five 4-bit pixels pad to eight; runs may fill the padding but not go beyond it.
      {"RLE4 run past the padded row", Build(Rle4({9, 0x11})), "row end"},
      {"RLE pixels past the last row", Build(Rle8({0, 0, 0, 0, 0, 0, 1, 1})), "last row"},
      {"RLE end of line past the last row", Build(Rle8({0, 0, 0, 0, 0, 0, 0, 0})), "end of line"},
      {"RLE delta past the right edge", Build(Rle8({0, 2, 5, 0})), "delta"},
      {"RLE delta past the last row", Build(Rle8({0, 2, 0, 3})), "delta"},
      {"RLE delta cut", Build(Rle8({0, 2, 1})), "delta"},
      {"RLE literal past the data end", Build(Rle8({0, 4, 1, 2})), "data end"},
      {"RLE code cut in half", Build(Rle8({3})), "inside a code"},
      {"RLE data ends rows early", Build(Rle8({4, 1, 0, 0})), "ends before the image"},
      {"RLE data ends inside the last row", Build(Rle4({5, 0x12, 0, 0, 3, 0x11})),
       "ends before the image"},
  };
}

TEST(BmpDecode, CorruptFilesFailAndLeaveTheImageAsItWas) {
  TBitmap image;
  image.Create(2, 2, 24);
  image.FillRect(RGBColor(200, 10, 10));
  const Bytes before = image.SaveToBytes();
  for (const BadCase& bad : BadCases()) {
    SCOPED_TRACE(bad.name);
    const Status s = image.LoadFromBytes(bad.bytes);
    ASSERT_FALSE(s.ok());
    EXPECT_NE(s.message().find(bad.message_part), std::string::npos) << s.message();
    EXPECT_EQ(image.Width(), 2);
    EXPECT_EQ(image.BitsPerPixel(), 24);
    EXPECT_EQ(image.SaveToBytes(), before);
  }
}

TEST(BmpDecode, MissingFileFails) {
  TBitmap image;
  EXPECT_FALSE(image.LoadFromFile("/nonexistent/folder/none.bmp").ok());
  EXPECT_TRUE(image.Empty());
}

}  // namespace
}  // namespace tolvane
