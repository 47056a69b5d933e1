#pragma once
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/byte_buffer.h"
#include "platform/status.h"

namespace tolvane {

// Reads a whole regular file, refusing anything else and files larger than max_bytes. Nothing
// on failure.
std::optional<ByteBuffer> ReadFileBytes(const std::string& path, std::uint64_t max_bytes,
                                        Status* status);

enum class WriteMode { kReplace, kNoReplace };
// kOnDisk waits until the file and its name would survive a power loss (needed before a
// source is deleted); kCached leaves the writing back to the system.
enum class Durability { kCached, kOnDisk };
enum class WriteResult { kWritten, kExists, kFailed };

// Writes bytes as a new file and puts it at path whole or not at all: the final name never
// holds a half-written file. kNoReplace never replaces an existing file and reports kExists
// instead.
WriteResult WriteFileAtomic(const std::string& path, std::span<const std::uint8_t> bytes,
                            WriteMode mode, std::string* error,
                            Durability durability = Durability::kOnDisk);

// The same for a file given in pieces, written one after another.
WriteResult WriteFileAtomic(const std::string& path,
                            std::span<const std::span<const std::uint8_t>> pieces, WriteMode mode,
                            std::string* error, Durability durability = Durability::kOnDisk);

// A file written in full in its target's folder, waiting for its final name (the slow part of
// a write can so run before the name is decided). It has no name at all where the file system
// allows (nothing is left if the process dies), otherwise a hidden one that the signal
// handlers and the next run remove. Removed again unless placed.
class StagedFile {
 public:
  StagedFile() = default;
  ~StagedFile();
  StagedFile(StagedFile&& other) noexcept;
  StagedFile& operator=(StagedFile&& other) noexcept;
  StagedFile(const StagedFile&) = delete;
  StagedFile& operator=(const StagedFile&) = delete;

  // Whether a staged file waits to be placed.
  bool Waiting() const { return fd_ >= 0 || !temp_.empty(); }

  // Writes the pieces beside `path`, waiting for the disk as durability says.
  bool Stage(const std::string& path, std::span<const std::span<const std::uint8_t>> pieces,
             Durability durability, std::string* error);
  // Gives the staged file the name path (in the folder it was staged for); kExists leaves it
  // waiting for another name.
  WriteResult Place(const std::string& path, WriteMode mode, std::string* error);

 private:
  friend bool CopyFileTo(const std::string&, const std::string&, Durability, std::string*);
  // Creates the file and fills it; 0, or the errno of the failure (*created tells whether the
  // file could be created at all).
  template <typename Fill>
  int StageWith(const std::string& path, Durability durability, Fill&& fill, bool* created);
  bool PlaceUnnamed(const std::string& path, WriteMode mode);
  bool PlaceNamed(const std::string& path, WriteMode mode);
  void ForgetName(bool unlink);
  void Discard();

  int fd_ = -1;       // an unnamed file, open until linked
  std::string temp_;  // a named temporary
  int slot_ = -1;     // its place among the names the signal handlers remove
  Durability durability_ = Durability::kOnDisk;
};

// Stages under hidden names even where unnamed files are possible: the way the tests reach the
// path taken on file systems without them.
void UseNamedTemporaries(bool on);
// Removes the hidden temporaries that runs which died left in a folder (those of live
// processes, and recent ones that may belong to another machine, stay).
void RemoveStaleTemporaries(const std::string& folder);
// Has SIGINT, SIGTERM, SIGHUP and SIGQUIT remove the named temporaries being written before
// they end the process. Signals the caller ignores stay ignored.
void RemoveTemporariesOnSignals();

bool FileExists(const std::string& path);

// A file as the kernel knows it: its device and inode, after following links.
struct FileId {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  auto operator<=>(const FileId&) const = default;
};
// Nothing when the path names no file.
std::optional<FileId> FileIdentity(const std::string& path);
// Whether two paths name one file, however they reach it (links, bind mounts, "..").
bool SameFile(const std::string& a, const std::string& b);
// Deletes a file; false, with the system's reason in *error when given, when it could not.
bool DeleteFile(const std::string& path, std::string* error = nullptr);
// Copies one file, replacing an existing target; the target appears complete or not at all.
// On failure *error, when given, says why in the system's words.
bool CopyFileTo(const std::string& source, const std::string& target,
                Durability durability = Durability::kOnDisk, std::string* error = nullptr);

// The path made absolute with each component as the file system spells it.
std::string ExpandLongPath(const std::string& path);
// The system's temporary folder, expanded, ending in "/".
std::string DefaultTargetFolder();

}  // namespace tolvane
