#pragma once
// A folder in which nothing can be created, renamed or deleted while the object lives: the
// way to make a write or a deletion fail for real. Without root the folder loses its write
// permission; root ignores permissions, so there the folder is made immutable, which needs a
// file system and a capability that may be missing: then frozen() is false and the caller
// skips.
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

namespace tolvane::testing {

class FrozenFolder {
 public:
  explicit FrozenFolder(const std::string& folder) : folder_(folder) {
    if (::geteuid() != 0) {
      frozen_ = ::chmod(folder_.c_str(), 0555) == 0;
      return;
    }
    frozen_ = SetImmutable(true);
  }
  ~FrozenFolder() {
    if (!frozen_) return;
    if (::geteuid() != 0) {
      ::chmod(folder_.c_str(), 0755);
    } else {
      SetImmutable(false);
    }
  }
  FrozenFolder(const FrozenFolder&) = delete;
  FrozenFolder& operator=(const FrozenFolder&) = delete;

  bool frozen() const { return frozen_; }

 private:
  bool SetImmutable(bool on) {
    const int fd = ::open(folder_.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd < 0) return false;
    int flags = 0;
    bool done = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (done) {
      flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
      done = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ::close(fd);
    return done;
  }

  std::string folder_;
  bool frozen_ = false;
};

}  // namespace tolvane::testing
