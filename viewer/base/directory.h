// Writing below a directory that strangers may reach.  A target directory is
// opened once; every directory and file below it is made and opened relative
// to its parent's handle, one name at a time, and never through a link.  A
// path string is never resolved again once checked, so a directory swapped
// for a link while an export runs cannot redirect a single byte.
//
// On Linux and macOS a Directory holds a descriptor and uses the *at calls
// with O_NOFOLLOW (openat2 with RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS where
// the kernel has it).  On Windows it holds a handle opened without
// FILE_SHARE_DELETE, so that nobody can rename, delete or replace it while
// its children are made, and each child is checked by its handle for a
// reparse point that leads elsewhere.
//
// Two implementations: directory_posix.cpp and directory_win32.cpp.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "viewer/base/file_system.h"

namespace kelvora {

// What the file system says a file or directory is, to recognise one met
// again (two names in one run that the file system folds into one).
struct FileIdentity {
  std::uint64_t Device = 0;
  std::uint64_t Node = 0;
  bool operator==(const FileIdentity&) const = default;
  bool operator<(const FileIdentity& other) const {
    return Device != other.Device ? Device < other.Device : Node < other.Node;
  }
};

// The outcome of an operation on one name below a directory.
enum class NameResult {
  Done,
  Exists,        // something is already at the name
  Missing,       // nothing is at the name
  Link,          // a link (or a reparse point that leads elsewhere) is there
  NotDirectory,  // a file or device is where a directory was wanted
  IsDirectory,   // a directory is where a file was wanted
  BadName,       // not one plain name: empty, ".", "..", or a separator
  Failed,        // the system refused; last_error_text() says why
};

// The system's reason for the last failure of the calling thread
// ("Permission denied", "No space left on device").
std::string last_error_text();

// A file being written under a temporary name in its directory, and put
// under its final name only when complete.
struct PendingFile {
  FilePtr File;
  std::string TemporaryName;
  FileIdentity Identity;
};

class Directory {
 public:
  Directory();
  ~Directory();
  Directory(Directory&&) noexcept;
  Directory& operator=(Directory&&) noexcept;
  Directory(const Directory&) = delete;
  Directory& operator=(const Directory&) = delete;

  // Opens a directory the user chose.  It is trusted: links on its way are
  // followed.  Empty (is_open() false) after a failure.
  static Directory open_trusted(const std::string& path);

  bool is_open() const;
  // The path, for messages and for the calls that take one.
  const std::string& path() const { return path_; }
  FileIdentity identity() const { return identity_; }

  // Opens the directory name below this one, making it first when it is
  // missing and make is set.  A link there is never followed.
  NameResult open_child(const std::string& name, bool make, Directory& child) const;

  // What is at name, without following a link; Missing, Exists (a file or
  // device), IsDirectory, Link, or Failed.  identity is set when found.
  NameResult look_up(const std::string& name, FileIdentity* identity = nullptr) const;

  // A new, empty file under a fresh temporary name in this directory.
  NameResult create_pending(PendingFile& pending) const;

  // Puts the temporary file under its final name.  With replace an existing
  // file (or link) there is replaced in one step; without, Exists is
  // returned and nothing changes.  The temporary file stays on failure.
  NameResult place(const std::string& temporary, const std::string& name, bool replace) const;

  // Removes a file (or a link itself) at name.
  bool remove(const std::string& name) const;

 private:
  struct Handle;
  std::unique_ptr<Handle> handle_;
  std::string path_;
  FileIdentity identity_;
};

// What a failed opening of a child directory was, from what look_up found
// at its name.
inline NameResult failed_child(NameResult there) {
  switch (there) {
    case NameResult::Link:
      return NameResult::Link;
    case NameResult::Exists:
      return NameResult::NotDirectory;
    case NameResult::Missing:
      return NameResult::Missing;
    default:
      return NameResult::Failed;
  }
}

// Whether name can be one piece of a path below a directory on this
// platform: not empty, not "." or "..", no separator.
bool is_plain_name(const std::string& name);

}  // namespace kelvora
