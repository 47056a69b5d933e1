// The JPEG codec against libjpeg-turbo driven directly, and the frame every JPEG output gets.
#include <gtest/gtest.h>

#include <csetjmp>
#include <cstdlib>
#include <vector>

// jpeglib.h uses FILE and size_t without including their headers.
// clang-format off
#include <cstdio>
#include <jpeglib.h>
// clang-format on

#include "codec_test_support.h"
#include "formats/jpeg/jpeg_codec.h"
#include "formats/jpeg/jpeg_frame.h"

namespace tolvane {
namespace {

using testing::DataBytes;

// What libjpeg itself delivers for a file with our settings: interleaved samples (RGB, or
// quantised grey indices) and, for greyscale files, the quantiser's palette.
struct Reference {
  int width = 0, height = 0, components = 0;
  std::vector<std::uint8_t> samples;
  std::vector<std::uint8_t> grey_levels;
  int quant_table[DCTSIZE2] = {};
  int h_samp = 0, v_samp = 0;
  bool progressive = false;
};

struct ThrowingError {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
};

void ExitToTest(j_common_ptr cinfo) {
  std::longjmp(reinterpret_cast<ThrowingError*>(cinfo->err)->jump, 1);
}

bool DecodeWithLibjpeg(const std::vector<std::uint8_t>& file, Reference& ref) {
  jpeg_decompress_struct cinfo{};
  ThrowingError err{};
  cinfo.err = jpeg_std_error(&err.pub);
  err.pub.error_exit = ExitToTest;
  if (setjmp(err.jump)) {
    jpeg_destroy_decompress(&cinfo);
    return false;
  }
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, file.data(), file.size());
  jpeg_read_header(&cinfo, TRUE);
  ref.progressive = cinfo.progressive_mode;
  ref.h_samp = cinfo.comp_info[0].h_samp_factor;
  ref.v_samp = cinfo.comp_info[0].v_samp_factor;
  for (int i = 0; i < DCTSIZE2; ++i) ref.quant_table[i] = cinfo.quant_tbl_ptrs[0]->quantval[i];
  cinfo.dct_method = JDCT_ISLOW;
  cinfo.do_fancy_upsampling = TRUE;
  cinfo.do_block_smoothing = TRUE;
  if (cinfo.jpeg_color_space == JCS_GRAYSCALE) {
    cinfo.quantize_colors = TRUE;
    cinfo.desired_number_of_colors = 236;
    cinfo.two_pass_quantize = FALSE;
    cinfo.dither_mode = JDITHER_FS;
  } else {
    cinfo.out_color_space = JCS_RGB;
  }
  jpeg_start_decompress(&cinfo);
  ref.width = int(cinfo.output_width);
  ref.height = int(cinfo.output_height);
  ref.components = cinfo.output_components;
  ref.samples.resize(std::size_t(ref.width) * ref.height * ref.components);
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW row =
        ref.samples.data() + std::size_t(cinfo.output_scanline) * ref.width * ref.components;
    jpeg_read_scanlines(&cinfo, &row, 1);
  }
  if (cinfo.quantize_colors) {
    ref.grey_levels.assign(cinfo.colormap[0], cinfo.colormap[0] + cinfo.actual_number_of_colors);
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  return true;
}

// Compares our decode with libjpeg's: the same bytes, only stored blue-green-red.
void ExpectSameAsLibjpeg(const TBitmap& image, const Reference& ref) {
  ASSERT_EQ(image.Width(), ref.width);
  ASSERT_EQ(image.Height(), ref.height);
  std::size_t mismatches = 0;
  for (int y = 0; y < ref.height; ++y) {
    const std::uint8_t* row = image.ScanLine(y);
    const std::uint8_t* expected = ref.samples.data() + std::size_t(y) * ref.width * ref.components;
    for (int x = 0; x < ref.width; ++x) {
      if (ref.components == 1) {
        mismatches += row[x] != expected[x];
      } else {
        mismatches += row[3 * x] != expected[3 * x + 2] || row[3 * x + 1] != expected[3 * x + 1] ||
                      row[3 * x + 2] != expected[3 * x];
      }
    }
  }
  EXPECT_EQ(mismatches, 0u);
}

class JpegDecodeTest : public ::testing::TestWithParam<const char*> {};

TEST_P(JpegDecodeTest, EqualsLibjpegWithTheSameSettings) {
  const auto file = DataBytes(std::string("jpeg/") + GetParam());
  Reference ref;
  ASSERT_TRUE(DecodeWithLibjpeg(file, ref));
  TBitmap image;
  ASSERT_TRUE(DecodeJpeg(file, image)) << GetParam();
  EXPECT_EQ(image.BitsPerPixel(), ref.components == 1 ? 8 : 24);
  ExpectSameAsLibjpeg(image, ref);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, JpegDecodeTest,
                         ::testing::Values("plain_rgb_420.jpg", "plain_rgb_444.jpeg",
                                           "plain_progressive.jpg", "plain_restart.jpg",
                                           "plain_gray.jpg", "ExifTool.jps"));

TEST(JpegDecodeTest, GreyscaleGivesA236LevelGreyPalette) {
  TBitmap image;
  ASSERT_TRUE(DecodeJpeg(DataBytes("jpeg/plain_gray.jpg"), image));
  ASSERT_EQ(image.BitsPerPixel(), 8);
  ASSERT_EQ(image.Palette().size(), 236u);
  Reference ref;
  ASSERT_TRUE(DecodeWithLibjpeg(DataBytes("jpeg/plain_gray.jpg"), ref));
  for (std::size_t i = 0; i < image.Palette().size(); ++i) {
    const TRgb c = image.Palette()[i];
    EXPECT_EQ(c, (TRgb{ref.grey_levels[i], ref.grey_levels[i], ref.grey_levels[i]})) << i;
  }
  EXPECT_EQ(image.Palette().front(), (TRgb{0, 0, 0}));
  EXPECT_EQ(image.Palette().back(), (TRgb{255, 255, 255}));
}

// The CMYK fixture and the RGB one were made from the same photograph: a wrong inversion or a
// channel mix-up would put them far apart.
TEST(JpegDecodeTest, AdobeCmykComesOutInTheColoursOfTheRgbVersion) {
  TBitmap cmyk, rgb;
  ASSERT_TRUE(DecodeJpeg(DataBytes("jpeg/plain_cmyk.jpg"), cmyk));
  ASSERT_TRUE(DecodeJpeg(DataBytes("jpeg/plain_rgb_444.jpeg"), rgb));
  ASSERT_EQ(cmyk.BitsPerPixel(), 24);
  ASSERT_EQ(cmyk.Width(), rgb.Width());
  ASSERT_EQ(cmyk.Height(), rgb.Height());
  double total = 0;
  for (int y = 0; y < rgb.Height(); ++y) {
    for (int x = 0; x < 3 * rgb.Width(); ++x)
      total += std::abs(cmyk.ScanLine(y)[x] - rgb.ScanLine(y)[x]);
  }
  EXPECT_LT(total / (3.0 * rgb.Width() * rgb.Height()), 8.0);
}

TEST(JpegDecodeTest, DamagedFilesFailAndLeaveTheImageAlone) {
  const auto good = DataBytes("jpeg/plain_rgb_420.jpg");
  std::vector<std::uint8_t> header_only(good.begin(), good.begin() + 300);
  std::vector<std::uint8_t> huge = good;
  // SOF0 of this file: FF C0, length, precision, height, width; make it 65000 x 65000.
  for (std::size_t i = 0; i + 8 < huge.size(); ++i) {
    if (huge[i] == 0xFF && huge[i + 1] == 0xC0) {
      huge[i + 5] = 0xFD, huge[i + 6] = 0xE8, huge[i + 7] = 0xFD, huge[i + 8] = 0xE8;
      break;
    }
  }
  const std::vector<std::vector<std::uint8_t>> cases = {
      {}, {0xFF, 0xD8}, {0x89, 'P', 'N', 'G'}, header_only, huge};
  for (const auto& bytes : cases) {
    TBitmap image;
    EXPECT_FALSE(DecodeJpeg(bytes, image)) << bytes.size();
    EXPECT_TRUE(image.Empty());
  }
}

TEST(JpegDecodeTest, ACutScanStillGivesTheWholeImage) {
  // libjpeg fills what is missing; the run gets a picture rather than nothing.
  const auto good = DataBytes("jpeg/plain_rgb_420.jpg");
  const std::vector<std::uint8_t> cut(good.begin(), good.begin() + long(good.size() / 2));
  TBitmap image;
  ASSERT_TRUE(DecodeJpeg(cut, image));
  EXPECT_EQ(image.Width(), 128);
  EXPECT_EQ(image.Height(), 128);
}

TEST(JpegEncodeTest, BaselineYCbCr420AtTheQualityAskedFor) {
  const TBitmap image = testing::MakeImage24(40, 24, [](int x, int y) {
    return RGBColor(std::uint8_t(6 * x), std::uint8_t(10 * y), 200);
  });
  for (const int quality : {1, 50, 90, 100}) {
    std::vector<std::uint8_t> out;
    ASSERT_TRUE(EncodeJpeg(image, quality, out));
    Reference ref;
    ASSERT_TRUE(DecodeWithLibjpeg(out, ref));
    EXPECT_EQ(ref.components, 3);
    EXPECT_FALSE(ref.progressive);
    EXPECT_EQ(ref.h_samp, 2);
    EXPECT_EQ(ref.v_samp, 2);
    // The luminance table libjpeg builds for that quality, baseline-limited.
    jpeg_compress_struct c{};
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, quality, TRUE);
    for (int i = 0; i < DCTSIZE2; ++i) {
      EXPECT_EQ(ref.quant_table[i], c.quant_tbl_ptrs[0]->quantval[i]) << quality;
    }
    jpeg_destroy_compress(&c);
  }
}

TEST(JpegEncodeTest, RowsAreWrittenTopFirstAndPaletteImagesAsColour) {
  const std::vector<TRgb> palette = {{255, 255, 255}, {0, 0, 0}, {255, 0, 0}};
  const TBitmap image =
      testing::MakeIndexed(32, 32, 4, palette, [](int, int y) { return y < 16 ? 2 : 1; });
  std::vector<std::uint8_t> out;
  ASSERT_TRUE(EncodeJpeg(image, 95, out));
  TBitmap back;
  ASSERT_TRUE(DecodeJpeg(out, back));
  ASSERT_EQ(back.BitsPerPixel(), 24);
  const TColor top = back.Pixels(8, 4), bottom = back.Pixels(8, 28);
  EXPECT_GT(RedOf(top), 200);
  EXPECT_LT(GreenOf(top), 60);
  EXPECT_LT(RedOf(bottom), 30);
}

TEST(JpegEncodeTest, EmptyImagesAndOverlongSidesFail) {
  std::vector<std::uint8_t> out;
  EXPECT_EQ(EncodeJpeg(TBitmap(), 90, out).message(), "the image is empty");
  TBitmap wide;
  wide.Create(65501, 1, 24);
  EXPECT_FALSE(EncodeJpeg(wide, 90, out));
  EXPECT_TRUE(out.empty());
}

// --- the frame -------------------------------------------------------------------------------

constexpr std::uint8_t kDefaultApp0[] = {0xFF, 0xE0, 0x00, 0x10, 0x4A, 0x46, 0x49, 0x46, 0x00,
                                         0x01, 0x02, 0x01, 0x01, 0x2C, 0x01, 0x2C, 0x00, 0x00};

std::vector<std::uint8_t> Segment(std::uint8_t marker, std::size_t payload, std::uint8_t fill) {
  std::vector<std::uint8_t> s = {0xFF, marker, std::uint8_t((payload + 2) >> 8),
                                 std::uint8_t(payload + 2)};
  s.insert(s.end(), payload, fill);
  return s;
}

std::vector<std::uint8_t> Concat(std::initializer_list<std::vector<std::uint8_t>> parts) {
  std::vector<std::uint8_t> out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

const std::vector<std::uint8_t> kSoi = {0xFF, 0xD8};
const std::vector<std::uint8_t> kRest = Concat({Segment(0xDB, 20, 0x11), {0xFF, 0xD9}});

TEST(JpegFrameTest, EmptyHolderGivesSoiDefaultJfifAndTheStreamWithoutItsApp0) {
  const auto stream = Concat({kSoi, Segment(0xE0, 14, 0x77), kRest});
  const auto out = WriteJpegWithMetadata({}, stream);
  const auto expected = Concat({kSoi, {std::begin(kDefaultApp0), std::end(kDefaultApp0)}, kRest});
  EXPECT_EQ(out, expected);
}

TEST(JpegFrameTest, LeadingCodecSegmentsAreDroppedOnlyInTheirOrder) {
  const auto app0 = Segment(0xE0, 14, 1), app1 = Segment(0xE1, 30, 2), app13 = Segment(0xED, 9, 3),
             com = Segment(0xFE, 12, 4);
  struct Case {
    std::vector<std::uint8_t> stream, kept;
  };
  const Case cases[] = {
      {Concat({kSoi, app0, app1, app13, com, kRest}), kRest},
      {Concat({kSoi, app1, com, kRest}), kRest},
      {Concat({kSoi, com, app0, kRest}), Concat({app0, kRest})},  // APP0 after COM stays
      {Concat({kSoi, app0, com, app1, kRest}), Concat({app1, kRest})},
      {Concat({kSoi, kRest}), kRest},
  };
  for (const Case& c : cases) {
    const auto out = WriteJpegWithMetadata({}, c.stream);
    EXPECT_EQ(out, Concat({kSoi, {std::begin(kDefaultApp0), std::end(kDefaultApp0)}, c.kept}));
  }
}

TEST(JpegFrameTest, HeldSegmentsComeFirstExifBeforeApp0) {
  JpegHeaderSegments held;
  held.exif = {0x00, 0x06, 'E', 'x', 'i', 'f'};
  held.app0 = {0x00, 0x04, 9, 9};
  held.iptc = {0x00, 0x03, 7};
  held.comment = {0x00, 0x04, 'h', 'i'};
  const auto stream = Concat({kSoi, Segment(0xE0, 14, 0), kRest});
  EXPECT_EQ(WriteJpegWithMetadata(held, stream),
            Concat({kSoi,
                    {0xFF, 0xE1, 0x00, 0x06, 'E', 'x', 'i', 'f'},
                    {0xFF, 0xED, 0x00, 0x03, 7},
                    {0xFF, 0xFE, 0x00, 0x04, 'h', 'i'},
                    kRest}));
  held.exif.clear();
  EXPECT_EQ(WriteJpegWithMetadata(held, stream), Concat({kSoi,
                                                         {0xFF, 0xE0, 0x00, 0x04, 9, 9},
                                                         {0xFF, 0xED, 0x00, 0x03, 7},
                                                         {0xFF, 0xFE, 0x00, 0x04, 'h', 'i'},
                                                         kRest}));
}

}  // namespace
}  // namespace tolvane
