// tolvane-batch as a script would use it: exit statuses, stderr lines, outputs on disk.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>

#include "frozen_folder.h"
#include "imaging/tbitmap.h"
#include "temp_dir.h"

namespace tolvane {
namespace {

using ::testing::HasSubstr;
using testing::TempDir;

struct Outcome {
  int status = -1;
  std::string output;  // stdout and stderr together
};

Outcome RunBatch(const std::string& arguments, const std::string& before = "") {
  const std::string command = before + TOLVANE_BATCH_EXE + " " + arguments + " 2>&1";
  Outcome outcome;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return outcome;
  char buffer[4096];
  while (std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe))
    outcome.output.append(buffer, n);
  const int raw = ::pclose(pipe);
  outcome.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return outcome;
}

void WriteBmp(const std::string& path, int w, int h) {
  TBitmap image;
  image.Create(w, h, 24);
  image.FillRect(RGBColor(10, 20, 30));
  image.SaveToFile(path);
}

TEST(Batch, HelpAndVersion) {
  const Outcome help = RunBatch("--help");
  EXPECT_EQ(help.status, 0);
  EXPECT_THAT(help.output,
              HasSubstr("Usage: tolvane-batch [options] -o DIR|--same-folder FILE..."));
  EXPECT_THAT(help.output, HasSubstr("--canvas-color RRGGBB"));
  EXPECT_EQ(RunBatch("--version").status, 0);
}

TEST(Batch, BadUsageExitsWithTwo) {
  TempDir out;
  for (const std::string args :
       {"--operation sideways", "--no-such-option", "--format webp", "-Q 101", "--crop 1,2,3",
        "--canvas 0,0,0,10001", "--canvas-color 12345G", "--rename ../x", "--resize 10xy",
        "--jobs 0", "-j many"}) {
    const Outcome o = RunBatch("-o " + out.folder() + " " + args + " x.bmp");
    EXPECT_EQ(o.status, 2) << args << "\n" << o.output;
    EXPECT_THAT(o.output, HasSubstr("tolvane-batch: ")) << args;
  }
}

TEST(Batch, ConvertsAndNamesEveryFileWithoutOutput) {
  TempDir in, out;
  WriteBmp(in / "a.bmp", 6, 4);
  testing::WriteBytes(in / "broken.bmp", {'B', 'M'});
  const Outcome o =
      RunBatch("-o " + out.folder() + " --rotate right --rename Pic " + (in / "a.bmp") + " " +
               (in / "broken.bmp") + " " + (in / "missing.bmp"));
  EXPECT_EQ(o.status, 1) << o.output;
  EXPECT_THAT(o.output, HasSubstr(in / "broken.bmp: cannot decode"));
  EXPECT_THAT(o.output, HasSubstr(in / "missing.bmp: cannot open: No such file or directory"));
  ASSERT_EQ(out.Files(), std::vector<std::string>{"Pic1.bmp"});
  TBitmap result;
  ASSERT_TRUE(result.LoadFromFile(out / "Pic1.bmp").ok());
  EXPECT_EQ(result.Width(), 4);
  EXPECT_EQ(result.Height(), 6);
}

TEST(Batch, SuccessExitsWithZeroAndMoveRemovesTheSource) {
  TempDir in, out;
  WriteBmp(in / "a.bmp", 8, 8);
  const Outcome o = RunBatch("--quiet --operation move --canvas 1,1,1,1 --canvas-color FF0000 -o " +
                             out.folder() + " " + (in / "a.bmp"));
  EXPECT_EQ(o.status, 0) << o.output;
  EXPECT_TRUE(in.Files().empty());
  TBitmap result;
  ASSERT_TRUE(result.LoadFromFile(out / "a.bmp").ok());
  EXPECT_EQ(result.Width(), 10);
  EXPECT_EQ(result.Pixels(0, 0), RGBColor(255, 0, 0));
}

// The files after the one that stopped the run are named too: a script learns of each entry.
TEST(Batch, RunStoppedByAnErrorExitsWithOneAndNamesTheFilesAfter) {
  TempDir in, out;
  WriteBmp(in / "a.bmp", 8, 8);
  WriteBmp(in / "b.bmp", 8, 8);
  const Outcome o =
      RunBatch("--crop 20,0,0,0 -o " + out.folder() + " " + (in / "a.bmp") + " " + (in / "b.bmp"));
  EXPECT_EQ(o.status, 1);
  EXPECT_EQ(o.output, "tolvane-batch: " + (in / "a.bmp") +
                          ": the run stopped: Scrollbar property out of range\n"
                          "tolvane-batch: " +
                          (in / "b.bmp") + ": not converted: the run stopped before this file\n");
}

// An output in place whose source could not be moved away is not a success.
TEST(Batch, MoveThatCannotDeleteItsSourceExitsWithOne) {
  TempDir in, out;
  WriteBmp(in / "a.bmp", 2, 2);
  testing::FrozenFolder frozen(in.folder());
  if (!frozen.frozen()) GTEST_SKIP() << "no way to make a folder undeletable here";
  const Outcome o = RunBatch("--operation move -o " + out.folder() + " " + (in / "a.bmp"));
  EXPECT_EQ(o.status, 1);
  EXPECT_THAT(o.output, HasSubstr(in / "a.bmp: cannot delete the source: "));
  EXPECT_EQ(out.Files(), std::vector<std::string>{"a.bmp"});
}

// A file that needs more memory than the process may have fails alone, in plain words.
TEST(Batch, OutOfMemoryFailsTheFileAloneInPlainWords) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer cannot run under an address-space limit";
#endif
  TempDir in, out;
  // A 16000 x 16000 RLE8 picture that is nothing but its end code: 1 KB asking for 256 MB.
  std::vector<std::uint8_t> bmp = {'B', 'M', 0x38, 4, 0, 0, 0, 0, 0, 0, 0x36, 4, 0, 0};
  const std::uint8_t info[] = {40, 0, 0, 0, 0x80, 0x3E, 0, 0, 0x80, 0x3E, 0, 0, 1, 0,
                               8,  0, 1, 0, 0,    0,    2, 0, 0,    0,    0, 0, 0, 0,
                               0,  0, 0, 0, 0,    1,    0, 0, 0,    0,    0, 0};
  bmp.insert(bmp.end(), std::begin(info), std::end(info));
  bmp.resize(bmp.size() + 1024);  // the palette
  bmp.insert(bmp.end(), {0, 1});
  testing::WriteBytes(in / "big.bmp", bmp);
  WriteBmp(in / "small.bmp", 2, 2);
  const Outcome o =
      RunBatch("-o " + out.folder() + " " + (in / "big.bmp") + " " + (in / "small.bmp"),
               "ulimit -v 200000; ");
  EXPECT_EQ(o.status, 1);
  EXPECT_EQ(o.output, "tolvane-batch: " + (in / "big.bmp") + ": cannot decode: out of memory\n");
  EXPECT_EQ(out.Files(), std::vector<std::string>{"small.bmp"});
}

// 75 bytes that an ordinary resize would make 4000 x 200000: refused before any allocation.
TEST(Batch, AResizeOverThePixelLimitFailsItsFile) {
  TempDir out;
  const std::string bomb = std::string(TOLVANE_TEST_DATA) + "/bombs/png_2x100.png";
  const Outcome o = RunBatch("--resize 4000x3000 -o " + out.folder() + " " + bomb);
  EXPECT_EQ(o.status, 1);
  EXPECT_EQ(o.output, "tolvane-batch: " + bomb + ": too large: 4000 x 200000\n");
  EXPECT_TRUE(out.Files().empty());
}

// A line break in a file name cannot forge a report line of its own.
TEST(Batch, ControlCharactersInNamesAreEscaped) {
  TempDir in, out;
  const std::string name = "x\ntolvane-batch: y.bmp";
  testing::WriteBytes(in / name, {'B', 'M'});
  const Outcome o = RunBatch("-o " + out.folder() + " '" + (in / name) + "'");
  EXPECT_EQ(o.status, 1);
  EXPECT_TRUE(o.output.starts_with("tolvane-batch: " + in.folder() +
                                   "x\\ntolvane-batch: y.bmp: cannot decode"))
      << o.output;
  EXPECT_EQ(std::count(o.output.begin(), o.output.end(), '\n'), 1) << o.output;
}

// Every format we write reads back to the same picture (JPEG within its loss).
TEST(Batch, RoundTripsThroughEveryWriter) {
  TempDir in, mid, back;
  TBitmap source;
  source.Create(13, 7, 24);
  for (int y = 0; y < 7; ++y) {
    for (int x = 0; x < 13; ++x) {
      std::uint8_t* p = source.ScanLine(y) + 3 * x;
      p[0] = std::uint8_t(x * 19), p[1] = std::uint8_t(y * 36), p[2] = 200;
    }
  }
  source.SaveToFile(in / "p.bmp");
  struct Case {
    const char* format;
    const char* name;
    int tolerance;
  } cases[] = {{"tiff", "p.tif", 0}, {"png", "p.png", 0}, {"jpeg", "p.jpg", 40}};
  for (const Case& c : cases) {
    ASSERT_EQ(RunBatch(std::string("-f ") + c.format + " -o " + mid.folder() + " " + (in / "p.bmp"))
                  .status,
              0);
    ASSERT_EQ(RunBatch("-f bmp -o " + back.folder() + " " + (mid / c.name)).status, 0) << c.format;
    TBitmap result;
    ASSERT_TRUE(result.LoadFromFile(back / "p.bmp").ok()) << c.format;
    ASSERT_EQ(result.Width(), 13);
    for (int y = 0; y < 7; ++y) {
      for (int x = 0; x < 13; ++x) {
        const TColor a = source.Pixels(x, y), b = result.Pixels(x, y);
        EXPECT_NEAR(RedOf(a), RedOf(b), c.tolerance) << c.format;
        EXPECT_NEAR(GreenOf(a), GreenOf(b), c.tolerance) << c.format;
        EXPECT_NEAR(BlueOf(a), BlueOf(b), c.tolerance) << c.format;
      }
    }
    std::filesystem::remove(back / "p.bmp");
  }
}

TEST(Batch, PsdSourcesBecomeBmpAndTheirCodePageMessageIsReadable) {
  TempDir in, out;
  std::filesystem::copy_file(std::string(TOLVANE_TEST_DATA) + "/psd/1layer.psd", in / "doc.psd");
  testing::WriteBytes(in / "bad.psd", std::vector<std::uint8_t>(64, 'x'));
  const Outcome o =
      RunBatch("-o " + out.folder() + " " + (in / "doc.psd") + " " + (in / "bad.psd"));
  EXPECT_EQ(o.status, 1);
  EXPECT_THAT(
      o.output,
      HasSubstr(in / "bad.psd: cannot decode: \u041d\u0435\u0432\u0435\u0440\u043d\u044b\u0439 "
                     "\u0444\u0430\u0439\u043b"));
  EXPECT_EQ(out.Files(), std::vector<std::string>{"doc.bmp"});
}

// A codec's own message box comes out in its file's line, not on a line without a name.
TEST(Batch, EveryStderrLineNamesTheProgramAndItsFile) {
  TempDir in, out;
  // A TIFF header whose first directory lies beyond the end of the file.
  testing::WriteBytes(in / "broken.tif", {'I', 'I', 42, 0, 0xF0, 0, 0, 0});
  WriteBmp(in / "a.bmp", 3, 3);
  const std::string sources = (in / "broken.tif") + " " + (in / "a.bmp");
  // Several files in work at once: the codec's message still joins its own file's line.
  for (const char* jobs : {"--jobs 1", "--jobs 2"}) {
    const Outcome o = RunBatch(std::string(jobs) + " -o " + out.folder() + " " + sources);
    EXPECT_EQ(o.status, 1);
    const std::string line = "tolvane-batch: " + (in / "broken.tif") + ": cannot decode: ";
    ASSERT_TRUE(o.output.starts_with(line)) << o.output;
    EXPECT_THAT(o.output, HasSubstr("; Error: Picture reading failed!\n"));
    EXPECT_EQ(std::count(o.output.begin(), o.output.end(), '\n'), 1) << o.output;
  }

  const Outcome report = RunBatch("--exif-report " + (in / "broken.tif"));
  EXPECT_EQ(report.status, 1);
  EXPECT_EQ(report.output, "tolvane-batch: " + (in / "broken.tif") +
                               ": cannot read the file; Error: Picture reading failed!\n");
}

}  // namespace
}  // namespace tolvane

namespace tolvane {
namespace {

std::string JpegData(const std::string& name) {
  return std::string(TOLVANE_TEST_DATA) + "/jpeg/" + name;
}

TEST(BatchExifReport, PrintsThePanelLinesOfOneFile) {
  const Outcome plain = RunBatch("--exif-report " + JpegData("plain_rgb_420.jpg"));
  EXPECT_EQ(plain.status, 0);
  EXPECT_EQ(plain.output, " \n-- EXIF-Data -------------- \nErrStr = Not an EXIF file\n");
  // The long summary's rows and 8-bit texts come out as UTF-8 lines.
  const Outcome fuji = RunBatch("--exif-report " + JpegData("FujiFilm.jpg"));
  EXPECT_EQ(fuji.status, 0);
  EXPECT_THAT(fuji.output,
              HasSubstr("\nMaker Note = \"FUJIFILM..............0130........\xD0\x96.."));
  EXPECT_THAT(
      fuji.output,
      HasSubstr("\n -- EXIF Summary -(long)---- \nFile Name: FujiFilm.jpg\nFile Size: 1k\n"));
  EXPECT_THAT(fuji.output, HasSubstr("\nFlash: Yes\n\n ** Widest Aperture is F3.6\n"));
  EXPECT_EQ(fuji.output.find('\r'), std::string::npos);
}

TEST(BatchExifReport, UnreadableFileExitsWithOne) {
  TempDir dir;
  std::FILE* f = std::fopen((dir / "broken.jpg").c_str(), "wb");
  std::fputs("not a jpeg", f);
  std::fclose(f);
  for (const std::string& file : {dir / "missing.jpg", dir / "broken.jpg", dir / "missing.xyz"}) {
    const Outcome o = RunBatch("--exif-report " + file);
    EXPECT_EQ(o.status, 1) << file;
    EXPECT_THAT(o.output, HasSubstr("cannot read the file")) << file;
  }
  EXPECT_EQ(RunBatch("--exif-report " + dir / "missing.jpg").output,
            "tolvane-batch: " + dir / "missing.jpg" +
                ": cannot read the file: No such file or directory\n");
}

TEST(BatchReport, PrintsTheRunsBlocksOnlyWhenAsked) {
  TempDir out;
  const std::string files = JpegData("Canon.jpg") + " " + JpegData("IPTC.jpg");
  const Outcome quiet = RunBatch("--quiet -o " + out.folder() + " " + files);
  EXPECT_EQ(quiet.status, 0);
  EXPECT_EQ(quiet.output, "");
  TempDir out2;
  const Outcome report = RunBatch("--quiet --report -o " + out2.folder() + " " + files);
  EXPECT_EQ(report.status, 0);
  EXPECT_THAT(report.output, HasSubstr(" \n-- EXIF-Data -------------- \nErrStr = <none>\n"
                                       "Intel Byte Order\nMake = Canon\n"));
  // IPTC.jpg has no EXIF: its block ends with the error line.
  EXPECT_TRUE(report.output.ends_with(
      "Exif Offset = 188\nFocal Length in 35mm Film = 1040.20\n==> " + JpegData("IPTC.jpg") +
      " <==\n \n-- EXIF-Data -------------- \nErrStr = <none>\n"));
  EXPECT_THAT(RunBatch("--help").output, HasSubstr("--exif-report FILE"));
  EXPECT_THAT(RunBatch("--help").output, HasSubstr("--report"));
}

}  // namespace
}  // namespace tolvane
