// Maker notes: the layout per maker, the private directory walk and the Canon sub-fields.
#include <gtest/gtest.h>

#include <functional>

#include "codec_test_support.h"
#include "formats/exif/ExifData.h"
#include "formats/exif/exif_report.h"
#include "metadata_builder.h"

namespace tolvane {
namespace {

using testing::Bytes;
using testing::ExifBuilder;
using testing::ExifDir;
using testing::ExifField;

struct NoteEntry {
  std::uint16_t tag;
  std::uint16_t type;
  std::vector<std::int64_t> numbers;
};

// A maker note: prefix bytes, then a directory whose large values follow it. Offsets are
// written as (position inside the note) + `offset_base`.
Bytes NoteBytes(bool mm, const Bytes& prefix, const std::vector<NoteEntry>& entries,
                std::int64_t offset_base) {
  const ExifBuilder enc(mm);
  Bytes note = prefix;
  Bytes data;
  const std::size_t data_at = prefix.size() + 2 + 12 * entries.size() + 4;
  const auto put = [&](std::uint64_t v, int n) {
    const Bytes b = enc.Encode(n == 2 ? 3 : 4, {std::int64_t(v)});
    note.insert(note.end(), b.begin(), b.end());
  };
  put(entries.size(), 2);
  for (const NoteEntry& e : entries) {
    Bytes value = enc.Encode(e.type, e.numbers);
    const int size = e.type == 3 ? 2 : e.type == 5 ? 8 : e.type == 4 ? 4 : 1;
    put(e.tag, 2);
    put(e.type, 2);
    put(value.size() / (e.type == 5 ? 8 : size), 4);
    if (value.size() <= 4) {
      value.resize(4, 0);
      note.insert(note.end(), value.begin(), value.end());
    } else {
      put(std::uint64_t(std::int64_t(data_at + data.size()) + offset_base), 4);
      data.insert(data.end(), value.begin(), value.end());
    }
  }
  put(0, 4);
  note.insert(note.end(), data.begin(), data.end());
  return note;
}

// IFD0 {Make, ExifOffset}, Exif {ExifVersion, MakerNote, ExposureTime}: the note's first
// byte lies at TIFF offset 80 + the Make bytes.
constexpr std::uint32_t kNoteAfterDirs = 80;

Bytes MakerJpeg(bool mm, const std::string& make, const std::string& version,
                const std::function<Bytes(std::uint32_t)>& note) {
  const std::string make_bytes = make + '\0';
  const Bytes n = note(kNoteAfterDirs + static_cast<std::uint32_t>(make_bytes.size()));
  const std::vector<ExifDir> dirs = {{{0x010F, 2, {}, make_bytes}, {0x8769, 4, {}, {}, 1}},
                                     {{0x9000, 7, {}, version},
                                      {0x927C, 7, {}, std::string(n.begin(), n.end())},
                                      {0x829A, 5, {1, 60}}}};
  return testing::JpegHeader({{0xE1, ExifBuilder(mm).Payload(dirs)}});
}

std::vector<std::string> MakerLines(TimgData& holder) {
  std::vector<std::string> lines = ReportMakerBlock(holder);
  return {lines.begin() + 2, lines.end()};
}

std::vector<std::int64_t> CanonList(std::vector<std::int64_t> head, std::size_t size) {
  head.resize(size, 0);
  return head;
}

TEST(MakerNote, CanonSubFieldsStandBeforeTheirEntry) {
  const auto settings1 = CanonList({92, 1, 0, 3, 2, 1, 0, 3, 0, 0, 0, 1}, 46);
  const Bytes jpeg = MakerJpeg(false, "Canon", "0220", [&](std::uint32_t at) {
    return NoteBytes(false, {},
                     {{0x0001, 3, settings1},
                      {0x0002, 3, {7}},
                      {0x0005, 3, {9}},
                      {0x000F, 3, {0x0101, 0x0E00, 0x1000, 5000}},
                      {0x0009, 2, {}}},
                     at);
  });
  TimgData holder;
  ASSERT_TRUE(holder.ReadMetadataBytes(jpeg));
  ASSERT_TRUE(holder.ExifInfo()->MakerNoteDecoded());
  const std::vector<std::string> lines = MakerLines(holder);
  ASSERT_GE(lines.size(), 8u);
  EXPECT_EQ(lines[0], "Macro mode = Macro");
  EXPECT_EQ(lines[1], "Self Timer =  1");  // a plain item keeps its leading space
  EXPECT_EQ(lines[2], "Compression Rate = Basic");
  EXPECT_EQ(lines[3], "Flash Mode = On");
  EXPECT_EQ(lines[4], "Drive Mode = Continuous");
  EXPECT_EQ(lines[5], "Focus Mode = MF");
  // Image Size is item 11: 0 = Large; Easy Shoot item 12: 1 = Manual.
  EXPECT_EQ(lines[6], "Image Size = Large");
  EXPECT_EQ(lines[7], "Easy Shoot = Manual");
  std::string joined;
  for (const std::string& l : lines) joined += l + "|";
  EXPECT_NE(joined.find("|ExposureInfo1 = 92, 1, 0, 3, 2, 1, 0, 3, 0, 0, 0, 1, 0,"),
            std::string::npos);
  // Custom functions: 1 and 14 decoded (with the list's space), 16 and 5000 passed over;
  // tag 2 is a Skip row and tag 5 is in no row.
  EXPECT_NE(joined.find("|Noise Reduction =  On|Superimposed Display =  On|CustomFunctions = "),
            std::string::npos);
  EXPECT_EQ(joined.find("= 7|"), std::string::npos);
  EXPECT_EQ(joined.find("= 9|"), std::string::npos);
}

TEST(MakerNote, NikonWithNewerExifVersionReadsTheNotesOwnHeader) {
  const Bytes prefix = {'N', 'i', 'k', 'o', 'n', 0, 2, 0, 0, 0, 'M', 'M', 0, 42, 0, 0, 0, 8};
  const Bytes jpeg = MakerJpeg(true, "NIKON CORPORATION", "0220", [&](std::uint32_t) {
    return NoteBytes(true, prefix,
                     {{0x0002, 3, {0, 200}}, {0x0084, 5, {180, 10, 700, 10, 35, 10, 45, 10}}}, -10);
  });
  TimgData holder;
  ASSERT_TRUE(holder.ReadMetadataBytes(jpeg));
  EXPECT_EQ(MakerLines(holder),
            (std::vector<std::string>{"ISO Speed = 0, 200",
                                      "Lens information = 18.0-70.0(mm)  F3.5-F4.5"}));
}

TEST(MakerNote, NikonFirstFormatListsItsFirstRow) {
  const Bytes prefix = {'N', 'i', 'k', 'o', 'n', 0, 1, 0};
  const Bytes jpeg = MakerJpeg(false, "NIKON", "0210", [&](std::uint32_t at) {
    return NoteBytes(false, prefix, {{0x0002, 2, {}}, {0x0003, 3, {12}}, {0x0009, 3, {1}}}, at);
  });
  TimgData holder;
  ASSERT_TRUE(holder.ReadMetadataBytes(jpeg));
  EXPECT_EQ(MakerLines(holder),
            (std::vector<std::string>{"FamilyID = \"\"", "Quality = 2 Mpixel Fine"}));
}

TEST(MakerNote, FujifilmIsReadLittleEndianInAMotorolaFile) {
  Bytes prefix = testing::Text("FUJIFILM");
  prefix.insert(prefix.end(), {12, 0, 0, 0});
  const Bytes jpeg = MakerJpeg(true, "FUJIFILM", "0210", [&](std::uint32_t) {
    return NoteBytes(false, prefix, {{0x1001, 3, {3}}, {0x1002, 3, {1024}}}, 0);
  });
  TimgData holder;
  ASSERT_TRUE(holder.ReadMetadataBytes(jpeg));
  EXPECT_EQ(MakerLines(holder),
            (std::vector<std::string>{"Sharpness = Normal", "WhiteBalance = Incandenscense"}));
  // The field after the note is read big-endian again.
  EXPECT_EQ(holder.ExifInfo()->FindTagText("ExposureTime"), "1/60 sec");
  EXPECT_TRUE(holder.MotorolaOrder());
}

TEST(MakerNote, UnknownMakerAddsNothing) {
  const Bytes jpeg = MakerJpeg(false, "Kodak", "0220", [&](std::uint32_t at) {
    return NoteBytes(false, {}, {{0x0001, 3, {1}}}, at);
  });
  TimgData holder;
  ASSERT_TRUE(holder.ReadMetadataBytes(jpeg));
  EXPECT_FALSE(holder.ExifInfo()->MakerNoteDecoded());
  EXPECT_TRUE(MakerLines(holder).empty());
  // Kodak.jpg: "EASTMAN KODAK COMPANY" has no table; its note stays one EXIF line.
  ASSERT_TRUE(holder.ReadMetadata(testing::DataPath("jpeg/Kodak.jpg")));
  EXPECT_FALSE(holder.ExifInfo()->MakerNoteDecoded());
  EXPECT_EQ(holder.ExifInfo()->FindTagText("MakerNote").substr(0, 11), "\"KDK INFODX");
}

TEST(MakerNote, DirectoryPastTheSegmentIsRecordedNotRead) {
  // A note that claims 5000 entries in a few bytes.
  const Bytes jpeg = MakerJpeg(false, "OLYMPUS", "0220", [&](std::uint32_t) {
    return Bytes{'O', 'L', 'Y', 'M', 'P', 0, 1, 0, 0x88, 0x13};
  });
  TimgData holder;
  ASSERT_TRUE(holder.ReadMetadataBytes(jpeg));
  EXPECT_TRUE(holder.ExifInfo()->MakerNoteDecoded());
  EXPECT_TRUE(MakerLines(holder).empty());
  EXPECT_EQ(holder.ErrorText(), "<none>");  // the scan's result replaces the walk's error
  EXPECT_EQ(holder.ExifInfo()->FindTagText("ExposureTime"), "1/60 sec");
}

// Camera files: the maker lines agree with what exiftool 12.57 reads from the same bytes
// where our tables decode the same field (NikonD70: Lens 18-70mm f/3.5-4.5, Quality Fine;
// Canon: Lens 18.0 - 55.0 mm, WhiteBalance Auto; FujiFilm: Quality NORMAL).
struct CameraCase {
  const char* file;
  std::vector<std::string> expected_lines;  // each somewhere in the maker block
};

TEST(MakerNoteFiles, DecodeTheFieldsOfTheirTables) {
  const CameraCase cases[] = {
      {"NikonD70.jpg",
       {"Quality = \"FINE   .\"", "Lens information = 18.0-70.0(mm)  F3.5-F4.5",
        "Color Mode = Mode 2 (Adobe RGB)"}},
      {"Canon.jpg",
       {"Long focal =  55", "Short focal =  18", "White balance = Auto",
        "OwnerName = \"Phil Harvey.....................\""}},
      {"FujiFilm.jpg",
       {"Quality = \"NORMAL .\"", "Sharpness = Normal", "FlashMode = Red-eye reduction"}},
      {"Casio.jpg", {"RecordingMode = Single Shutter", "FlashMode = Red Eye Reduction"}},
      {"Casio2.jpg",
       {"Thumbnail Dimensions = 320, 240", "Time Zone = \"New York................\""}},
      {"Olympus.jpg", {"JpegQual = SQ", "Macro = ", "Firmware = \"SR951\""}},
      {"Nikon.jpg", {"Quality = \"FINE  .\"", "Color Mode = \"COLOR.\""}},
      {"Sanyo.jpg", {"Special Mode = 0, 0, 0", "DigiZoom = 0/100"}},
      {"Minolta.jpg", {"PIMdata = \"PrintIM.0100............................\""}},
  };
  for (const CameraCase& c : cases) {
    TimgData holder;
    ASSERT_TRUE(holder.ReadMetadata(testing::DataPath(std::string("jpeg/") + c.file))) << c.file;
    ASSERT_TRUE(holder.ExifInfo()->MakerNoteDecoded()) << c.file;
    const std::vector<std::string> lines = MakerLines(holder);
    for (const std::string& want : c.expected_lines) {
      EXPECT_NE(std::find(lines.begin(), lines.end(), want), lines.end()) << c.file << ": " << want;
    }
  }
}

}  // namespace
}  // namespace tolvane
