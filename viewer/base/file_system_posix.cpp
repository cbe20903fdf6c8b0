// The file layer on Linux and macOS: names are bytes, used as they are.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <system_error>

#include "viewer/base/file_system.h"
#include "viewer/base/path_text.h"

namespace kelvora {
namespace fs = std::filesystem;

namespace {
unsigned NameCodePage = 1252;
}

unsigned name_code_page() { return NameCodePage; }
void set_name_code_page(unsigned code_page) { NameCodePage = code_page ? code_page : 1252; }

PathKind path_kind(const std::string& path) {
  struct stat info;
  if (::lstat(path.c_str(), &info) != 0) return PathKind::Missing;
  if (S_ISLNK(info.st_mode)) return PathKind::Link;
  if (S_ISDIR(info.st_mode)) return PathKind::Directory;
  if (S_ISREG(info.st_mode)) return PathKind::File;
  return PathKind::Other;
}

bool is_regular_file(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

FilePtr open_file(const std::string& path, const char* mode) {
  return FilePtr(std::fopen(path.c_str(), mode));
}

FilePtr create_file_no_follow(const std::string& path) {
  if (path_kind(path) == PathKind::Link) ::unlink(path.c_str());
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC,
                        0666);
  if (fd < 0) return nullptr;
  std::FILE* file = ::fdopen(fd, "wb");
  if (!file) ::close(fd);
  return FilePtr(file);
}

bool make_directory(const std::string& path) { return ::mkdir(path.c_str(), 0777) == 0; }

bool remove_file(const std::string& path) { return ::unlink(path.c_str()) == 0; }

bool change_directory(const std::string& path) { return ::chdir(path.c_str()) == 0; }

std::optional<std::vector<std::string>> list_directory(const std::string& path) {
  std::error_code error;
  fs::directory_iterator it(path, error);
  if (error) return std::nullopt;
  std::vector<std::string> names;
  for (const fs::directory_iterator end; it != end; it.increment(error)) {
    if (error) return std::nullopt;
    names.push_back(it->path().filename().string());
  }
  return names;
}

std::uint64_t copy_in_kernel(std::FILE* destination, std::FILE* source, std::uint64_t count) {
#if defined(__linux__)
  if (!destination || !source || count == 0) return 0;
  // The streams' own positions are the truth: write out what the
  // destination holds, copy between explicit offsets, then move both
  // streams on (which also drops any read-ahead of the source).
  if (std::fflush(destination) != 0) return 0;
  const off_t source_start = ftello(source);
  const off_t destination_start = ftello(destination);
  if (source_start < 0 || destination_start < 0) return 0;
  off_t in = source_start, out = destination_start;
  std::uint64_t copied = 0;
  while (copied < count) {
    const ssize_t n = ::copy_file_range(::fileno(source), &in, ::fileno(destination), &out,
                                        static_cast<std::size_t>(count - copied), 0);
    if (n <= 0) break;  // refused (another file system, no support) or the end
    copied += static_cast<std::uint64_t>(n);
  }
  fseeko(source, in, SEEK_SET);
  fseeko(destination, out, SEEK_SET);
  return copied;
#else
  (void)destination;
  (void)source;
  (void)count;
  return 0;
#endif
}

std::string system_temp_directory() {
  std::error_code error;
  const fs::path system = fs::temp_directory_path(error);
  return error ? std::string(".") : system.string();
}

}  // namespace kelvora
