#include "platform/paths.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>

#include "platform/checked_math.h"
#include "platform/file_ops.h"
#include "temp_dir.h"

namespace tolvane {
namespace {

using testing::TempDir;

TEST(Paths, ExtensionIsTheTextFromTheLastDot) {
  struct Case {
    const char* name;
    const char* extension;
  } cases[] = {{"Photo.JPG", ".JPG"}, {"archive.tar.jpeg", ".jpeg"}, {"noext", ""},
               {"dir.d/file", ""},    {".hidden", ".hidden"},        {"a.", "."}};
  for (const Case& c : cases) EXPECT_EQ(FileExtension(c.name), c.extension) << c.name;
  EXPECT_EQ(LowerExtension("PIC.JpG"), ".jpg");
  EXPECT_EQ(LowerAscii("ÄB.C"), "Äb.c");  // only A to Z change
}

TEST(Paths, ReplaceExtensionDropsAtMostFiveCharacters) {
  struct Case {
    const char* name;
    const char* ext;
    const char* result;
  } cases[] = {
      {"Photo.JPG", ".jpg", "Photo.jpg"},
      {"Photo.JPG", ".bmp", "Photo.bmp"},
      {"archive.tar.jpeg", ".png", "archive.tar.png"},
      {"noext", ".bmp", "noext.bmp"},
      {"long.abcdefg", ".tif", "longefg.tif"},  // only the first five go
  };
  for (const Case& c : cases) EXPECT_EQ(ReplaceExtension(c.name, c.ext), c.result) << c.name;
}

TEST(Paths, FolderAndNameOfAPath) {
  EXPECT_EQ(FolderOf("/a/b/c.bmp"), "/a/b/");
  EXPECT_EQ(NameOf("/a/b/c.bmp"), "c.bmp");
}

TEST(Paths, CollisionFreePathPrefixesATakenName) {
  TempDir dir;
  NameRandom random(42);
  EXPECT_EQ(CollisionFreePath(dir.folder(), "a.bmp", random), dir / "a.bmp");

  testing::WriteBytes(dir / "a.bmp", {1});
  NameRandom twin(42);
  const std::string first_draw = std::to_string(twin.Draw()) + "_a.bmp";
  NameRandom random2(42);
  EXPECT_EQ(CollisionFreePath(dir.folder(), "a.bmp", random2), dir / first_draw);

  // When the drawn name is taken too, it draws again rather than replacing that file.
  testing::WriteBytes(dir / first_draw, {2});
  NameRandom random3(42);
  const auto path = CollisionFreePath(dir.folder(), "a.bmp", random3);
  ASSERT_TRUE(path);
  EXPECT_NE(*path, dir / first_draw);
  EXPECT_FALSE(FileExists(*path));
  // A source about to be deleted counts as absent.
  EXPECT_EQ(CollisionFreePath(dir.folder(), "a.bmp", random3, dir / "a.bmp"), dir / "a.bmp");
}

TEST(Paths, DrawsStayWithinTheRange) {
  NameRandom random;
  for (int i = 0; i < 10000; ++i) {
    const int r = random.Draw();
    ASSERT_GE(r, 0);
    ASSERT_LE(r, 9999);
  }
}

TEST(FileOps, AtomicWriteNeverReplacesInNoReplaceMode) {
  TempDir dir;
  std::string error;
  const std::vector<std::uint8_t> one{1}, two{2, 2};
  EXPECT_EQ(WriteFileAtomic(dir / "f", one, WriteMode::kNoReplace, &error), WriteResult::kWritten);
  EXPECT_EQ(WriteFileAtomic(dir / "f", two, WriteMode::kNoReplace, &error), WriteResult::kExists);
  EXPECT_EQ(testing::ReadBytes(dir / "f"), one);
  EXPECT_EQ(WriteFileAtomic(dir / "f", two, WriteMode::kReplace, &error), WriteResult::kWritten);
  EXPECT_EQ(testing::ReadBytes(dir / "f"), two);
  EXPECT_EQ(dir.Files(), std::vector<std::string>{"f"});  // no temporary left behind
  EXPECT_EQ(WriteFileAtomic(dir / "missing/f", one, WriteMode::kReplace, &error),
            WriteResult::kFailed);
  EXPECT_NE(error.find("missing"), std::string::npos);
}

// A staged file waits under a hidden name until placed; a taken name leaves it waiting for the
// next one, and one never placed is removed.
TEST(FileOps, StagedFilesWaitForTheirNameAndLeaveNothingUnplaced) {
  TempDir dir;
  const std::vector<std::uint8_t> taken{1}, bytes{4, 5, 6};
  testing::WriteBytes(dir / "a", taken);
  const std::span<const std::uint8_t> pieces[] = {bytes};
  std::string error;
  {
    StagedFile staged;
    ASSERT_TRUE(staged.Stage(dir / "a", pieces, Durability::kCached, &error)) << error;
    EXPECT_EQ(dir.Files().size(), 1u);  // unnamed while it waits: nothing to leave behind
    EXPECT_EQ(staged.Place(dir / "a", WriteMode::kNoReplace, &error), WriteResult::kExists);
    EXPECT_TRUE(staged.Waiting());
    EXPECT_EQ(staged.Place(dir / "b", WriteMode::kNoReplace, &error), WriteResult::kWritten);
    EXPECT_FALSE(staged.Waiting());
  }
  EXPECT_EQ(dir.Files(), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(testing::ReadBytes(dir / "a"), taken);
  EXPECT_EQ(testing::ReadBytes(dir / "b"), bytes);
  {
    StagedFile staged;
    ASSERT_TRUE(staged.Stage(dir / "c", pieces, Durability::kOnDisk, &error));
    StagedFile moved = std::move(staged);
    EXPECT_TRUE(moved.Waiting());
  }
  EXPECT_EQ(dir.Files(), (std::vector<std::string>{"a", "b"}));
  StagedFile nowhere;
  EXPECT_FALSE(nowhere.Stage(dir / "missing/c", pieces, Durability::kCached, &error));
  EXPECT_NE(error.find("missing/c"), std::string::npos) << error;
}

// Names up to the folder's limit can be written, whatever their temporary name would need,
// also where the temporary name's cut falls inside a 2-byte character.
TEST(FileOps, TheLongestNamesCanBeWritten) {
  TempDir dir;
  const std::vector<std::uint8_t> bytes{3};
  std::string accented(70, 'd');
  for (int i = 0; i < 86; ++i) accented += "\xC3\xA9";  // é
  accented += ".jpg";
  for (const bool named : {false, true}) {
    UseNamedTemporaries(named);
    for (const std::string& name :
         {std::string(255, 'a'), std::string(240, 'b') + ".png", accented}) {
      ASSERT_LE(name.size(), 255u);
      std::string error;
      EXPECT_EQ(WriteFileAtomic(dir / name, bytes, WriteMode::kReplace, &error),
                WriteResult::kWritten)
          << name.size() << ": " << error;
      EXPECT_EQ(testing::ReadBytes(dir / name), bytes);
    }
  }
  UseNamedTemporaries(false);
  EXPECT_EQ(dir.Files().size(), 3u);  // no temporary left behind
}

TEST(FileOps, CopyReplacesTheTargetAndReportsFailure) {
  TempDir dir;
  testing::WriteBytes(dir / "src", {7, 8, 9});
  testing::WriteBytes(dir / "dst", {1});
  EXPECT_TRUE(CopyFileTo(dir / "src", dir / "dst"));
  EXPECT_EQ(testing::ReadBytes(dir / "dst"), (std::vector<std::uint8_t>{7, 8, 9}));
  EXPECT_FALSE(CopyFileTo(dir / "absent", dir / "x"));
  EXPECT_FALSE(CopyFileTo(dir / "src", dir / "no/such/folder"));
  EXPECT_EQ(dir.Files(), (std::vector<std::string>{"dst", "src"}));
}

// A whole file comes back byte for byte, a large one through the recycled big-buffer path too;
// a pipe named like an image is refused at once instead of blocking the run.
TEST(FileOps, ReadFileBytesReadsRegularFilesAndRefusesTheRest) {
  TempDir dir;
  std::vector<std::uint8_t> large(byte_buffer::kLargeBytes + 3);
  for (std::size_t i = 0; i < large.size(); ++i) large[i] = static_cast<std::uint8_t>(i * 7);
  testing::WriteBytes(dir / "large", large);
  testing::WriteBytes(dir / "empty", {});
  Status status;
  for (int round = 0; round < 2; ++round) {  // the second read may reuse the first's buffer
    const auto bytes = ReadFileBytes(dir / "large", large.size(), &status);
    ASSERT_TRUE(bytes);
    EXPECT_TRUE(std::equal(bytes->begin(), bytes->end(), large.begin(), large.end()));
  }
  EXPECT_TRUE(ReadFileBytes(dir / "empty", 0, &status)->empty());

  ASSERT_EQ(::mkfifo((dir / "pipe.png").c_str(), 0600), 0);
  struct Case {
    std::string path;
    std::uint64_t max_bytes;
    std::string message;
  } cases[] = {{dir / "large", large.size() - 1, "is too large"},
               {dir / "pipe.png", 100, "is not a regular file"},
               {dir.folder(), 100, "is not a regular file"},
               {dir / "absent", 100, "cannot open"}};
  for (const Case& c : cases) {
    EXPECT_FALSE(ReadFileBytes(c.path, c.max_bytes, &status)) << c.path;
    EXPECT_NE(status.message().find(c.message), std::string::npos) << status.message();
  }
}

TEST(FileOps, LongPathsAreAbsoluteAndNormal) {
  EXPECT_EQ(ExpandLongPath("/tmp/./x/../y/"), "/tmp/y");
  EXPECT_EQ(ExpandLongPath("rel").front(), '/');
}

// "link/.." is the folder above the link's target to the kernel, so it must be to us too:
// otherwise a Move would convert and delete a file the user never named.
TEST(FileOps, LongPathsReadDotDotAfterLinksAsTheKernelDoes) {
  TempDir dir;
  std::filesystem::create_directories(dir / "real/sub");
  std::filesystem::create_directory_symlink(dir / "real/sub", dir / "up");
  std::filesystem::create_symlink(dir / "real/a.png", dir / "alias.png");
  const std::string base = ExpandLongPath(dir.folder());
  EXPECT_EQ(ExpandLongPath(dir / "up/../a.png"), base + "/real/a.png");
  EXPECT_EQ(ExpandLongPath(dir / "up/./../../x/../b.png"), base + "/b.png");
  // Links without a following ".." stay as written: their names name the outputs.
  EXPECT_EQ(ExpandLongPath(dir / "up/c.png"), base + "/up/c.png");
  EXPECT_EQ(ExpandLongPath(dir / "alias.png"), base + "/alias.png");
}

TEST(FileOps, TheDefaultTargetFolderIsAbsoluteAndEndsInASeparator) {
  const std::string folder = DefaultTargetFolder();
  EXPECT_EQ(folder.front(), '/');
  EXPECT_EQ(folder.back(), '/');
}

TEST(CheckedMath, MulDivRoundsHalvesAwayFromZero) {
  EXPECT_EQ(MulDiv(1, 1, 2), 1);
  EXPECT_EQ(MulDiv(-1, 1, 2), -1);
  EXPECT_EQ(MulDiv(3, 65536, 2), 98304);
  EXPECT_EQ(MulDiv(5, 1, 0), -1);
  EXPECT_EQ(RoundHalfEven(2.5L), 2);
  EXPECT_EQ(RoundHalfEven(3.5L), 4);
}

}  // namespace
}  // namespace tolvane
