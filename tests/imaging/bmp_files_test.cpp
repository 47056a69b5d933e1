// BMP files on disk: reading the BMP Suite samples, writing them back unchanged or changed,
// and the exact layout of the files the system makes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "imaging/tbitmap.h"

namespace tolvane {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::string DataPath(const std::string& name) {
  return std::string(TOLVANE_TEST_DATA) + "/bmp/" + name;
}

Bytes ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), {});
}

TBitmap Load(const std::string& name) {
  TBitmap image;
  const Status s = image.LoadFromFile(DataPath(name));
  EXPECT_TRUE(s.ok()) << name << ": " << s.message();
  return image;
}

std::uint32_t U32(const Bytes& b, std::size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | std::uint32_t(b[at + 3]) << 24;
}
// A test-name-safe form of a file name.
std::string Identifier(std::string name) {
  for (char& c : name) {
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  }
  return name;
}

std::uint16_t U16(const Bytes& b, std::size_t at) { return std::uint16_t(b[at] | b[at + 1] << 8); }

void ExpectSamePixels(const TBitmap& a, const TBitmap& b) {
  ASSERT_EQ(a.Width(), b.Width());
  ASSERT_EQ(a.Height(), b.Height());
  int differences = 0;
  for (int y = 0; y < a.Height(); ++y) {
    for (int x = 0; x < a.Width(); ++x) {
      if (a.Pixels(x, y) != b.Pixels(x, y) && ++differences <= 3) {
        ADD_FAILURE() << "pixel (" << x << ", " << y << "): " << std::hex << a.Pixels(x, y)
                      << " vs " << b.Pixels(x, y);
      }
    }
  }
  EXPECT_EQ(differences, 0);
}

class TempDir : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("tolvane_bmp_" +
            std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }
  std::filesystem::path dir_;
};

TEST(BmpWrite, SystemMade3x2ImageIsByteExact) {
  TBitmap image;
  image.Create(3, 2, 24);
  image.FillRect(RGBColor(1, 2, 3));
  image.ScanLine(1)[0] = 0x40;  // blue of the bottom-left pixel
  const Bytes file = image.SaveToBytes();
  const Bytes header = {
      'B', 'M', 78, 0, 0,  0, 0, 0, 0, 0, 54, 0, 0, 0,          // file header
      40,  0,   0,  0, 3,  0, 0, 0, 2, 0, 0,  0, 1, 0, 24, 0,   // size, 3 x 2, 1, 24
      0,   0,   0,  0, 24, 0, 0, 0,                             // compression, size
      0,   0,   0,  0, 0,  0, 0, 0, 0, 0, 0,  0, 0, 0, 0,  0};  // resolution, colours
  ASSERT_EQ(file.size(), 78u);
  EXPECT_EQ(Bytes(file.begin(), file.begin() + 54), header);
  // Bottom row first: blue, green, red per pixel, then three bytes of padding.
  const Bytes bottom = {0x40, 2, 1, 3, 2, 1, 3, 2, 1, 0, 0, 0};
  const Bytes top = {3, 2, 1, 3, 2, 1, 3, 2, 1, 0, 0, 0};
  EXPECT_EQ(Bytes(file.begin() + 54, file.begin() + 66), bottom);
  EXPECT_EQ(Bytes(file.begin() + 66, file.end()), top);
}

TEST(BmpWrite, OneWhitePixelEndsWithZeroPadding) {
  TBitmap image;
  image.Create(1, 1, 24);
  image.FillRect(kWhite);
  const Bytes file = image.SaveToBytes();
  ASSERT_EQ(file.size(), 58u);
  EXPECT_EQ(Bytes(file.end() - 4, file.end()), (Bytes{0xFF, 0xFF, 0xFF, 0x00}));
}

class BmpSaveToFile : public TempDir {};

TEST_F(BmpSaveToFile, EmptyImageReplacesTheFileWithZeroBytes) {
  const std::string path = Path("empty.bmp");
  std::ofstream(path) << "old contents";
  EXPECT_TRUE(TBitmap().SaveToBytes().empty());
  TBitmap().SaveToFile(path);
  EXPECT_EQ(std::filesystem::file_size(path), 0u);
}

TEST_F(BmpSaveToFile, WritesTheBytesAndReportsAnUncreatableFile) {
  const TBitmap image = Load("pal8.bmp");
  image.SaveToFile(Path("copy.bmp"));
  EXPECT_EQ(ReadAll(Path("copy.bmp")), ReadAll(DataPath("pal8.bmp")));
  EXPECT_THROW(image.SaveToFile(Path("missing/folder/x.bmp")), std::runtime_error);
}

// Loading and saving without a change gives back the very same bytes, whatever the header
// kind, row order, depth or compression.
class BmpUnchangedRoundTrip : public ::testing::TestWithParam<const char*> {};

TEST_P(BmpUnchangedRoundTrip, IsByteIdentical) {
  const TBitmap image = Load(GetParam());
  EXPECT_TRUE(image.Origin().pristine);
  EXPECT_EQ(image.SaveToBytes(), ReadAll(DataPath(GetParam())));
}

INSTANTIATE_TEST_SUITE_P(Samples, BmpUnchangedRoundTrip,
                         ::testing::Values("pal4.bmp", "pal8.bmp", "pal8topdown.bmp", "pal8os2.bmp",
                                           "pal8v5.bmp", "pal8os2v2-16.bmp", "rgb16-565.bmp",
                                           "rgb24.bmp", "rgb32bf.bmp", "pal4rle.bmp",
                                           "pal8rle.bmp"),
                         [](const auto& info) { return Identifier(info.param); });

// Samples of one picture in different encodings must decode to the same pixels.
struct SamePictureCase {
  const char* file;
  const char* reference;
};

class BmpSamePicture : public ::testing::TestWithParam<SamePictureCase> {};

TEST_P(BmpSamePicture, MatchesTheReferenceSample) {
  const TBitmap reference = Load(GetParam().reference);
  TBitmap image = Load(GetParam().file);
  image.SetPixelFormat(24);
  ExpectSamePixels(image, reference);
}

INSTANTIATE_TEST_SUITE_P(Samples, BmpSamePicture,
                         ::testing::Values(SamePictureCase{"pal8rle.bmp", "pal8.bmp"},
                                           SamePictureCase{"pal8topdown.bmp", "pal8.bmp"},
                                           SamePictureCase{"pal8os2.bmp", "pal8.bmp"},
                                           SamePictureCase{"pal8v5.bmp", "pal8.bmp"},
                                           SamePictureCase{"pal8os2v2-16.bmp", "pal8.bmp"},
                                           SamePictureCase{"pal8offs.bmp", "pal8.bmp"},
                                           SamePictureCase{"pal4rle.bmp", "pal4.bmp"},
                                           SamePictureCase{"rgb32bf.bmp", "rgb24.bmp"}),
                         [](const auto& info) { return Identifier(info.param.file); });

TEST(BmpRead, SixteenBitFieldsDecodeCloseToTheReference) {
  // Five and six bits per channel cannot hold the reference exactly; each channel is within
  // the rounding of its field.
  const TBitmap image = Load("rgb16-565.bmp");
  const TBitmap reference = Load("rgb24.bmp");
  int worst = 0;
  for (int y = 0; y < image.Height(); ++y) {
    for (int x = 0; x < image.Width(); ++x) {
      const TColor a = image.Pixels(x, y), b = reference.Pixels(x, y);
      worst = std::max({worst, std::abs(RedOf(a) - RedOf(b)), std::abs(GreenOf(a) - GreenOf(b)),
                        std::abs(BlueOf(a) - BlueOf(b))});
    }
  }
  EXPECT_LE(worst, 8);
}

TEST(BmpRead, RemembersWhatTheFileSaid) {
  const TBitmap pal8 = Load("pal8.bmp");
  EXPECT_TRUE(pal8.Origin().from_file);
  EXPECT_EQ(pal8.Origin().x_pels_per_meter, 2835);
  EXPECT_EQ(pal8.Origin().info_header.size(), 40u);
  EXPECT_EQ(pal8.Palette().size(), 252u);
  EXPECT_TRUE(pal8.Origin().kept_file.empty());
  EXPECT_TRUE(Load("pal8topdown.bmp").Origin().top_down);
  EXPECT_TRUE(Load("pal8os2.bmp").Origin().os2);
  const TBitmap bit_fields = Load("rgb16-565.bmp");
  EXPECT_EQ(bit_fields.Origin().info_header.size(), 52u);  // header and the masks after it
  EXPECT_EQ(bit_fields.Masks(), (std::array<std::uint32_t, 3>{0xF800, 0x07E0, 0x001F}));
  const TBitmap rle = Load("pal8rle.bmp");
  EXPECT_EQ(rle.BitsPerPixel(), 8);
  EXPECT_EQ(rle.Origin().kept_file, ReadAll(DataPath("pal8rle.bmp")));
  EXPECT_EQ(Load("pal4rle.bmp").BitsPerPixel(), 4);
}

// A 35-byte header with bit-field masks right after it: the saved copy keeps the header's own
// fields and leaves the masks alone (the colour count, at bytes 32..35, lies outside such a
// header, and patching it once overwrote the first mask).
TEST(BmpWrite, ShortHeaderKeepsTheMasksThatFollowIt) {
  const Bytes file = ReadAll(DataPath("short35-masks.bmp"));
  ASSERT_EQ(U32(file, 14), 35u);
  const TBitmap image = Load("short35-masks.bmp");
  const Bytes saved = image.SaveToBytes();
  ASSERT_GE(saved.size(), 14u + 35 + 12);
  EXPECT_TRUE(
      std::equal(saved.begin() + 14 + 35, saved.begin() + 14 + 35 + 12, file.begin() + 14 + 35));
  TBitmap again;
  ASSERT_TRUE(again.LoadFromBytes(saved).ok());
  EXPECT_EQ(again.BitsPerPixel(), image.BitsPerPixel());
  ExpectSamePixels(image, again);
}

TEST(BmpWrite, PaletteImageKeepsEightBitsUntilConverted) {
  TBitmap image = Load("pal8.bmp");
  const TBitmap original = image;
  Bytes file = image.SaveToBytes();
  EXPECT_EQ(U16(file, 28), 8);
  EXPECT_EQ(U32(file, 10), 54u + 4 * 252);

  image.SetPixelFormat(24);
  file = image.SaveToBytes();
  const std::size_t stride = 128 * 3;
  EXPECT_EQ(file.size(), 54 + stride * 64);
  EXPECT_EQ(U32(file, 10), 54u);          // no colour table
  EXPECT_EQ(U16(file, 28), 24);           // bit count
  EXPECT_EQ(U32(file, 34), stride * 64);  // image size
  EXPECT_EQ(U32(file, 38), 2835u);        // resolution kept from the file
  EXPECT_EQ(U32(file, 46), 0u);           // colours used
  TBitmap again;
  ASSERT_TRUE(again.LoadFromBytes(file).ok());
  ExpectSamePixels(again, original);
}

TEST(BmpWrite, ChangedRunLengthImageIsWrittenUncompressed) {
  TBitmap image = Load("pal8rle.bmp");
  image.ScanLine(0)[0] = 7;
  const Bytes file = image.SaveToBytes();
  EXPECT_TRUE(image.Origin().kept_file.empty());
  EXPECT_EQ(U32(file, 30), 0u);  // compression
  EXPECT_EQ(U16(file, 28), 8);
  TBitmap again;
  ASSERT_TRUE(again.LoadFromBytes(file).ok());
  ExpectSamePixels(again, image);
}

// A change drops the stored header but not the header kind or the masks.
struct ChangedCase {
  const char* file;
  std::uint32_t header_size;
  std::uint32_t pixel_offset;
};

class BmpChangedImage : public ::testing::TestWithParam<ChangedCase> {};

TEST_P(BmpChangedImage, WritesAFreshHeaderAndReadsBackTheSamePixels) {
  TBitmap image = Load(GetParam().file);
  image.ScanLine(0)[0] ^= 0x01;
  const Bytes file = image.SaveToBytes();
  EXPECT_EQ(U32(file, 14), GetParam().header_size);
  EXPECT_EQ(U32(file, 10), GetParam().pixel_offset);
  if (GetParam().header_size == 40) {
    EXPECT_EQ(U32(file, 22), std::uint32_t(image.Height()));  // positive: bottom-up
  }
  TBitmap again;
  ASSERT_TRUE(again.LoadFromBytes(file).ok());
  EXPECT_EQ(again.BitsPerPixel(), image.BitsPerPixel());
  ExpectSamePixels(again, image);
}

INSTANTIATE_TEST_SUITE_P(
    Samples, BmpChangedImage,
    ::testing::Values(ChangedCase{"pal8os2.bmp", 12, 14 + 12 + 3 * 256},  // 3-byte entries
                      ChangedCase{"pal8topdown.bmp", 40, 54 + 4 * 252},
                      ChangedCase{"pal8v5.bmp", 40, 54 + 4 * 252},
                      ChangedCase{"rgb16-565.bmp", 40, 54 + 12},  // masks after the header
                      ChangedCase{"rgb32bf.bmp", 40, 54 + 12}),
    [](const auto& info) { return Identifier(info.param.file); });

}  // namespace
}  // namespace tolvane
