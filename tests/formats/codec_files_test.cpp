// The JPEG, PNG and GIF codecs behind LoadImageFile, LoadPreviewImage and SaveImageFile.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "codec_test_support.h"
#include "formats/formats.h"

namespace tolvane {
namespace {

using testing::DataPath;
using testing::TempDir;

struct Counter {
  int pumps = 0;
  CodecServices services() {
    return {[this] { ++pumps; }, nullptr};
  }
};

TEST(CodecFilesTest, RunPumpsEventsOnceBeforeEachJpegDecodeOnly) {
  struct Case {
    const char* file;
    int pumps;
  };
  for (const Case c :
       {Case{"jpeg/plain_rgb_420.jpg", 1}, Case{"jpeg/plain_rgb_444.jpeg", 1},
        Case{"jpeg/ExifTool.jps", 1}, Case{"png/pal4.png", 0}, Case{"gif/anim2.gif", 0}}) {
    Counter counter;
    TBitmap image;
    EXPECT_TRUE(LoadImageFile(DataPath(c.file), image, counter.services())) << c.file;
    EXPECT_FALSE(image.Empty());
    EXPECT_EQ(counter.pumps, c.pumps) << c.file;
    Counter preview;
    (void)LoadPreviewImage(DataPath(c.file), preview.services());
    EXPECT_EQ(preview.pumps, 0) << c.file;
  }
}

TEST(CodecFilesTest, JpsDecodesInARunButIsNotPreviewed) {
  const auto preview = LoadPreviewImage(DataPath("jpeg/ExifTool.jps"), {});
  ASSERT_TRUE(preview.has_value());
  EXPECT_TRUE(preview->Empty());
  const auto jpg = LoadPreviewImage(DataPath("jpeg/plain_rgb_420.jpg"), {});
  ASSERT_TRUE(jpg.has_value());
  EXPECT_EQ(jpg->Width(), 128);
}

TEST(CodecFilesTest, UndecodableFilesLeaveTheImageEmptyAndThePreviewWithout) {
  TempDir dir;
  testing::WriteBytes(dir / "bad.jpg", {0xFF, 0xD8, 0xFF, 0xDB, 0x00});
  testing::WriteBytes(dir / "bad.png", {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0});
  testing::WriteBytes(dir / "bad.gif", {'G', 'I', 'F', '8', '9', 'a', 1});
  for (const char* name : {"bad.jpg", "bad.png", "bad.gif", "missing.png"}) {
    TBitmap image;
    EXPECT_FALSE(LoadImageFile(dir / name, image, {})) << name;
    EXPECT_TRUE(image.Empty());
    EXPECT_FALSE(LoadPreviewImage(dir / name, {}).has_value()) << name;
  }
}

TEST(CodecFilesTest, EmptyImagesWriteNothingAndSayWhy) {
  TempDir dir;
  const struct {
    TOutputFormat format;
    const char* name;
  } rows[] = {{TOutputFormat::kKeepExtension, "a.bmp"},
              {TOutputFormat::kKeepExtension, "a.tif"},
              {TOutputFormat::kKeepExtension, "a.psd"},
              {TOutputFormat::kBitmap, "a.png"},
              {TOutputFormat::kJpeg, "a.bmp"},
              {TOutputFormat::kPng, "a.bmp"},
              {TOutputFormat::kGif, "a.bmp"},
              {TOutputFormat::kTiff, "a.bmp"},
              {TOutputFormat::kEmf, "a.bmp"}};
  for (const auto& row : rows) {
    SaveSettings settings;
    settings.format = row.format;
    SaveResult result;
    EXPECT_NO_THROW(result = SaveImageFile(TBitmap(), dir.folder(), row.name, settings))
        << row.name << " as " << static_cast<int>(row.format);
    EXPECT_FALSE(result.written) << row.name << " as " << static_cast<int>(row.format);
    EXPECT_EQ(result.reason, "the image is empty");
  }
  EXPECT_TRUE(dir.Files().empty());
}

// A BMP handed over to the writer goes out from the image's own rows, many to a system call;
// the file must be the one SaveToBytes makes, also where that path has to be declined.
TEST(CodecFilesTest, HandedOverBmpsWriteTheSameBytesAsACopy) {
  TempDir dir;
  struct Row {
    const char* label;
    TBitmap image;
  };
  std::vector<Row> rows;
  auto picture = [](int w, int h, int bpp) {
    TBitmap image;
    image.Create(w, h, bpp);
    std::uint8_t v = 1;
    for (int y = 0; y < h; ++y) {
      for (std::size_t x = 0; x < (std::size_t(w) * bpp + 7) / 8; ++x) image.ScanLine(y)[x] = v++;
    }
    return image;
  };
  rows.push_back({"24-bit, no padding, more rows than one writev takes", picture(4, 3000, 24)});
  rows.push_back({"24-bit with padding", picture(5, 7, 24)});
  rows.push_back({"8-bit palette", picture(8, 6, 8)});
  rows.push_back({"top-down source", TBitmap()});
  ASSERT_TRUE(rows.back().image.LoadFromFile(DataPath("bmp/pal8topdown.bmp")).ok());
  rows.back().image.ScanLine(0)[0] ^= 1;  // touched: written anew, in its stored order
  rows.push_back({"pristine source", TBitmap()});
  ASSERT_TRUE(rows.back().image.LoadFromFile(DataPath("bmp/pal8rle.bmp")).ok());
  SaveSettings settings;
  settings.format = TOutputFormat::kBitmap;
  for (Row& row : rows) {
    const std::vector<std::uint8_t> expected = row.image.SaveToBytes();
    const EncodedImage encoded = EncodeForSave(std::move(row.image), "x.bmp", settings);
    const SaveResult saved = WriteEncoded(encoded, dir.folder(), {}, Durability::kCached);
    ASSERT_TRUE(saved.written) << row.label;
    EXPECT_EQ(testing::ReadBytes(saved.path), expected) << row.label;
    std::filesystem::remove(saved.path);
  }
}

TEST(CodecFilesTest, JpegOutputsBeginWithTheDefaultJfifHeader) {
  TempDir dir;
  TBitmap image;
  ASSERT_TRUE(LoadImageFile(DataPath("png/gray4.png"), image, {}));
  SaveSettings settings;
  settings.format = TOutputFormat::kJpeg;
  settings.jpeg_quality = 80;
  const SaveResult result = SaveImageFile(image, dir.folder(), "Logo.PNG", settings);
  ASSERT_TRUE(result.written);
  EXPECT_EQ(result.path, dir / "Logo.jpg");
  const auto bytes = testing::ReadBytes(result.path);
  const std::vector<std::uint8_t> head = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 0x4A,
                                          0x46, 0x49, 0x46, 0x00, 0x01, 0x02, 0x01,
                                          0x01, 0x2C, 0x01, 0x2C, 0x00, 0x00, 0xFF};
  ASSERT_GT(bytes.size(), head.size());
  EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + long(head.size())), head);
  EXPECT_NE(bytes[head.size()], 0xE0);  // the codec's own APP0 is gone
}

// Every source format converts into every target format without operations.
TEST(CodecFilesTest, ConvertsBetweenBmpJpegPngAndGifInEveryDirection) {
  const char* sources[] = {"bmp/rgb24.bmp",       "bmp/pal8.bmp", "jpeg/plain_rgb_420.jpg",
                           "jpeg/plain_gray.jpg", "png/pal2.png", "png/rgba8.png",
                           "png/trns_rgb.png",    "gif/anim3.gif"};
  const TOutputFormat targets[] = {TOutputFormat::kBitmap, TOutputFormat::kJpeg,
                                   TOutputFormat::kPng, TOutputFormat::kGif};
  TempDir dir;
  for (const char* source : sources) {
    TBitmap image;
    ASSERT_TRUE(LoadImageFile(DataPath(source), image, {})) << source;
    for (const TOutputFormat target : targets) {
      SaveSettings settings;
      settings.format = target;
      const SaveResult saved = SaveImageFile(image, dir.folder(), "out.x", settings);
      ASSERT_TRUE(saved.written) << source << " " << int(target) << ": " << saved.reason;
      TBitmap back;
      ASSERT_TRUE(LoadImageFile(saved.path, back, {})) << saved.path;
      EXPECT_EQ(back.Width(), image.Width()) << saved.path;
      EXPECT_EQ(back.Height(), image.Height()) << saved.path;
      std::filesystem::remove(saved.path);
    }
  }
}

}  // namespace
}  // namespace tolvane
