// Writing files so that a final name only ever holds a whole file, and no temporary outlives
// its run: an unnamed file (O_TMPFILE) linked into place where the file system has them,
// otherwise a hidden name that signal handlers and the next run remove.
#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <time.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <random>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/file_ops.h"
#include "platform/paths.h"
#include "platform/unique_fd.h"

namespace tolvane {
namespace {

constexpr std::string_view kTempMark = ".tolvane-";
// A named temporary of a process that is gone is left this long, in case the process runs on
// another machine sharing the folder.
constexpr time_t kStaleSeconds = 60;

std::string ErrnoText(const std::string& what, const std::string& path, int error) {
  return what + " \"" + path + "\": " + std::strerror(error);
}

// Six random letters and digits.
std::string RandomPart() {
  static constexpr char kLetters[] =
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  thread_local std::mt19937_64 engine{std::random_device{}()};
  std::uniform_int_distribution<int> pick(0, int(sizeof kLetters) - 2);
  std::string part(6, ' ');
  for (char& c : part) c = kLetters[pick(engine)];
  return part;
}

// A hidden name beside the target that says which process made it: "." name ".tolvane-" pid
// "-" random. The target's name is shortened (at a character boundary) where the whole would
// pass the longest name a folder can hold, so that every name that can be written can be staged.
std::string TempPath(const std::string& target) {
  const std::string suffix =
      std::string(kTempMark) + std::to_string(::getpid()) + "-" + RandomPart();
  const std::size_t room = NAME_MAX - 1 - suffix.size();
  std::string name = NameOf(target);
  if (name.size() > room) {
    std::size_t cut = room;
    while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
    name.resize(cut);
  }
  return FolderOf(target) + "." + name + suffix;
}

// The named temporaries that exist right now, for the signal handlers: fixed slots, so that a
// handler neither allocates nor locks.
class LiveTemporaries {
 public:
  // A slot holding the path, or -1 when all are taken (the name is then only left to the next
  // run's clean-up).
  int Add(const std::string& path) {
    if (path.size() >= PATH_MAX) return -1;
    for (std::size_t i = 0; i < slots_.size(); ++i) {
      Slot& slot = slots_[i];
      if (slot.claimed.exchange(true, std::memory_order_acquire)) continue;
      std::memcpy(slot.path, path.c_str(), path.size() + 1);
      slot.live.store(true, std::memory_order_release);
      return int(i);
    }
    return -1;
  }
  void Remove(int i) {
    if (i < 0) return;
    slots_[std::size_t(i)].live.store(false, std::memory_order_release);
    slots_[std::size_t(i)].claimed.store(false, std::memory_order_release);
  }
  // Async-signal-safe.
  void UnlinkAll() {
    for (Slot& slot : slots_) {
      if (slot.live.load(std::memory_order_acquire)) ::unlink(slot.path);
    }
  }

 private:
  struct Slot {
    std::atomic<bool> claimed{false};
    std::atomic<bool> live{false};
    char path[PATH_MAX];
  };
  std::array<Slot, 64> slots_;
};

LiveTemporaries& Live() {
  static LiveTemporaries live;
  return live;
}

// Writes the pieces in order, many to a system call.
bool WriteAll(int fd, std::span<const std::span<const std::uint8_t>> pieces) {
  std::vector<iovec> batch;
  std::size_t next = 0, offset = 0;  // the first byte not yet written
  while (next < pieces.size()) {
    batch.clear();
    for (std::size_t i = next; i < pieces.size() && batch.size() < IOV_MAX; ++i) {
      const std::size_t skip = i == next ? offset : 0;
      if (pieces[i].size() == skip) continue;
      batch.push_back(
          {const_cast<std::uint8_t*>(pieces[i].data() + skip), pieces[i].size() - skip});
    }
    if (batch.empty()) return true;
    const ssize_t n = ::writev(fd, batch.data(), static_cast<int>(batch.size()));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;
      return false;
    }
    // Step past what was written: whole pieces, then part of one.
    auto left = static_cast<std::size_t>(n);
    while (next < pieces.size() && left >= pieces[next].size() - offset) {
      left -= pieces[next].size() - offset;
      ++next;
      offset = 0;
    }
    offset += left;
  }
  return true;
}

// Copies the rest of one file into another, in the kernel where it can.
bool CopyAll(int from, int to) {
  bool in_kernel = true;
  std::vector<char> buffer;
  while (true) {
    if (in_kernel) {
      const ssize_t n = ::copy_file_range(from, nullptr, to, nullptr, std::size_t{1} << 30, 0);
      if (n > 0) continue;
      if (n == 0) return true;
      if (errno == EINTR) continue;
      if (errno != EXDEV && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) return false;
      in_kernel = false;
      buffer.resize(std::size_t{1} << 20);
    }
    const ssize_t n = ::read(from, buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    const std::span<const std::uint8_t> piece[] = {
        {reinterpret_cast<const std::uint8_t*>(buffer.data()), std::size_t(n)}};
    if (!WriteAll(to, piece)) return false;
  }
}

bool SyncPath(const std::string& path, int flags) {
  const UniqueFd fd(::open(path.c_str(), flags | O_CLOEXEC));
  return fd && ::fsync(fd.get()) == 0;
}

// Makes a new name in the folder survive a power loss.
bool SyncFolderOf(const std::string& path) {
  const std::string folder = FolderOf(path);
  return SyncPath(folder.empty() ? std::string(".") : folder, O_RDONLY | O_DIRECTORY);
}

std::atomic<bool> named_only{false};

// Whether unnamed files can be given a name: linking one needs its /proc/self/fd entry.
bool CanLinkUnnamed() {
  static const bool can = ::access("/proc/self/fd", X_OK) == 0;
  return can && !named_only.load(std::memory_order_relaxed);
}

// An unnamed file in the target's folder; -1 with errno EOPNOTSUPP where there are none.
int OpenUnnamed(const std::string& target) {
  if (!CanLinkUnnamed()) {
    errno = EOPNOTSUPP;
    return -1;
  }
  const std::string folder = FolderOf(target);
  const int fd =
      ::open(folder.empty() ? "." : folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
  // Kernels and file systems without the flag say so in several ways.
  if (fd < 0 && (errno == EISDIR || errno == EINVAL)) errno = EOPNOTSUPP;
  return fd;
}

// Gives an unnamed file a name; fails with EEXIST rather than replace anything.
bool LinkUnnamed(int fd, const std::string& path) {
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  return ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0;
}

// Puts a named file at path without ever replacing one. Where the file system refuses the
// no-replace flag (NFS, several FUSE and 9p file systems), a hard link does the same: it fails
// on an existing name, and the temporary name is dropped afterwards.
bool RenameNoReplace(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
    return true;
  }
  if (errno != EINVAL && errno != ENOSYS) return false;
  if (::link(from.c_str(), to.c_str()) == 0) {
    ::unlink(from.c_str());
    return true;
  }
  if (errno != EPERM && errno != EOPNOTSUPP) return false;
  // Neither flag nor links (FAT file systems): check, then rename. Only another writer racing
  // for the same new name in that instant could lose its file.
  struct stat st;
  if (::lstat(to.c_str(), &st) == 0) {
    errno = EEXIST;
    return false;
  }
  return ::rename(from.c_str(), to.c_str()) == 0;
}

void RemoveOnSignal(int signal) {
  Live().UnlinkAll();
  // The handler was installed for one delivery: the signal now ends the process as it would
  // have without it.
  ::raise(signal);
}

}  // namespace

WriteResult WriteFileAtomic(const std::string& path, std::span<const std::uint8_t> bytes,
                            WriteMode mode, std::string* error, Durability durability) {
  const std::span<const std::uint8_t> whole[] = {bytes};
  return WriteFileAtomic(path, whole, mode, error, durability);
}

WriteResult WriteFileAtomic(const std::string& path,
                            std::span<const std::span<const std::uint8_t>> pieces, WriteMode mode,
                            std::string* error, Durability durability) {
  StagedFile staged;
  if (!staged.Stage(path, pieces, durability, error)) return WriteResult::kFailed;
  return staged.Place(path, mode, error);
}

StagedFile::~StagedFile() { Discard(); }

StagedFile::StagedFile(StagedFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      temp_(std::exchange(other.temp_, {})),
      slot_(std::exchange(other.slot_, -1)),
      durability_(other.durability_) {}

StagedFile& StagedFile::operator=(StagedFile&& other) noexcept {
  if (this != &other) {
    Discard();
    fd_ = std::exchange(other.fd_, -1);
    temp_ = std::exchange(other.temp_, {});
    slot_ = std::exchange(other.slot_, -1);
    durability_ = other.durability_;
  }
  return *this;
}

void StagedFile::Discard() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  ForgetName(true);
}

void StagedFile::ForgetName(bool unlink) {
  if (!temp_.empty() && unlink) ::unlink(temp_.c_str());
  Live().Remove(slot_);
  slot_ = -1;
  temp_.clear();
}

template <typename Fill>
int StagedFile::StageWith(const std::string& path, Durability durability, Fill&& fill,
                          bool* created) {
  Discard();
  *created = false;
  durability_ = durability;
  UniqueFd fd(OpenUnnamed(path));
  if (!fd && errno != EOPNOTSUPP) return errno;
  if (!fd) {
    // No unnamed files here: a hidden name, known to the signal handlers before the file
    // exists and until it is placed. The name holds our pid, so a file already under it is
    // ours or a dead process's leftover: a handler may remove it either way.
    for (int attempt = 0; attempt < 100 && !fd; ++attempt) {
      temp_ = TempPath(path);
      slot_ = Live().Add(temp_);
      fd = UniqueFd(::open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
      if (fd) break;
      const int failure = errno;
      ForgetName(false);
      errno = failure;
      if (failure != EEXIST) break;
    }
    if (!fd) return errno;
  }
  *created = true;
  const bool written =
      fill(fd.get()) && (durability != Durability::kOnDisk || ::fsync(fd.get()) == 0);
  if (!written) {
    const int error = errno;
    Discard();
    return error;
  }
  // An unnamed file stays open until it is linked; a named one is complete as it is.
  if (temp_.empty()) fd_ = fd.release();
  return 0;
}

bool StagedFile::Stage(const std::string& path,
                       std::span<const std::span<const std::uint8_t>> pieces, Durability durability,
                       std::string* error) {
  bool created = false;
  const int failure = StageWith(
      path, durability, [pieces](int fd) { return WriteAll(fd, pieces); }, &created);
  if (failure == 0) return true;
  if (error) {
    *error = created ? ErrnoText("cannot write", path, failure)
                     : ErrnoText("cannot create a file in the folder of", path, failure);
  }
  return false;
}

WriteResult StagedFile::Place(const std::string& path, WriteMode mode, std::string* error) {
  auto fail = [&](const char* what, int failure) {
    Discard();
    if (error) *error = ErrnoText(what, path, failure);
    return WriteResult::kFailed;
  };
  if (!Waiting()) {
    if (error) *error = "nothing staged for \"" + path + "\"";
    return WriteResult::kFailed;
  }
  const bool placed = fd_ >= 0 ? PlaceUnnamed(path, mode) : PlaceNamed(path, mode);
  if (!placed) {
    if (errno == EEXIST && mode == WriteMode::kNoReplace) return WriteResult::kExists;
    return fail("cannot create", errno);
  }
  const bool on_disk = durability_ == Durability::kOnDisk;
  Discard();
  if (on_disk && !SyncFolderOf(path)) return fail("cannot flush the folder of", errno);
  return WriteResult::kWritten;
}

bool StagedFile::PlaceUnnamed(const std::string& path, WriteMode mode) {
  if (mode == WriteMode::kNoReplace) return LinkUnnamed(fd_, path);
  // A link cannot replace: link under a fresh hidden name, then rename that over the target.
  for (int attempt = 0; attempt < 100; ++attempt) {
    temp_ = TempPath(path);
    slot_ = Live().Add(temp_);
    if (LinkUnnamed(fd_, temp_)) return PlaceNamed(path, mode);
    const int failure = errno;
    ForgetName(false);
    errno = failure;
    if (failure != EEXIST) return false;
  }
  return false;
}

bool StagedFile::PlaceNamed(const std::string& path, WriteMode mode) {
  const bool placed = mode == WriteMode::kNoReplace ? RenameNoReplace(temp_, path)
                                                    : ::rename(temp_.c_str(), path.c_str()) == 0;
  if (placed) ForgetName(false);
  return placed;
}

bool CopyFileTo(const std::string& source, const std::string& target, Durability durability,
                std::string* error) {
  const UniqueFd from(::open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  struct stat st {};
  int failure = 0;
  if (!from || ::fstat(from.get(), &st) != 0) {
    failure = errno;
  } else if (!S_ISREG(st.st_mode)) {
    failure = EINVAL;
  }
  StagedFile staged;
  if (failure == 0) {
    bool created = false;
    failure = staged.StageWith(
        target, durability, [&from](int to) { return CopyAll(from.get(), to); }, &created);
  }
  if (failure == 0) {
    std::string place_error;
    if (staged.Place(target, WriteMode::kReplace, &place_error) == WriteResult::kWritten) {
      return true;
    }
    if (error) *error = place_error;
    return false;
  }
  if (error) *error = failure == EINVAL ? "not a regular file" : std::strerror(failure);
  return false;
}

void UseNamedTemporaries(bool on) { named_only.store(on, std::memory_order_relaxed); }

void RemoveStaleTemporaries(const std::string& folder) {
  DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
  if (dir == nullptr) return;
  const time_t now = ::time(nullptr);
  while (const dirent* entry = ::readdir(dir)) {
    const std::string_view name = entry->d_name;
    const std::size_t mark = name.rfind(kTempMark);
    if (name.empty() || name[0] != '.' || mark == std::string_view::npos) continue;
    // "." name ".tolvane-" pid "-" six characters
    const std::string_view tail = name.substr(mark + kTempMark.size());
    const std::size_t dash = tail.find('-');
    if (dash == std::string_view::npos || tail.size() - dash != 7) continue;
    pid_t pid = 0;
    const auto [end, ec] = std::from_chars(tail.data(), tail.data() + dash, pid);
    if (ec != std::errc() || end != tail.data() + dash || pid <= 0) continue;
    if (pid == ::getpid() || ::kill(pid, 0) == 0 || errno != ESRCH) continue;
    struct stat st;
    if (::fstatat(::dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
    if (!S_ISREG(st.st_mode) || now - st.st_mtime < kStaleSeconds) continue;
    ::unlinkat(::dirfd(dir), entry->d_name, 0);
  }
  ::closedir(dir);
}

void RemoveTemporariesOnSignals() {
  for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
    struct sigaction current {};
    // A signal the caller ignores (nohup) stays ignored.
    if (::sigaction(signal, nullptr, &current) != 0 || current.sa_handler != SIG_DFL) continue;
    struct sigaction action {};
    action.sa_handler = RemoveOnSignal;
    action.sa_flags = SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    ::sigaction(signal, &action, nullptr);
  }
}

}  // namespace tolvane
