// Runs ended by a signal in the middle, and the runs after them in the same folder.
#include <chrono>
#include <thread>

#include "fault_scene.h"

namespace tolvane::faults {
namespace {

using ::testing::Each;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

// Waits for what a process is to do, for as long as a loaded machine may need.
template <typename Done>
bool WaitFor(Done done) {
  for (int i = 0; i < 60000; ++i) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return false;
}

void SetBack(const std::string& path, int seconds) {
  timespec times[2];
  ::clock_gettime(CLOCK_REALTIME, &times[0]);
  times[0].tv_sec -= seconds;
  times[1] = times[0];
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0) << path;
}

// kill -9 at the Nth write: only a named temporary of the file being written may be left, and
// nothing of any file is lost or half there.
TEST_F(FaultScene, KilledAtAWriteLosesNothing) {
  struct Case {
    const char* op;
    int jobs;
    bool named;
    int at_write;
  } const cases[] = {
      {"move", 1, false, 2}, {"move", 1, true, 3},         {"move", 3, false, 2},
      {"copy", 3, true, 1},  {"simple-move", 1, false, 2}, {"simple-move", 1, true, 3},
  };
  for (const Case& c : cases) {
    const BatchRun run(c.op, c.jobs,
                       With({{"SIGNAL_AT_WRITE", std::to_string(c.at_write)}}, c.named));
    SCOPED_TRACE(::testing::PrintToString(run.faults) + " " + c.op + " --jobs " +
                 std::to_string(c.jobs));
    const Outcome o = RunBatch(run);
    EXPECT_EQ(o.signal, SIGKILL);
    Leftovers left;
    left.temporaries = c.named;
    ExpectSafe(run, o, left);
    if (c.named) {
      EXPECT_THAT(TemporariesIn(out_), Not(IsEmpty()));
    }
    Reset();
  }
}

// kill -9 from outside once the first output is there, wherever the run then stands.
TEST_F(FaultScene, KilledOnceTheFirstOutputIsThereLosesNothing) {
  std::vector<Picture> many;
  for (int i = 0; i < 40; ++i) many.push_back({"m" + std::to_string(i) + ".bmp", 48, 32});
  AddPictures(many);
  for (const char* op : {"move", "simple-move"}) {
    const BatchRun run(op, 2);
    SCOPED_TRACE(op);
    Batch batch(Arguments(run), {}, err_);
    const bool first = WaitFor([&] {
      const auto names = NamesIn(out_);
      return batch.Ended() || std::any_of(names.begin(), names.end(),
                                          [](const std::string& n) { return n[0] != '.'; });
    });
    EXPECT_TRUE(first) << "no output appeared";
    if (!batch.Ended()) ::kill(batch.pid(), SIGKILL);
    const Outcome o = batch.Wait();
    ExpectSafe(run, o);
    Reset();
  }
}

// The signals that end a process on a terminal or at a shutdown remove the named temporary
// being written before the process ends by them, on whichever thread they arrive.
TEST_F(FaultScene, EndingSignalsRemoveTheNamedTemporaryBeingWritten) {
  struct Case {
    int signal;
    const char* op;
    int jobs;
    bool from_outside;  // else raised by the writing thread itself
    bool named = true;
  } const cases[] = {
      {SIGTERM, "move", 1, true},        {SIGINT, "move", 3, true},
      {SIGHUP, "copy", 1, true},         {SIGQUIT, "move", 3, true},
      {SIGTERM, "simple-move", 1, true}, {SIGTERM, "move", 3, false},
      {SIGINT, "simple-copy", 1, false}, {SIGTERM, "move", 3, true, false},
  };
  const std::string mark = root_ / "stalled";
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(strsignal(c.signal)) + " " + c.op + " --jobs " +
                 std::to_string(c.jobs) + (c.from_outside ? "" : ", raised by the writer") +
                 (c.named ? "" : ", unnamed files"));
    Faults faults = With({}, c.named);
    if (c.from_outside) {
      faults.insert(faults.end(), {{"STALL_AT_WRITE", "2"}, {"STALL_MARK", mark}});
    } else {
      faults.insert(faults.end(), {{"SIGNAL_AT_WRITE", "2"}, {"SIGNAL", sigabbrev_np(c.signal)}});
    }
    const BatchRun run(c.op, c.jobs, faults);
    Batch batch(Arguments(run), Environment(run), err_);
    if (c.from_outside) {
      ASSERT_TRUE(WaitFor([&] { return fs::exists(mark) || batch.Ended(); }));
      ASSERT_FALSE(batch.Ended()) << batch.Wait().Describe();
      if (c.named) {
        EXPECT_THAT(TemporariesIn(out_), Not(IsEmpty())) << "nothing was being written";
      }
      ::kill(batch.pid(), c.signal);
    }
    const Outcome o = batch.Wait();
    EXPECT_EQ(o.signal, c.signal);
    ExpectSafe(run, o);
    Reset();
  }
}

// What a killed run left is removed by the next run into the folder once it is old enough to
// belong to no process on another machine; until then it stays.
TEST_F(FaultScene, NextRunRemovesWhatAKilledRunLeftOnceItIsOld) {
  for (const int jobs : {1, 3}) {
    SCOPED_TRACE("--jobs " + std::to_string(jobs));
    const BatchRun killed("move", jobs, With({{"SIGNAL_AT_WRITE", "3"}}, true));
    const Outcome o = RunBatch(killed);
    ASSERT_EQ(o.signal, SIGKILL);
    const std::vector<std::string> left = TemporariesIn(out_);
    ASSERT_THAT(left, Not(IsEmpty()));
    EXPECT_THAT(left, Each(HasSubstr(".tolvane-" + std::to_string(o.pid) + "-")));

    const std::string late = "late" + std::to_string(jobs);
    AddPictures({{late + "a.bmp", 5, 5}, {late + "b.png", 5, 5}});
    BatchRun next("move", jobs);
    next.files = {late + "a.bmp"};
    Leftovers theirs;
    theirs.temporaries = true;
    ExpectSafe(next, RunBatch(next), theirs);
    EXPECT_EQ(TemporariesIn(out_), left) << "recent temporaries went";

    for (const std::string& name : left) SetBack(out_ + name, 120);
    next.files = {late + "b.png"};
    ExpectSafe(next, RunBatch(next));
    EXPECT_THAT(TemporariesIn(out_), IsEmpty());
    Reset();
  }
}

// A run still writing keeps its temporaries, however old they look, when another run starts in
// the same folder; once it is killed, they go with the next run.
TEST_F(FaultScene, NextRunSparesTheTemporariesOfARunStillGoing) {
  const std::string mark = root_ / "stalled";
  const BatchRun stalled("move", 1, With({{"STALL_AT_WRITE", "1"}, {"STALL_MARK", mark}}, true));
  Batch batch(Arguments(stalled), Environment(stalled), root_ / "stalled-stderr");
  ASSERT_TRUE(WaitFor([&] { return fs::exists(mark) || batch.Ended(); }));
  ASSERT_FALSE(batch.Ended());
  const std::vector<std::string> live = TemporariesIn(out_);
  ASSERT_EQ(live.size(), 1u);
  SetBack(out_ + live[0], 3600);

  AddPictures({{"late.bmp", 5, 5}, {"later.bmp", 5, 5}});
  BatchRun next("copy", 1);
  next.files = {"late.bmp"};
  const Outcome o = RunBatch(next);
  EXPECT_EQ(o.status, 0) << o.Describe();
  EXPECT_EQ(TemporariesIn(out_), live);

  ::kill(batch.pid(), SIGKILL);
  EXPECT_EQ(batch.Wait().signal, SIGKILL);
  next.files = {"later.bmp"};
  ExpectSafe(next, RunBatch(next));
  EXPECT_THAT(TemporariesIn(out_), IsEmpty());
  ExpectSafe(stalled, Outcome{});
}

// A signal that comes right after a named temporary is created, before the write into it
// begins, removes it all the same: the handlers must know the name before the file exists.
TEST_F(FaultScene, ASignalRightAfterATemporaryIsCreatedRemovesIt) {
  for (const char* op : {"move", "simple-move"}) {
    SCOPED_TRACE(op);
    const BatchRun run(op, 1, With({{"SIGNAL_AT_CREATE", "2"}, {"SIGNAL", "TERM"}}, true));
    const Outcome o = RunBatch(run);
    EXPECT_THAT(FaultLog(), HasSubstr("raising after creating"));
    EXPECT_EQ(o.signal, SIGTERM);
    ExpectSafe(run, o);
    Reset();
  }
}

// A moved source goes only once its output would survive a power loss: the output's data is
// synced, then it gets its name, then the folder holding the name is synced, and only then is
// the source deleted.
TEST_F(FaultScene, MovedSourceGoesOnlyOnceItsOutputIsOnDisk) {
  const Faults ways[] = {
      {},
      {{"NO_TMPFILE", "EOPNOTSUPP"}},
      {{"NO_TMPFILE", "EOPNOTSUPP"}, {"NO_RENAME_FLAG", "1"}},
  };
  for (const char* op : {"move", "simple-move"}) {
    for (const Faults& way : ways) {
      Faults faults = way;
      faults.emplace_back("TRACE", "1");
      const BatchRun run(op, 1, faults);
      SCOPED_TRACE(::testing::PrintToString(run.faults) + " " + op);
      const Outcome o = RunBatch(run);
      ExpectSafe(run, o);
      EXPECT_EQ(o.status, 0);
      std::vector<std::string> log;
      std::istringstream lines(FaultLog());
      for (std::string line; std::getline(lines, line);) log.push_back(line);
      auto find = [&](std::size_t from, std::size_t to, const std::string& line) {
        return std::find(log.begin() + std::ptrdiff_t(from), log.begin() + std::ptrdiff_t(to),
                         line) -
               log.begin();
      };
      std::size_t from = 0;
      for (const Picture& p : pictures_) {
        SCOPED_TRACE(p.name + " in the trace:\n" + FaultLog());
        const auto deleted = std::size_t(find(from, log.size(), "unlink " + in_ + p.name));
        ASSERT_LT(deleted, log.size());
        const auto placed = std::size_t(find(from, deleted, "placed " + p.name));
        ASSERT_LT(placed, deleted) << "deleted before it was placed";
        EXPECT_LT(std::size_t(find(from, placed, "fsync file")), placed);
        EXPECT_LT(std::size_t(find(placed, deleted, "fsync folder")), deleted);
        from = deleted + 1;
      }
      Reset();
    }
  }
}

}  // namespace
}  // namespace tolvane::faults
