// JPEG outputs carry the held segments: their order, the updated dimensions, Clear Exif, and
// a holder emptied by a non-JPEG source.
#include <gtest/gtest.h>

#include "codec_test_support.h"
#include "formats/exif/ExifData.h"
#include "formats/formats.h"
#include "formats/jpeg/jpeg_codec.h"
#include "formats/jpeg/jpeg_frame.h"
#include "metadata_builder.h"

namespace tolvane {
namespace {

using testing::Bytes;
using testing::DataPath;
using testing::TempDir;

constexpr std::uint8_t kDefaultJfif[] = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 0x4A,
                                         0x46, 0x49, 0x46, 0x00, 0x01, 0x02, 0x01,
                                         0x01, 0x2C, 0x01, 0x2C, 0x00, 0x00};

TBitmap Gray(int width, int height) {
  return testing::MakeImage24(width, height, [](int, int) { return RGBColor(90, 90, 90); });
}

// The markers of the header segments of a JPEG file, up to SOS.
std::vector<int> Markers(const Bytes& file) {
  std::vector<int> markers;
  std::size_t pos = 2;
  while (pos + 4 <= file.size() && file[pos] == 0xFF) {
    const int marker = file[pos + 1];
    markers.push_back(marker);
    if (marker == 0xDA) break;
    pos += 2 + ((std::size_t{file[pos + 2]} << 8) | file[pos + 3]);
  }
  return markers;
}

struct Saved {
  Bytes bytes;
  std::string path;
};

Saved LoadAndSave(const std::string& source, const TBitmap& image, TimgData& holder,
                  const TempDir& dir, bool clear_exif = false) {
  TBitmap decoded;
  CodecServices services;
  services.metadata = &holder;
  EXPECT_TRUE(LoadImageFile(source, decoded, services).ok()) << source;
  SaveSettings settings;
  settings.format = TOutputFormat::kJpeg;
  settings.clear_exif = clear_exif;
  settings.metadata = &holder;
  const SaveResult result = SaveImageFile(image, dir.folder(), "out.jpg", settings);
  EXPECT_TRUE(result.written);
  return {testing::ReadBytes(result.path), result.path};
}

TEST(JpegTransfer, ExifSegmentComesFirstWithTheNewDimensions) {
  // Canon.jpg is Intel order with LONG dimensions; NikonD70.jpg is Motorola order with SHORT
  // ones and an APP0 before its EXIF, which is not written.
  for (const char* file : {"jpeg/Canon.jpg", "jpeg/NikonD70.jpg"}) {
    TempDir dir;
    TimgData source;
    ASSERT_TRUE(source.ReadMetadata(DataPath(file)));
    const Bytes before = source.ExifSegment()->data;
    TimgData holder;
    const Saved out = LoadAndSave(DataPath(file), Gray(80, 53), holder, dir);
    const std::vector<int> markers = Markers(out.bytes);
    EXPECT_EQ(markers.front(), 0xE1) << file;
    EXPECT_EQ(std::count(markers.begin(), markers.end(), 0xE0), 0) << file;
    TimgData written;
    ASSERT_TRUE(written.ReadMetadata(out.path));
    EXPECT_EQ(written.ExifInfo()->FindTagText("ExifImageWidth"), "80") << file;
    EXPECT_EQ(written.ExifInfo()->FindTagText("ExifImageLength"), "53") << file;
    // Everything but the two value fields is written as it was read.
    const Bytes& after = written.ExifSegment()->data;
    ASSERT_EQ(after.size(), before.size());
    std::size_t differing = 0;
    for (std::size_t i = 0; i < after.size(); ++i) differing += after[i] != before[i];
    EXPECT_GE(differing, 2u);
    EXPECT_LE(differing, 4u);
    // The holder's stored size keeps the source's values.
    EXPECT_EQ(holder.ExifInfo()->Width(), source.ExifInfo()->Width());
  }
}

TEST(JpegTransfer, ShortFieldIsWrittenInTwoBytesOfTheFilesOrder) {
  for (const bool motorola : {false, true}) {
    TimgData holder;
    ASSERT_TRUE(holder.ReadMetadataBytes(testing::JpegHeader(
        {{0xE1, testing::ExifBuilder(motorola).Payload(
                    {{{0x0100, 3, {3000}}, {0x0101, 3, {2000}}, {0x0110, 2, {}, "ab"}}})}})));
    Bytes& segment = holder.ExifSegment()->data;
    const Bytes before = segment;
    UpdateStoredDimensions(*holder.ExifInfo(), 533, 800);
    const std::size_t width_at = 8 + 8 + 2 + 8;  // TIFF header + IFD0 entry count + entry head
    const std::size_t height_at = width_at + 12;
    EXPECT_EQ(motorola ? (segment[width_at] << 8 | segment[width_at + 1])
                       : (segment[width_at + 1] << 8 | segment[width_at]),
              800);
    EXPECT_EQ(motorola ? (segment[height_at] << 8 | segment[height_at + 1])
                       : (segment[height_at + 1] << 8 | segment[height_at]),
              533);
    // The rest of the four-byte value fields stays.
    EXPECT_EQ(segment[width_at + 2], before[width_at + 2]);
    EXPECT_EQ(segment[width_at + 3], before[width_at + 3]);
    EXPECT_EQ(std::vector<std::uint8_t>(segment.begin() + height_at + 4, segment.end()),
              std::vector<std::uint8_t>(before.begin() + height_at + 4, before.end()));
  }
}

TEST(JpegTransfer, ExifWithoutDimensionsIsWrittenUnchanged) {
  TimgData holder;
  ASSERT_TRUE(holder.ReadMetadataBytes(testing::JpegHeader(
      {{0xE1, testing::ExifBuilder(false).Payload({{{0x0110, 2, {}, "abcdef"}}})}})));
  const Bytes before = holder.ExifSegment()->data;
  Bytes encoded;
  ASSERT_TRUE(EncodeJpeg(Gray(8, 8), 90, encoded).ok());
  const Bytes out = WriteJpegWithMetadata(&holder, encoded, 8, 8, true);
  ASSERT_GT(out.size(), before.size() + 4);
  EXPECT_EQ(Bytes(out.begin() + 4, out.begin() + 4 + std::ptrdiff_t(before.size())), before);
  EXPECT_EQ(holder.ExifSegment()->data, before);
}

TEST(JpegTransfer, IptcAndCommentFollowTheSourceApp0) {
  TempDir dir;
  TimgData holder;
  const Saved iptc = LoadAndSave(DataPath("jpeg/IPTC.jpg"), Gray(8, 8), holder, dir);
  const std::vector<int> markers = Markers(iptc.bytes);
  ASSERT_GE(markers.size(), 3u);
  EXPECT_EQ(std::vector<int>(markers.begin(), markers.begin() + 3),
            (std::vector<int>{0xE0, 0xED, 0xDB}));
  const Bytes source = testing::ReadBytes(DataPath("jpeg/IPTC.jpg"));
  EXPECT_EQ(Bytes(iptc.bytes.begin() + 2, iptc.bytes.begin() + 20),
            Bytes(source.begin() + 2, source.begin() + 20));
  TempDir dir2;
  const Saved com = LoadAndSave(DataPath("jpeg/plain_comment.jpg"), Gray(8, 8), holder, dir2);
  EXPECT_EQ(Markers(com.bytes).front(), 0xE0);
  EXPECT_EQ(Markers(com.bytes)[1], 0xFE);
  TimgData written;
  ASSERT_TRUE(written.ReadMetadata(com.path));
  EXPECT_EQ(written.CommentText(), "COM segment written by wrjpgcom; second sentence.");
}

TEST(JpegTransfer, ClearExifWritesTheDefaultJfifAndStays) {
  TempDir dir;
  TimgData holder;
  const Saved out = LoadAndSave(DataPath("jpeg/Canon.jpg"), Gray(8, 8), holder, dir, true);
  ASSERT_GE(out.bytes.size(), 24u);
  EXPECT_EQ(Bytes(out.bytes.begin(), out.bytes.begin() + 20),
            Bytes(std::begin(kDefaultJfif), std::end(kDefaultJfif)));
  EXPECT_EQ(out.bytes[21], 0xDB);  // the codec's own data follows, without its APP0
  EXPECT_FALSE(holder.HasMetadata());
  EXPECT_EQ(holder.FileName(), DataPath("jpeg/Canon.jpg"));
}

TEST(JpegTransfer, PngAfterCameraJpegCarriesNoMetadata) {
  TempDir dir;
  TimgData holder;
  ASSERT_TRUE(holder.ReadMetadata(DataPath("jpeg/Canon.jpg")));
  const Saved out = LoadAndSave(DataPath("png/gray2.png"), Gray(8, 8), holder, dir);
  EXPECT_EQ(Bytes(out.bytes.begin(), out.bytes.begin() + 20),
            Bytes(std::begin(kDefaultJfif), std::end(kDefaultJfif)));
  const std::vector<int> markers = Markers(out.bytes);
  EXPECT_EQ(std::count(markers.begin(), markers.end(), 0xE1), 0);
}

}  // namespace
}  // namespace tolvane
