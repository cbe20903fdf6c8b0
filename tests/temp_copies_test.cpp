// View/Open's temporary copies go to the Windows directory's Temp folder,
// where a standard user of Windows 10 and 11 may create files but not list
// them.  Wine lets every user list every folder; a POSIX directory with
// write and search rights but no read right is the same rule, so the copy
// and the clean-up at exit are run here, as an ordinary user, in one.
#include <gtest/gtest.h>

#if !defined(_WIN32)
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/support/test_support.h"
#include "viewer/base/file_system.h"
#include "viewer/catalogue/catalogue.h"
#include "viewer/extract/engine.h"
#include "viewer/extract/temp_files.h"
#include "writer/writer.h"

namespace kelvora {
namespace {

namespace fs = std::filesystem;

constexpr uid_t NOBODY = 65534;

// Exit codes of the child, one per step that can fail.
enum Step { DONE = 0, DROP_RIGHTS, LISTED, LOAD, COPY, CLEAN_UP };

int view_and_clean_up_as_nobody(const std::string& viewer_path, const std::string& temp) {
  if (setgid(NOBODY) != 0 || setuid(NOBODY) != 0) return DROP_RIGHTS;
  // The folder is as a standard user finds the Windows Temp folder.
  if (list_directory(temp)) return LISTED;
  ViewerFile viewer;
  Catalogue catalogue;
  if (!load_viewer_file(viewer_path, viewer) || !load_catalogue(viewer, catalogue)) return LOAD;
  Extractor x(viewer, catalogue, viewer.Settings.content_key());
  TempFileList copies;
  for (EntryIndex entry = 0; entry < catalogue.Entries.size(); ++entry) {
    if (!catalogue.Entries[entry].is_file()) continue;
    remember_temp_file(copies, temp + "/" + catalogue.Entries[entry].Name);
    if (!extract_file(x, entry, temp)) return COPY;
  }
  // Every copy, and a second View/Open of the first file over its copy
  // (each View/Open is an extraction of its own).
  Extractor again(viewer, catalogue, viewer.Settings.content_key());
  if (!extract_file(again, 1, temp)) return COPY;
  return delete_temp_files(copies) == 2 ? DONE : CLEAN_UP;
}

TEST(TempCopies, AreMadeAndRemovedInAFolderThatCannotBeListed) {
  if (geteuid() != 0) GTEST_SKIP() << "switching to an ordinary user needs root";
  test::TempDir dir;
  fs::permissions(dir.path(), fs::perms::owner_all | fs::perms::others_read |
                                  fs::perms::others_exec);
  CdDescription cd;
  cd.Items = {test::root_item(1, "Kelvora"), test::file_item(2, 1, "photo.jpg", "jpeg bytes"),
              test::file_item(3, 1, "notes.txt", "some notes")};
  set_content_key(cd.Settings, "key");
  const WrittenCd written = write_cd(cd, dir.path() / "cd");
  fs::permissions(dir.path() / "cd", fs::perms::owner_all | fs::perms::others_read |
                                         fs::perms::others_exec);
  for (const auto& file : fs::directory_iterator(dir.path() / "cd"))
    fs::permissions(file.path(), fs::perms::owner_all | fs::perms::others_read);
  const fs::path temp = dir.path() / "Temp";
  fs::create_directory(temp);
  fs::permissions(temp, fs::perms::owner_all | fs::perms::others_write | fs::perms::others_exec);

  EXPECT_EXIT(std::exit(view_and_clean_up_as_nobody(written.ViewerPath.string(), temp.string())),
              ::testing::ExitedWithCode(DONE), "");
  for (const auto& left : fs::directory_iterator(temp)) ADD_FAILURE() << "left: " << left.path();
}

}  // namespace
}  // namespace kelvora
#endif
