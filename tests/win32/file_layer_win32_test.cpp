// The Windows file layer under Wine: names mean the same file to the layer
// and to the system's own ANSI calls, long paths work and reach the disk as
// short ones would, names that a code page cannot hold are refused rather
// than merged, and a reparse point
// (a junction, or a symbolic link) below the export target is never
// written through.  run_in_wine.sh plants C:\planted\Kelvora as a link to
// C:\link-target (a Unix link inside the prefix shows as a directory with
// the reparse-point bit, as a junction does on Windows).
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "tests/support/test_support.h"
#include "viewer/base/file_system.h"
#include "viewer/base/path_text.h"
#include "viewer/base/wide_path_win32.h"
#include "viewer/catalogue/catalogue.h"
#include "viewer/extract/engine.h"
#include "writer/writer.h"

namespace kelvora {
namespace {

std::wstring wide_of(const std::string& ansi) {
  wchar_t buffer[1024] = {};
  MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), -1, buffer, 1024);
  return buffer;
}

TEST(FileLayer, NamesMeanWhatTheAnsiCallsMean) {
  ASSERT_EQ(GetACP(), 1252u);
  // 0x92 is a right single quotation mark in 1252, not the control U+0092.
  const std::string dir = "C:\\Bob\x92s notes \x80";
  ASSERT_TRUE(make_directory(dir));
  EXPECT_EQ(path_kind(dir), PathKind::Directory);
  EXPECT_NE(GetFileAttributesW(L"C:\\Bob\u2019s notes \u20AC"), INVALID_FILE_ATTRIBUTES);
  {
    FilePtr file = create_file_no_follow(dir + "\\\x93quoted\x94.txt");
    ASSERT_TRUE(file);
    std::fputs("text", file.get());
  }
  EXPECT_NE(GetFileAttributesA((dir + "\\\x93quoted\x94.txt").c_str()), INVALID_FILE_ATTRIBUTES);
  const auto names = list_directory(dir);
  ASSERT_TRUE(names);
  EXPECT_EQ(*names, std::vector<std::string>{"\x93quoted\x94.txt"});
  EXPECT_TRUE(remove_file(dir + "\\\x93quoted\x94.txt"));
  EXPECT_EQ(path_kind(dir + "\\\x93quoted\x94.txt"), PathKind::Missing);
  RemoveDirectoryW(wide_of(dir).c_str());
}

TEST(FileLayer, PathsLongerThanTheOldLimitWork) {
  std::string path = "C:\\long";
  ASSERT_TRUE(make_directory(path) || path_kind(path) == PathKind::Directory);
  while (path.size() < 300) {
    path += "\\a-rather-long-directory-name";
    ASSERT_TRUE(make_directory(path)) << path.size();
  }
  const std::string file_path = path + "\\file.bin";
  {
    FilePtr file = create_file_no_follow(file_path);
    ASSERT_TRUE(file);
    std::fputs("deep", file.get());
  }
  EXPECT_TRUE(is_regular_file(file_path));
  FilePtr back = open_file(file_path, "rb");
  ASSERT_TRUE(back);
  char text[8] = {};
  EXPECT_EQ(std::fread(text, 1, sizeof text, back.get()), 4u);
  EXPECT_STREQ(text, "deep");
}

// Names of 25 letters below root until the path is past length.
std::string deep_path(std::string root, std::size_t length) {
  while (root.size() < length) root += "\\abcdefghijklmnopqrstuvwxy";
  return root;
}

TEST(FileLayer, ALongPathIsNormalisedByTheSystemBeforeItsPrefix) {
  const std::string deep = deep_path("C:\\long-form", 300);
  const std::wstring wide = wide_of(deep);
  const struct {
    const char* What;
    std::string Path;
    std::wstring Expected;
  } cases[] = {
      {"short: as it is", "C:\\\\short\\.\\x", L"C:\\\\short\\.\\x"},
      {"a drive-root target's doubled separator", "C:\\\\" + deep.substr(3), L"\\\\?\\" + wide},
      {"'.' and '..'", deep + "\\.\\gone\\..\\f.txt", L"\\\\?\\" + wide + L"\\f.txt"},
      {"forward slashes", "C:/" + deep.substr(3) + "/f.txt", L"\\\\?\\" + wide + L"\\f.txt"},
      {"trailing dots and blanks of the last name", deep + "\\f.txt. .",
       L"\\\\?\\" + wide + L"\\f.txt"},
      {"a device path is meant literally", "\\\\?\\" + deep + "\\.\\x",
       L"\\\\?\\" + wide + L"\\.\\x"},
  };
  for (const auto& c : cases) EXPECT_EQ(system_path(c.Path), c.Expected) << c.What;
}

// A drive's root as the target: the engine builds C:\\Kelvora\..., which a
// \\?\ path would keep doubled past 260 characters.
TEST(FileLayer, AnExportIntoADriveRootPastTheOldLimitIsWritten) {
  test::TempDir dir;
  CdDescription cd;
  cd.Items = {test::root_item(1, "Kelvora")};
  std::uint32_t id = 1;
  std::string path = "C:\\Kelvora";
  for (int depth = 0; depth < 8; ++depth, ++id) {
    const std::string name = "folder-" + std::to_string(depth) + "-abcdefghijklmnopqrstuvwxyz";
    cd.Items.push_back(test::folder_item(id + 1, id, name));
    path += "\\" + name;
  }
  cd.Items.push_back(test::file_item(id + 1, id, "deep.txt", "at the bottom"));
  path += "\\deep.txt";
  ASSERT_GT(path.size(), 260u);
  set_content_key(cd.Settings, "key");
  const WrittenCd written = write_cd(cd, dir.path());
  ViewerFile viewer;
  Catalogue catalogue;
  ASSERT_TRUE(load_viewer_file(written.ViewerPath.string(), viewer));
  ASSERT_TRUE(load_catalogue(viewer, catalogue));
  test::MessageRecorder recorder;
  Extractor x(viewer, catalogue, viewer.Settings.content_key());
  export_folder(x, 0, "C:\\");
  EXPECT_EQ(recorder.lines(), std::vector<std::string>{});
  EXPECT_EQ(x.Result.FilesWritten, 1u);
  EXPECT_NE(GetFileAttributesW((L"\\\\?\\" + wide_of(path)).c_str()), INVALID_FILE_ATTRIBUTES);
}

// Sets the names' code page for one test.
struct NamesIn {
  explicit NamesIn(unsigned code_page) { set_name_code_page(code_page); }
  ~NamesIn() { set_name_code_page(0); }
};

TEST(FileLayer, ANameThatDoesNotConvertBackIsRefusedNeverMerged) {
  {
    NamesIn japanese(932);
    // A lead byte before ".", and one at the end: each would become the
    // default character, and both names one file.
    for (const std::string& name : {std::string("\x81.txt"), std::string("name\x82")}) {
      EXPECT_EQ(widen("C:\\" + name), std::wstring()) << name;
      EXPECT_NE(unwritable_name_reason(name), nullptr) << name;
      EXPECT_FALSE(create_file_no_follow("C:\\" + name)) << name;
      EXPECT_EQ(path_kind("C:\\" + name), PathKind::Missing) << name;
    }
    EXPECT_EQ(widen("C:\\\x95\x5C.txt"), std::wstring(L"C:\\\u8868.txt"));
    EXPECT_EQ(unwritable_name_reason("\x95\x5C.txt"), nullptr);
  }
  // The bytes 1252 leaves undefined come back as themselves: two files.
  const std::string dir = "C:\\undefined-bytes";
  ASSERT_TRUE(make_directory(dir));
  for (const char* name : {"Caf\x81.txt", "Caf\x8D.txt", "Caf\x90.txt"}) {
    EXPECT_EQ(unwritable_name_reason(name), nullptr) << name;
    ASSERT_TRUE(create_file_no_follow(dir + "\\" + name)) << name;
  }
  EXPECT_EQ(list_directory(dir)->size(), 3u);
}

// An export in 932 of a folder with a name that cannot be converted: that
// file is refused with a box and counted, the others are written.
TEST(FileLayer, ARefusedNameIsReportedAndCountedTheRestIsWritten) {
  NamesIn japanese(932);
  test::TempDir dir;
  CdDescription cd;
  cd.Items = {test::root_item(1, "Kelvora"), test::file_item(2, 1, "\x81.txt", "lost?"),
              test::file_item(3, 1, "\x95\x5C.txt", "kept")};
  set_content_key(cd.Settings, "key");
  const WrittenCd written = write_cd(cd, dir.path());
  ViewerFile viewer;
  Catalogue catalogue;
  ASSERT_TRUE(load_viewer_file(written.ViewerPath.string(), viewer));
  ASSERT_TRUE(load_catalogue(viewer, catalogue));
  test::MessageRecorder recorder;
  Extractor x(viewer, catalogue, viewer.Settings.content_key());
  export_folder(x, 0, "C:\\refused-932");
  EXPECT_EQ(recorder.lines().size(), 1u);
  EXPECT_EQ(x.Result.FilesWritten, 1u);
  EXPECT_EQ(x.Result.FilesFailed, 1u);
  EXPECT_NE(GetFileAttributesW(L"C:\\refused-932\\Kelvora\\\u8868.txt"), INVALID_FILE_ATTRIBUTES);
}

// Under UTF-8 a CD's 1252 names are read as 1252 below a folder whose name
// the system gave as UTF-8: "Café.txt" and "Cafè.txt" stay two files.
TEST(FileLayer, UnderUtf8TwoNamesOfACdStayTwoFiles) {
  NamesIn utf8(CP_UTF8);
  const std::string dir = "C:\\Jos\xC3\xA9" "e";
  ASSERT_TRUE(make_directory(dir));
  for (const char* name : {"Caf\xE9.txt", "Caf\xE8.txt"}) {
    FilePtr file = create_file_no_follow(dir + "\\" + name);
    ASSERT_TRUE(file) << name;
    std::fputs(name, file.get());
  }
  EXPECT_NE(GetFileAttributesW(L"C:\\Jos\u00E9e\\Caf\u00E9.txt"), INVALID_FILE_ATTRIBUTES);
  EXPECT_NE(GetFileAttributesW(L"C:\\Jos\u00E9e\\Caf\u00E8.txt"), INVALID_FILE_ATTRIBUTES);
}

TEST(FileLayer, AReparsePointBelowTheTargetIsNeverWrittenThrough) {
  ASSERT_EQ(path_kind("C:\\planted\\Kelvora"), PathKind::Link);
  test::TempDir dir;
  CdDescription cd;
  cd.Items = {test::root_item(), test::file_item(2, 1, "secret.txt", "decrypted"),
              test::folder_item(3, 1, "Sub"), test::file_item(4, 3, "deep.txt", "deeper")};
  set_content_key(cd.Settings, "key");
  const WrittenCd written = write_cd(cd, dir.path());
  ViewerFile viewer;
  Catalogue catalogue;
  ASSERT_TRUE(load_viewer_file(written.ViewerPath.string(), viewer));
  ASSERT_TRUE(load_catalogue(viewer, catalogue));
  test::MessageRecorder recorder;
  Extractor x(viewer, catalogue, viewer.Settings.content_key());
  export_folder(x, 0, "C:\\planted");
  EXPECT_EQ(recorder.lines(), std::vector<std::string>{
                                  "Error:(4312)|Cannot export into C:\\planted\\Kelvora: it is a link."});
  EXPECT_EQ(x.Result.FilesWritten, 0u);
  WIN32_FIND_DATAA found;
  HANDLE find = FindFirstFileA("C:\\link-target\\*", &found);
  int entries = 0;
  if (find != INVALID_HANDLE_VALUE) {
    do {
      if (std::string(found.cFileName) != "." && std::string(found.cFileName) != "..") ++entries;
    } while (FindNextFileA(find, &found));
    FindClose(find);
  }
  EXPECT_EQ(entries, 0);
}

}  // namespace
}  // namespace kelvora
