// tolvane-batch as a script would use it: exit statuses, stderr lines, outputs on disk.
#include <sys/wait.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

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

Outcome RunBatch(const std::string& arguments) {
  const std::string command = std::string(TOLVANE_BATCH_EXE) + " " + arguments + " 2>&1";
  Outcome outcome;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return outcome;
  char buffer[4096];
  while (std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) outcome.output.append(buffer, n);
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
  EXPECT_THAT(help.output, HasSubstr("Usage: tolvane-batch [options] FILE..."));
  EXPECT_THAT(help.output, HasSubstr("--canvas-color RRGGBB"));
  EXPECT_EQ(RunBatch("--version").status, 0);
}

TEST(Batch, BadUsageExitsWithTwo) {
  for (const char* args : {"", "--no-such-option x.bmp", "--format webp x.bmp", "-q 101 x.bmp",
                           "--crop 1,2,3 x.bmp", "--canvas 0,0,0,10001 x.bmp",
                           "--canvas-color 12345G x.bmp", "--rename ../x x.bmp",
                           "-o /no/such/folder x.bmp", "--resize 10 x.bmp"}) {
    const Outcome o = RunBatch(args);
    EXPECT_EQ(o.status, 2) << args << "\n" << o.output;
    EXPECT_THAT(o.output, HasSubstr("tolvane-batch: ")) << args;
  }
}

TEST(Batch, ConvertsAndNamesEveryFileWithoutOutput) {
  TempDir in, out;
  WriteBmp(in / "a.bmp", 6, 4);
  testing::WriteBytes(in / "broken.bmp", {'B', 'M'});
  const Outcome o = RunBatch("-o " + out.folder() + " --rotate right --rename Pic " + (in / "a.bmp") +
                             " " + (in / "broken.bmp") + " " + (in / "missing.bmp"));
  EXPECT_EQ(o.status, 1) << o.output;
  EXPECT_THAT(o.output, HasSubstr(in / "broken.bmp: cannot decode"));
  EXPECT_THAT(o.output, HasSubstr(in / "missing.bmp: cannot decode"));
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

TEST(Batch, RunStoppedByAnErrorExitsWithOne) {
  TempDir in, out;
  WriteBmp(in / "a.bmp", 8, 8);
  const Outcome o = RunBatch("--crop 20,0,0,0 -o " + out.folder() + " " + (in / "a.bmp"));
  EXPECT_EQ(o.status, 1);
  EXPECT_THAT(o.output, HasSubstr("Scrollbar property out of range"));
}

}  // namespace
}  // namespace tolvane
