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

const char* unwritable_name_reason(const std::string&) { return nullptr; }

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

KernelCopy::KernelCopy(std::FILE* destination, std::FILE* source)
    : destination_(destination), source_(source) {
#if defined(__linux__)
  if (!destination_ || !source_ || std::fflush(destination_) != 0) return;
  in_ = ftello(source_);
  out_ = ftello(destination_);
#endif
}

KernelCopy::~KernelCopy() {
  if (!ready()) return;
  // Also drops any read-ahead of the source.
  fseeko(source_, static_cast<off_t>(in_), SEEK_SET);
  fseeko(destination_, static_cast<off_t>(out_), SEEK_SET);
}

std::uint64_t KernelCopy::copy(std::uint64_t count) {
  std::uint64_t copied = 0;
#if defined(__linux__)
  if (!ready()) return 0;
  off_t in = static_cast<off_t>(in_), out = static_cast<off_t>(out_);
  while (copied < count) {
    const ssize_t n = ::copy_file_range(::fileno(source_), &in, ::fileno(destination_), &out,
                                        static_cast<std::size_t>(count - copied), 0);
    if (n <= 0) break;  // refused (another file system, no support) or the end
    copied += static_cast<std::uint64_t>(n);
  }
  in_ = in;
  out_ = out;
#else
  (void)count;
#endif
  return copied;
}

std::string system_temp_directory() {
  std::error_code error;
  const fs::path system = fs::temp_directory_path(error);
  return error ? std::string(".") : system.string();
}

}  // namespace kelvora
