// The JPEG codec against libjpeg-turbo driven directly, and the frame every JPEG output gets.
#include <gtest/gtest.h>

#include <algorithm>
#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
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

// --- damaged entropy data ----------------------------------------------------------------------
// Under "Move" a decode that succeeds deletes the source, so a file missing part of its picture
// must fail rather than come out with grey rows.

enum class Coding { kBaseline, kProgressive, kScanPerComponent, kArithmetic };

// A textured 96 x 64 picture: every block codes many coefficients. The baseline file comes from
// our encoder, the others from libjpeg.
std::vector<std::uint8_t> Encoded(Coding coding) {
  const TBitmap image = testing::MakeImage24(96, 64, [](int x, int y) {
    return RGBColor(std::uint8_t(x * 5 ^ y * 3), std::uint8_t(x * y), std::uint8_t(y * 4 + x));
  });
  std::vector<std::uint8_t> out;
  if (coding == Coding::kBaseline) {
    EXPECT_TRUE(EncodeJpeg(image, 90, out));
    return out;
  }
  jpeg_compress_struct c{};
  jpeg_error_mgr err;
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&c, &buffer, &size);
  c.image_width = 96;
  c.image_height = 64;
  c.input_components = 3;
  c.in_color_space = JCS_EXT_BGR;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, 90, TRUE);
  static const jpeg_scan_info kOnePerComponent[] = {
      {1, {0}, 0, 63, 0, 0}, {1, {1}, 0, 63, 0, 0}, {1, {2}, 0, 63, 0, 0}};
  if (coding == Coding::kProgressive) jpeg_simple_progression(&c);
  if (coding == Coding::kScanPerComponent) c.scan_info = kOnePerComponent, c.num_scans = 3;
  if (coding == Coding::kArithmetic) c.arith_code = TRUE;
  jpeg_start_compress(&c, TRUE);
  for (int y = 0; y < image.Height(); ++y) {
    JSAMPROW row = const_cast<std::uint8_t*>(image.ScanLine(y));
    jpeg_write_scanlines(&c, &row, 1);
  }
  jpeg_finish_compress(&c);
  out.assign(buffer, buffer + size);
  std::free(buffer);
  jpeg_destroy_compress(&c);
  return out;
}

// Where each scan's entropy data begins and ends (the offset of the marker after it).
struct ScanData {
  std::size_t begin, end;
};

std::vector<ScanData> Scans(const std::vector<std::uint8_t>& file) {
  std::vector<ScanData> scans;
  std::size_t i = 2;
  while (i + 4 <= file.size() && file[i] == 0xFF && file[i + 1] != 0xD9) {
    const std::uint8_t marker = file[i + 1];
    i += 2 + std::size_t(file[i + 2] << 8 | file[i + 3]);
    if (marker != 0xDA) continue;
    const std::size_t begin = i;
    // Data bytes end at a 0xFF that is neither stuffing nor a restart marker.
    while (i + 1 < file.size() &&
           !(file[i] == 0xFF && file[i + 1] != 0 && (file[i + 1] & 0xF8) != 0xD0)) {
      ++i;
    }
    scans.push_back({begin, i});
  }
  return scans;
}

std::vector<std::uint8_t> Prefix(const std::vector<std::uint8_t>& file, std::size_t n) {
  return {file.begin(), file.begin() + long(n)};
}

// The decode of a whole file and of a damaged copy: either the same picture or a failure with
// the image left alone.
void ExpectOutcome(const std::vector<std::uint8_t>& whole, const std::vector<std::uint8_t>& bytes,
                   const std::string& message, const std::string& what) {
  TBitmap expected, image;
  ASSERT_TRUE(DecodeJpeg(whole, expected)) << what;
  const Status status = DecodeJpeg(bytes, image);
  if (message.empty()) {
    ASSERT_TRUE(status) << what << ": " << status.message();
    ASSERT_EQ(image.Width(), expected.Width()) << what;
    ASSERT_EQ(image.Height(), expected.Height()) << what;
    for (int y = 0; y < image.Height(); ++y) {
      ASSERT_EQ(0, std::memcmp(image.ScanLine(y), expected.ScanLine(y), 3u * image.Width()))
          << what << ", row " << y;
    }
  } else {
    EXPECT_EQ(status.message(), message) << what;
    EXPECT_TRUE(image.Empty()) << what;
  }
}

constexpr char kEndsEarly[] = "JPEG: the data ends early";

TEST(JpegDamageTest, CutFilesFailUnlessOnlyTheEndMarkerIsMissing) {
  using Cut = std::function<std::vector<std::uint8_t>(const std::vector<std::uint8_t>&,
                                                      const std::vector<ScanData>&)>;
  const Cut whole = [](const auto& f, const auto&) { return f; };
  const Cut no_eoi = [](const auto& f, const auto&) { return Prefix(f, f.size() - 2); };
  // Some writers omit the end marker but never the padding bits of the last byte.
  const Cut eoi_and_two_data_bytes = [](const auto& f, const auto&) {
    return Prefix(f, f.size() - 4);
  };
  const Cut two_data_bytes_before_eoi = [](const auto& f, const auto&) {
    std::vector<std::uint8_t> cut = f;
    cut.erase(cut.end() - 4, cut.end() - 2);
    return cut;
  };
  const Cut first_scan_middle = [](const auto& f, const auto& scans) {
    return Prefix(f, (scans.front().begin + scans.front().end) / 2);
  };
  const Cut last_scan_middle = [](const auto& f, const auto& scans) {
    return Prefix(f, (scans.back().begin + scans.back().end) / 2);
  };
  struct Case {
    Coding coding;
    const char* what;
    Cut cut;
    const char* message;  // empty: decodes to the whole file's picture
  } cases[] = {
      {Coding::kBaseline, "whole", whole, ""},
      {Coding::kBaseline, "without the end marker", no_eoi, ""},
      {Coding::kBaseline, "end marker and 2 data bytes cut", eoi_and_two_data_bytes, kEndsEarly},
      // The real end marker inside the data: libjpeg's own words.
      {Coding::kBaseline, "2 data bytes missing before the end marker", two_data_bytes_before_eoi,
       "JPEG: corrupt data: premature end of data segment"},
      {Coding::kBaseline, "cut in the middle of the scan", first_scan_middle, kEndsEarly},
      {Coding::kProgressive, "whole", whole, ""},
      {Coding::kProgressive, "without the end marker", no_eoi, ""},
      {Coding::kProgressive, "end marker and 2 data bytes cut", eoi_and_two_data_bytes, kEndsEarly},
      {Coding::kProgressive, "cut in the middle of the first scan", first_scan_middle, kEndsEarly},
      {Coding::kProgressive, "cut in the middle of the last scan", last_scan_middle, kEndsEarly},
      {Coding::kScanPerComponent, "without the end marker", no_eoi, ""},
      {Coding::kScanPerComponent, "cut in the middle of the last scan", last_scan_middle,
       kEndsEarly},
      // Arithmetic data may stop short by design; a cut shows only before the last block row.
      {Coding::kArithmetic, "whole", whole, ""},
      {Coding::kArithmetic, "without the end marker", no_eoi, ""},
      {Coding::kArithmetic, "cut in the middle of the scan", first_scan_middle, kEndsEarly},
  };
  for (const Case& c : cases) {
    const auto file = Encoded(c.coding);
    const auto scans = Scans(file);
    ASSERT_FALSE(scans.empty());
    ASSERT_EQ(scans.back().end, file.size() - 2) << "the file ends with its end marker";
    ExpectOutcome(file, c.cut(file, scans), c.message,
                  std::string(c.what) + " (coding " + std::to_string(int(c.coding)) + ")");
  }
}

// A cut between two scans leaves no entropy data unfinished, so no decoder warning tells of it:
// the scans that never came do.
TEST(JpegDamageTest, EveryCutBetweenScansFails) {
  for (const Coding coding : {Coding::kProgressive, Coding::kScanPerComponent}) {
    const auto file = Encoded(coding);
    const auto scans = Scans(file);
    ASSERT_GE(scans.size(), 3u);
    for (std::size_t k = 0; k + 1 < scans.size(); ++k) {
      const std::string what = "after scan " + std::to_string(k + 1) + " of " +
                               std::to_string(scans.size()) + " (coding " +
                               std::to_string(int(coding)) + ")";
      // Right after the data, and just before the next scan's header (past any tables).
      ExpectOutcome(file, Prefix(file, scans[k].end), kEndsEarly, what);
      std::size_t sos = scans[k].end;
      while (!(file[sos] == 0xFF && file[sos + 1] == 0xDA)) ++sos;
      ExpectOutcome(file, Prefix(file, sos), kEndsEarly, what + ", tables read");
    }
    // The last scan's end is the whole picture.
    ExpectOutcome(file, Prefix(file, scans.back().end), "", "without the end marker");
  }
}

TEST(JpegDamageTest, CorruptEntropyDataFailsWithLibjpegsReason) {
  const auto baseline = Encoded(Coding::kBaseline);
  const ScanData scan = Scans(baseline).front();
  auto overwrite = [](std::vector<std::uint8_t> file, std::size_t at,
                      std::vector<std::uint8_t> bytes) {
    std::copy(bytes.begin(), bytes.end(), file.begin() + long(at));
    return file;
  };
  auto restart = DataBytes("jpeg/plain_restart.jpg");
  const ScanData restart_scan = Scans(restart).front();
  const std::uint8_t kRst0[] = {0xFF, 0xD0};
  const std::size_t rst0 = std::size_t(
      std::search(restart.begin() + long(restart_scan.begin), restart.end(), kRst0, kRst0 + 2) -
      restart.begin());
  auto progressive = Encoded(Coding::kProgressive);
  const std::size_t second_sos_end = Scans(progressive)[1].begin;

  struct Case {
    const char* what;
    std::vector<std::uint8_t> whole, damaged;
    const char* message;
  } cases[] = {
      {"restart marker out of turn", restart, overwrite(restart, rst0, {0xFF, 0xD5}),
       "JPEG: corrupt data: found marker 0xd5 instead of RST0"},
      {"a marker inside the data", baseline,
       overwrite(baseline, (scan.begin + scan.end) / 2, {0xFF, 0xD9}),
       "JPEG: corrupt data: premature end of data segment"},
      // 48 one bits: no code is all ones. Near the end, where libjpeg checks every code.
      {"bits that match no Huffman code", baseline,
       overwrite(baseline, scan.end - 200, {0xFF, 0, 0xFF, 0, 0xFF, 0, 0xFF, 0, 0xFF, 0, 0xFF, 0}),
       "JPEG: corrupt data: bad Huffman code"},
      // The second scan (luma AC 1..5, Ah 0, Al 2) made to refine a bit never sent.
      {"progression refining bits never sent", progressive,
       overwrite(progressive, second_sos_end - 1, {0x32}),
       "JPEG: corrupt data: Inconsistent progression sequence for component 0 coefficient 1"},
  };
  for (const Case& c : cases) ExpectOutcome(c.whole, c.damaged, c.message, c.what);
}

// Oddities of whole files that libjpeg decodes to the same pixels stay accepted.
TEST(JpegDamageTest, HarmlessOdditiesStillDecode) {
  const auto file = Encoded(Coding::kBaseline);
  const ScanData scan = Scans(file).front();
  std::vector<std::uint8_t> padded = file;  // bytes between the data and the end marker
  padded.insert(padded.end() - 2, {0x00, 0x00, 0x00, 0x00});
  std::vector<std::uint8_t> zero_band = file;  // sequential scan header with Se = 0
  ASSERT_EQ(zero_band[scan.begin - 2], 63);
  zero_band[scan.begin - 2] = 0;
  ExpectOutcome(file, padded, "", "padding before the end marker");
  ExpectOutcome(file, zero_band, "", "spectral end 0 in a sequential scan header");
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
