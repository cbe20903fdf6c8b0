#include "viewer/extract/temp_files.h"

#include <filesystem>
#include <system_error>

#include "viewer/extract/engine.h"

namespace kelvora {
namespace fs = std::filesystem;

void remember_temp_file(TempFileList& list, const std::string& path) {
  if (path.empty()) return;
  list.TempFiles.push_back({path});
}

int delete_temp_files(TempFileList& list) {
  int deleted = 0;
  for (const TEMP_FILE& file : list.TempFiles) {
    std::error_code error;
    if (fs::exists(fs::symlink_status(file.TempPath, error)) &&
        fs::remove(file.TempPath, error))
      ++deleted;
  }
  list.TempFiles.clear();
  return deleted;
}

std::string temp_directory(const std::string& windows_directory) {
  if (!windows_directory.empty()) return windows_directory + PATH_SEPARATOR + "Temp";
  std::error_code error;
  const fs::path system = fs::temp_directory_path(error);
  return error ? std::string(".") : system.string();
}

}  // namespace kelvora
