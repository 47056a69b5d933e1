// The EXIF report (the run's block and the preview's full report) and how the loaders fill
// the metadata holder and the EXIF panel.
#include <gtest/gtest.h>

#include <filesystem>

#include "codec_test_support.h"
#include "formats/exif/ExifData.h"
#include "formats/exif/exif_report.h"
#include "formats/formats.h"
#include "formats/iptc/IptcData.h"
#include "metadata_builder.h"

namespace tolvane {
namespace {

using testing::Bytes;
using testing::DataPath;
using testing::TempDir;

// The report as the panel shows it: texts holding CR LF become several rows.
std::vector<std::string> Rows(const std::vector<std::string>& lines) {
  std::vector<std::string> rows;
  for (const std::string& line : lines) {
    std::size_t start = 0;
    while (true) {
      const std::size_t end = line.find("\r\n", start);
      rows.push_back(line.substr(start, end - start));
      if (end == std::string::npos) break;
      start = end + 2;
    }
  }
  return rows;
}

std::string CopyWithDate(const TempDir& dir, const std::string& fixture) {
  const std::string path = dir / std::filesystem::path(fixture).filename().string();
  std::filesystem::copy_file(DataPath(fixture), path);
  // 2020-05-17 12:00 UTC: the local date is the same in all but the farthest time zones.
  std::filesystem::last_write_time(path,
                                   std::filesystem::file_time_type::clock::from_sys(
                                       std::chrono::sys_seconds{std::chrono::seconds{1589716800}}));
  return path;
}

TEST(PreviewReport, PlainJpegShowsOnlyTheError) {
  TimgData holder;
  EXPECT_EQ(
      PreviewReport(holder, DataPath("jpeg/plain_rgb_420.jpg")),
      (std::vector<std::string>{" ", "-- EXIF-Data -------------- ", "ErrStr = Not an EXIF file"}));
}

// FujiFilm.jpg, line by line. exiftool 12.57 reads the same fields: FNumber 3.5,
// ShutterSpeedValue 1/64, FocalLength 6.0 mm, ISO 100, Flash Fired, MeteringMode
// Multi-segment, ExifImageWidth/Height 1600 x 1200, maker Quality NORMAL.
TEST(PreviewReport, CameraFileGivesEveryBlockInOrder) {
  TempDir dir;
  const std::string path = CopyWithDate(dir, "jpeg/FujiFilm.jpg");
  TimgData holder;
  const std::vector<std::string> expected = {
      " ",
      "-- EXIF-Data -------------- ",
      "ErrStr = <none>",
      "Intel Byte Order",
      "Make = FUJIFILM",
      "Model = FinePix2400Zoom",
      "Orientation = Normal",
      "XResolution = 72.00",
      "YResolution = 72.00",
      "Resolution Unit = Inch",
      "Software = Digital Camera FinePix2400Zoom Ver1.70",
      "Date Time = 2001:05:19 18:36:41",
      "YCb Cr Positioning = Co-sited",
      "Copyright =           ",
      "FNumber = F3.5",
      "Exposure Program = Normal",
      "ISOSpeed Ratings = 100",
      "Exif Version = \"0210\"",
      "Date Time Original = 2001:05:19 18:36:41",
      "Date Time Digitized = 2001:05:19 18:36:41",
      "Components Configuration = YCbCr",
      "Compressed Bits Per Pixel = 16/10",
      "Shutter Speed Value = 0.0156 sec (1/64)",
      "Aperture Value = F3.6",
      "Brightness Value = 200/100",
      "Exposure Bias Value = 0/100",
      "Max Aperture Value = F3.6",
      "Metering Mode = MultiSegment",
      "Flash = On",
      "Focal Length =  6.00 mm",
      "Maker Note = \"FUJIFILM..............0130........\xC6"
      "..............",
      "Flash Pix Version = \"0100\"",
      "Color Space = sRGB",
      "Exif Image Width = 1600",
      "Exif Image Length = 1200",
      "Interoperability Index = R98",
      "Interoperability Version = \"0100\"",
      "Interoperability Offset = 936",
      "Focal Plane XResolution = 3053/1",
      "Focal Plane YResolution = 3053/1",
      "Focal Plane Resolution Unit = Centimeter",
      "Sensing Method = OneChipColorArea",
      "File Source = \".\"",
      "Scene Type = \".\"",
      "Exif Offset = 260",
      "Focal Length in 35mm Film = 40.54",
      " ",
      " -- Maker Specific Data ---- ",
      "Quality = \"NORMAL .\"",
      "Sharpness = Normal",
      "WhiteBalance = Auto",
      "FlashMode = Red-eye reduction",
      "FlashStrength = 0/10",
      "Macro = Off",
      "Focusmode = Auto Focus",
      "SlowSync = Off",
      "PictureMode = Auto",
      "ContTake/Bracket = Off",
      "BlurWarning = No blur warning",
      "FocusWarning = Auto Focus good",
      "AEWarning = AE good",
      " ",
      " -- EXIF Summary -(short)--- ",
      "FujiFilm.jpg 1k 2001:05:19 1600w 1200h  Flash",
      " ",
      " -- EXIF Summary -(long)---- ",
      "File Name: FujiFilm.jpg",
      "File Size: 1k",
      "File Date: 2020-05-17",
      "Photo Date: 2001:05:19 18:36:41",
      "Make (Model): FUJIFILM (FinePix2400Zoom)",
      "Dimensions: 1600 x 1200",
      "Exposure Time: 0.0156 sec (1/64)",
      "Focal Length:  6.00 mm",
      "Focal Length (35mm): 40.54",
      "FNumber: F3.5",
      "ISO: 100",
      "Flash: Yes",
      "",
      " ** Widest Aperture is F3.6",
      " ** Response Time is 0.0156 sec (1/64)",
      " ** Light Meter mode is MultiSegment",
  };
  EXPECT_EQ(Rows(PreviewReport(holder, path)), expected);
}

TEST(PreviewReport, CommentAndIptcBlocks) {
  TimgData holder;
  EXPECT_EQ(Rows(PreviewReport(holder, DataPath("jpeg/plain_comment.jpg"))),
            (std::vector<std::string>{" ", "-- EXIF-Data -------------- ", "ErrStr = <none>", " ",
                                      " Comment Segment Available",
                                      "COM segment written by wrjpgcom; second sentence."}));
  // IPTC.jpg: exiftool lists the same datasets (Caption-Abstract "A witty caption", ...).
  const std::vector<std::string> rows = Rows(PreviewReport(holder, DataPath("jpeg/IPTC.jpg")));
  ASSERT_GE(rows.size(), 8u);
  EXPECT_EQ(
      std::vector<std::string>(rows.begin(), rows.begin() + 8),
      (std::vector<std::string>{" ", "-- EXIF-Data -------------- ", "ErrStr = <none>", "",
                                " IPTC Segment Available", "", "Image caption = A witty caption",
                                "Image caption writer = I wrote it"}));
  EXPECT_EQ(rows.back(), "Keywords = IPTC");
}

TEST(IptcLines, RecordTwoAndEightDatasetsInFileOrder) {
  const Bytes payload = testing::IptcPayload({{2, 0, "\x00\x02"},
                                              {2, 5, "Title"},
                                              {2, 25, "a"},
                                              {2, 25, "b"},
                                              {1, 90, "x"},
                                              {2, 200, "x"},
                                              {8, 10, "ab"}});
  Bytes segment = {std::uint8_t((payload.size() + 2) >> 8), std::uint8_t(payload.size() + 2)};
  segment.insert(segment.end(), payload.begin(), payload.end());
  TIPTCdata iptc;
  EXPECT_EQ(iptc.IptcLines(segment),
            (std::vector<std::string>{"Object name = Title", "Keywords = a", "Keywords = b",
                                      "Custom_200 = x", "Subfile = ab"}));
  EXPECT_EQ(iptc.Entries()[3].Length, 64);
  // A dataset longer than the segment gives what is there.
  segment.resize(segment.size() - 1);
  EXPECT_EQ(iptc.IptcLines(segment).back(), "Subfile = a");
  EXPECT_TRUE(iptc.IptcLines(Bytes{0, 4, 0x1C, 2}).empty());
}

struct Panel {
  std::vector<std::string> lines;
  int cleared = 0;
  TimgData holder;
  CodecServices Services() {
    CodecServices s;
    s.append_exif = [this](const std::string& l) { lines.push_back(l); };
    s.clear_exif = [this] { ++cleared, lines.clear(); };
    s.metadata = &holder;
    return s;
  }
};

TEST(LoadImageFile, RefillsTheHolderAndAppendsTheExifBlock) {
  Panel panel;
  TBitmap image;
  ASSERT_TRUE(LoadImageFile(DataPath("jpeg/Canon.jpg"), image, panel.Services()).ok());
  EXPECT_TRUE(panel.holder.HasExif());
  ASSERT_GE(panel.lines.size(), 5u);
  EXPECT_EQ(panel.lines[2], "ErrStr = <none>");
  EXPECT_EQ(panel.lines[4], "Make = Canon");
  EXPECT_EQ(panel.cleared, 0);
  const std::size_t canon_lines = panel.lines.size();
  // A .jps source is not scanned but still reports; a PNG source empties the holder.
  ASSERT_TRUE(LoadImageFile(DataPath("jpeg/ExifTool.jps"), image, panel.Services()).ok());
  EXPECT_EQ(panel.lines.back(), "ErrStr = Not an EXIF file");
  EXPECT_EQ(panel.lines.size(), canon_lines + 3);
  ASSERT_TRUE(LoadImageFile(DataPath("jpeg/Canon.jpg"), image, panel.Services()).ok());
  ASSERT_TRUE(LoadImageFile(DataPath("png/gray2.png"), image, panel.Services()).ok());
  EXPECT_FALSE(panel.holder.HasMetadata());
  EXPECT_EQ(panel.lines.size(), 2 * canon_lines + 3);
}

TEST(LoadPreviewImage, ClearsThePanelOnlyForJpeg) {
  Panel panel;
  ASSERT_TRUE(LoadPreviewImage(DataPath("jpeg/plain_comment.jpg"), panel.Services()));
  EXPECT_EQ(panel.cleared, 1);
  EXPECT_EQ(panel.lines.size(), 6u);
  ASSERT_TRUE(LoadPreviewImage(DataPath("png/gray2.png"), panel.Services()));
  EXPECT_EQ(panel.cleared, 1);
  EXPECT_EQ(panel.lines.size(), 6u);
  EXPECT_TRUE(panel.holder.HasComment());  // a preview of another format keeps the holder
}

}  // namespace
}  // namespace tolvane
