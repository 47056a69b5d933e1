#include <gtest/gtest.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "codec_test_support.h"
#include "formats/tiff/TIFFBMP.h"
#include "formats/tiff/tiff.h"
#include "temp_dir.h"
#include "tiff_test_support.h"

namespace tolvane {
namespace {

std::uint32_t U16(const std::vector<std::uint8_t>& f, std::size_t at) {
  return f.at(at) | (std::uint32_t{f.at(at + 1)} << 8);
}
std::uint32_t U32(const std::vector<std::uint8_t>& f, std::size_t at) {
  return U16(f, at) | (U16(f, at + 2) << 16);
}

struct Entry {
  std::uint32_t tag, type, count, value;
  friend bool operator==(const Entry&, const Entry&) = default;
};

std::vector<Entry> EntriesOf(const std::vector<std::uint8_t>& f) {
  std::vector<Entry> entries;
  for (std::size_t i = 0; i < U16(f, 8); ++i) {
    const std::size_t at = 10 + 12 * i;
    entries.push_back({U16(f, at), U16(f, at + 2), U32(f, at + 4), U32(f, at + 8)});
  }
  return entries;
}

// The writer's 14 entries for a file with the given geometry.
std::vector<Entry> ExpectedEntries(std::uint32_t w, std::uint32_t h, std::uint32_t rows,
                                   std::uint32_t strips, std::uint32_t counts_value) {
  return {{254, 4, 1, 0}, {256, 3, 1, w}, {257, 3, 1, h},    {258, 3, 1, 8},
          {259, 3, 1, 1}, {262, 3, 1, 2}, {266, 3, 1, 1},    {273, 4, strips, 182},
          {274, 3, 1, 1}, {277, 3, 1, 3}, {278, 3, 1, rows}, {279, 4, strips, counts_value},
          {284, 3, 1, 1}, {317, 3, 1, 1}};
}

TBitmap Gradient(int w, int h) {
  return testing::MakeImage24(w, h, [](int x, int y) { return RGBColor(x * 7, y * 3, x ^ y); });
}

void ExpectHeader(const std::vector<std::uint8_t>& f) {
  EXPECT_EQ(f[0], 'I');
  EXPECT_EQ(f[1], 'I');
  EXPECT_EQ(U16(f, 2), 42u);
  EXPECT_EQ(U32(f, 4), 8u);
  EXPECT_EQ(U16(f, 8), 14u);
  EXPECT_EQ(U32(f, 178), 0u) << "no next directory";
}

TEST(TiffWrite, SingleStripLayout) {
  // 100 x 50: 300-byte rows, the 32 KB strip is cut to the 15000-byte image.
  const std::vector<std::uint8_t> f = EncodeTiff(Gradient(100, 50));
  ExpectHeader(f);
  EXPECT_EQ(EntriesOf(f), ExpectedEntries(100, 50, 50, 1, 15000));
  EXPECT_EQ(f.size(), 182u + 15000u);
}

TEST(TiffWrite, MultiStripLayout) {
  // 1000 x 100: ten strips of ten 3000-byte rows; arrays at 182 and 222, data at 262.
  const std::vector<std::uint8_t> f = EncodeTiff(Gradient(1000, 100));
  ExpectHeader(f);
  EXPECT_EQ(EntriesOf(f), ExpectedEntries(1000, 100, 10, 10, 222));
  for (std::uint32_t i = 0; i < 10; ++i) {
    EXPECT_EQ(U32(f, 182 + 4 * i), 262 + 30000 * i) << "offset of strip " << i;
    EXPECT_EQ(U32(f, 222 + 4 * i), 30000u) << "byte count of strip " << i;
  }
  EXPECT_EQ(f.size(), 262u + 300000u);
}

TEST(TiffWrite, RowLongerThanAStripMakesOneRowStrips) {
  // 11000 x 3: a 33000-byte row exceeds 32 KB, so every strip holds one row.
  const std::vector<std::uint8_t> f = EncodeTiff(Gradient(11000, 3));
  EXPECT_EQ(EntriesOf(f), ExpectedEntries(11000, 3, 1, 3, 182 + 12));
  EXPECT_EQ(U32(f, 182), 206u);
  EXPECT_EQ(U32(f, 190), 206u + 66000u);
  EXPECT_EQ(U32(f, 202), 33000u);
  EXPECT_EQ(f.size(), 206u + 99000u);
}

TEST(TiffWrite, LastStripHoldsTheRemainingRows) {
  // 100 x 250: 109 rows per strip, so 109 + 109 + 32.
  const std::vector<std::uint8_t> f = EncodeTiff(Gradient(100, 250));
  EXPECT_EQ(EntriesOf(f), ExpectedEntries(100, 250, 109, 3, 182 + 12));
  EXPECT_EQ(U32(f, 194 + 8), 32u * 300u);
}

TEST(TiffWrite, PixelsAreRedGreenBlueTopRowFirstWithoutPadding) {
  const TBitmap image = testing::MakeImage24(
      2, 2, [](int x, int y) { return RGBColor(std::uint8_t(1 + x + 2 * y), 100, 200); });
  const std::vector<std::uint8_t> f = EncodeTiff(image);
  const std::vector<std::uint8_t> pixels(f.begin() + 182, f.end());
  EXPECT_EQ(pixels,
            (std::vector<std::uint8_t>{1, 100, 200, 2, 100, 200, 3, 100, 200, 4, 100, 200}));
}

TEST(TiffWrite, TransparentColourIsWrittenWhiteAndPaletteImagesAsTheirColours) {
  TBitmap keyed = Gradient(3, 2);
  keyed.SetTransparent(true, RGBColor(7, 0, 1));  // pixel (1, 0)
  TBitmap pal =
      testing::MakeIndexed(3, 1, 8, {{9, 8, 7}, {1, 2, 3}}, [](int x, int) { return x % 2; });
  TTIFFBitMap back;
  ASSERT_TRUE(back.LoadFromTiffBytes(EncodeTiff(keyed)));
  EXPECT_EQ(back.Pixels(1, 0), kWhite);
  EXPECT_EQ(back.Pixels(2, 1), keyed.Pixels(2, 1));
  ASSERT_TRUE(back.LoadFromTiffBytes(EncodeTiff(pal)));
  EXPECT_EQ(back.Pixels(1, 0), RGBColor(1, 2, 3));
  EXPECT_EQ(back.Pixels(2, 0), RGBColor(9, 8, 7));
}

TEST(TiffWrite, ReadsBackToTheSamePixels) {
  for (const auto& [w, h] : {std::pair{1, 1}, {5, 3}, {1000, 100}, {11000, 2}}) {
    const TBitmap image = Gradient(w, h);
    testing::TempDir dir;
    TTIFFBitMap tiff;
    tiff.Create(w, h, 24);
    tiff.Draw(0, 0, image);
    tiff.SaveToTiffFile(dir / "out.tif", 0);
    TBitmap back;
    ASSERT_TRUE(DecodeTiffFile(dir / "out.tif", back)) << w << " x " << h;
    EXPECT_EQ(testing::PictureOf(back).pixels, testing::PictureOf(image).pixels) << w << " x " << h;
#ifdef TOLVANE_HAVE_LIBTIFF
    const auto reference = testing::ReadWithLibtiff(dir / "out.tif");
    ASSERT_TRUE(reference) << "libtiff opens " << w << " x " << h;
    EXPECT_EQ(reference->pixels, testing::PictureOf(image).pixels)
        << "libtiff, " << w << " x " << h;
#endif
  }
}

TEST(TiffWrite, ImagesTheLayoutCannotHoldThrow) {
  EXPECT_THROW(EncodeTiff(TBitmap()), std::runtime_error);
  EXPECT_THROW(EncodeTiff(Gradient(70000, 1)), std::runtime_error);
  EXPECT_THROW(TTIFFBitMap().SaveToTiffBytes(0), std::runtime_error);
}

TEST(TiffWrite, FileThatCannotBeWrittenThrows) {
  TTIFFBitMap tiff;
  tiff.Create(2, 2, 24);
  try {
    tiff.SaveToTiffFile("/nonexistent/folder/out.tif", 0);
    FAIL() << "no exception";
  } catch (const std::runtime_error& e) {
    EXPECT_EQ(std::string(e.what()).rfind("Picture Write Failed", 0), 0u) << e.what();
  }
}

}  // namespace
}  // namespace tolvane
