// Staged writes on file systems without unnamed files: hidden names that say whose they are,
// removed by the signal handlers and by the next run.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/file_ops.h"
#include "temp_dir.h"

namespace tolvane {
namespace {

using ::testing::ElementsAre;
using ::testing::MatchesRegex;
using testing::TempDir;

class NamedTemporariesTest : public ::testing::Test {
 protected:
  NamedTemporariesTest() { UseNamedTemporaries(true); }
  ~NamedTemporariesTest() override { UseNamedTemporaries(false); }
  TempDir dir;
  std::string error;
};

// A process id that no process has: a child's, once it is gone.
pid_t DeadPid() {
  const pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  ::waitpid(child, nullptr, 0);
  return child;
}

void MakeOld(const std::string& path) {
  const timespec times[2] = {{1, 0}, {1, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

TEST_F(NamedTemporariesTest, AWaitingFileHasAHiddenNameThatSaysWhoseItIs) {
  const std::vector<std::uint8_t> bytes{1, 2};
  const std::span<const std::uint8_t> pieces[] = {bytes};
  testing::WriteBytes(dir / "a.png", {9});
  StagedFile staged;
  ASSERT_TRUE(staged.Stage(dir / "a.png", pieces, Durability::kOnDisk, &error)) << error;
  const std::string mine = "\\.a\\.png\\.tolvane-" + std::to_string(::getpid()) + "-[A-Za-z0-9]{6}";
  EXPECT_THAT(dir.Files(), ElementsAre(MatchesRegex(mine), "a.png"));
  EXPECT_EQ(staged.Place(dir / "a.png", WriteMode::kNoReplace, &error), WriteResult::kExists);
  EXPECT_EQ(staged.Place(dir / "b.png", WriteMode::kNoReplace, &error), WriteResult::kWritten);
  EXPECT_EQ(dir.Files(), (std::vector<std::string>{"a.png", "b.png"}));
  EXPECT_EQ(testing::ReadBytes(dir / "b.png"), bytes);
  EXPECT_EQ(testing::ReadBytes(dir / "a.png"), std::vector<std::uint8_t>{9});
}

// Only what a dead process left long enough ago goes: a live process's file, a recent one
// (its process may run on another machine sharing the folder) and other names stay.
TEST_F(NamedTemporariesTest, TheNextRunRemovesWhatDeadRunsLeft) {
  const std::string dead = std::to_string(DeadPid());
  const std::string self = std::to_string(::getpid());
  const std::vector<std::string> names = {".a.png.tolvane-" + dead + "-abc123",   // goes
                                          ".b.png.tolvane-" + self + "-abc123",   // mine
                                          ".c.png.tolvane-" + dead + "-abc1234",  // not ours
                                          "d.png.tolvane-" + dead + "-abc123",    // not hidden
                                          ".e.png.tolvane-x" + dead + "-abc123"};
  for (const std::string& name : names) {
    testing::WriteBytes(dir / name, {1});
    MakeOld(dir / name);
  }
  testing::WriteBytes(dir / (".f.png.tolvane-" + dead + "-abc123"), {1});  // recent
  RemoveStaleTemporaries(dir.folder());
  std::vector<std::string> left = dir.Files();
  EXPECT_EQ(left.size(), names.size());
  EXPECT_FALSE(std::filesystem::exists(dir / names[0]));
}

// Ended by a signal while its output waits, a process leaves no temporary behind, and still
// ends by that signal.
TEST_F(NamedTemporariesTest, SignalsRemoveTheFileBeingWritten) {
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    if (child == 0) {
      RemoveTemporariesOnSignals();
      const std::vector<std::uint8_t> bytes(1000, 7);
      const std::span<const std::uint8_t> pieces[] = {bytes};
      StagedFile staged;
      if (!staged.Stage(dir / "out.png", pieces, Durability::kCached, nullptr)) ::_exit(3);
      (void)!::write(ready[1], "x", 1);
      while (true) ::pause();
    }
    char byte = 0;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    EXPECT_EQ(dir.Files().size(), 1u);
    ::kill(child, signal);
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << status;
    EXPECT_TRUE(dir.Files().empty()) << signal;
    ::close(ready[0]);
    ::close(ready[1]);
  }
}

TEST_F(NamedTemporariesTest, CopiesReplaceAndRefuseWhatIsNotAFile) {
  testing::WriteBytes(dir / "src", {7, 8, 9});
  testing::WriteBytes(dir / "dst", {1});
  EXPECT_TRUE(CopyFileTo(dir / "src", dir / "dst", Durability::kOnDisk, &error)) << error;
  EXPECT_EQ(testing::ReadBytes(dir / "dst"), (std::vector<std::uint8_t>{7, 8, 9}));
  ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
  EXPECT_FALSE(CopyFileTo(dir / "pipe", dir / "x", Durability::kCached, &error));
  EXPECT_EQ(error, "not a regular file");
  EXPECT_EQ(dir.Files(), (std::vector<std::string>{"dst", "pipe", "src"}));
}

}  // namespace
}  // namespace tolvane
