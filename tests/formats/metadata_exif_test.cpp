// The segment scan, the EXIF walk, the value texts and the summaries of TimgData/TImageInfo.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "formats/exif/ExifData.h"
#include "formats/exif/exif_report.h"
#include "formats/exif/exif_tables.h"
#include "metadata_builder.h"
#include "temp_dir.h"

namespace tolvane {
namespace {

using testing::Bytes;
using testing::ExifBuilder;
using testing::ExifDir;
using testing::ExifField;
using testing::JpegHeader;
using testing::Segment;
using testing::TempDir;

constexpr std::uint16_t kShort = 3, kLong = 4, kRational = 5, kAscii = 2, kUndefined = 7;
constexpr std::uint16_t kSRational = 10, kByte = 1, kFloat = 11, kSShort = 8;

Bytes ExifJpeg(const std::vector<ExifDir>& dirs, bool motorola = false) {
  return JpegHeader({{0xE1, ExifBuilder(motorola).Payload(dirs)}});
}

// The report's tag lines (after the byte-order line).
std::vector<std::string> TagLines(TimgData& holder) {
  std::vector<std::string> lines = ReportExifBlock(holder);
  return {lines.begin() + std::min<std::size_t>(4, lines.size()), lines.end()};
}

struct ValueCase {
  const char* what;
  ExifField field;
  std::string line;  // the report line, caption included
};

class ValueTextTest : public ::testing::TestWithParam<ValueCase> {};

TEST_P(ValueTextTest, ShowsTheLineOfTheField) {
  for (const bool motorola : {false, true}) {
    TimgData holder;
    ASSERT_TRUE(holder.ReadMetadataBytes(ExifJpeg({{GetParam().field}}, motorola)));
    EXPECT_EQ(TagLines(holder), std::vector<std::string>{GetParam().line})
        << GetParam().what << (motorola ? " (MM)" : " (II)");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Fields, ValueTextTest,
    ::testing::Values(
        ValueCase{
            "ascii less its zero", {0x010F, kAscii, {}, std::string("Canon\0", 6)}, "Make = Canon"},
        ValueCase{"decode list", {0x0112, kShort, {6}}, "Orientation = CounterClockwise 90\xB0"},
        ValueCase{"value not in the list", {0x0112, kShort, {2}}, "Orientation = "},
        ValueCase{"list with spaces finds only the first",
                  {0x0106, kShort, {2}},
                  "Photometric Interpretation = "},
        ValueCase{"%s pattern", {0x829A, kRational, {1, 60}}, "Exposure Time = 1/60 sec"},
        ValueCase{"real pattern", {0x829D, kRational, {28, 10}}, "FNumber = F2.8"},
        ValueCase{"width-5 pattern", {0x011A, kRational, {72, 1}}, "XResolution = 72.00"},
        ValueCase{"zero denominator", {0x920A, kRational, {5, 0}}, "Focal Length =  0.00 mm"},
        ValueCase{"signed rational", {0x9204, kSRational, {-1, 3}}, "Exposure Bias Value = -1/3"},
        ValueCase{"sshort shows unsigned", {0x8827, kSShort, {-1}}, "ISOSpeed Ratings = 65535"},
        ValueCase{"float", {0x9203, kFloat, {0x3F800000}}, "Brightness Value = -9999.99"},
        ValueCase{"list of shorts", {0x0102, kShort, {8, 8, 8}}, "Bits Per Sample = 8, 8, 8"},
        ValueCase{"undefined in quotes, dots",
                  {0xA000,
                   kUndefined,
                   {},
                   std::string("01\x01"
                               "0",
                               4)},
                  "Flash Pix Version = \"01.0\""},
        ValueCase{"shutter speed",
                  {0x9201, kSRational, {6, 1}},
                  "Shutter Speed Value = 0.0156 sec (1/64)"},
        ValueCase{
            "shutter speed of 0", {0x9201, kSRational, {0, 1}}, "Shutter Speed Value = 1.0000 sec"},
        ValueCase{"components",
                  {0x9101, kUndefined, {}, std::string("\x01\x02\x03\x00", 4)},
                  "Components Configuration = YCbCr"},
        ValueCase{"flash auto", {0x9209, kShort, {25}}, "Flash = On, auto mode"},
        ValueCase{"flash bits",
                  {0x9209, kShort, {0x5F}},
                  "Flash = On, strobe return, auto mode, red-eye reduction"},
        ValueCase{"flash suppressed",
                  {0x9209, kShort, {0x30}},
                  "Flash = Off, surpressed, no flash function"},
        ValueCase{"user comment",
                  {0x9286, kUndefined, {}, std::string("ASCII\0\0\0Hello\0", 14)},
                  "User Comment = Hello"},
        ValueCase{"wide text", {0x9C9B, kByte, {72, 0, 105, 0, 0, 0}}, "Title = Hi"},
        ValueCase{"caption given", {0xA405, kShort, {35}}, "Focal Length in 35mm Film = 35.00 mm"},
        ValueCase{"control characters, 50 characters",
                  {0x010E, kAscii, {}, "a\tb" + std::string(60, 'x')},
                  "Image Description = a.b" + std::string(47, 'x')}));

TEST(ExifCaptions, SpaceGoesBeforeACapitalAfterANonCapital) {
  EXPECT_EQ(exif::CaptionFromKey("ExifImageWidth"), "Exif Image Width");
  EXPECT_EQ(exif::CaptionFromKey("ISOSpeedRatings"), "ISOSpeed Ratings");
  EXPECT_EQ(exif::CaptionFromKey("FNumber"), "FNumber");
  EXPECT_EQ(exif::CaptionFromKey("GPSLatitude"), "GPSLatitude");
  EXPECT_EQ(exif::CaptionFromKey("TIFF/EPStandardID"), "TIFF/ EPStandard ID");
  EXPECT_EQ(exif::CaptionFromKey("GrayReponseUnit"), "Gray Reponse Unit");
}

std::vector<std::string> Keys(const TimgData& holder) {
  std::vector<std::string> keys;
  for (const TTagEntry& e : holder.ExifInfo()->Entries()) keys.push_back(e.KeyName);
  return keys;
}

TEST(ExifWalk, SubDirectoryEntriesStandBeforeTheirPointerAndLoopsEnd) {
  // The Exif directory points back to IFD0, which is not walked twice.
  const std::vector<ExifDir> dirs = {
      {{0x010F, kAscii, {}, "Cam"}, {0x8769, kLong, {}, {}, 1}, {0x0110, kAscii, {}, "M1"}},
      {{0x829A, kRational, {1, 8}}, {0xA005, kLong, {}, {}, 0}}};
  TimgData holder;
  ASSERT_TRUE(holder.ReadMetadataBytes(ExifJpeg(dirs)));
  EXPECT_EQ(Keys(holder),
            (std::vector<std::string>{"Make", "ExposureTime", "InteroperabilityOffset",
                                      "ExifOffset", "Model"}));
}

TEST(ExifWalk, GpsDirectoryUsesTheGpsTable) {
  const std::vector<ExifDir> dirs = {{{0x8825, kLong, {}, {}, 1}},
                                     {{0x0000, kByte, {2, 2, 0, 0}},
                                      {0x0001, kAscii, {}, std::string("N\0", 2)},
                                      {0x0002, kRational, {52, 1, 3050, 100, 0, 1}},
                                      {0x0007, kRational, {14, 1, 5, 1, 9, 1}},
                                      {0x0005, kByte, {0}}}};
  TimgData holder;
  ASSERT_TRUE(holder.ReadMetadataBytes(ExifJpeg(dirs, true)));
  EXPECT_EQ(TagLines(holder), (std::vector<std::string>{
                                  "GPSLatitude Ref = N",
                                  "GPSLatitude = 52 Degrees 30 Minutes 30 Seconds",
                                  "GPSTime Stamp = 14:5:9",
                                  "GPSAltitude Ref = Sealevel",
                                  "GPSInfo = 26",
                              }));
}

TEST(ExifWalk, StoredDimensionsComeFromShortOrLongFields) {
  for (const bool motorola : {false, true}) {
    TimgData holder;
    ASSERT_TRUE(holder.ReadMetadataBytes(
        ExifJpeg({{{0x0100, kShort, {3000}}, {0x0101, kLong, {2000}}}}, motorola)));
    EXPECT_EQ(holder.ExifInfo()->Width(), 3000);
    EXPECT_EQ(holder.ExifInfo()->Height(), 2000);
    EXPECT_EQ(holder.MotorolaOrder(), motorola);
  }
}

TEST(ExifWalk, ValuesOutsideTheSegmentGiveShorterBytes) {
  const std::vector<ExifDir> dirs = {{
      {0x829A, kRational, {1, 8}, {}, -1, 0, 60000},     // offset far past the end
      {0x010E, kAscii, {}, "abcdefgh", -1, 0x40000000},  // count far past the end
      {0x0110, kAscii, {}, "ok"},
  }};
  TimgData holder;
  ASSERT_TRUE(holder.ReadMetadataBytes(ExifJpeg(dirs)));
  const auto& entries = holder.ExifInfo()->Entries();
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0].Text, " sec");
  EXPECT_EQ(entries[0].Length, 0);
  EXPECT_EQ(entries[1].Text.substr(0, 8), "abcdefgh");
  EXPECT_EQ(entries[2].Text, "ok");
}

TEST(ExifWalk, EmptyDirectoryAddsNothing) {
  TimgData holder;
  ASSERT_TRUE(holder.ReadMetadataBytes(ExifJpeg({{}})));
  EXPECT_TRUE(holder.ExifInfo()->Entries().empty());
  EXPECT_EQ(holder.ErrorText(), "<none>");
}

TEST(ExifWalk, UnparsableFlashFailsTheScanOnlyInIfd0) {
  TimgData holder;
  EXPECT_FALSE(holder.ReadMetadataBytes(ExifJpeg({{{0x9209, kAscii, {}, "x"}}})));
  EXPECT_EQ(holder.ErrorText(), "Not an EXIF file");
  // In a sub-directory the failure is swallowed and the walk goes on.
  ASSERT_TRUE(holder.ReadMetadataBytes(ExifJpeg(
      {{{0x8769, kLong, {}, {}, 1}, {0x010F, kAscii, {}, "Cam"}}, {{0x9209, kAscii, {}, "x"}}})));
  EXPECT_EQ(holder.ExifInfo()->Make(), "Cam");
}

// The header checks, seen before the scan's result replaces them.
TEST(ExifParse, HeaderProblemsAreRecorded) {
  struct Case {
    Bytes payload;
    const char* error;
  };
  Bytes bad_order = ExifBuilder(false).Payload({{}});
  bad_order[6] = 'X';
  Bytes huge = ExifBuilder(false).Payload({{}});
  huge[14] = 0xFF, huge[15] = 0x7F;  // IFD0 claims 32767 entries
  const Case cases[] = {{testing::Text("http://ns.adobe.com/xap/1.0/"), "Incorrect Exif header"},
                        {bad_order, "Invalid Exif alignment marker"},
                        {huge, "Illegally sized directory"}};
  for (const Case& c : cases) {
    Bytes segment = {std::uint8_t((c.payload.size() + 2) >> 8), std::uint8_t(c.payload.size() + 2)};
    segment.insert(segment.end(), c.payload.begin(), c.payload.end());
    TImageInfo info(segment, false, 255);
    std::string error;
    EXPECT_TRUE(info.Parse(error));
    EXPECT_EQ(error, c.error);
    EXPECT_TRUE(info.Entries().empty());
  }
}

TEST(SegmentScan, FindsNothingWhenTheFifthSegmentIsReachedFirst) {
  const Bytes exif = ExifBuilder(false).Payload({{{0x010F, kAscii, {}, "Cam"}}});
  TimgData holder;
  EXPECT_FALSE(holder.ReadMetadataBytes(JpegHeader(
      {{0xE0, testing::Text("JFIF")}, {0xE2, {1}}, {0xDB, {2}}, {0xDB, {3}}, {0xE1, exif}})));
  EXPECT_EQ(holder.ErrorText(), "Not an EXIF file");
  EXPECT_FALSE(holder.HasExif());
}

TEST(SegmentScan, KeepsTheFirstApp1Only) {
  const Bytes exif = ExifBuilder(true).Payload({{{0x010F, kAscii, {}, "Cam"}}});
  const Bytes xmp = testing::Text("http://ns.adobe.com/xap/1.0/\0<x/>");
  TimgData holder;
  ASSERT_TRUE(holder.ReadMetadataBytes(
      JpegHeader({{0xE1, exif}, {0xE1, xmp}, {0xFE, testing::Text("hi")}})));
  EXPECT_EQ(holder.ExifSegment()->data.size(), exif.size() + 2);
  EXPECT_EQ(holder.ExifInfo()->Make(), "Cam");
  EXPECT_EQ(holder.CommentText(), "hi");
  // An XMP segment first takes the EXIF slot; the EXIF behind it is not read.
  ASSERT_TRUE(holder.ReadMetadataBytes(JpegHeader({{0xE1, xmp}, {0xE1, exif}})));
  EXPECT_EQ(holder.ErrorText(), "<none>");
  EXPECT_TRUE(holder.HasExif());
  EXPECT_TRUE(holder.ExifInfo()->Entries().empty());
}

TEST(SegmentScan, ReadsOnlyJpegNames) {
  TempDir dir;
  const Bytes bytes = ExifJpeg({{{0x010F, kAscii, {}, "Cam"}}});
  for (const char* name : {"a.JPG", "b.jpeg", "c.jpe", "d.jps", "e.png"}) {
    testing::WriteBytes(dir / name, bytes);
  }
  TimgData holder;
  for (const char* name : {"a.JPG", "b.jpeg", "c.jpe"}) {
    EXPECT_TRUE(holder.ReadMetadata(dir / name)) << name;
    EXPECT_EQ(holder.ErrorText(), "<none>");
  }
  for (const char* name : {"d.jps", "e.png"}) {
    EXPECT_FALSE(holder.ReadMetadata(dir / name)) << name;
    EXPECT_EQ(holder.ErrorText(), "Not an EXIF file");
    EXPECT_FALSE(holder.HasMetadata());
  }
  EXPECT_FALSE(holder.ReadMetadata(dir / "missing.jpg"));
  EXPECT_EQ(holder.ErrorText(), "");
  // A pipe or a folder named like a photograph is no file to scan (the pipe would block).
  ASSERT_EQ(::mkfifo((dir / "pipe.jpg").c_str(), 0600), 0);
  std::filesystem::create_directory(dir / "folder.jpg");
  for (const char* name : {"pipe.jpg", "folder.jpg"}) {
    EXPECT_FALSE(holder.ReadMetadata(dir / name)) << name;
    EXPECT_EQ(holder.ErrorText(), "") << name;
  }
}

TEST(ExifEstimate, AddsThe35mmFocalLengthFromTheFocalPlane) {
  // A 36 x 24 mm plane at 3000 x 2000 pixels: the factor is 1.
  const std::vector<ExifDir> dirs = {{{0xA002, kLong, {3000}},
                                      {0xA003, kLong, {2000}},
                                      {0x920A, kRational, {50, 1}},
                                      {0xA20E, kRational, {3000 * 254, 360}},
                                      {0xA20F, kRational, {2000 * 254, 240}},
                                      {0xA210, kShort, {2}}}};
  TimgData holder;
  ASSERT_TRUE(holder.ReadMetadataBytes(ExifJpeg(dirs)));
  EXPECT_EQ(holder.ExifInfo()->FindTagText("focallengthin35mmfilm"), "50.00");
  EXPECT_EQ(TagLines(holder).back(), "Focal Length in 35mm Film = 50.00");
}

TEST(ExifSummary, ShortAndLongFollowTheHeldFields) {
  TempDir dir;
  const std::vector<ExifDir> dirs = {
      {{0x010F, kAscii, {}, "Cam"}, {0x0110, kAscii, {}, "X1"}, {0x8769, kLong, {}, {}, 1}},
      {{0x9003, kAscii, {}, "2004:02:26 10:11:12"},
       {0x829A, kRational, {1, 60}},
       {0x829D, kRational, {4, 1}},
       {0x8827, kShort, {200}},
       {0x9209, kShort, {1}},
       {0xA002, kShort, {640}},
       {0xA003, kShort, {480}},
       {0x920A, kRational, {7, 1}}}};
  Bytes bytes = ExifJpeg(dirs);
  bytes.resize(3000, 0);
  testing::WriteBytes(dir / "S.jpg", bytes);
  // 2020-05-17 12:00 UTC: noon keeps the local date on 2020-05-17 in every time zone but the
  // farthest.
  std::filesystem::last_write_time(dir / "S.jpg",
                                   std::filesystem::file_time_type::clock::from_sys(
                                       std::chrono::sys_seconds{std::chrono::seconds{1589716800}}));
  TimgData holder;
  ASSERT_TRUE(holder.ReadMetadata(dir / "S.jpg"));
  EXPECT_EQ(holder.ShortSummary(), "S.jpg 2k 2004:02:26 640w 480h  Flash");
  EXPECT_EQ(holder.LongSummary(),
            "File Name: S.jpg\r\nFile Size: 2k\r\nFile Date: 2020-05-17\r\n"
            "Photo Date: 2004:02:26 10:11:12\r\nMake (Model): Cam (X1)\r\n"
            "Dimensions: 640 x 480\r\nExposure Time: 1/60 sec\r\nFocal Length:  7.00 mm\r\n"
            "FNumber: F4.0\r\nISO: 200\r\nFlash: Yes");
}

TEST(ExifSummary, EmptyWithoutExifAndErrorOtherwise) {
  TimgData holder;
  ASSERT_TRUE(holder.ReadMetadataBytes(JpegHeader({{0xFE, testing::Text("c")}})));
  EXPECT_EQ(holder.ShortSummary(), "");
  EXPECT_EQ(holder.LongSummary(), "");
}

TEST(ExifLookup, CursorWalksOneTableInListOrder) {
  TimgData holder;
  ASSERT_TRUE(holder.ReadMetadataBytes(
      ExifJpeg({{{0x010F, kAscii, {}, "Cam"}, {0x0110, kAscii, {}, "X1"}}})));
  TImageInfo& info = *holder.ExifInfo();
  EXPECT_EQ(info.FindTagText("MODEL"), "X1");
  EXPECT_EQ(info.FindTagText("Nothing"), "");
  TTagEntry entry;
  info.ResetTagCursor();
  ASSERT_TRUE(info.NextTagOfTable(0, entry));
  EXPECT_EQ(entry.Text, "Cam");
  ASSERT_TRUE(info.NextTagOfTable(0, entry));
  EXPECT_EQ(entry.Text, "X1");
  EXPECT_FALSE(info.NextTagOfTable(0, entry));
  EXPECT_EQ(entry.TagNumber, 0);
  info.ResetTagCursor();
  EXPECT_FALSE(info.NextTagOfTable(1, entry));
}

}  // namespace
}  // namespace tolvane
