#pragma once
// tolvane-batch run against failing file systems: the fault shim (LD_PRELOAD) makes chosen
// calls into the outputs' folder fail, or a real limit does (an immutable folder, a small
// tmpfs). Whatever went wrong, a run must leave: every source in place or its whole output
// written; nothing partial under an output's name; no temporary; every entry without its output
// named on stderr with a reason, and a non-zero exit status then.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <png.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "imaging/tbitmap.h"
#include "temp_dir.h"

extern char** environ;

namespace tolvane::faults {

namespace fs = std::filesystem;
using testing::TempDir;

// Shim settings by name without the TOLVANE_FAULT_ prefix, e.g. {"WRITE_ERRNO", "ENOSPC"}.
using Faults = std::vector<std::pair<std::string, std::string>>;

// Named temporaries, as where the file system has no unnamed files.
inline const Faults kNamed = {{"NO_TMPFILE", "EOPNOTSUPP"}};

inline Faults With(Faults faults, bool named) {
  if (named) faults.insert(faults.end(), kNamed.begin(), kNamed.end());
  return faults;
}

// A source picture: a BMP or a PNG by its name's extension, filled with a pattern of its own.
struct Picture {
  std::string name;
  int width = 0, height = 0;

  bool Png() const { return name.ends_with(".png"); }
  TRgb At(int x, int y) const {
    const auto seed = static_cast<int>(std::hash<std::string>{}(name) % 251);
    return {std::uint8_t(x * 37 + seed), std::uint8_t(y * 53 + seed * 7),
            std::uint8_t((x ^ y) * 29 + seed * 3)};
  }
};

inline void WritePicture(const std::string& path, const Picture& p) {
  if (p.Png()) {
    std::vector<std::uint8_t> rgb;
    for (int y = 0; y < p.height; ++y) {
      for (int x = 0; x < p.width; ++x) {
        const TRgb c = p.At(x, y);
        rgb.insert(rgb.end(), {c.r, c.g, c.b});
      }
    }
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = png_uint_32(p.width);
    image.height = png_uint_32(p.height);
    image.format = PNG_FORMAT_RGB;
    ASSERT_TRUE(png_image_write_to_file(&image, path.c_str(), 0, rgb.data(), 0, nullptr)) << path;
    return;
  }
  TBitmap image;
  image.Create(p.width, p.height, 24);
  for (int y = 0; y < p.height; ++y) {
    for (int x = 0; x < p.width; ++x) {
      const TRgb c = p.At(x, y);
      std::uint8_t* px = image.ScanLine(y) + 3 * x;
      px[0] = c.b, px[1] = c.g, px[2] = c.r;
    }
  }
  image.SaveToFile(path);
}

// Whether the file at path is the whole picture; *why says what is wrong otherwise. Besides the
// pixels, a BMP's recorded size must be its size and a PNG must end in its end chunk: a cut
// file is not taken for whole.
inline bool HoldsPicture(const std::string& path, const Picture& p, std::string* why) {
  const std::vector<std::uint8_t> bytes = testing::ReadBytes(path);
  std::vector<TRgb> pixels;
  if (p.Png()) {
    static constexpr std::uint8_t kEnd[] = {'I', 'E', 'N', 'D', 0xAE, 0x42, 0x60, 0x82};
    if (bytes.size() < 8 || !std::equal(std::begin(kEnd), std::end(kEnd), bytes.end() - 8)) {
      *why = "no PNG end chunk";
      return false;
    }
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) {
      *why = image.message;
      return false;
    }
    image.format = PNG_FORMAT_RGB;
    std::vector<std::uint8_t> rgb(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) {
      *why = image.message;
      return false;
    }
    if (int(image.width) != p.width || int(image.height) != p.height) {
      *why = "size " + std::to_string(image.width) + "x" + std::to_string(image.height);
      return false;
    }
    for (std::size_t i = 0; i + 2 < rgb.size(); i += 3) {
      pixels.push_back({rgb[i], rgb[i + 1], rgb[i + 2]});
    }
  } else {
    if (bytes.size() < 6 ||
        (bytes[2] | bytes[3] << 8 | bytes[4] << 16 | std::size_t(bytes[5]) << 24) != bytes.size()) {
      *why = "a BMP of " + std::to_string(bytes.size()) + " bytes that records another size";
      return false;
    }
    TBitmap image;
    if (const Status s = image.LoadFromFile(path); !s.ok()) {
      *why = s.message();
      return false;
    }
    if (image.Width() != p.width || image.Height() != p.height) {
      *why = "size " + std::to_string(image.Width()) + "x" + std::to_string(image.Height());
      return false;
    }
    for (int y = 0; y < p.height; ++y) {
      for (int x = 0; x < p.width; ++x) {
        const TColor c = image.Pixels(x, y);
        pixels.push_back({RedOf(c), GreenOf(c), BlueOf(c)});
      }
    }
  }
  for (int y = 0; y < p.height; ++y) {
    for (int x = 0; x < p.width; ++x) {
      if (pixels[std::size_t(y * p.width + x)] != p.At(x, y)) {
        *why = "pixel " + std::to_string(x) + "," + std::to_string(y) + " differs";
        return false;
      }
    }
  }
  return true;
}

// A hidden temporary of a run: "." name ".tolvane-" pid "-" six letters or digits.
inline bool IsTemporary(const std::string& name) {
  static const std::regex pattern(R"(\..*\.tolvane-[0-9]+-[A-Za-z0-9]{6})");
  return std::regex_match(name, pattern);
}

inline std::vector<std::string> NamesIn(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(folder, ec)) names.push_back(e.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

inline std::vector<std::string> TemporariesIn(const std::string& folder) {
  std::vector<std::string> found;
  for (const std::string& name : NamesIn(folder)) {
    if (IsTemporary(name)) found.push_back(name);
  }
  return found;
}

inline std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// How a tolvane-batch process ended.
struct Outcome {
  pid_t pid = 0;
  bool exited = false;
  int status = -1;  // the exit status, when it exited
  int signal = 0;   // the signal that ended it otherwise
  std::string err;  // its stderr

  std::string Describe() const {
    return (exited ? "exit status " + std::to_string(status)
                   : "ended by signal " + std::to_string(signal)) +
           ", stderr:\n" + err;
  }
};

// tolvane-batch running with the given extra environment ("NAME=value"), its stderr going to a
// file. Killed and reaped when dropped while it runs.
class Batch {
 public:
  Batch(const std::vector<std::string>& args, const std::vector<std::string>& extra_env,
        std::string err_path)
      : err_path_(std::move(err_path)) {
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
      const std::string entry = *e;
      if (!entry.starts_with("LD_PRELOAD=") && !entry.starts_with("TOLVANE_FAULT_")) {
        env.push_back(entry);
      }
    }
    for (const std::string& entry : extra_env) {
      const std::string name = entry.substr(0, entry.find('='));
      std::erase_if(env, [&](const std::string& e) { return e.starts_with(name + "="); });
      env.push_back(entry);
    }
    std::vector<char*> argv{const_cast<char*>(TOLVANE_BATCH_EXE)}, envp;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    for (const std::string& e : env) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    pid_ = ::fork();
    if (pid_ == 0) {
      const int err = ::open(err_path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
      const int null = ::open("/dev/null", O_RDWR | O_CLOEXEC);
      if (err < 0 || null < 0) ::_exit(126);
      ::dup2(null, 0), ::dup2(null, 1), ::dup2(err, 2);
      // No core files from the signals the tests send, and the signals' default actions, which
      // the test runner may have changed.
      const rlimit no_core{0, 0};
      ::setrlimit(RLIMIT_CORE, &no_core);
      sigset_t none;
      sigemptyset(&none);
      ::sigprocmask(SIG_SETMASK, &none, nullptr);
      for (const int s : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) ::signal(s, SIG_DFL);
      ::execve(argv[0], argv.data(), envp.data());
      ::_exit(127);
    }
  }
  ~Batch() {
    if (pid_ > 0 && !done_) {
      ::kill(pid_, SIGKILL);
      Wait();
    }
  }
  Batch(const Batch&) = delete;
  Batch& operator=(const Batch&) = delete;

  pid_t pid() const { return pid_; }

  // Whether it has ended; does not wait.
  bool Ended() {
    if (done_) return true;
    int raw = 0;
    if (::waitpid(pid_, &raw, WNOHANG) != pid_) return false;
    Record(raw);
    return true;
  }

  Outcome Wait() {
    if (!done_) {
      int raw = 0;
      while (::waitpid(pid_, &raw, 0) < 0 && errno == EINTR) {
      }
      Record(raw);
    }
    outcome_.err = ReadText(err_path_);
    return outcome_;
  }

 private:
  void Record(int raw) {
    done_ = true;
    outcome_.pid = pid_;
    outcome_.exited = WIFEXITED(raw);
    outcome_.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    outcome_.signal = WIFSIGNALED(raw) ? WTERMSIG(raw) : 0;
  }

  std::string err_path_;
  pid_t pid_ = -1;
  bool done_ = false;
  Outcome outcome_;
};

// Whether stderr has a line naming path with a reason after it.
inline bool NamedWithReason(const std::string& err, const std::string& path) {
  const std::string head = "tolvane-batch: " + path + ": ";
  std::istringstream lines(err);
  for (std::string line; std::getline(lines, line);) {
    if (line.starts_with(head) && line.size() > head.size()) return true;
  }
  return false;
}

// One run: its operation, the sources it is given and where its outputs go.
struct BatchRun {
  explicit BatchRun(std::string operation, int job_count = 1, Faults fault_settings = {})
      : op(std::move(operation)), jobs(job_count), faults(std::move(fault_settings)) {}

  std::string op;
  int jobs = 1;
  Faults faults;
  std::vector<std::string> files;  // source names; every picture when empty
  std::vector<std::string> extra;  // more options
};

// What a run may leave in the outputs' folder besides outputs.
struct Leftovers {
  std::string out;  // where the outputs are, when not the run's output folder
  bool temporaries = false;
  std::map<std::string, std::string> foreign;      // others' files: must stay as they are
  std::map<std::string, std::string> replaceable;  // as they were, or replaced by an output
};

// A sources' folder with a few pictures, an outputs' folder, and the checks after a run.
class FaultScene : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(in_);
    fs::create_directories(out_);
    AddPictures({{"a.bmp", 9, 7}, {"b.png", 6, 5}, {"c.bmp", 4, 11}, {"d.png", 10, 3}});
  }

  void AddPictures(const std::vector<Picture>& pictures) {
    for (const Picture& p : pictures) {
      WritePicture(in_ + p.name, p);
      source_bytes_[p.name] = testing::ReadBytes(in_ + p.name);
      pictures_.push_back(p);
    }
  }

  // The sources as first written, and nothing else under the scene's folder: the start of the
  // next case of a table.
  void Reset() {
    for (const auto& e : fs::directory_iterator(root_.folder())) fs::remove_all(e.path());
    fs::create_directories(in_);
    fs::create_directories(out_);
    for (const auto& [name, bytes] : source_bytes_) testing::WriteBytes(in_ + name, bytes);
  }

  std::vector<std::string> Environment(const BatchRun& run) const {
    if (run.faults.empty()) return {};
    const char* asan = std::getenv("ASAN_OPTIONS");
    // The shim comes before the AddressSanitizer runtime in the library order; its calls pass
    // on to that runtime's own interceptors all the same.
    std::vector<std::string> env = {
        std::string("LD_PRELOAD=") + TOLVANE_FAULT_SHIM,
        std::string("ASAN_OPTIONS=") + (asan ? std::string(asan) + ":" : "") +
            "verify_asan_link_order=0",
        "TOLVANE_FAULT_DIR=" + out_.substr(0, out_.size() - 1), "TOLVANE_FAULT_LOG=" + log_};
    for (const auto& [name, value] : run.faults) {
      env.push_back("TOLVANE_FAULT_" + name + "=" + value);
    }
    return env;
  }

  std::vector<std::string> Arguments(const BatchRun& run) const {
    std::vector<std::string> args = {
        "--quiet", "--operation", run.op, "--jobs", std::to_string(run.jobs), "-o", out_};
    args.insert(args.end(), run.extra.begin(), run.extra.end());
    for (const std::string& name : Files(run)) args.push_back(in_ + name);
    return args;
  }

  std::vector<std::string> Files(const BatchRun& run) const {
    if (!run.files.empty()) return run.files;
    std::vector<std::string> names;
    for (const Picture& p : pictures_) names.push_back(p.name);
    return names;
  }

  Outcome RunBatch(const BatchRun& run) {
    std::error_code ec;
    fs::remove(log_, ec);
    return Batch(Arguments(run), Environment(run), err_).Wait();
  }

  // What the shim did in the last run.
  std::string FaultLog() const { return ReadText(log_); }

  const Picture* OutputOf(std::string name) const {
    // A converted output whose name was taken gets a number and "_" in front.
    static const std::regex prefixed(R"([0-9]+_(.+))");
    std::smatch m;
    if (std::regex_match(name, m, prefixed) && !Find(name)) name = m[1];
    return Find(name);
  }
  const Picture* Find(const std::string& name) const {
    for (const Picture& p : pictures_) {
      if (p.name == name) return &p;
    }
    return nullptr;
  }

  // The checks every run must pass, however it ended.
  void ExpectSafe(const BatchRun& run, const Outcome& o, const Leftovers& left = {}) {
    SCOPED_TRACE(o.Describe());
    const bool simple = run.op.starts_with("simple-");
    const bool move = run.op.ends_with("move");
    const std::string out = left.out.empty() ? out_ : left.out;
    for (const std::string& name : NamesIn(in_)) {
      if (!Find(name)) {
        ADD_FAILURE() << "a stranger among the sources: " << name;
      } else {
        EXPECT_EQ(testing::ReadBytes(in_ + name), source_bytes_[name])
            << "source changed: " << name;
      }
    }
    std::map<std::string, int> outputs;
    for (const std::string& name : NamesIn(out)) {
      if (IsTemporary(name)) {
        EXPECT_TRUE(left.temporaries) << "temporary left: " << name;
        continue;
      }
      if (const auto f = left.foreign.find(name); f != left.foreign.end()) {
        EXPECT_EQ(ReadText(out + name), f->second) << "another's file changed: " << name;
        continue;
      }
      if (const auto r = left.replaceable.find(name);
          r != left.replaceable.end() && ReadText(out + name) == r->second) {
        continue;
      }
      const Picture* p = OutputOf(name);
      if (!p) {
        ADD_FAILURE() << "a stranger among the outputs: " << name;
        continue;
      }
      std::string why = "not a copy of its source";
      const bool whole = simple ? testing::ReadBytes(out + name) == source_bytes_[p->name]
                                : HoldsPicture(out + name, *p, &why);
      EXPECT_TRUE(whole) << "partial output " << name << ": " << why;
      ++outputs[p->name];
    }
    std::vector<std::string> failed;
    const std::vector<std::string> files = Files(run);
    for (const Picture& p : pictures_) {
      const bool kept = fs::exists(in_ + p.name);
      EXPECT_LE(outputs[p.name], 1) << p.name << " has more than one output";
      EXPECT_TRUE(kept || outputs[p.name] == 1) << p.name << ": the source went without its output";
      if (std::find(files.begin(), files.end(), p.name) == files.end()) continue;
      if (!move) {
        EXPECT_TRUE(kept) << p.name << ": a copy lost its source";
      }
      if (move ? kept : outputs[p.name] == 0) failed.push_back(p.name);
    }
    if (!o.exited) return;  // a killed run says nothing
    EXPECT_EQ(o.status, failed.empty() ? 0 : 1);
    for (const std::string& name : failed) {
      EXPECT_TRUE(NamedWithReason(o.err, in_ + name)) << name << " failed unnamed";
    }
  }

  TempDir root_;
  const std::string in_ = root_ / "in/";
  const std::string out_ = root_ / "out/";
  const std::string err_ = root_ / "stderr";
  const std::string log_ = root_ / "fault.log";
  std::vector<Picture> pictures_;
  std::map<std::string, std::vector<std::uint8_t>> source_bytes_;
};

}  // namespace tolvane::faults
