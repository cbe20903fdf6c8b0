// The Windows file layer under Wine: names mean the same file to the layer
// and to the system's own ANSI calls, long paths work, and a reparse point
// (a junction, or a symbolic link) below the export target is never
// written through.  run_in_wine.sh plants C:\planted\Kelvora as a link to
// C:\link-target (a Unix link inside the prefix shows as a directory with
// the reparse-point bit, as a junction does on Windows).
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "tests/support/test_support.h"
#include "viewer/base/file_system.h"
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
