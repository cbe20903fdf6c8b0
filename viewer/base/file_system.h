// The file layer: every file-system call of the viewer's core goes through
// here, so the engine reads the same on every platform.  Paths are 8-bit
// text in the names' code page (see path_text.h).  On Windows they are
// converted once to UTF-16 and handed to the wide calls, so that a name
// means the same file to every call and long paths work; elsewhere they are
// used as the bytes they are.
//
// Two implementations: file_system_posix.cpp and file_system_win32.cpp.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kelvora {

#if defined(_WIN32)
constexpr char PATH_SEPARATOR = '\\';
#else
constexpr char PATH_SEPARATOR = '/';
#endif

struct FileCloser {
  void operator()(std::FILE* file) const noexcept {
    if (file) std::fclose(file);
  }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// What is at a path, without following a link there.
enum class PathKind {
  Missing,
  File,
  Directory,
  Link,   // a symbolic link, a junction or mount point: a name that leads elsewhere
  Other,  // a device, a pipe, a socket
};

PathKind path_kind(const std::string& path);

// Why the file system cannot take a name as it is, or nullptr when it can.
// On Windows a name whose bytes do not convert to UTF-16 and back in the
// names' code page (a byte the code page does not define, a lead byte
// without its trail byte) is refused: the system's conversion would give it
// a default character, and two names one file.  Elsewhere the bytes are
// the name.
const char* unwritable_name_reason(const std::string& name);

// Whether path names a regular file, following links.
bool is_regular_file(const std::string& path);

// Opens a file; mode as for fopen ("rb", "wb").
FilePtr open_file(const std::string& path, const char* mode);

// Creates (or truncates) a file for writing without ever writing through a
// link at its place: a link to a file there is replaced by the file; a
// directory or a link to one makes it fail.
FilePtr create_file_no_follow(const std::string& path);

// Makes one directory; true when it was made.
bool make_directory(const std::string& path);

// Deletes a file, or a link itself (never what it points to).
bool remove_file(const std::string& path);

// Makes path the process's current directory.
bool change_directory(const std::string& path);

// The names in a directory, without "." and ".."; none when it cannot be
// listed.
std::optional<std::vector<std::string>> list_directory(const std::string& path);

// The system's directory for temporary files.
std::string system_temp_directory();

// A copy from the source's position to the destination's inside the kernel,
// where the platform can (copy_file_range on Linux), without passing the
// bytes through the process.  The streams' positions are taken when it
// starts (what the destination holds is written out first) and both streams
// are moved on to where it ended when it is destroyed; in between, neither
// stream is used.
class KernelCopy {
 public:
  KernelCopy(std::FILE* destination, std::FILE* source);
  ~KernelCopy();
  KernelCopy(const KernelCopy&) = delete;
  KernelCopy& operator=(const KernelCopy&) = delete;

  // Whether the platform can copy between these two streams at all.
  bool ready() const { return in_ >= 0 && out_ >= 0; }
  // Copies count bytes on; returns the bytes copied, fewer than count
  // (perhaps 0) when the platform refuses or the source ends, and the
  // caller copies the rest itself once this copy is gone.
  std::uint64_t copy(std::uint64_t count);

 private:
  std::FILE* destination_;
  std::FILE* source_;
  std::int64_t in_ = -1;
  std::int64_t out_ = -1;
};

// Seeks to an absolute 64-bit offset; false when the platform refuses.
bool seek_to(std::FILE* file, std::uint64_t offset);

// Length of an open file in bytes, or -1 when it cannot be told.  The
// position is left at the start.
std::int64_t file_length(std::FILE* file);

// Closes the file and reports whether everything buffered reached the disk.
bool close_checked(FilePtr& file);

}  // namespace kelvora
