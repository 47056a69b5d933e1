#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "codec_test_support.h"
#include "formats/tiff/TIFFBMP.h"
#include "formats/tiff/tiff.h"
#include "temp_dir.h"
#include "tiff_test_support.h"

namespace tolvane {
namespace {

using testing::DataPath;
using testing::RecordingSink;

void ExpectReadFailedMessage(const RecordingSink& sink, const std::string& context) {
  ASSERT_EQ(sink.messages.size(), 1u) << context;
  EXPECT_EQ(sink.messages[0].first, "Picture reading failed!") << context;
  EXPECT_EQ(sink.messages[0].second, "Error") << context;
  EXPECT_EQ(sink.beeps, 0) << context;
}

// --- Files made by libtiff, ImageMagick, Netpbm: compared with libtiff's own reading ---

struct FileCase {
  const char* file;
  int depth;  // of the TTIFFBitMap after loading
};

const FileCase kReadableFiles[] = {
    {"bilevel_miniswhite_small.tif", 1},
    {"bilevel_minisblack_small.tif", 1},
    {"gray4_small.tif", 4},
    {"gray8_lzw_inline_counts.tif", 8},
    {"pal8_lzw_small.tif", 24},
    {"rgb8_none_small.tif", 24},
    {"rgb8_mm_short_counts.tif", 24},
    {"rgb8_lzw_pred2_small.tif", 24},
    {"rgb8_lzw_pred2.tif", 24},
    {"rgba8_lzw_pred2_small.tif", 24},
};

TEST(TiffRead, FilesOfEveryLayoutMatchLibtiff) {
  for (const FileCase& c : kReadableFiles) {
    const std::string path = DataPath(std::string("tiff/") + c.file);
    RecordingSink sink;
    TTIFFBitMap tiff;
    ASSERT_TRUE(tiff.LoadFromTiffFile(path)) << c.file;
    EXPECT_EQ(tiff.BitsPerPixel(), c.depth) << c.file;
    TBitmap image;
    ASSERT_TRUE(DecodeTiffFile(path, image)) << c.file;
    EXPECT_TRUE(sink.messages.empty() && sink.beeps == 0) << c.file;
    EXPECT_EQ(image.BitsPerPixel(), 24) << c.file;
#ifdef TOLVANE_HAVE_LIBTIFF
    const auto reference = testing::ReadWithLibtiff(path);
    ASSERT_TRUE(reference) << c.file;
    const testing::RgbPicture ours = testing::PictureOf(image);
    ASSERT_EQ(ours.width, reference->width) << c.file;
    ASSERT_EQ(ours.height, reference->height) << c.file;
    EXPECT_EQ(ours.pixels, reference->pixels) << c.file;
#endif
  }
}

TEST(TiffRead, UnsupportedLayoutsFailWithTheMessage) {
  for (const char* file : {"rgb8_jpeg.tif", "rgb8_packbits_small.tif", "rgb8_tiled_small.tif"}) {
    RecordingSink sink;
    TBitmap image = testing::MakeImage24(2, 2, [](int, int) { return kBlack; });
    EXPECT_FALSE(DecodeTiffFile(DataPath(std::string("tiff/") + file), image)) << file;
    ExpectReadFailedMessage(sink, file);
    EXPECT_EQ(image.Width(), 2) << file << ": a failed decode leaves the image as it was";
  }
}

TEST(TiffRead, UnreadableFileBeepsWithoutMessage) {
  RecordingSink sink;
  TTIFFBitMap tiff;
  EXPECT_FALSE(tiff.LoadFromTiffFile("/nonexistent/folder/picture.tif"));
  EXPECT_EQ(sink.beeps, 1);
  EXPECT_TRUE(sink.messages.empty());
  EXPECT_EQ(tiff.Width(), 1);
  EXPECT_EQ(tiff.Height(), 1);
}

// --- Damaged files, made from a small file of our own writer whose layout is fixed ---

// Bytes of a 4 x 3 RGB file: directory entries at 10 + 12 i, pixels at 182.
std::vector<std::uint8_t> SmallFile() {
  return EncodeTiff(testing::MakeImage24(4, 3, [](int x, int y) { return RGBColor(x, y, 9); }));
}

void Put16(std::vector<std::uint8_t>& f, std::size_t at, std::uint16_t v) {
  f[at] = std::uint8_t(v);
  f[at + 1] = std::uint8_t(v >> 8);
}
void Put32(std::vector<std::uint8_t>& f, std::size_t at, std::uint32_t v) {
  Put16(f, at, std::uint16_t(v));
  Put16(f, at + 2, std::uint16_t(v >> 16));
}
// Rewrites entry i (0..13) of the small file.
void SetEntry(std::vector<std::uint8_t>& f, int i, std::uint16_t tag, std::uint16_t type,
              std::uint32_t count, std::uint32_t value) {
  const std::size_t at = 10 + 12 * std::size_t(i);
  Put16(f, at, tag);
  Put16(f, at + 2, type);
  Put32(f, at + 4, count);
  Put32(f, at + 8, value);
}
// Entry positions of the writer's order.
constexpr int kWidthEntry = 1, kHeightEntry = 2, kCompressionEntry = 4, kPhotometricEntry = 5,
              kOffsetsEntry = 7, kSamplesEntry = 9, kRowsEntry = 10, kCountsEntry = 11;

struct DamageCase {
  const char* name;
  void (*damage)(std::vector<std::uint8_t>&);
};

const DamageCase kDamagedFiles[] = {
    {"empty file", [](auto& f) { f.clear(); }},
    {"byte-order mark neither II nor MM", [](auto& f) { f[0] = f[1] = 'X'; }},
    {"version 43 (BigTIFF)", [](auto& f) { Put16(f, 2, 43); }},
    {"directory beyond the file", [](auto& f) { Put32(f, 4, 0xFFFFFFF0u); }},
    {"more entries than the file holds", [](auto& f) { Put16(f, 8, 2000); }},
    {"strip offset beyond the file",
     [](auto& f) { SetEntry(f, kOffsetsEntry, 273, 4, 1, 1u << 31); }},
    {"strip runs past the end of the file", [](auto& f) { f.resize(f.size() - 1); }},
    {"RowsPerStrip 0", [](auto& f) { SetEntry(f, kRowsEntry, 278, 3, 1, 0); }},
    {"RowsPerStrip missing", [](auto& f) { SetEntry(f, kRowsEntry, 999, 3, 1, 0); }},
    {"no StripOffsets", [](auto& f) { SetEntry(f, kOffsetsEntry, 999, 4, 1, 182); }},
    {"width above 16 bits", [](auto& f) { SetEntry(f, kWidthEntry, 256, 4, 1, 70000); }},
    {"huge size from a tiny file",
     [](auto& f) {
       SetEntry(f, kWidthEntry, 256, 3, 1, 16000);
       SetEntry(f, kHeightEntry, 257, 3, 1, 16000);
     }},
    {"entry of a type without numbers", [](auto& f) { SetEntry(f, kWidthEntry, 256, 5, 1, 4); }},
    {"16-bit samples", [](auto& f) { SetEntry(f, 3, 258, 3, 1, 16); }},
    {"planar RGB", [](auto& f) { SetEntry(f, 12, 284, 3, 1, 2); }},
    {"CMYK", [](auto& f) { SetEntry(f, kPhotometricEntry, 262, 3, 1, 5); }},
    {"PackBits", [](auto& f) { SetEntry(f, kCompressionEntry, 259, 3, 1, 32773); }},
    {"LZW strip of garbage", [](auto& f) { SetEntry(f, kCompressionEntry, 259, 3, 1, 5); }},
    {"LZW strip counted past the file",
     [](auto& f) {
       SetEntry(f, kCompressionEntry, 259, 3, 1, 5);
       SetEntry(f, kCountsEntry, 279, 4, 1, 1000);
     }},
    {"LZW without byte counts",
     [](auto& f) {
       SetEntry(f, kCompressionEntry, 259, 3, 1, 5);
       SetEntry(f, kCountsEntry, 999, 4, 1, 36);
     }},
    {"strip arrays shorter than the strip count",
     [](auto& f) {
       // Three strips of one row; the byte-count array names only two.
       SetEntry(f, kRowsEntry, 278, 3, 1, 1);
       SetEntry(f, kOffsetsEntry, 273, 3, 3, 0);
       SetEntry(f, kCompressionEntry, 259, 3, 1, 5);
       SetEntry(f, kCountsEntry, 279, 3, 2, 0x00040004);
     }},
    {"strip array beyond the file",
     [](auto& f) {
       SetEntry(f, kRowsEntry, 278, 3, 1, 1);
       SetEntry(f, kOffsetsEntry, 273, 4, 3, std::uint32_t(f.size() - 8));
     }},
    {"palette without colour map",
     [](auto& f) {
       SetEntry(f, kSamplesEntry, 277, 3, 1, 1);
       SetEntry(f, kPhotometricEntry, 262, 3, 1, 3);
     }},
    {"colour map shorter than it claims",
     [](auto& f) {
       SetEntry(f, kSamplesEntry, 277, 3, 1, 1);
       SetEntry(f, kPhotometricEntry, 262, 3, 1, 3);
       SetEntry(f, 0, 320, 3, 768, std::uint32_t(f.size() - 100));
     }},
    {"colour map with too few values for 8 bits",
     [](auto& f) {
       SetEntry(f, kSamplesEntry, 277, 3, 1, 1);
       SetEntry(f, kPhotometricEntry, 262, 3, 1, 3);
       SetEntry(f, 0, 320, 3, 48, 100);
     }},
};

TEST(TiffRead, DamagedFilesFailThroughTheReadFailure) {
  ASSERT_TRUE(TTIFFBitMap().LoadFromTiffBytes(SmallFile())) << "the undamaged file reads";
  for (const DamageCase& c : kDamagedFiles) {
    std::vector<std::uint8_t> file = SmallFile();
    c.damage(file);
    RecordingSink sink;
    TTIFFBitMap tiff;
    const Status status = tiff.LoadFromTiffBytes(file);
    EXPECT_FALSE(status) << c.name;
    EXPECT_EQ(status.message().rfind("TIFF: ", 0), 0u) << c.name << ": " << status.message();
    ExpectReadFailedMessage(sink, c.name);
  }
}

TEST(TiffRead, FailedStripKeepsTheSizeAndTheRowsBefore) {
  // Two strips of two rows each; the second points outside the file.
  std::vector<std::uint8_t> file = EncodeTiff(
      testing::MakeImage24(4, 4, [](int, int y) { return y < 2 ? RGBColor(10, 20, 30) : kBlack; }));
  SetEntry(file, kRowsEntry, 278, 3, 1, 2);
  SetEntry(file, kOffsetsEntry, 273, 3, 2, (0xFFFFu << 16) | 182u);
  RecordingSink sink;
  TTIFFBitMap tiff;
  EXPECT_FALSE(tiff.LoadFromTiffBytes(file));
  ExpectReadFailedMessage(sink, "second strip outside");
  ASSERT_EQ(tiff.Width(), 4);
  ASSERT_EQ(tiff.Height(), 4);
  EXPECT_EQ(tiff.Pixels(3, 1), RGBColor(10, 20, 30));
}

#ifdef TOLVANE_HAVE_LIBTIFF

// --- Colour rules of TIFF 6.0, checked on files that libtiff writes ---

class TiffLibtiffFiles : public ::testing::Test {
 protected:
  // Our reading of a file libtiff made from `images`.
  TBitmap Read(const std::vector<testing::LibtiffImage>& images) {
    const std::string path = dir_ / "made.tif";
    EXPECT_TRUE(testing::WriteWithLibtiff(path, images));
    TBitmap image;
    const Status status = DecodeTiffFile(path, image);
    EXPECT_TRUE(status) << status.message();
    return image;
  }

  testing::TempDir dir_;
  RecordingSink sink_;
};

TEST_F(TiffLibtiffFiles, ColourMapScalesSixteenBitValuesToEight) {
  testing::LibtiffImage pal;
  pal.width = 4, pal.height = 1, pal.photometric = PHOTOMETRIC_PALETTE;
  pal.colour_map.assign(768, 0);
  const std::uint16_t reds[] = {65535, 32896, 32768, 128}, greens[] = {32768, 0, 257, 129};
  for (int i = 0; i < 4; ++i) pal.colour_map[i] = reds[i], pal.colour_map[256 + i] = greens[i];
  pal.rows = {{0, 1, 2, 3}};
  const TBitmap image = Read({pal});
  EXPECT_EQ(image.Pixels(0, 0), RGBColor(255, 128, 0));
  EXPECT_EQ(image.Pixels(1, 0), RGBColor(128, 0, 0));
  EXPECT_EQ(image.Pixels(2, 0), RGBColor(128, 1, 0));
  EXPECT_EQ(image.Pixels(3, 0), RGBColor(0, 1, 0));
}

TEST_F(TiffLibtiffFiles, FourBitPaletteUsesItsSixteenEntryMap) {
  testing::LibtiffImage pal;
  pal.width = 2, pal.height = 1, pal.bits_per_sample = 4, pal.photometric = PHOTOMETRIC_PALETTE;
  pal.colour_map.assign(48, 0);
  pal.colour_map[1] = 65535, pal.colour_map[16 + 15] = 65535, pal.colour_map[32 + 15] = 65535;
  pal.rows = {{0x1F}};
  const TBitmap image = Read({pal});
  EXPECT_EQ(image.Pixels(0, 0), RGBColor(255, 0, 0));
  EXPECT_EQ(image.Pixels(1, 0), RGBColor(0, 255, 255));
}

TEST_F(TiffLibtiffFiles, GreyLevelsFollowThePhotometricSense) {
  struct Case {
    std::uint16_t bits, photometric;
    std::vector<std::uint8_t> row;
    std::vector<std::uint8_t> grey;  // of the pixels in the row
  };
  const Case cases[] = {
      {4, PHOTOMETRIC_MINISBLACK, {0x0F, 0x71}, {0, 255, 119, 17}},
      {4, PHOTOMETRIC_MINISWHITE, {0x0F, 0x71}, {255, 0, 136, 238}},
      {8, PHOTOMETRIC_MINISBLACK, {0, 128, 255}, {0, 128, 255}},
      {8, PHOTOMETRIC_MINISWHITE, {0, 128, 255}, {255, 127, 0}},
      {1, PHOTOMETRIC_MINISBLACK, {0x40}, {0, 255}},
      {1, PHOTOMETRIC_MINISWHITE, {0x40}, {255, 0}},
  };
  for (const Case& c : cases) {
    testing::LibtiffImage grey;
    grey.width = std::uint32_t(c.grey.size()), grey.height = 1;
    grey.bits_per_sample = c.bits, grey.photometric = c.photometric, grey.rows = {c.row};
    const TBitmap image = Read({grey});
    for (int x = 0; x < image.Width(); ++x) {
      const std::uint8_t g = c.grey[x];
      EXPECT_EQ(image.Pixels(x, 0), RGBColor(g, g, g))
          << c.bits << " bits, photometric " << c.photometric << ", pixel " << x;
    }
  }
}

// Small strips make libtiff store the byte counts as SHORT: two fit inside the entry, more
// stand at an offset. Both byte orders, with and without LZW and differencing.
TEST_F(TiffLibtiffFiles, MultiStripFilesInEveryArrayLayoutAndByteOrder) {
  for (const bool big_endian : {false, true}) {
    for (const std::uint32_t height : {2u, 7u}) {
      for (const std::uint16_t compression : {COMPRESSION_NONE, COMPRESSION_LZW}) {
        testing::LibtiffImage rgb;
        rgb.width = 5, rgb.height = height, rgb.samples = 3, rgb.photometric = PHOTOMETRIC_RGB;
        rgb.compression = compression, rgb.big_endian = big_endian;
        rgb.predictor = compression == COMPRESSION_LZW ? 2 : 1;
        for (std::uint32_t y = 0; y < height; ++y) {
          std::vector<std::uint8_t> row;
          for (std::uint8_t x = 0; x < 5; ++x)
            row.insert(row.end(), {x, std::uint8_t(y * 30), 200});
          rgb.rows.push_back(row);
        }
        const TBitmap image = Read({rgb});
        ASSERT_EQ(image.Height(), int(height));
        EXPECT_EQ(image.Pixels(4, int(height) - 1),
                  RGBColor(4, std::uint8_t((height - 1) * 30), 200))
            << "big-endian " << big_endian << ", " << height << " rows, compression "
            << compression;
      }
    }
  }
}

TEST_F(TiffLibtiffFiles, OnlyTheFirstImageIsRead) {
  testing::LibtiffImage first, second;
  first.width = 3, first.height = 2, first.rows = {{10, 20, 30}, {40, 50, 60}};
  second.width = 9, second.height = 9, second.rows.assign(9, std::vector<std::uint8_t>(9, 0));
  const TBitmap image = Read({first, second});
  EXPECT_EQ(image.Width(), 3);
  EXPECT_EQ(image.Pixels(2, 1), RGBColor(60, 60, 60));
}

TEST_F(TiffLibtiffFiles, GreyDifferencingSumsSingleBytes) {
  testing::LibtiffImage grey;
  grey.width = 6, grey.height = 3, grey.compression = COMPRESSION_LZW, grey.predictor = 2;
  grey.rows_per_strip = 3;
  for (std::uint8_t y = 0; y < 3; ++y)
    grey.rows.push_back({y, 250, 3, 99, 100, std::uint8_t(y * 7)});
  const TBitmap image = Read({grey});
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 6; ++x) {
      const std::uint8_t g = grey.rows[y][x];
      EXPECT_EQ(image.Pixels(x, y), RGBColor(g, g, g)) << x << "," << y;
    }
  }
}

#endif  // TOLVANE_HAVE_LIBTIFF

}  // namespace
}  // namespace tolvane
