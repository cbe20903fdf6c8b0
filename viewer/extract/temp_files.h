// The temporary copies made for viewing: every copy is remembered when it is
// made and deleted when the viewer ends.
#pragma once

#include <string>
#include <vector>

namespace kelvora {

// One remembered copy.
struct TEMP_FILE {
  std::string TempPath;  // full path of the copy
};

// The copies in the order they were made; a path may occur more than once.
struct TempFileList {
  std::vector<TEMP_FILE> TempFiles;
};

// Remembers a path (an empty one is ignored).
void remember_temp_file(TempFileList& list, const std::string& path);

// The exit clean-up's walk: deletes whatever exists at each remembered path,
// ignoring failures (a copy still open elsewhere stays), and empties the
// list.  Returns the number of files deleted.
int delete_temp_files(TempFileList& list);

// Where copies go on this platform: the Windows directory's "Temp" there,
// the system's temporary directory elsewhere.
std::string temp_directory(const std::string& windows_directory);

}  // namespace kelvora
