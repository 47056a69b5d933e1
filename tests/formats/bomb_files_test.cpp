// Small files that declare huge pictures: each is refused (or fails on its missing data)
// without first allocating the picture it declares.
#include <gtest/gtest.h>

#include <string>

#include "codec_test_support.h"
#include "formats/formats.h"

namespace tolvane {
namespace {

TEST(BombFiles, FailAloneAndSayWhy) {
  struct Case {
    const char* file;
    const char* reason;
  } cases[] = {
      {"bmp_16384_square_header_only.bmp", "runs past the end of the file"},
      {"gif_16384_square.gif", "cannot come from a file of 35 bytes"},
      {"jpeg_16384_square_small_data.jpg", "premature end of data segment"},
      {"png_16384_square_tiny.png", "Not enough image data"},
      {"png_65535_square.png", "65535 x 65535 pixels exceeds the size limit"},
      {"psd_30000_square_header_only.psd", "30000 x 30000 pixels exceeds the size limit"},
      {"tiff_16384_square_no_data.tif", "cannot come from a file of 122 bytes"},
  };
  for (const Case& c : cases) {
    TBitmap image;
    const Status s = LoadImageFile(testing::DataPath(std::string("bombs/") + c.file), image, {});
    EXPECT_FALSE(s.ok()) << c.file;
    EXPECT_NE(s.message().find(c.reason), std::string::npos) << c.file << ": " << s.message();
    EXPECT_TRUE(image.Empty()) << c.file;
  }
}

}  // namespace
}  // namespace tolvane
