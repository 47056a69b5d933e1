// The GIF codec: frames and pixels checked against giflib's own whole-file reader, writing
// checked in the header, the colour table, the cube mapping and the transparency extension.
#include <gif_lib.h>
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "codec_test_support.h"
#include "formats/gif/gif_codec.h"

namespace tolvane {
namespace {

using testing::DataBytes;

struct Slurped {
  struct Closer {
    void operator()(GifFileType* g) const {
      int e = 0;
      DGifCloseFile(g, &e);
    }
  };
  std::vector<std::uint8_t> bytes;
  std::size_t pos = 0;
  std::unique_ptr<GifFileType, Closer> gif;
};

// giflib's reading of the whole file, every frame in memory.
std::unique_ptr<Slurped> Slurp(const std::vector<std::uint8_t>& file) {
  auto s = std::make_unique<Slurped>();
  s->bytes = file;
  int error = 0;
  s->gif.reset(DGifOpen(
      s.get(),
      [](GifFileType* g, GifByteType* out, int n) {
        auto* self = static_cast<Slurped*>(g->UserData);
        const int count =
            int(std::min<std::size_t>(std::size_t(n), self->bytes.size() - self->pos));
        std::memcpy(out, self->bytes.data() + self->pos, std::size_t(count));
        self->pos += std::size_t(count);
        return count;
      },
      &error));
  EXPECT_NE(s->gif, nullptr);
  EXPECT_EQ(DGifSlurp(s->gif.get()), GIF_OK);
  return s;
}

struct FrameCase {
  const char* file;
  int frame;  // frames div 3
  int width, height;
  friend void PrintTo(const FrameCase& c, std::ostream* os) { *os << c.file; }
};

class GifDecodeTest : public ::testing::TestWithParam<FrameCase> {};

TEST_P(GifDecodeTest, TakesFrameCountDivThreeAtItsOwnSizeWithItsOwnTable) {
  const FrameCase& c = GetParam();
  const auto file = DataBytes(std::string("gif/") + c.file);
  TBitmap image;
  ASSERT_TRUE(DecodeGif(file, image));
  EXPECT_EQ(image.BitsPerPixel(), 8);
  ASSERT_EQ(image.Width(), c.width);
  ASSERT_EQ(image.Height(), c.height);

  const auto ref = Slurp(file);
  const SavedImage& frame = ref->gif->SavedImages[c.frame];
  const ColorMapObject* map =
      frame.ImageDesc.ColorMap ? frame.ImageDesc.ColorMap : ref->gif->SColorMap;
  ASSERT_EQ(image.Palette().size(), std::size_t(map->ColorCount));
  for (int i = 0; i < map->ColorCount; ++i) {
    EXPECT_EQ(image.Palette()[i],
              (TRgb{map->Colors[i].Red, map->Colors[i].Green, map->Colors[i].Blue}));
  }
  for (int y = 0; y < c.height; ++y) {
    for (int x = 0; x < c.width; ++x) {
      ASSERT_EQ(image.ScanLine(y)[x], frame.RasterBits[y * c.width + x]) << x << "," << y;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Fixtures, GifDecodeTest,
                         ::testing::Values(FrameCase{"anim2.gif", 0, 96, 80},
                                           FrameCase{"anim3.gif", 1, 60, 50},
                                           FrameCase{"anim7.gif", 2, 48, 40},
                                           FrameCase{"transparent.gif", 0, 64, 64}));

TEST(GifDecodeTest, TheTransparentIndexKeepsItsPaletteColour) {
  TBitmap image;
  ASSERT_TRUE(DecodeGif(DataBytes("gif/transparent.gif"), image));
  EXPECT_EQ(image.Pixels(10, 10), RGBColor(255, 0, 255));
  EXPECT_FALSE(image.Transparent());
}

TEST(GifDecodeTest, DamagedFilesFailAndLeaveTheImageAlone) {
  const auto good = DataBytes("gif/anim2.gif");
  const std::vector<std::uint8_t> header_only(good.begin(), good.begin() + 13);
  const std::vector<std::uint8_t> mid_frame(good.begin(), good.begin() + 1000);
  const std::vector<std::vector<std::uint8_t>> cases = {
      {},
      {'G', 'I', 'F', '8', '9', 'a'},
      {'P', 'N', 'G', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
      header_only,
      mid_frame};
  for (const auto& bytes : cases) {
    TBitmap image;
    EXPECT_FALSE(DecodeGif(bytes, image)) << bytes.size();
    EXPECT_TRUE(image.Empty());
  }
}

TEST(GifDecodeTest, ACutLastFrameLeavesTheCompleteOnesToCount) {
  // anim3 without its last frame's data counts two frames, so frame 0 is taken.
  const auto good = DataBytes("gif/anim3.gif");
  const std::vector<std::uint8_t> cut(good.begin(), good.end() - 200);
  TBitmap image;
  ASSERT_TRUE(DecodeGif(cut, image));
  EXPECT_EQ(image.Width(), 96);
}

// --- writing ---------------------------------------------------------------------------------

std::vector<std::uint8_t> Gif(const TBitmap& image) {
  std::vector<std::uint8_t> out;
  EXPECT_TRUE(EncodeGif(image, out));
  return out;
}

std::string Header(const std::vector<std::uint8_t>& file) {
  return {file.begin(), file.begin() + 6};
}

TEST(GifEncodeTest, TruecolourGoesToTheCubeByLevelNotByNearestColour) {
  struct Case {
    TColor in, out;
  };
  const Case cases[] = {
      {RGBColor(255, 128, 47), RGBColor(255, 102, 0)},  // 47 -> 0 although 51 is nearer
      {RGBColor(48, 100, 151), RGBColor(51, 102, 153)},
      {RGBColor(0, 202, 253), RGBColor(0, 204, 255)},
      {RGBColor(22, 23, 48), RGBColor(0, 0, 51)},
  };
  TBitmap image = testing::MakeImage24(4, 1, [&](int x, int) { return cases[x].in; });
  const auto file = Gif(image);
  EXPECT_EQ(Header(file), "GIF87a");
  EXPECT_EQ(file[10] & 0x87, 0x87);  // global table of 2^(7+1) = 256 entries
  TBitmap back;
  ASSERT_TRUE(DecodeGif(file, back));
  ASSERT_EQ(back.Palette().size(), 256u);
  EXPECT_EQ(back.Palette()[215], (TRgb{255, 255, 255}));
  EXPECT_EQ(back.Palette()[216], (TRgb{0, 0, 0}));
  for (int x = 0; x < 4; ++x) EXPECT_EQ(back.Pixels(x, 0), cases[x].out) << x;
  EXPECT_EQ(back.ScanLine(0)[0], 36 * 5 + 6 * 2 + 0);
}

TEST(GifEncodeTest, PaletteImagesKeepPaletteAndIndices) {
  TBitmap source;
  ASSERT_TRUE(DecodeGif(DataBytes("gif/anim3.gif"), source));
  TBitmap back;
  ASSERT_TRUE(DecodeGif(Gif(source), back));
  EXPECT_EQ(back.Palette(), source.Palette());
  ASSERT_EQ(back.Width(), source.Width());
  for (int y = 0; y < back.Height(); ++y) {
    ASSERT_EQ(std::memcmp(back.ScanLine(y), source.ScanLine(y), std::size_t(back.Width())), 0);
  }
  // A 3-colour 4-bit image: the table padded to 4 entries.
  const auto small = Gif(testing::MakeIndexed(5, 3, 4, {{1, 1, 1}, {2, 2, 2}, {3, 3, 3}},
                                              [](int x, int) { return x % 3; }));
  EXPECT_EQ(Header(small), "GIF87a");
  EXPECT_EQ(small[10] & 0x87, 0x81);
}

TEST(GifEncodeTest, TransparentMarkOptimisesTheTableAndAppendsTheClearEntry) {
  // Three colours used: blue on 8 pixels, green on 5, red (the transparent colour) on 3.
  const TBitmap base = testing::MakeImage24(16, 1, [](int x, int) {
    return x < 8 ? RGBColor(0, 0, 255) : x < 13 ? RGBColor(0, 255, 0) : RGBColor(255, 0, 0);
  });
  TBitmap image = base;
  image.SetTransparent(true, RGBColor(255, 0, 0));
  const auto file = Gif(image);
  EXPECT_EQ(Header(file), "GIF89a");
  const auto ref = Slurp(file);
  const ColorMapObject* map = ref->gif->SColorMap;
  ASSERT_EQ(map->ColorCount, 4);  // three used colours and the clear entry
  const GifColorType expected[] = {{0, 0, 255}, {0, 255, 0}, {255, 0, 0}, {0, 0, 0}};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(std::memcmp(&map->Colors[i], &expected[i], 3), 0) << i;
  }
  GraphicsControlBlock gcb{};
  ASSERT_EQ(DGifSavedExtensionToGCB(ref->gif.get(), 0, &gcb), GIF_OK);
  EXPECT_EQ(gcb.TransparentColor, 3);
  const GifByteType* pixels = ref->gif->SavedImages[0].RasterBits;
  EXPECT_EQ(pixels[0], 0);
  EXPECT_EQ(pixels[8], 1);
  EXPECT_EQ(pixels[15], 3);
}

TEST(GifEncodeTest, AFullTableWithAMarkWritesNoTransparency) {
  std::vector<TRgb> palette;
  for (int i = 0; i < 256; ++i) palette.push_back({std::uint8_t(i), 0, 0});
  TBitmap image = testing::MakeIndexed(256, 1, 8, palette, [](int x, int) { return x; });
  image.SetTransparent(true, RGBColor(5, 0, 0));
  const auto file = Gif(image);
  EXPECT_EQ(Header(file), "GIF89a");
  const auto ref = Slurp(file);
  GraphicsControlBlock gcb{};
  EXPECT_EQ(DGifSavedExtensionToGCB(ref->gif.get(), 0, &gcb), GIF_ERROR);  // no extension
  EXPECT_EQ(ref->gif->SColorMap->ColorCount, 256);
}

TEST(GifEncodeTest, EmptyAndOverlongImagesFail) {
  std::vector<std::uint8_t> out;
  EXPECT_EQ(EncodeGif(TBitmap(), out).message(), "the image is empty");
  TBitmap wide;
  wide.Create(65536, 1, 8);
  EXPECT_FALSE(EncodeGif(wide, out));
  EXPECT_TRUE(out.empty());
}

}  // namespace
}  // namespace tolvane
