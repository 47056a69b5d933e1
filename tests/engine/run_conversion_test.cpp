#include "engine/run_conversion.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>

#include "formats/exif/ExifData.h"
#include "frozen_folder.h"
#include "imaging/tbitmap.h"
#include "platform/file_ops.h"
#include "recording_host.h"
#include "temp_dir.h"

namespace tolvane {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using testing::RecordingHost;
using testing::TempDir;

// A picture whose every pixel tells where it came from.
TColor Marker(int x, int y) { return RGBColor(x & 0xFF, y & 0xFF, (x >> 8) * 16 + (y >> 8)); }

TBitmap Picture(int w, int h) {
  TBitmap image;
  image.Create(w, h, 24);
  for (int y = 0; y < h; ++y) {
    std::uint8_t* row = image.ScanLine(y);
    for (int x = 0; x < w; ++x) {
      const TColor c = Marker(x, y);
      row[3 * x] = BlueOf(c), row[3 * x + 1] = GreenOf(c), row[3 * x + 2] = RedOf(c);
    }
  }
  return image;
}

TImageEntry WriteSource(const TempDir& dir, const std::string& name, int w, int h) {
  Picture(w, h).SaveToFile(dir / name);
  return {0, name, "", "", dir / name};
}

TBitmap Load(const std::string& path) {
  TBitmap image;
  EXPECT_TRUE(image.LoadFromFile(path).ok()) << path;
  return image;
}

class RunConversionTest : public ::testing::Test {
 protected:
  TConvertOptions Options() {
    TConvertOptions o;
    o.TargetFolder = out.folder();
    return o;
  }
  TempDir in, out;
  RecordingHost host;
};

TEST_F(RunConversionTest, EmptyListDoesNothing) {
  TConvertOptions o = Options();
  RunConversion(o, {}, host);
  EXPECT_TRUE(host.calls.empty());
}

TEST_F(RunConversionTest, ConvertsInListOrderWithProgress) {
  TConvertOptions o = Options();
  o.Rename = true;
  std::vector<TImageEntry> entries = {WriteSource(in, "b.bmp", 4, 3),
                                      WriteSource(in, "a.bmp", 2, 2)};
  RunConversion(o, entries, host);
  EXPECT_THAT(host.calls, ElementsAre("enter", "max 1", "pos 0", "show", "pos 0", "pos 1", "pos 0",
                                      "hide", "leave"));
  EXPECT_EQ(out.Files(), (std::vector<std::string>{"Image1.bmp", "Image2.bmp"}));
  EXPECT_EQ(Load(out / "Image1.bmp").Width(), 4);
  EXPECT_EQ(in.Files().size(), 2u);
  EXPECT_EQ(host.pumped, 2);
}

TEST_F(RunConversionTest, CopyIntoTheSourceFolderTakesACollisionPrefix) {
  TConvertOptions o = Options();
  o.SameFolder = true;
  RunConversion(o, {WriteSource(in, "p.bmp", 3, 2)}, host);
  const auto files = in.Files();
  ASSERT_EQ(files.size(), 2u);
  EXPECT_THAT(files[0], ::testing::MatchesRegex("[0-9]{1,4}_p\\.bmp"));
  EXPECT_EQ(files[1], "p.bmp");
}

TEST_F(RunConversionTest, MoveIntoTheSourceFolderKeepsTheSourceName) {
  TConvertOptions o = Options();
  o.SameFolder = true;
  o.Operation = TFileOperation::kMoveFiles;
  o.RotateEnabled = true;
  o.RotateOption = TRotateOption::kRotateRight;
  RunConversion(o, {WriteSource(in, "p.bmp", 3, 2)}, host);
  EXPECT_EQ(in.Files(), std::vector<std::string>{"p.bmp"});
  EXPECT_EQ(Load(in / "p.bmp").Width(), 2);  // the converted picture replaced the source
  EXPECT_THAT(host.calls, ::testing::Contains("clear"));
}

TEST_F(RunConversionTest, MoveKeepsSourcesThatProduceNoOutput) {
  TConvertOptions o = Options();
  o.Operation = TFileOperation::kMoveFiles;
  testing::WriteBytes(in / "broken.bmp", {'B', 'M', 1, 2, 3});
  testing::WriteBytes(in / "icon.ico", {0, 0, 1, 0});
  const std::vector<TImageEntry> entries = {{0, "broken.bmp", "", "", in / "broken.bmp"},
                                            {0, "icon.ico", "", "", in / "icon.ico"},
                                            WriteSource(in, "good.bmp", 2, 2)};
  RunConversion(o, entries, host);
  EXPECT_EQ(in.Files(), (std::vector<std::string>{"broken.bmp", "icon.ico"}));
  EXPECT_EQ(out.Files(), std::vector<std::string>{"good.bmp"});
  ASSERT_EQ(host.not_converted.size(), 2u);
  EXPECT_THAT(host.not_converted[0], HasSubstr("broken.bmp: cannot decode"));
  EXPECT_THAT(host.not_converted[1], HasSubstr("no decoder for files of type .ico"));
}

// Keep-extension mode has no writer for metafiles played from WMF: the source stays.
TEST_F(RunConversionTest, KeepExtensionWithoutAWriterWritesNothing) {
  TConvertOptions o = Options();
  o.Operation = TFileOperation::kMoveFiles;
  std::filesystem::copy_file(
      std::string(TOLVANE_TEST_DATA) + "/metafile/pillow_drawing_placeable.wmf", in / "d.wmf");
  RunConversion(o, {{0, "d.wmf", "", "", in / "d.wmf"}}, host);
  EXPECT_TRUE(out.Files().empty());
  EXPECT_EQ(in.Files(), std::vector<std::string>{"d.wmf"});
  EXPECT_THAT(host.not_converted, ElementsAre("d.wmf: no writer for files of type .wmf"));

  o.OutputFormat = TOutputFormat::kEmf;
  RunConversion(o, {{0, "d.wmf", "", "", in / "d.wmf"}}, host);
  EXPECT_EQ(out.Files(), std::vector<std::string>{"d.emf"});
  EXPECT_TRUE(in.Files().empty());
}

TEST_F(RunConversionTest, CancelStopsBeforeTheNextFileAndMoveStillClearsTheList) {
  TConvertOptions o = Options();
  o.Operation = TFileOperation::kMoveFiles;
  std::vector<TImageEntry> entries;
  for (int i = 1; i <= 10; ++i)
    entries.push_back(WriteSource(in, "f" + std::to_string(i) + ".bmp", 2, 2));
  host.cancel_at_pump = [](int pumps) { return pumps == 4; };  // Cancel while file 3 runs
  RunConversion(o, entries, host);
  EXPECT_EQ(out.Files(), (std::vector<std::string>{"f1.bmp", "f2.bmp", "f3.bmp"}));
  EXPECT_EQ(in.Files().size(), 7u);
  EXPECT_THAT(host.calls, ::testing::Contains("clear"));
  EXPECT_FALSE(host.in_run_mode);
}

TEST_F(RunConversionTest, NumbersFollowListPositionsEvenWhenAFileFails) {
  TConvertOptions o = Options();
  o.Rename = true;
  testing::WriteBytes(in / "bad.bmp", {'B', 'A'});
  RunConversion(o,
                {WriteSource(in, "a.bmp", 2, 2),
                 {0, "bad.bmp", "", "", in / "bad.bmp"},
                 WriteSource(in, "c.bmp", 2, 2)},
                host);
  EXPECT_EQ(out.Files(), (std::vector<std::string>{"Image1.bmp", "Image3.bmp"}));
}

TEST_F(RunConversionTest, SimpleMoveInPlaceDoesNothingButClearsTheList) {
  TConvertOptions o = Options();
  o.Operation = TFileOperation::kSimpleMove;
  o.SameFolder = true;
  RunConversion(o, {WriteSource(in, "p.bmp", 2, 2)}, host);
  EXPECT_EQ(in.Files(), std::vector<std::string>{"p.bmp"});
  EXPECT_THAT(host.calls, ElementsAre("enter", "clear", "leave"));
  EXPECT_EQ(host.pumped, 0);
}

// The target folder is the source folder reached through a link or "..": the file is already
// where it should go, so nothing is copied and, above all, nothing deleted.
TEST_F(RunConversionTest, SimpleMoveIntoItsOwnFolderByAnotherPathKeepsTheFile) {
  std::filesystem::create_directory_symlink(in.folder(), out / "link");
  std::filesystem::create_directory(out / "sub");
  TConvertOptions o = Options();
  o.Operation = TFileOperation::kSimpleMove;
  for (const std::string& target : {out / "link/", out / "sub/../link/"}) {
    testing::WriteBytes(in / "keep.JPG", {7, 7});
    o.TargetFolder = target;
    RunConversion(o, {{0, "keep.JPG", "", "", in / "keep.JPG"}}, host);
    EXPECT_EQ(testing::ReadBytes(in / "keep.JPG"), (std::vector<std::uint8_t>{7, 7})) << target;
  }
}

TEST_F(RunConversionTest, SimpleCopyAndMoveCopyUnchangedAndDeleteOnlyAfterACopy) {
  TConvertOptions o = Options();
  o.Operation = TFileOperation::kSimpleCopy;
  o.Rename = true;
  testing::WriteBytes(in / "x.JPG", {1, 2, 3});
  RunConversion(o, {{0, "x.JPG", "", "", in / "x.JPG"}}, host);
  EXPECT_EQ(testing::ReadBytes(out / "Image1.jpg"), (std::vector<std::uint8_t>{1, 2, 3}));

  o.Operation = TFileOperation::kSimpleMove;
  o.TargetFolder = out / "missing/";
  RunConversion(o, {{0, "x.JPG", "", "", in / "x.JPG"}}, host);
  EXPECT_EQ(in.Files(), std::vector<std::string>{"x.JPG"});  // the copy failed: source kept
  EXPECT_THAT(host.not_converted, ElementsAre("x.JPG: cannot copy to \"" + out.folder() +
                                              "missing/Image1.jpg\": No such file or directory"));

  o.TargetFolder = out.folder();
  o.Rename = false;
  RunConversion(o, {{0, "x.JPG", "", "", in / "x.JPG"}}, host);
  EXPECT_TRUE(in.Files().empty());
  EXPECT_EQ(out.Files(), (std::vector<std::string>{"Image1.jpg", "x.JPG"}));
}

// A file listed twice, also by another name, is moved once: converting it a second time in
// place would turn it twice. The same with workers, which decode ahead of the first delivery.
TEST_F(RunConversionTest, MoveTakesAFileListedTwiceOnce) {
  std::filesystem::create_symlink(in / "p.bmp", in / "alias.bmp");
  TConvertOptions o = Options();
  o.SameFolder = true;
  o.Operation = TFileOperation::kMoveFiles;
  o.RotateEnabled = true;
  o.RotateOption = TRotateOption::kRotateRight;
  for (const int jobs : {1, 2}) {
    const TImageEntry p = WriteSource(in, "p.bmp", 3, 2);
    host.not_converted.clear();
    RunConversion(o, {p, p, {0, "alias.bmp", "", "", in / "alias.bmp"}}, host, RunSettings{jobs});
    EXPECT_EQ(Load(in / "p.bmp").Width(), 2) << jobs;  // one quarter turn
    const std::string earlier =
        ": the same file as \"" + in / "p.bmp" + "\", earlier in this batch";
    EXPECT_THAT(host.not_converted, ElementsAre("p.bmp" + earlier, "alias.bmp" + earlier));
  }
}

// Renamed copies into the source folder would replace a file of the batch before its turn.
TEST_F(RunConversionTest, SimpleRunsNeverReplaceALaterSourceOfTheBatch) {
  for (const auto operation : {TFileOperation::kSimpleCopy, TFileOperation::kSimpleMove}) {
    TempDir dir;
    TConvertOptions o = Options();
    o.Operation = operation;
    o.SameFolder = true;
    o.Rename = true;
    testing::WriteBytes(dir / "x.jpg", {1});
    testing::WriteBytes(dir / "Image1.jpg", {2});
    host.not_converted.clear();
    RunConversion(
        o, {{0, "x.jpg", "", "", dir / "x.jpg"}, {0, "Image1.jpg", "", "", dir / "Image1.jpg"}},
        host);
    EXPECT_THAT(host.not_converted, ElementsAre("x.jpg: would replace \"" + dir / "Image1.jpg" +
                                                "\", which comes later in this batch"));
    EXPECT_EQ(testing::ReadBytes(dir / "x.jpg"), std::vector<std::uint8_t>{1});
    EXPECT_EQ(testing::ReadBytes(dir / "Image2.jpg"), std::vector<std::uint8_t>{2});
  }
}

// The output is in place but the source cannot go: the entry says so.
TEST_F(RunConversionTest, AMoveThatCannotDeleteItsSourceSaysSo) {
  for (const auto operation : {TFileOperation::kMoveFiles, TFileOperation::kSimpleMove}) {
    TempDir source, target;
    const TImageEntry p = WriteSource(source, "p.bmp", 2, 2);
    TConvertOptions o = Options();
    o.TargetFolder = target.folder();
    o.Operation = operation;
    testing::FrozenFolder frozen(source.folder());
    if (!frozen.frozen()) GTEST_SKIP() << "no way to make a folder undeletable here";
    host.not_deleted.clear();
    RunConversion(o, {p}, host);
    EXPECT_EQ(target.Files(), std::vector<std::string>{"p.bmp"});
    EXPECT_EQ(source.Files(), std::vector<std::string>{"p.bmp"});
    EXPECT_THAT(host.not_deleted,
                ElementsAre(::testing::StartsWith("p.bmp: cannot delete the source: ")));
  }
}

// Crop and canvas values are transposed after a quarter turn.
TEST_F(RunConversionTest, CropAndCanvasFollowTheRotateOption) {
  struct Case {
    TRotateOption rotate;
    bool rotate_enabled;
    bool crop;  // crop left 10, else canvas left 5
    int width, height;
    int probe_x, probe_y;  // a pixel of the output ...
    TColor expected;       // ... and what it must hold
  } cases[] = {
      // 200 x 100 rotated right is 100 x 200; ten rows go at the top.
      {TRotateOption::kRotateRight, true, true, 100, 190, 0, 0, Marker(10, 99)},
      {TRotateOption::kFlipVertically, true, true, 190, 100, 0, 0, Marker(10, 99)},
      // Rotate Left with a left canvas of 5: the border lands at the top.
      {TRotateOption::kRotateLeft, true, false, 100, 205, 50, 4, kBlack},
      // Rotate Right left unticked: no turn, but the values are still transposed.
      {TRotateOption::kRotateRight, false, true, 200, 90, 0, 0, Marker(0, 10)},
  };
  for (const Case& c : cases) {
    TempDir target;
    TConvertOptions o = Options();
    o.TargetFolder = target.folder();
    o.RotateOption = c.rotate;
    o.RotateEnabled = c.rotate_enabled;
    if (c.crop) {
      o.CropEnabled = true;
      o.CropLeft = 10;
    } else {
      o.CanvasEnabled = true;
      o.CanvasLeft = 5;
    }
    RecordingHost h;
    RunConversion(o, {WriteSource(in, "s.bmp", 200, 100)}, h);
    const TBitmap result = Load(target / "s.bmp");
    EXPECT_EQ(result.Width(), c.width) << int(c.rotate);
    EXPECT_EQ(result.Height(), c.height) << int(c.rotate);
    EXPECT_EQ(result.Pixels(c.probe_x, c.probe_y), c.expected) << int(c.rotate);
  }
}

TEST_F(RunConversionTest, CropRightCarriesOverToTheFollowingFiles) {
  TConvertOptions o = Options();
  o.Rename = true;
  o.CropEnabled = true;
  o.CropLeft = 100;
  o.CropRight = 250;
  RunConversion(o,
                {WriteSource(in, "wide.bmp", 1000, 4), WriteSource(in, "narrow.bmp", 300, 4),
                 WriteSource(in, "wide2.bmp", 1000, 4)},
                host);
  EXPECT_EQ(Load(out / "Image1.bmp").Width(), 650);
  EXPECT_FALSE(FileExists(out / "Image2.bmp"));  // an empty rectangle: no output
  const TBitmap third = Load(out / "Image3.bmp");
  EXPECT_EQ(third.Width(), 700);  // columns 100 to 799
  EXPECT_EQ(third.Pixels(0, 0), Marker(100, 0));
  EXPECT_EQ(o.CropRight, 200);
  ASSERT_EQ(host.crop_ranges.size(), 3u);
  EXPECT_EQ(host.crop_ranges[1].horizontal_extent, 300);
  EXPECT_EQ(host.crop_ranges[1].right, 200);
}

TEST_F(RunConversionTest, CropOutOfRangeStopsTheRunAndLeavesRunMode) {
  TConvertOptions o = Options();
  o.CropEnabled = true;
  o.CropTop = 50;
  try {
    RunConversion(o,
                  {WriteSource(in, "a.bmp", 100, 100), WriteSource(in, "b.bmp", 100, 20),
                   WriteSource(in, "c.bmp", 100, 100)},
                  host);
    FAIL() << "no error";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), kCropOutOfRangeMessage);
  }
  EXPECT_EQ(out.Files(), std::vector<std::string>{"a.bmp"});
  EXPECT_FALSE(host.in_run_mode);
  EXPECT_EQ(host.calls.back(), "leave");
}

TEST_F(RunConversionTest, WriterErrorsStopTheRunAndLeaveRunMode) {
  TConvertOptions o = Options();
  o.TargetFolder = out / "no/such/folder/";
  EXPECT_THROW(RunConversion(o, {WriteSource(in, "a.bmp", 2, 2)}, host), std::runtime_error);
  EXPECT_FALSE(host.in_run_mode);
}

TEST_F(RunConversionTest, BadBaseNameIsRefusedBeforeTheRun) {
  TConvertOptions o = Options();
  o.Rename = true;
  o.BaseName = "../escape";
  EXPECT_THROW(RunConversion(o, {WriteSource(in, "a.bmp", 2, 2)}, host), std::invalid_argument);
  EXPECT_TRUE(host.calls.empty());
  EXPECT_TRUE(out.Files().empty());
}

TEST_F(RunConversionTest, ResizeWritesBackAndTooSmallTargetsOnlyWarn) {
  TConvertOptions o = Options();
  o.Rename = true;
  o.ResizeEnabled = true;
  o.ResizeWidth = 10;
  o.ResizeHeight = 99;  // derived from the width
  // The first file writes back 10 x 2; the check on the next file sees that height of 2, so
  // the second file is refused and written unresized.
  RunConversion(o, {WriteSource(in, "a.bmp", 8, 2), WriteSource(in, "b.bmp", 20, 40)}, host);
  EXPECT_EQ(Load(out / "Image1.bmp").Height(), 2);
  EXPECT_EQ(Load(out / "Image2.bmp").Height(), 40);
  EXPECT_THAT(host.calls, ::testing::Contains("resize 10x2"));
  EXPECT_THAT(host.messages, ElementsAre("The new image must be > 5x5 pixels"));
  EXPECT_EQ(o.ResizeHeight, 2);

  TempDir other;
  o.TargetFolder = other.folder();
  o.ResizeWidth = 12;
  o.ResizeHeight = 99;
  RecordingHost h;
  RunConversion(o, {WriteSource(in, "b.bmp", 20, 40)}, h);
  EXPECT_EQ(Load(other / "Image1.bmp").Height(), 24);
  EXPECT_TRUE(h.messages.empty());
}

// A tiny file must not make an operation ask for gigabytes: results over the pixel limit fail
// that file alone, without a write-back, and the run goes on.
TEST_F(RunConversionTest, OperationResultsOverThePixelLimitFailTheirFileAlone) {
  TConvertOptions o = Options();
  o.ResizeEnabled = true;
  o.ResizeWidth = 4000;
  o.ResizeHeight = 3000;  // derived from the width: a 1 x 1000 picture would be 4000 x 4000000
  RunConversion(o, {WriteSource(in, "thin.bmp", 1, 1000), WriteSource(in, "ok.bmp", 40, 30)}, host);
  EXPECT_THAT(host.not_converted, ElementsAre("thin.bmp: too large: 4000 x 4000000"));
  EXPECT_EQ(out.Files(), std::vector<std::string>{"ok.bmp"});
  EXPECT_EQ(Load(out / "ok.bmp").Width(), 4000);
  EXPECT_THAT(host.calls, ::testing::Not(::testing::Contains("resize 4000x4000000")));

  TempDir other;
  o = Options();
  o.TargetFolder = other.folder();
  o.CanvasEnabled = true;
  o.CanvasLeft = o.CanvasTop = o.CanvasRight = o.CanvasBottom = 32767;
  RecordingHost h;
  RunConversion(o, {WriteSource(in, "ok.bmp", 2, 2)}, h);
  EXPECT_THAT(h.not_converted, ElementsAre("ok.bmp: too large: 65536 x 65536"));
  EXPECT_TRUE(other.Files().empty());
}

TEST_F(RunConversionTest, AdjustmentsRunInTheirFixedOrder) {
  TConvertOptions o = Options();
  o.AdjustEnabled = true;
  o.Invert = o.GrayScale = true;
  TBitmap red;
  red.Create(1, 1, 24);
  red.FillRect(RGBColor(255, 0, 0));
  red.SaveToFile(in / "r.bmp");
  RunConversion(o, {{0, "r.bmp", "", "", in / "r.bmp"}}, host);
  // Inverted first (0, 255, 255), then grey: 510 div 3.
  EXPECT_EQ(Load(out / "r.bmp").Pixels(0, 0), RGBColor(170, 170, 170));
}

}  // namespace
}  // namespace tolvane

namespace tolvane {
namespace {

// A host that owns the metadata holder, as the window does.
class HolderHost : public testing::RecordingHost {
 public:
  TimgData holder;
  std::vector<std::string> exif_lines;
  TimgData* MetadataHolder() override { return &holder; }
  void AppendExifText(const std::string& text) override { exif_lines.push_back(text); }
};

// NikonD70.jpg holds 71 x 47 pixels; its EXIF (Motorola order, SHORT fields) says 3008 x 2000.
TEST(RunConversionMetadata, QuarterTurnWritesTheTurnedSizeAndKeepsOrientation) {
  TempDir in, out;
  std::filesystem::copy_file(std::string(TOLVANE_TEST_DATA) + "/jpeg/NikonD70.jpg", in / "n.jpg");
  TConvertOptions o;
  o.TargetFolder = out.folder();
  o.RotateEnabled = true;
  o.RotateOption = TRotateOption::kRotateRight;
  HolderHost host;
  RunConversion(o, {{0, "n.jpg", "", "", in / "n.jpg"}}, host);
  ASSERT_EQ(host.outputs.size(), 1u);
  EXPECT_EQ(host.exif_lines.at(2), "ErrStr = <none>");
  EXPECT_EQ(host.exif_lines.at(3), "Motorola Byte Order");
  EXPECT_EQ(host.holder.FileName(), in / "n.jpg");  // the front-end's holder keeps the source
  TimgData written;
  ASSERT_TRUE(written.ReadMetadata(host.outputs[0]));
  EXPECT_EQ(written.ExifInfo()->FindTagText("ExifImageWidth"), "47");
  EXPECT_EQ(written.ExifInfo()->FindTagText("ExifImageLength"), "71");
  EXPECT_EQ(written.ExifInfo()->FindTagText("Orientation"), "Normal");
}

TEST(RunConversionMetadata, RunWithoutAFrontEndHolderStillCarriesTheSegments) {
  TempDir in, out;
  std::filesystem::copy_file(std::string(TOLVANE_TEST_DATA) + "/jpeg/NikonD70.jpg", in / "n.jpg");
  WriteSource(in, "p.bmp", 4, 3);
  TConvertOptions o;
  o.TargetFolder = out.folder();
  o.OutputFormat = TOutputFormat::kJpeg;
  RecordingHost host;
  RunConversion(o, {{0, "n.jpg", "", "", in / "n.jpg"}, {0, "p.bmp", "", "", in / "p.bmp"}}, host);
  ASSERT_EQ(host.outputs.size(), 2u);
  TimgData first, second;
  EXPECT_TRUE(first.ReadMetadata(host.outputs[0]));
  EXPECT_TRUE(first.HasExif());
  // The BMP source emptied the holder: its output has the default JFIF header only.
  EXPECT_FALSE(second.ReadMetadata(host.outputs[1]));
  EXPECT_FALSE(second.HasMetadata());
}

}  // namespace
}  // namespace tolvane
