// Writing below a directory on Linux and macOS: a descriptor per directory,
// every name resolved relative to its parent's descriptor, never through a
// link.
#if !defined(_GNU_SOURCE)
#define _GNU_SOURCE 1
#endif
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <random>
#include <system_error>

#if defined(__linux__)
#include <sys/syscall.h>
#if __has_include(<linux/openat2.h>)
#include <linux/openat2.h>
#endif
#endif

#include "viewer/base/directory.h"

namespace kelvora {

#if defined(__linux__)
// A descriptor that only names a directory: it needs no right to list it
// (a drop folder that others may write in but not read still works).
constexpr int DIRECTORY_FLAGS = O_PATH | O_DIRECTORY | O_CLOEXEC;
#else
constexpr int DIRECTORY_FLAGS = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
#endif

struct Directory::Handle {
  int Fd = -1;
  explicit Handle(int fd) : Fd(fd) {}
  ~Handle() {
    if (Fd >= 0) ::close(Fd);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
};

namespace {

FileIdentity identity_of(const struct stat& info) {
  return {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
}

#if defined(__linux__) && defined(RESOLVE_BENEATH)
// openat2 where the kernel has it (5.6 and later): the kernel itself refuses
// to leave the directory or to follow any link.  Remembered once it is
// found missing (or forbidden by a sandbox).
std::atomic<bool> NoOpenat2{false};

int open_beneath(int parent, const char* name) {
  if (!NoOpenat2.load(std::memory_order_relaxed)) {
    struct open_how how = {};
    how.flags = static_cast<std::uint64_t>(DIRECTORY_FLAGS | O_NOFOLLOW);
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
    const long fd = ::syscall(SYS_openat2, parent, name, &how, sizeof how);
    if (fd >= 0 || (errno != ENOSYS && errno != EPERM && errno != E2BIG))
      return static_cast<int>(fd);
    NoOpenat2.store(true, std::memory_order_relaxed);
  }
  return ::openat(parent, name, DIRECTORY_FLAGS | O_NOFOLLOW);
}
#else
int open_beneath(int parent, const char* name) {
  return ::openat(parent, name, DIRECTORY_FLAGS | O_NOFOLLOW);
}
#endif

std::string joined(const std::string& parent, const std::string& name) {
  if (parent.empty() || parent.back() == '/') return parent + name;
  return parent + "/" + name;
}

// A short random name for a file being written: hidden, and the same
// length whatever the entry's name, so that it fits wherever that name does.
std::string temporary_name() {
  thread_local std::minstd_rand random(std::random_device{}() ^
                                       static_cast<unsigned>(::getpid()));
  char name[32];
  std::snprintf(name, sizeof name, ".kelvora-%08x.part", static_cast<unsigned>(random()));
  return name;
}

// Puts from under name without replacing anything there.
int rename_no_replace(int dir, const char* from, const char* name) {
#if defined(__linux__) && defined(RENAME_NOREPLACE)
  if (::renameat2(dir, from, dir, name, RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return -1;
#elif defined(__APPLE__) && defined(RENAME_EXCL)
  if (::renameatx_np(dir, from, dir, name, RENAME_EXCL) == 0) return 0;
  if (errno != EINVAL && errno != ENOTSUP) return -1;
#endif
  // File systems without an exclusive rename: a hard link fails on any
  // name that is taken.
  if (::linkat(dir, from, dir, name, 0) != 0) return -1;
  ::unlinkat(dir, from, 0);
  return 0;
}

}  // namespace

std::string last_error_text() { return std::generic_category().message(errno); }

bool is_plain_name(const std::string& name) {
  return !name.empty() && name != "." && name != ".." &&
         name.find('/') == std::string::npos && name.find('\0') == std::string::npos;
}

Directory::Directory() = default;
Directory::~Directory() = default;
Directory::Directory(Directory&&) noexcept = default;
Directory& Directory::operator=(Directory&&) noexcept = default;

bool Directory::is_open() const { return handle_ && handle_->Fd >= 0; }

Directory Directory::open_trusted(const std::string& path) {
  Directory dir;
  const int fd = ::open(path.empty() ? "." : path.c_str(), DIRECTORY_FLAGS);
  if (fd < 0) return dir;
  struct stat info;
  if (::fstat(fd, &info) != 0) {
    ::close(fd);
    return dir;
  }
  dir.handle_ = std::make_unique<Handle>(fd);
  dir.path_ = path;
  dir.identity_ = identity_of(info);
  return dir;
}

NameResult Directory::look_up(const std::string& name, FileIdentity* identity) const {
  if (!is_open()) return NameResult::Failed;
  if (!is_plain_name(name)) return NameResult::BadName;
  struct stat info;
  if (::fstatat(handle_->Fd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0)
    return errno == ENOENT ? NameResult::Missing : NameResult::Failed;
  if (identity) *identity = identity_of(info);
  if (S_ISLNK(info.st_mode)) return NameResult::Link;
  if (S_ISDIR(info.st_mode)) return NameResult::IsDirectory;
  return NameResult::Exists;
}

NameResult Directory::open_child(const std::string& name, bool make, Directory& child) const {
  if (!is_open()) return NameResult::Failed;
  if (!is_plain_name(name)) return NameResult::BadName;
  int fd = open_beneath(handle_->Fd, name.c_str());
  if (fd < 0 && errno == ENOENT && make) {
    if (::mkdirat(handle_->Fd, name.c_str(), 0777) != 0 && errno != EEXIST)
      return NameResult::Failed;
    fd = open_beneath(handle_->Fd, name.c_str());
  }
  if (fd < 0) {
    const int error = errno;
    const NameResult there = look_up(name);
    errno = error;
    return failed_child(there);
  }
  struct stat info;
  if (::fstat(fd, &info) != 0 || !S_ISDIR(info.st_mode)) {
    ::close(fd);
    return NameResult::NotDirectory;
  }
  child.handle_ = std::make_unique<Handle>(fd);
  child.path_ = joined(path_, name);
  child.identity_ = identity_of(info);
  return NameResult::Done;
}

NameResult Directory::create_pending(PendingFile& pending) const {
  if (!is_open()) return NameResult::Failed;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string name = temporary_name();
    const int fd = ::openat(handle_->Fd, name.c_str(),
                            O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      return NameResult::Failed;
    }
    struct stat info;
    std::FILE* file = ::fstat(fd, &info) == 0 ? ::fdopen(fd, "wb") : nullptr;
    if (!file) {
      const int error = errno;
      ::close(fd);
      ::unlinkat(handle_->Fd, name.c_str(), 0);
      errno = error;
      return NameResult::Failed;
    }
    pending.File.reset(file);
    pending.TemporaryName = name;
    pending.Identity = identity_of(info);
    return NameResult::Done;
  }
  errno = EEXIST;
  return NameResult::Failed;
}

NameResult Directory::place(const std::string& temporary, const std::string& name,
                            bool replace) const {
  if (!is_open()) return NameResult::Failed;
  if (!is_plain_name(name) || !is_plain_name(temporary)) return NameResult::BadName;
  const int dir = handle_->Fd;
  const int done = replace ? ::renameat(dir, temporary.c_str(), dir, name.c_str())
                           : rename_no_replace(dir, temporary.c_str(), name.c_str());
  if (done == 0) return NameResult::Done;
  if (errno == EEXIST && !replace) return NameResult::Exists;
  if (errno == EISDIR || errno == ENOTEMPTY || errno == EEXIST) return NameResult::IsDirectory;
  return NameResult::Failed;
}

bool Directory::remove(const std::string& name) const {
  return is_open() && is_plain_name(name) && ::unlinkat(handle_->Fd, name.c_str(), 0) == 0;
}

}  // namespace kelvora
