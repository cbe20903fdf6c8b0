#include "viewer/extract/temp_files.h"

#include "viewer/base/file_system.h"

namespace kelvora {

void remember_temp_file(TempFileList& list, const std::string& path) {
  if (path.empty()) return;
  list.TempFiles.push_back({path});
}

int delete_temp_files(TempFileList& list) {
  int deleted = 0;
  for (const TEMP_FILE& file : list.TempFiles) {
    if (path_kind(file.TempPath) != PathKind::Missing && remove_file(file.TempPath)) ++deleted;
  }
  list.TempFiles.clear();
  return deleted;
}

std::string temp_directory(const std::string& windows_directory) {
  if (!windows_directory.empty()) return windows_directory + PATH_SEPARATOR + "Temp";
  return system_temp_directory();
}

}  // namespace kelvora
