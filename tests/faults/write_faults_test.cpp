// Outputs' folders that refuse, fill up, fail or vanish during a run.
#include <sched.h>
#include <sys/mount.h>

#include "fault_scene.h"
#include "frozen_folder.h"

namespace tolvane::faults {
namespace {

using ::testing::AnyOf;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

TEST_F(FaultScene, ReadOnlyOutputsFolderFailsEveryFileAndKeepsEverySource) {
  for (const char* op : {"copy", "move", "simple-move"}) {
    for (const bool named : {false, true}) {
      SCOPED_TRACE(std::string(op) + (named ? ", named temporaries" : ""));
      testing::FrozenFolder frozen(out_);
      if (!frozen.frozen()) {
        GTEST_SKIP() << "cannot make a folder read-only here (as root that takes "
                        "FS_IOC_SETFLAGS on a file system with the immutable flag)";
      }
      const BatchRun run(op, 1, With({}, named));
      const Outcome o = RunBatch(run);
      EXPECT_EQ(o.status, 1);
      EXPECT_THAT(NamesIn(out_), IsEmpty());
      EXPECT_THAT(o.err, HasSubstr(std::strerror(::geteuid() == 0 ? EPERM : EACCES)));
      ExpectSafe(run, o);
    }
  }
}

// A write that fails stops that file's output; what fails from the Nth write on (a full disk,
// a quota) may stop the run, what fails once (an I/O error) may be written again.
TEST_F(FaultScene, FailedWritesAndSyncsLoseNothingAndLeaveNothingHalf) {
  struct Case {
    const char* op;
    int jobs;
    bool named;
    Faults faults;
  } const cases[] = {
      {"move", 1, false, {{"WRITE_ERRNO", "ENOSPC"}}},
      {"move", 1, true, {{"WRITE_ERRNO", "ENOSPC"}, {"AFTER", "3"}}},
      {"move", 3, false, {{"WRITE_ERRNO", "ENOSPC"}, {"AFTER", "2"}}},
      {"copy", 3, true, {{"WRITE_ERRNO", "ENOSPC"}, {"AFTER", "2"}}},
      {"copy", 1, false, {{"WRITE_ERRNO", "EDQUOT"}, {"AFTER", "3"}}},
      {"simple-move", 1, false, {{"WRITE_ERRNO", "ENOSPC"}, {"AFTER", "2"}}},
      {"simple-move", 3, true, {{"WRITE_ERRNO", "ENOSPC"}}},
      {"simple-copy", 1, false, {{"WRITE_ERRNO", "ENOSPC"}, {"AFTER", "3"}}},
      {"move", 1, false, {{"WRITE_ERRNO", "EIO"}, {"AFTER", "2"}, {"ONCE", "1"}}},
      {"move", 3, true, {{"WRITE_ERRNO", "EIO"}, {"AFTER", "3"}, {"ONCE", "1"}}},
      {"copy", 1, true, {{"WRITE_ERRNO", "EIO"}, {"AFTER", "1"}, {"ONCE", "1"}}},
      {"simple-move", 1, false, {{"WRITE_ERRNO", "EIO"}, {"AFTER", "2"}, {"ONCE", "1"}}},
      {"simple-copy", 3, true, {{"WRITE_ERRNO", "EIO"}, {"AFTER", "1"}, {"ONCE", "1"}}},
      // A move waits for the disk: the file's sync and then the folder's may fail.
      {"move", 1, false, {{"FSYNC_ERRNO", "EIO"}}},
      {"move", 1, false, {{"FSYNC_ERRNO", "EIO"}, {"FSYNC_AFTER", "2"}}},
      {"move", 3, true, {{"FSYNC_ERRNO", "EIO"}, {"FSYNC_AFTER", "3"}}},
      {"simple-move", 1, true, {{"FSYNC_ERRNO", "EIO"}, {"FSYNC_AFTER", "2"}}},
  };
  for (const Case& c : cases) {
    const BatchRun run(c.op, c.jobs, With(c.faults, c.named));
    SCOPED_TRACE(::testing::PrintToString(run.faults) + " " + c.op + " --jobs " +
                 std::to_string(c.jobs));
    const Outcome o = RunBatch(run);
    EXPECT_THAT(FaultLog(),
                AnyOf(HasSubstr("write"), HasSubstr("copy_file_range"), HasSubstr("fsync")));
    ExpectSafe(run, o);
    Reset();
  }
}

// Writes the system cuts short, or interrupts before anything is written, are carried on: the
// outputs come out whole. So do a copy the kernel will not do itself and names taken by others.
TEST_F(FaultScene, ShortWritesInterruptionsAndTakenTemporaryNamesStillGiveWholeOutputs) {
  struct Case {
    const char* op;
    Faults faults;
    const char* logged;
  } const cases[] = {
      {"move", {{"WRITE_MAX", "7"}}, ""},
      {"simple-move", {{"WRITE_MAX", "5"}}, ""},
      {"move", {{"WRITE_ERRNO", "EINTR"}, {"ONCE", "1"}}, "writev EINTR"},
      {"simple-copy", {{"WRITE_ERRNO", "EINTR"}, {"ONCE", "1"}}, "copy_file_range EINTR"},
      {"simple-move", {{"NO_COPY_RANGE", "EXDEV"}, {"WRITE_MAX", "6"}}, "copy_file_range EXDEV"},
      {"move", {{"NO_TMPFILE", "EOPNOTSUPP"}, {"TEMP_EXISTS", "3"}}, "open O_EXCL EEXIST"},
  };
  for (const Case& c : cases) {
    const BatchRun run(c.op, 2, c.faults);
    SCOPED_TRACE(::testing::PrintToString(run.faults) + " " + c.op);
    const Outcome o = RunBatch(run);
    EXPECT_EQ(o.status, 0);
    EXPECT_THAT(FaultLog(), HasSubstr(c.logged));
    ExpectSafe(run, o);
    Reset();
  }
}

// A run stopped by a later file names that file with its reason, and only the files after it as
// not reached; the files before it were converted (and, moved, their sources are gone).
TEST_F(FaultScene, RunStoppedByALaterFileNamesThatFileAndNoConvertedOne) {
  const BatchRun run("move", 1, {{"WRITE_ERRNO", "ENOSPC"}, {"AFTER", "2"}});
  const Outcome o = RunBatch(run);
  ExpectSafe(run, o);
  ASSERT_FALSE(fs::exists(in_ + "a.bmp")) << "a.bmp was not moved";
  const std::string line = "tolvane-batch: " + in_;
  EXPECT_EQ(o.err, line + "b.png: the run stopped: cannot write \"" + out_ +
                       "b.png\": No space left on device\n" + line +
                       "c.bmp: not converted: the run stopped before this file\n" + line +
                       "d.png: not converted: the run stopped before this file\n");
}

// Where the file system has no unnamed files (O_TMPFILE refused in the ways kernels refuse it),
// no rename flag that refuses to replace, or no links either, outputs still come out whole
// under free names: a file of the same name stays (a simple copy replaces it, as documented).
TEST_F(FaultScene, FileSystemsWithoutUnnamedFilesRenameFlagsOrLinksStillCompleteTheRun) {
  struct Case {
    Faults faults;
    std::vector<std::string> logged;
  } const cases[] = {
      {{{"NO_TMPFILE", "EOPNOTSUPP"}, {"NO_RENAME_FLAG", "1"}},
       {"open O_TMPFILE EOPNOTSUPP", "renameat2 RENAME_NOREPLACE EINVAL"}},
      {{{"NO_TMPFILE", "EOPNOTSUPP"}, {"NO_RENAME_FLAG", "1"}, {"NO_LINK", "1"}},
       {"renameat2 RENAME_NOREPLACE EINVAL", "link EPERM"}},
      {{{"NO_TMPFILE", "EISDIR"}}, {"open O_TMPFILE EISDIR"}},
      {{{"NO_TMPFILE", "EINVAL"}, {"NO_LINK", "1"}}, {"open O_TMPFILE EINVAL"}},
  };
  for (const Case& c : cases) {
    for (const std::string op : {"move", "copy", "simple-move"}) {
      const bool simple = op == "simple-move";
      const BatchRun run(op, 2, c.faults);
      SCOPED_TRACE(::testing::PrintToString(run.faults) + " " + op);
      testing::WriteBytes(out_ + "a.bmp", {'o', 'l', 'd'});
      Leftovers left;
      (simple ? left.replaceable : left.foreign)["a.bmp"] = "old";
      const Outcome o = RunBatch(run);
      EXPECT_EQ(o.status, 0);
      // A simple copy replaces its target: it asks for neither the flag nor a link.
      for (const std::string& line :
           simple ? std::vector<std::string>{"open O_TMPFILE"} : c.logged) {
        EXPECT_THAT(FaultLog(), HasSubstr(line));
      }
      ExpectSafe(run, o, left);
      if (simple) {
        EXPECT_EQ(testing::ReadBytes(out_ + "a.bmp"), source_bytes_["a.bmp"]);
      }
      Reset();
    }
  }
}

// Another writer takes an output's name between the check that it is free and the placing: its
// file stays, and the output goes under another free name.
TEST_F(FaultScene, ANameTakenJustBeforePlacingIsNotReplaced) {
  const Faults ways[] = {
      {},                                                       // an unnamed file linked
      {{"NO_TMPFILE", "EOPNOTSUPP"}},                           // renamed without replacing
      {{"NO_TMPFILE", "EOPNOTSUPP"}, {"NO_RENAME_FLAG", "1"}},  // linked, then unlinked
  };
  for (const Faults& way : ways) {
    Faults faults = way;
    faults.emplace_back("TAKE_NAME", "1");
    const BatchRun run("move", 1, faults);
    SCOPED_TRACE(::testing::PrintToString(run.faults));
    const Outcome o = RunBatch(run);
    EXPECT_THAT(FaultLog(), HasSubstr("took the name a.bmp"));
    Leftovers left;
    left.foreign["a.bmp"] = "taken";
    ExpectSafe(run, o, left);
    EXPECT_EQ(o.status, 0);
    Reset();
  }
}

// The outputs' folder goes while the run writes: renamed away (what was written before stays
// there) or removed while still empty.
TEST_F(FaultScene, OutputsFolderGoneMidRunLosesNothing) {
  struct Case {
    const char* op;
    int jobs;
    bool named;
    int at_write;
    bool removed;  // rmdir instead of a rename
  } const cases[] = {
      {"move", 1, false, 3, false},        {"move", 3, true, 2, false},
      {"simple-move", 1, false, 2, false}, {"simple-copy", 1, true, 3, false},
      {"copy", 1, false, 1, true},         {"move", 3, false, 1, true},
  };
  const std::string aside = root_ / "moved-away/";
  for (const Case& c : cases) {
    Faults faults = With({{"MOVE_DIR_AT_WRITE", std::to_string(c.at_write)}}, c.named);
    if (!c.removed) faults.emplace_back("MOVE_DIR_TO", aside.substr(0, aside.size() - 1));
    const BatchRun run(c.op, c.jobs, faults);
    SCOPED_TRACE(::testing::PrintToString(run.faults) + " " + c.op + " --jobs " +
                 std::to_string(c.jobs));
    const Outcome o = RunBatch(run);
    EXPECT_THAT(FaultLog(), HasSubstr(c.removed ? "removed the folder" : "moved the folder to"));
    EXPECT_FALSE(fs::exists(out_));
    EXPECT_EQ(o.status, 1);
    Leftovers left;
    left.out = c.removed ? out_ : aside;
    // A named temporary being written went away with its folder, out of the run's reach.
    left.temporaries = c.named;
    ExpectSafe(run, o, left);
    Reset();
  }
}

// A real full file system: a small tmpfs on the outputs' folder, in a mount namespace of a child
// process, which copies out what the run left before the namespace goes.
class FullFileSystem : public FaultScene {
 protected:
  void SetUp() override {
    FaultScene::SetUp();
    // Larger pictures than the scene's, so that a few fill the file system.
    AddPictures({{"e.bmp", 64, 40}, {"f.png", 60, 50}, {"g.bmp", 50, 64}, {"h.bmp", 64, 64}});
  }

  // The run's outcome, with the outputs' folder's content copied to `copy`; nothing when this
  // process may not mount a file system (*why says why).
  std::optional<Outcome> RunOnTmpfs(const BatchRun& run, const std::string& options,
                                    const std::string& copy, std::string* why) {
    const std::string result = root_ / "tmpfs-result";
    const pid_t child = ::fork();
    if (child == 0) {
      // The child never returns into the test program.
      auto cannot = [&](const char* what) {
        std::ofstream(result) << what << ": " << std::strerror(errno);
        ::_exit(77);
      };
      try {
        if (::unshare(CLONE_NEWNS) != 0) cannot("unshare(CLONE_NEWNS)");
        if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
          cannot("making the mounts private");
        }
        if (::mount("tolvane-faults", out_.c_str(), "tmpfs", MS_NOSUID | MS_NODEV,
                    options.c_str()) != 0) {
          cannot("mount tmpfs");
        }
        const Outcome o = RunBatch(run);
        std::error_code ec;
        fs::copy(out_, copy, fs::copy_options::recursive, ec);
        std::ofstream(result) << o.exited << ' ' << o.status << ' ' << o.signal << ' ' << !ec;
        ::_exit(0);
      } catch (...) {
        ::_exit(1);
      }
    }
    int raw = 0;
    ::waitpid(child, &raw, 0);
    if (WIFEXITED(raw) && WEXITSTATUS(raw) == 77) {
      *why = ReadText(result);
      return std::nullopt;
    }
    Outcome o;
    bool copied = false;
    std::istringstream(ReadText(result)) >> o.exited >> o.status >> o.signal >> copied;
    EXPECT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == 0 && copied) << "the child failed";
    o.err = ReadText(err_);
    return o;
  }
};

TEST_F(FullFileSystem, RunsIntoASmallTmpfsLoseNothingAndLeaveNothingHalf) {
  struct Case {
    const char* op;
    int jobs;
    const char* options;
  } const cases[] = {
      {"move", 1, "size=40k"},
      {"copy", 3, "size=40k"},
      {"simple-move", 1, "size=40k"},
      {"move", 2, "size=4m,nr_inodes=4"},
      {"simple-copy", 1, "size=4m,nr_inodes=4"},
  };
  for (const Case& c : cases) {
    const BatchRun run(c.op, c.jobs);
    SCOPED_TRACE(std::string(c.op) + " on tmpfs " + c.options);
    const std::string copy = root_ / "tmpfs-content/";
    std::string why;
    const std::optional<Outcome> o = RunOnTmpfs(run, c.options, copy, &why);
    if (!o) GTEST_SKIP() << "no tmpfs can be mounted here: " << why;
    EXPECT_EQ(o->status, 1) << "the file system did not fill up";
    EXPECT_THAT(o->err, HasSubstr(std::strerror(ENOSPC)));
    Leftovers left;
    left.out = copy;
    ExpectSafe(run, *o, left);
    Reset();
  }
}

}  // namespace
}  // namespace tolvane::faults
