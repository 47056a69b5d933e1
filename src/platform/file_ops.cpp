#include "platform/file_ops.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "platform/paths.h"
#include "platform/unique_fd.h"

namespace fs = std::filesystem;

namespace tolvane {

std::optional<ByteBuffer> ReadFileBytes(const std::string& path, std::uint64_t max_bytes,
                                        Status* status) {
  auto fail = [&](std::string message) -> std::optional<ByteBuffer> {
    if (status) *status = Status::Error(std::move(message));
    return std::nullopt;
  };
  // Non-blocking, so that a pipe or a device named like an image is refused instead of waited on.
  const UniqueFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (!file) return fail("cannot open \"" + path + "\"");
  const int fd = file.get();
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
