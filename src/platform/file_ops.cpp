#include "platform/file_ops.h"

#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <random>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "platform/paths.h"

namespace fs = std::filesystem;

namespace tolvane {
namespace {

std::string ErrnoText(const std::string& what, const std::string& path) {
  return what + " \"" + path + "\": " + std::strerror(errno);
}

// A hidden name beside the target; mkstemp makes it unique. The target's name is shortened
// (at a character boundary) where the whole would pass the longest name a folder can hold, so
// that every name that can be written can also be staged.
std::string TempPattern(const std::string& target) {
  constexpr std::string_view kSuffix = ".tolvane-XXXXXX";
  constexpr std::size_t kRoom = NAME_MAX - 1 - kSuffix.size();
  std::string name = NameOf(target);
  if (name.size() > kRoom) {
    std::size_t cut = kRoom;
    while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
    name.resize(cut);
  }
  return FolderOf(target) + "." + name + std::string(kSuffix);
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

struct FdCloser {
  int fd;
  ~FdCloser() { ::close(fd); }
};

bool SyncPath(const std::string& path, int flags) {
  const int fd = ::open(path.c_str(), flags | O_CLOEXEC);
  if (fd < 0) return false;
  const bool synced = ::fsync(fd) == 0;
  ::close(fd);
  return synced;
}

// Makes a rename into folder survive a power loss.
bool SyncFolderOf(const std::string& path) {
  const std::string folder = FolderOf(path);
  return SyncPath(folder.empty() ? std::string(".") : folder, O_RDONLY | O_DIRECTORY);
}

}  // namespace

std::optional<ByteBuffer> ReadFileBytes(const std::string& path, std::uint64_t max_bytes,
                                        Status* status) {
  auto fail = [&](std::string message) -> std::optional<ByteBuffer> {
    if (status) *status = Status::Error(std::move(message));
    return std::nullopt;
  };
  // Non-blocking, so that a pipe or a device named like an image is refused instead of waited on.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return fail("cannot open \"" + path + "\"");
  const FdCloser closer{fd};
  struct stat st {};
  if (::fstat(fd, &st) != 0) return fail("cannot read the size of \"" + path + "\"");
  if (!S_ISREG(st.st_mode)) return fail("\"" + path + "\" is not a regular file");
  if (std::uint64_t(st.st_size) > max_bytes) return fail("\"" + path + "\" is too large");
  ByteBuffer bytes;
  bytes.resize(static_cast<std::size_t>(st.st_size));  // left uninitialised: read fills it
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::read(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    // A file that shrank while being read is as unreadable as one that failed.
    if (n <= 0) return fail("cannot read \"" + path + "\"");
    done += std::size_t(n);
  }
  return bytes;
}

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
    : temp_(std::exchange(other.temp_, {})), durability_(other.durability_) {}

StagedFile& StagedFile::operator=(StagedFile&& other) noexcept {
  if (this != &other) {
    Discard();
    temp_ = std::exchange(other.temp_, {});
    durability_ = other.durability_;
  }
  return *this;
}

void StagedFile::Discard() {
  if (!temp_.empty()) ::unlink(temp_.c_str());
  temp_.clear();
}

bool StagedFile::Stage(const std::string& path,
                       std::span<const std::span<const std::uint8_t>> pieces, Durability durability,
                       std::string* error) {
  Discard();
  auto fail = [&](std::string message) {
    if (error) *error = std::move(message);
    return false;
  };
  std::string temp = TempPattern(path);
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) return fail(ErrnoText("cannot create a file in the folder of", path));
  // mkstemp creates 0600; give the output the usual permissions of a new file.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd, 0666 & ~mask);
  const bool on_disk = durability == Durability::kOnDisk;
  const bool written = WriteAll(fd, pieces) && (!on_disk || ::fsync(fd) == 0);
  const int saved_errno = errno;
  ::close(fd);
  if (!written) {
    ::unlink(temp.c_str());
    errno = saved_errno;
    return fail(ErrnoText("cannot write", path));
  }
  temp_ = std::move(temp);
  durability_ = durability;
  return true;
}

WriteResult StagedFile::Place(const std::string& path, WriteMode mode, std::string* error) {
  auto fail = [&](std::string message) {
    if (error) *error = std::move(message);
    return WriteResult::kFailed;
  };
  if (temp_.empty()) return fail("nothing staged for \"" + path + "\"");
  const unsigned flags = mode == WriteMode::kNoReplace ? RENAME_NOREPLACE : 0;
  if (::renameat2(AT_FDCWD, temp_.c_str(), AT_FDCWD, path.c_str(), flags) != 0) {
    const int rename_errno = errno;
    if (rename_errno == EEXIST) return WriteResult::kExists;
    Discard();
    errno = rename_errno;
    return fail(ErrnoText("cannot create", path));
  }
  temp_.clear();
  if (durability_ == Durability::kOnDisk && !SyncFolderOf(path)) {
    return fail(ErrnoText("cannot flush the folder of", path));
  }
  return WriteResult::kWritten;
}

bool FileExists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

std::optional<FileId> FileIdentity(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  return FileId{std::uint64_t(st.st_dev), std::uint64_t(st.st_ino)};
}

bool SameFile(const std::string& a, const std::string& b) {
  if (a == b) return true;
  const auto id = FileIdentity(a);
  return id && id == FileIdentity(b);
}

bool DeleteFile(const std::string& path, std::string* error) {
  if (::unlink(path.c_str()) == 0) return true;
  if (error) *error = std::strerror(errno);
  return false;
}

bool CopyFileTo(const std::string& source, const std::string& target, Durability durability,
                std::string* error) {
  auto fail = [&](std::string reason) {
    if (error) *error = std::move(reason);
    return false;
  };
  std::string temp = TempPattern(target);
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) return fail(std::strerror(errno));
  ::close(fd);
  const bool on_disk = durability == Durability::kOnDisk;
  std::error_code ec;
  fs::copy_file(source, temp, fs::copy_options::overwrite_existing, ec);
  if (!ec && on_disk && !SyncPath(temp, O_RDONLY)) ec = std::make_error_code(std::errc::io_error);
  if (!ec) fs::rename(temp, target, ec);
  if (!ec && on_disk && !SyncFolderOf(target)) ec = std::make_error_code(std::errc::io_error);
  if (!ec) return true;
  std::error_code ignored;
  fs::remove(temp, ignored);
  return fail(ec.message());
}

namespace {

// Removes `.` and `..` the way the kernel reads them: `link/..` is the folder above the link's
// target, not the folder holding the link. Links elsewhere are kept as written, so that names
// stay the ones the user gave.
fs::path ResolveDots(const fs::path& absolute) {
  fs::path up_to_last_dots, rest;
  for (const fs::path& part : absolute) {
    if (part == "..") {
      up_to_last_dots /= rest;
      up_to_last_dots /= part;
      rest.clear();
    } else {
      rest /= part;
    }
  }
  if (up_to_last_dots.empty()) return absolute.lexically_normal();
  std::error_code ec;
  fs::path resolved = fs::weakly_canonical(up_to_last_dots, ec);
  if (ec) resolved = up_to_last_dots.lexically_normal();
  return (resolved / rest).lexically_normal();
}

}  // namespace

std::string ExpandLongPath(const std::string& path) {
  std::error_code ec;
  fs::path full = fs::absolute(fs::path(path), ec);
  if (ec) full = fs::path(path);
  full = ResolveDots(full);
  std::string text = full.string();
  // A trailing separator gives no empty last component.
  while (text.size() > 1 && text.back() == kPathSeparator) text.pop_back();
  return text;
}

std::string DefaultTargetFolder() {
  std::error_code ec;
  fs::path temp = fs::temp_directory_path(ec);
  if (ec) temp = "/tmp";
  std::string folder = ExpandLongPath(temp.string());
  if (folder.empty() || folder.back() != kPathSeparator) folder += kPathSeparator;
  return folder;
}

}  // namespace tolvane
