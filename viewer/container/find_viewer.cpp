#include "viewer/container/find_viewer.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "viewer/container/file_io.h"
#include "viewer/container/viewer_file.h"

namespace kelvora {
namespace fs = std::filesystem;

bool ends_in_trailer(const std::string& path) {
  FilePtr file = open_file(path, "rb");
  if (!file) return false;
  const std::int64_t length = file_length(file.get());
  if (length < static_cast<std::int64_t>(TRAILER_SIZE)) return false;
  std::uint8_t magic[4];
  return seek_to(file.get(), static_cast<std::uint64_t>(length) - 4) &&
         std::fread(magic, 1, 4, file.get()) == 4 && read_le32(magic) == TRAILER_MAGIC;
}

std::vector<std::string> find_viewer_files(const std::string& directory) {
  std::vector<std::string> found;
  std::error_code error;
  for (fs::directory_iterator it(directory, error), end; !error && it != end;
       it.increment(error)) {
    std::error_code kind_error;
    if (it->is_regular_file(kind_error) && ends_in_trailer(it->path().string()))
      found.push_back(it->path().string());
  }
  std::sort(found.begin(), found.end());
  return found;
}

}  // namespace kelvora
