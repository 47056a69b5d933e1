// Makes tolvane-batch's file system calls fail on cue, for the fault-injection tests. Loaded
// with LD_PRELOAD. Only calls on the folder TOLVANE_FAULT_DIR names, and on files opened in it,
// are touched: reading the sources and loading libraries go on as usual. Driven by the
// environment (errno values by name, e.g. ENOSPC; signals by name, e.g. TERM):
//
//   TOLVANE_FAULT_DIR=/abs/folder         where faults happen (no trailing "/")
//   TOLVANE_FAULT_LOG=/abs/file           one line per fault injected or action taken
//
// The writes into the folder (write, writev, copy_file_range) are counted from 1:
//   TOLVANE_FAULT_WRITE_ERRNO=E           they fail with E ...
//   TOLVANE_FAULT_AFTER=N                 ... from the Nth on (default 1) ...
//   TOLVANE_FAULT_ONCE=1                  ... or only the Nth
//   TOLVANE_FAULT_WRITE_MAX=K             each moves at most K bytes (short writes)
//   TOLVANE_FAULT_SIGNAL_AT_WRITE=N       before the Nth, raise TOLVANE_FAULT_SIGNAL (default
//                                         KILL) in the writing thread
//   TOLVANE_FAULT_STALL_AT_WRITE=N        before the Nth, create TOLVANE_FAULT_STALL_MARK and
//                                         wait for a signal forever
//   TOLVANE_FAULT_MOVE_DIR_AT_WRITE=N     before the Nth, rename the folder to
//                                         TOLVANE_FAULT_MOVE_DIR_TO, or rmdir it when unset
// Syncs of files and of the folder are counted apart:
//   TOLVANE_FAULT_FSYNC_ERRNO=E, TOLVANE_FAULT_FSYNC_AFTER=N   fsync fails from the Nth on
// What some file systems lack:
//   TOLVANE_FAULT_NO_TMPFILE=E            open with O_TMPFILE fails with E
//   TOLVANE_FAULT_NO_RENAME_FLAG=1        renameat2 with RENAME_NOREPLACE fails with EINVAL
//   TOLVANE_FAULT_NO_LINK=1               link and linkat fail with EPERM
//   TOLVANE_FAULT_NO_COPY_RANGE=E         copy_file_range fails with E
// Other writers in the folder:
//   TOLVANE_FAULT_TEMP_EXISTS=K           the first K exclusive creations fail with EEXIST
//   TOLVANE_FAULT_TAKE_NAME=1             the first visible name a file is to be given is
//                                         taken (a file holding "taken") just before
// Signals at other moments, and what was done in which order:
//   TOLVANE_FAULT_SIGNAL_AT_CREATE=N      raise TOLVANE_FAULT_SIGNAL right after the Nth
//                                         exclusive creation of a file in the folder
//   TOLVANE_FAULT_TRACE=1                 log the syncs ("fsync file", "fsync folder"), each
//                                         visible name given in the folder ("placed NAME") and
//                                         each unlink anywhere ("unlink PATH")
#define _GNU_SOURCE
#include <dirent.h>
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <pthread.h>
#include <signal.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/uio.h>
#include <unistd.h>

#define EXPORT __attribute__((visibility("default")))

enum { kMaxFd = 65536, kMaxIov = 64 };

static struct {
  char dir[PATH_MAX];
  size_t dir_len;
  int log_fd;
  int write_errno;
  long after;
  int once;
  long write_max;
  long signal_at;
  int signal;
  long stall_at;
  char stall_mark[PATH_MAX];
  long move_dir_at;
  char move_dir_to[PATH_MAX];
  int fsync_errno;
  long fsync_after;
  int no_tmpfile;
  int no_rename_flag;
  int no_link;
  int no_copy_range;
  long temp_exists;
  int take_name;
  long signal_at_create;
  int trace;
} config;

static long writes, fsyncs, exclusive_creations, creations;
static int name_taken;
static unsigned char in_dir[kMaxFd];  // fds opened in the folder

static int (*real_open)(const char*, int, ...);
static int (*real_openat)(int, const char*, int, ...);
static int (*real_close)(int);
static ssize_t (*real_write)(int, const void*, size_t);
static ssize_t (*real_writev)(int, const struct iovec*, int);
static ssize_t (*real_copy_file_range)(int, off_t*, int, off_t*, size_t, unsigned);
static int (*real_fsync)(int);
static int (*real_fdatasync)(int);
static int (*real_link)(const char*, const char*);
static int (*real_linkat)(int, const char*, int, const char*, int);
static int (*real_renameat2)(int, const char*, int, const char*, unsigned);
static int (*real_rename)(const char*, const char*);
static int (*real_unlink)(const char*);

static int ErrnoByName(const char* text) {
  static const struct {
    const char* name;
    int value;
  } names[] = {{"ENOSPC", ENOSPC}, {"EIO", EIO},       {"EDQUOT", EDQUOT},
               {"EINTR", EINTR},   {"EROFS", EROFS},   {"EOPNOTSUPP", EOPNOTSUPP},
               {"EISDIR", EISDIR}, {"EINVAL", EINVAL}, {"EXDEV", EXDEV},
               {"EPERM", EPERM},   {"ENOSYS", ENOSYS}, {"EACCES", EACCES}};
  if (text == NULL || *text == '\0') return 0;
  for (size_t i = 0; i < sizeof names / sizeof names[0]; ++i) {
    if (strcmp(text, names[i].name) == 0) return names[i].value;
  }
  return atoi(text);
}

static int SignalByName(const char* text) {
  static const struct {
    const char* name;
    int value;
  } names[] = {
      {"KILL", SIGKILL}, {"TERM", SIGTERM}, {"INT", SIGINT}, {"HUP", SIGHUP}, {"QUIT", SIGQUIT}};
  if (text == NULL || *text == '\0') return SIGKILL;
  for (size_t i = 0; i < sizeof names / sizeof names[0]; ++i) {
    if (strcmp(text, names[i].name) == 0) return names[i].value;
  }
  return atoi(text);
}

static long Number(const char* name) {
  const char* text = getenv(name);
  return text ? atol(text) : 0;
}

static void CopyText(char* to, const char* name) {
  const char* text = getenv(name);
  if (text) snprintf(to, PATH_MAX, "%s", text);
}

static void Resolve(void* slot, const char* name) {
  void* symbol = dlsym(RTLD_NEXT, name);
  memcpy(slot, &symbol, sizeof symbol);
}

static void Init(void) {
  Resolve(&real_open, "open");
  Resolve(&real_openat, "openat");
  Resolve(&real_close, "close");
  Resolve(&real_write, "write");
  Resolve(&real_writev, "writev");
  Resolve(&real_copy_file_range, "copy_file_range");
  Resolve(&real_fsync, "fsync");
  Resolve(&real_fdatasync, "fdatasync");
  Resolve(&real_link, "link");
  Resolve(&real_linkat, "linkat");
  Resolve(&real_renameat2, "renameat2");
  Resolve(&real_rename, "rename");
  Resolve(&real_unlink, "unlink");

  CopyText(config.dir, "TOLVANE_FAULT_DIR");
  config.dir_len = strlen(config.dir);
  config.log_fd = -1;
  char log[PATH_MAX] = "";
  CopyText(log, "TOLVANE_FAULT_LOG");
  if (*log) config.log_fd = real_open(log, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  config.write_errno = ErrnoByName(getenv("TOLVANE_FAULT_WRITE_ERRNO"));
  config.after = Number("TOLVANE_FAULT_AFTER");
  if (config.after <= 0) config.after = 1;
  config.once = Number("TOLVANE_FAULT_ONCE") != 0;
  config.write_max = Number("TOLVANE_FAULT_WRITE_MAX");
  config.signal_at = Number("TOLVANE_FAULT_SIGNAL_AT_WRITE");
  config.signal = SignalByName(getenv("TOLVANE_FAULT_SIGNAL"));
  config.stall_at = Number("TOLVANE_FAULT_STALL_AT_WRITE");
  CopyText(config.stall_mark, "TOLVANE_FAULT_STALL_MARK");
  config.move_dir_at = Number("TOLVANE_FAULT_MOVE_DIR_AT_WRITE");
  CopyText(config.move_dir_to, "TOLVANE_FAULT_MOVE_DIR_TO");
  config.fsync_errno = ErrnoByName(getenv("TOLVANE_FAULT_FSYNC_ERRNO"));
  config.fsync_after = Number("TOLVANE_FAULT_FSYNC_AFTER");
  if (config.fsync_after <= 0) config.fsync_after = 1;
  config.no_tmpfile = ErrnoByName(getenv("TOLVANE_FAULT_NO_TMPFILE"));
  config.no_rename_flag = Number("TOLVANE_FAULT_NO_RENAME_FLAG") != 0;
  config.no_link = Number("TOLVANE_FAULT_NO_LINK") != 0;
  config.no_copy_range = ErrnoByName(getenv("TOLVANE_FAULT_NO_COPY_RANGE"));
  config.temp_exists = Number("TOLVANE_FAULT_TEMP_EXISTS");
  config.take_name = Number("TOLVANE_FAULT_TAKE_NAME") != 0;
  config.signal_at_create = Number("TOLVANE_FAULT_SIGNAL_AT_CREATE");
  config.trace = Number("TOLVANE_FAULT_TRACE") != 0;
}

static void Ready(void) {
  static pthread_once_t once = PTHREAD_ONCE_INIT;
  pthread_once(&once, Init);
}

// One line in the log; keeps errno.
static void Log(const char* what, const char* detail) {
  if (config.log_fd < 0) return;
  const int saved = errno;
  char line[PATH_MAX + 128];
  const int n =
      snprintf(line, sizeof line, "%s%s%s\n", what, detail ? " " : "", detail ? detail : "");
  if (n > 0) {
    (void)!real_write(config.log_fd, line, (size_t)n < sizeof line ? (size_t)n : sizeof line);
  }
  errno = saved;
}

static int Fail(const char* what, int error) {
  Log(what, strerrorname_np(error));
  errno = error;
  return -1;
}

static int InDir(const char* path) {
  if (config.dir_len == 0 || path == NULL) return 0;
  return strncmp(path, config.dir, config.dir_len) == 0 &&
         (path[config.dir_len] == '\0' || path[config.dir_len] == '/');
}

static int FdInDir(int fd) {
  return fd >= 0 && fd < kMaxFd && __atomic_load_n(&in_dir[fd], __ATOMIC_RELAXED);
}

static int PathInDir(int dirfd, const char* path) {
  if (path == NULL) return 0;
  if (path[0] == '/' || dirfd == AT_FDCWD) return InDir(path);
  return FdInDir(dirfd);
}

static void Track(int fd, int in) {
  if (fd >= 0 && fd < kMaxFd) __atomic_store_n(&in_dir[fd], (unsigned char)in, __ATOMIC_RELAXED);
}

static int Opening(int dirfd, const char* path, int flags, mode_t mode, int at) {
  const int inside = PathInDir(dirfd, path);
  if (inside && config.no_tmpfile && (flags & O_TMPFILE) == O_TMPFILE) {
    return Fail("open O_TMPFILE", config.no_tmpfile);
  }
  if (inside && (flags & (O_CREAT | O_EXCL)) == (O_CREAT | O_EXCL) && config.temp_exists > 0 &&
      __atomic_add_fetch(&exclusive_creations, 1, __ATOMIC_SEQ_CST) <= config.temp_exists) {
    return Fail("open O_EXCL", EEXIST);
  }
  const int fd = at ? real_openat(dirfd, path, flags, mode) : real_open(path, flags, mode);
  Track(fd, inside);
  if (inside && fd >= 0 && (flags & (O_CREAT | O_EXCL)) == (O_CREAT | O_EXCL) &&
      __atomic_add_fetch(&creations, 1, __ATOMIC_SEQ_CST) == config.signal_at_create) {
    Log("raising after creating", strsignal(config.signal));
    raise(config.signal);
  }
  return fd;
}

static mode_t ModeOf(int flags, va_list args) {
  return (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE ? (mode_t)va_arg(args, int) : 0;
}

EXPORT int open(const char* path, int flags, ...) {
  Ready();
  va_list args;
  va_start(args, flags);
  const mode_t mode = ModeOf(flags, args);
  va_end(args);
  return Opening(AT_FDCWD, path, flags, mode, 0);
}

EXPORT int open64(const char* path, int flags, ...) {
  Ready();
  va_list args;
  va_start(args, flags);
  const mode_t mode = ModeOf(flags, args);
  va_end(args);
  return Opening(AT_FDCWD, path, flags, mode, 0);
}

EXPORT int openat(int dirfd, const char* path, int flags, ...) {
  Ready();
  va_list args;
  va_start(args, flags);
  const mode_t mode = ModeOf(flags, args);
  va_end(args);
  return Opening(dirfd, path, flags, mode, 1);
}

EXPORT int openat64(int dirfd, const char* path, int flags, ...) {
  Ready();
  va_list args;
  va_start(args, flags);
  const mode_t mode = ModeOf(flags, args);
  va_end(args);
  return Opening(dirfd, path, flags, mode, 1);
}

EXPORT int close(int fd) {
  Ready();
  Track(fd, 0);
  return real_close(fd);
}

static void MoveDir(void) {
  if (*config.move_dir_to) {
    if (real_rename(config.dir, config.move_dir_to) == 0) {
      Log("moved the folder to", config.move_dir_to);
    } else {
      Log("cannot move the folder", strerrorname_np(errno));
    }
  } else if (rmdir(config.dir) == 0) {
    Log("removed the folder", config.dir);
  } else {
    Log("cannot remove the folder", strerrorname_np(errno));
  }
}

static void Stall(void) {
  Log("stalled", NULL);
  const int fd = real_open(config.stall_mark, O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  if (fd >= 0) real_close(fd);
  for (;;) pause();
}

// What happens to the next write into the folder: 0 to let it through, else the errno it fails
// with. Counts it.
static int BeforeWrite(const char* what) {
  const long n = __atomic_add_fetch(&writes, 1, __ATOMIC_SEQ_CST);
  if (n == config.move_dir_at) MoveDir();
  if (n == config.signal_at) {
    Log("raising", strsignal(config.signal));
    raise(config.signal);
  }
  if (n == config.stall_at) Stall();
  if (config.write_errno && (config.once ? n == config.after : n >= config.after)) {
    Log(what, strerrorname_np(config.write_errno));
    return config.write_errno;
  }
  return 0;
}

EXPORT ssize_t write(int fd, const void* buffer, size_t size) {
  Ready();
  if (!FdInDir(fd)) return real_write(fd, buffer, size);
  const int error = BeforeWrite("write");
  if (error) {
    errno = error;
    return -1;
  }
  if (config.write_max > 0 && size > (size_t)config.write_max) size = (size_t)config.write_max;
  return real_write(fd, buffer, size);
}

EXPORT ssize_t writev(int fd, const struct iovec* iov, int count) {
  Ready();
  if (!FdInDir(fd)) return real_writev(fd, iov, count);
  const int error = BeforeWrite("writev");
  if (error) {
    errno = error;
    return -1;
  }
  if (config.write_max <= 0) return real_writev(fd, iov, count);
  // The first write_max bytes of the pieces, as a short write would take them.
  struct iovec cut[kMaxIov];
  int used = 0;
  size_t room = (size_t)config.write_max;
  for (int i = 0; i < count && used < kMaxIov && room > 0; ++i) {
    cut[used] = iov[i];
    if (cut[used].iov_len > room) cut[used].iov_len = room;
    room -= cut[used].iov_len;
    ++used;
  }
  return real_writev(fd, cut, used);
}

EXPORT ssize_t copy_file_range(int in, off_t* in_offset, int out, off_t* out_offset, size_t size,
                               unsigned flags) {
  Ready();
  if (!FdInDir(out)) return real_copy_file_range(in, in_offset, out, out_offset, size, flags);
  if (config.no_copy_range) return Fail("copy_file_range", config.no_copy_range);
  const int error = BeforeWrite("copy_file_range");
  if (error) {
    errno = error;
    return -1;
  }
  if (config.write_max > 0 && size > (size_t)config.write_max) size = (size_t)config.write_max;
  return real_copy_file_range(in, in_offset, out, out_offset, size, flags);
}

static int BeforeSync(int fd) {
  if (config.trace) {
    struct stat st;
    Log(fstat(fd, &st) == 0 && S_ISDIR(st.st_mode) ? "fsync folder" : "fsync file", NULL);
  }
  const long n = __atomic_add_fetch(&fsyncs, 1, __ATOMIC_SEQ_CST);
  return config.fsync_errno && n >= config.fsync_after ? Fail("fsync", config.fsync_errno) : 0;
}

EXPORT int fsync(int fd) {
  Ready();
  if (FdInDir(fd) && BeforeSync(fd) != 0) return -1;
  return real_fsync(fd);
}

EXPORT int fdatasync(int fd) {
  Ready();
  if (FdInDir(fd) && BeforeSync(fd) != 0) return -1;
  return real_fdatasync(fd);
}

// Another writer takes the visible name `path` first, once per run.
static void TakeName(int dirfd, const char* path) {
  if (!config.take_name || !PathInDir(dirfd, path)) return;
  const char* slash = strrchr(path, '/');
  const char* name = slash ? slash + 1 : path;
  if (name[0] == '.' || __atomic_exchange_n(&name_taken, 1, __ATOMIC_SEQ_CST)) return;
  const int fd = real_openat(dirfd, path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) return;
  (void)!real_write(fd, "taken", 5);
  real_close(fd);
  Log("took the name", name);
}

// Traces a call that gave the file a visible name in the folder; passes its result on.
static int Placed(int result, int dir, const char* path) {
  const char* slash = strrchr(path, '/');
  const char* name = slash ? slash + 1 : path;
  if (config.trace && result == 0 && name[0] != '.' && PathInDir(dir, path)) Log("placed", name);
  return result;
}

EXPORT int link(const char* from, const char* to) {
  Ready();
  if (InDir(to)) {
    if (config.no_link) return Fail("link", EPERM);
    TakeName(AT_FDCWD, to);
  }
  return Placed(real_link(from, to), AT_FDCWD, to);
}

EXPORT int linkat(int from_dir, const char* from, int to_dir, const char* to, int flags) {
  Ready();
  if (PathInDir(to_dir, to)) {
    if (config.no_link) return Fail("linkat", EPERM);
    TakeName(to_dir, to);
  }
  return Placed(real_linkat(from_dir, from, to_dir, to, flags), to_dir, to);
}

EXPORT int renameat2(int from_dir, const char* from, int to_dir, const char* to, unsigned flags) {
  Ready();
  if (PathInDir(to_dir, to) && (flags & RENAME_NOREPLACE)) {
    TakeName(to_dir, to);
    if (config.no_rename_flag) return Fail("renameat2 RENAME_NOREPLACE", EINVAL);
  }
  return Placed(real_renameat2(from_dir, from, to_dir, to, flags), to_dir, to);
}

EXPORT int rename(const char* from, const char* to) {
  Ready();
  return Placed(real_rename(from, to), AT_FDCWD, to);
}

EXPORT int unlink(const char* path) {
  Ready();
  const int result = real_unlink(path);
  if (config.trace && result == 0) Log("unlink", path);
  return result;
}
