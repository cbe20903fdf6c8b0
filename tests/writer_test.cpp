#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/test_support.h"
#include "viewer/catalogue/catalogue.h"
#include "viewer/container/ciphers.h"
#include "viewer/base/file_system.h"
#include "viewer/container/password.h"
#include "viewer/container/viewer_file.h"
#include "viewer/base/codepage.h"
#include "writer/writer.h"

namespace kelvora {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

// Reads a file entry's contents back the way the viewer does.
std::vector<std::uint8_t> contents_of(const fs::path& cd_dir, const CryptItem& item,
                                      const char* key) {
  std::string relative = item.DataFile;
  for (char& ch : relative)
    if (ch == '\\') ch = '/';
  FilePtr in = open_file((cd_dir / relative).string(), "rb");
  EXPECT_TRUE(in) << relative;
  if (!in) return {};
  seek_to(in.get(), item.DataOffset);
  TempDir scratch;
  FilePtr out = open_file((scratch / "out").string(), "wb");
  EXPECT_EQ(copy_decrypt(key, out.get(), in.get(), item.Size), 1);
  out.reset();
  return test::read_file(scratch / "out");
}

struct Loaded {
  ViewerFile viewer;
  Catalogue catalogue;
};
Loaded load(const WrittenCd& written) {
  Loaded l;
  EXPECT_TRUE(load_viewer_file(written.ViewerPath.string(), l.viewer));
  EXPECT_TRUE(load_catalogue(l.viewer, l.catalogue));
  return l;
}

TEST(Writer, DescribesADirectoryTreeFolderFilesFirst) {
  TempDir src;
  test::write_file(src / "Root" / "b.txt", "bee");
  test::write_file(src / "Root" / "Caf\xC3\xA9.txt", "coffee");
  test::write_file(src / "Root" / "Sub" / "deep.bin", test::pattern_bytes(5000, 1));
  fs::create_directories(src.path() / "Root" / "Empty");
  const CdDescription cd = describe_directory(src.path() / "Root");
  std::vector<std::string> shape;
  for (const WriterItem& item : cd.Items)
    shape.push_back(std::to_string(item.Id) + ":" + std::to_string(item.ParentId) + ":" +
                    std::to_string(item.Kind) + ":" + item.Name);
  EXPECT_EQ(shape, (std::vector<std::string>{
                       "1:0:777:Root", "2:1:999:Caf\xE9.txt", "3:1:999:b.txt",
                       "4:1:888:Empty", "5:1:888:Sub", "6:5:999:deep.bin"}));
}

TEST(Writer, ContentsRoundTripWithTheStoredKeyAcrossDataFiles) {
  TempDir dir;
  CdDescription cd;
  cd.Items = {test::root_item(), test::folder_item(2, 1, "F")};
  std::vector<std::vector<std::uint8_t>> contents;
  for (std::uint32_t i = 0; i < 6; ++i) {
    contents.push_back(test::pattern_bytes(400 * i, i));
    cd.Items.push_back(test::file_item(10 + i, 2, "f" + std::to_string(i), contents.back()));
  }
  set_content_key(cd.Settings, "stored key");
  cd.MaxDataFile = 1000;
  cd.DataFileName = "DATA\\PART%u.DAT";
  const WrittenCd written = write_cd(cd, dir.path());
  EXPECT_GT(written.DataFiles.size(), 2u);
  for (const fs::path& p : written.DataFiles) EXPECT_LE(fs::file_size(p), 2000u);
  Loaded l = load(written);
  for (std::uint32_t i = 0; i < 6; ++i) {
    const CryptItem& item = l.catalogue.Entries[2 + i];
    EXPECT_EQ(item.DataFile.rfind("DATA\\PART", 0), 0u) << item.DataFile;
    EXPECT_EQ(contents_of(dir.path(), item, l.viewer.Settings.content_key()), contents[i]) << i;
  }
  // The data files hold ciphertext, not the plain bytes.
  const auto raw = test::read_file(written.DataFiles.back());
  EXPECT_NE(raw, std::vector<std::uint8_t>(contents[5].begin(), contents[5].end()));
}

TEST(Writer, APasswordCdStoresTheCheckBlockAndEnciphersWithThePassword) {
  TempDir dir;
  CdDescription cd;
  cd.Items = {test::root_item(), test::file_item(2, 1, "s.txt", "secret contents")};
  cd.Password = "Open Sesame";
  cd.Licence = "Be nice.";
  const WrittenCd written = write_cd(cd, dir.path());
  Loaded l = load(written);
  EXPECT_TRUE(l.viewer.Settings.Flags & FLAG_PASSWORD);
  EXPECT_TRUE(l.viewer.Settings.Flags & FLAG_LICENCE);
  EXPECT_EQ(check_password(l.viewer.Settings, "open Sesame"), PasswordResult::Incorrect);
  ASSERT_EQ(check_password(l.viewer.Settings, "Open Sesame"), PasswordResult::Correct);
  EXPECT_EQ(contents_of(dir.path(), l.catalogue.Entries[1], l.viewer.Settings.content_key()),
            test::bytes_of("secret contents"));
}

TEST(Writer, AnEmptyContentKeyStoresContentsInPlain) {
  TempDir dir;
  CdDescription cd;
  cd.Items = {test::root_item(), test::file_item(2, 1, "p.txt", "plain text")};
  const WrittenCd written = write_cd(cd, dir.path());
  EXPECT_EQ(test::read_file(written.DataFiles.at(0)), test::bytes_of("plain text"));
}

TEST(Writer, ExplicitLocationsAreStoredAsGiven) {
  TempDir dir;
  CdDescription cd;
  WriterItem ghost = test::file_item(2, 1, "ghost");
  ghost.DataFile = "NOWHERE.DAT";
  ghost.DataOffset = 77;
  ghost.Size = 12345;
  cd.Items = {test::root_item(), ghost};
  const WrittenCd written = write_cd(cd, dir.path());
  EXPECT_TRUE(written.DataFiles.empty());
  Loaded l = load(written);
  EXPECT_EQ(l.catalogue.Entries[1].DataFile, "NOWHERE.DAT");
  EXPECT_EQ(l.catalogue.Entries[1].DataOffset, 77u);
  EXPECT_EQ(l.catalogue.Entries[1].Size, 12345u);
}

TEST(Codepage, Windows1252RoundTripsEveryByte) {
  std::string all;
  for (int b = 1; b < 256; ++b) all += static_cast<char>(b);
  const auto utf8 = to_utf8(all, "windows-1252");
  ASSERT_TRUE(utf8);
  EXPECT_EQ(*to_utf8("\x80\xE9", "1252"), "\xE2\x82\xAC\xC3\xA9");
  EXPECT_EQ(from_utf8(*utf8, "CP1252"), all);
  EXPECT_FALSE(from_utf8("\xE4\xB8\xAD", "windows-1252")) << "no byte for U+4E2D";
  EXPECT_FALSE(from_utf8("\xC3", "windows-1252")) << "cut sequence";
  EXPECT_FALSE(to_utf8("x", "no-such-code-page"));
}

}  // namespace
}  // namespace kelvora
