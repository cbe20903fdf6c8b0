// The mounted CD without FUSE: the tree a mount shows (names, refusals,
// renamed twins, deep folders) and its reads at any offset, from whole,
// missing and short data files.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "cli/mount_reader.h"
#include "cli/mount_tree.h"
#include "tests/support/test_support.h"
#include "viewer/base/codepage.h"
#include "viewer/catalogue/catalogue.h"
#include "viewer/container/ciphers.h"
#include "viewer/container/viewer_file.h"
#include "writer/writer.h"

namespace kelvora {
namespace {

namespace fs = std::filesystem;
using cli::MountNodeIndex;
using cli::MountTree;
using cli::NO_MOUNT_NODE;
using test::file_item;
using test::folder_item;
using test::root_item;

std::string from_1251(const std::string& text) {
  return to_utf8(text, "windows-1251").value_or(text);
}

MountTree tree_of(const std::vector<WriterItem>& items,
                  const cli::NameConverter& utf8 = from_1251) {
  const Catalogue catalogue = test::catalogue_of(items);
  return cli::build_mount_tree(catalogue, utf8);
}

// Every node's path, in the tree's order.
std::vector<std::string> paths_of(const MountTree& tree) {
  std::vector<std::string> paths;
  for (MountNodeIndex n = 1; n < tree.Nodes.size(); ++n)
    paths.push_back(tree.path_of(n) + (tree.Nodes[n].Folder ? "/" : ""));
  return paths;
}

TEST(DecryptAt, APieceDecipheredAtItsOffsetEqualsThatPieceOfTheWholeFile) {
  const std::vector<std::uint8_t> plain = test::pattern_bytes(3 * 1048576 + 17, 5);
  const std::size_t offsets[] = {0, 1, 4095, 4096, 1048575, 1048576, 2 * 1048576 + 9,
                                 plain.size() - 1};
  const std::size_t lengths[] = {1, 7, 4096, 131072, 1048577};
  for (const char* key : {"", "k", "Harbour-Light", "bb", "\xE9t\xE9"}) {
    std::vector<std::uint8_t> stored = plain;
    xor_all(key, stored.data(), stored.size());  // as the writer enciphers
    for (std::size_t offset : offsets)
      for (std::size_t length : lengths) {
        const std::size_t count = std::min(length, plain.size() - offset);
        std::vector<std::uint8_t> piece(stored.begin() + offset,
                                        stored.begin() + offset + count);
        decrypt_at(key, offset, piece.data(), piece.size());
        ASSERT_TRUE(std::equal(piece.begin(), piece.end(), plain.begin() + offset))
            << "key " << key << " offset " << offset << " length " << length;
      }
  }
}

TEST(MountTree, ShowsFoldersAndFilesAsExtractWritesThemWithConvertedNames) {
  const MountTree tree = tree_of({root_item(1), folder_item(2, 1, "\xC4\xEE\xEA\xF3\xEC\xE5\xED\xF2\xFB"),
                                  file_item(3, 2, "\xF4\xE0\xE9\xEB.txt", "x"),
                                  folder_item(4, 2, "Deep"), file_item(5, 4, "d", "dd"),
                                  file_item(6, 1, "top.txt", "t"),
                                  file_item(7, 99, "orphan", "o")});
  EXPECT_EQ(paths_of(tree), (std::vector<std::string>{
                                "Kelvora/", "Kelvora/top.txt",
                                "Kelvora/\xD0\x94\xD0\xBE\xD0\xBA\xD1\x83\xD0\xBC\xD0\xB5\xD0"
                                "\xBD\xD1\x82\xD1\x8B/",
                                "Kelvora/\xD0\x94\xD0\xBE\xD0\xBA\xD1\x83\xD0\xBC\xD0\xB5\xD0"
                                "\xBD\xD1\x82\xD1\x8B/\xD1\x84\xD0\xB0\xD0\xB9\xD0\xBB.txt",
                                "Kelvora/\xD0\x94\xD0\xBE\xD0\xBA\xD1\x83\xD0\xBC\xD0\xB5\xD0"
                                "\xBD\xD1\x82\xD1\x8B/Deep/",
                                "Kelvora/\xD0\x94\xD0\xBE\xD0\xBA\xD1\x83\xD0\xBC\xD0\xB5\xD0"
                                "\xBD\xD1\x82\xD1\x8B/Deep/d"}));
  EXPECT_TRUE(tree.Notes.empty());
  const MountNodeIndex d = tree.find(
      "/Kelvora/\xD0\x94\xD0\xBE\xD0\xBA\xD1\x83\xD0\xBC\xD0\xB5\xD0\xBD\xD1\x82\xD1\x8B//Deep/d");
  ASSERT_NE(d, NO_MOUNT_NODE);
  EXPECT_EQ(tree.Nodes[d].Size, 2u);
  EXPECT_EQ(tree.find("/"), cli::MOUNT_ROOT);
  EXPECT_EQ(tree.find("/Kelvora/nothing"), NO_MOUNT_NODE);
  EXPECT_EQ(tree.find("/Kelvora/top.txt/x"), NO_MOUNT_NODE);
  EXPECT_EQ(tree.Nodes[tree.find("/Kelvora")].SubFolders, 1u);
}

TEST(MountTree, LeavesOutUnsafeNamesAndSaysWhyOnce) {
  struct Case {
    std::string stored;
    const char* reason;
  } cases[] = {
      {"..", "the name would leave the target directory"},
      {"CON.txt", "the name is a device name"},
      {"a:b", "the name holds a drive or a colon"},
      {"\\abs", "the name is an absolute path"},
      {"sub\\x.txt", "the name holds a path separator"},
      {".", "the name has an empty or \".\" part"},
      {"", "it has no name"},
      {std::string(200, '\xE0'), "the name is longer than 255 bytes"},  // 400 bytes in UTF-8
  };
  std::vector<WriterItem> items{root_item(1)};
  std::uint32_t id = 10;
  for (const Case& c : cases) items.push_back(file_item(id++, 1, c.stored, "x"));
  items.push_back(folder_item(id++, 1, "PRN"));
  items.push_back(file_item(id, id - 1, "inside.txt", "x"));
  items.push_back(file_item(id + 1, 1, "kept.txt", "x"));
  const MountTree tree = tree_of(items);
  EXPECT_EQ(paths_of(tree), (std::vector<std::string>{"Kelvora/", "Kelvora/kept.txt"}));
  ASSERT_EQ(tree.Notes.size(), std::size(cases) + 1);
  for (std::size_t i = 0; i < std::size(cases); ++i)
    EXPECT_NE(tree.Notes[i].find(std::string(": ") + cases[i].reason + "."), std::string::npos)
        << tree.Notes[i];
  EXPECT_EQ(tree.Notes[1], "Kelvora/CON.txt is left out: the name is a device name.");
  EXPECT_EQ(tree.Notes.back(), "Kelvora/PRN is left out: the name is a device name.");
}

TEST(MountTree, EntriesOfOneNameInAFolderAreAllShownAndTheLaterOnesRenamed) {
  const MountTree tree = tree_of({root_item(1), file_item(2, 1, "a.txt", "1"),
                                  file_item(3, 1, "a.txt", "2"), file_item(4, 1, "a.txt", "3"),
                                  file_item(5, 1, "a (2).txt", "4"), file_item(6, 1, ".rc", "5"),
                                  file_item(7, 1, ".rc", "6"), file_item(8, 1, "v1.2", "7"),
                                  folder_item(9, 1, "v1.2"), root_item(20)});
  EXPECT_EQ(paths_of(tree),
            (std::vector<std::string>{"Kelvora/", "Kelvora (2)/", "Kelvora/a.txt",
                                      "Kelvora/a (2).txt", "Kelvora/a (3).txt",
                                      "Kelvora/a (2) (2).txt", "Kelvora/.rc",
                                      "Kelvora/.rc (2)", "Kelvora/v1.2", "Kelvora/v1.2 (2)/"}));
  EXPECT_EQ(tree.Notes,
            (std::vector<std::string>{
                "Kelvora is shown as Kelvora (2): an earlier entry of its folder has its name.",
                "Kelvora/a.txt is shown as a (2).txt: an earlier entry of its folder has its name.",
                "Kelvora/a.txt is shown as a (3).txt: an earlier entry of its folder has its name.",
                "Kelvora/a (2).txt is shown as a (2) (2).txt: an earlier entry of its folder has "
                "its name.",
                "Kelvora/.rc is shown as .rc (2): an earlier entry of its folder has its name.",
                "Kelvora/v1.2 is shown as v1.2 (2): an earlier entry of its folder has its name."}));
}

TEST(MountTree, DeepFoldersNeedNoDeepStack) {
  std::vector<WriterItem> items{root_item(1)};
  constexpr std::uint32_t depth = 20000;
  for (std::uint32_t i = 0; i < depth; ++i) items.push_back(folder_item(i + 2, i + 1, "d"));
  items.push_back(file_item(depth + 2, depth + 1, "end", "e"));
  const MountTree tree = tree_of(items);
  MountNodeIndex n = tree.find("/Kelvora");
  for (std::uint32_t i = 0; i < depth && n != NO_MOUNT_NODE; ++i) n = tree.child(n, "d");
  ASSERT_NE(n, NO_MOUNT_NODE);
  EXPECT_NE(tree.child(n, "end"), NO_MOUNT_NODE);
}

// A CD of three data files (one file each) and the reader over it.
class MountRead : public ::testing::Test {
 protected:
  test::TempDir dir;
  std::vector<std::uint8_t> big = test::pattern_bytes(5 * 1048576 + 123, 9);
  WrittenCd written;
  ViewerFile viewer;
  Catalogue catalogue;
  MountTree tree;
  test::MessageRecorder messages;

  void SetUp() override {
    CdDescription d;
    d.Items = {root_item(1), file_item(2, 1, "big.bin", big), file_item(3, 1, "b.txt", "bbbb"),
               file_item(4, 1, "c.txt", "cccccccc"), file_item(5, 1, "empty", "")};
    set_content_key(d.Settings, "Harbour-Light");
    d.MaxDataFile = 1;  // every file in a data file of its own
    written = write_cd(d, dir.path());
    ASSERT_GE(written.DataFiles.size(), 3u);
  }
  cli::MountReader open() {
    EXPECT_TRUE(load_viewer_file(written.ViewerPath.string(), viewer));
    EXPECT_TRUE(load_catalogue(viewer, catalogue));
    tree = cli::build_mount_tree(catalogue, {});
    return cli::MountReader(viewer, catalogue, tree, viewer.Settings.content_key());
  }
  std::string read(const cli::MountReader& reader, const char* path, std::uint64_t offset,
                   std::size_t size, long& got) {
    std::string out(size, '\0');
    got = reader.read(tree.find(path), offset, size, out.data());
    out.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    return out;
  }
};

TEST_F(MountRead, RandomRangesOfABigFileEqualTheSource) {
  const cli::MountReader reader = open();
  EXPECT_EQ(reader.faulty_files(), 0u);
  EXPECT_TRUE(messages.Messages.empty());
  std::mt19937 random(3);
  for (int i = 0; i < 200; ++i) {
    const std::uint64_t offset = random() % big.size();
    const std::size_t size = 1 + random() % 300000;
    long got = 0;
    const std::string piece = read(reader, "/Kelvora/big.bin", offset, size, got);
    const std::size_t expected = std::min<std::size_t>(size, big.size() - offset);
    ASSERT_EQ(got, static_cast<long>(expected)) << offset;
    ASSERT_EQ(std::memcmp(piece.data(), big.data() + offset, piece.size()), 0) << offset;
  }
  long got = -1;
  EXPECT_EQ(read(reader, "/Kelvora/big.bin", big.size(), 10, got), "");
  EXPECT_EQ(got, 0);
  EXPECT_EQ(read(reader, "/Kelvora/c.txt", 6, 100, got), "cc");
  EXPECT_EQ(read(reader, "/Kelvora/empty", 0, 100, got), "");
  EXPECT_EQ(got, 0);
}

TEST_F(MountRead, AMissingAndAShortDataFileFailTheirReadsOnlyAndAreReportedOnce) {
  fs::remove(written.DataFiles[1]);                // b.txt's
  fs::resize_file(written.DataFiles[2], 5);         // c.txt's: 5 of its 8 bytes
  const cli::MountReader reader = open();
  EXPECT_EQ(reader.faulty_files(), 2u);
  const std::vector<std::string> reported = messages.lines();
  ASSERT_EQ(reported.size(), 3u) << ::testing::PrintToString(reported);
  EXPECT_EQ(reported[0], "Error:(345634)|Cannot open .dat file.");
  EXPECT_EQ(reported[1], "Error:(345638)|The data file KELVORA3.DAT is too short for [c.txt].");
  EXPECT_EQ(reported[2],
            "Error:(345634)|The data file KELVORA2.DAT cannot be opened: reads of its 1 file "
            "fail.");
  long got = 0;
  for (int twice = 0; twice < 2; ++twice) {
    read(reader, "/Kelvora/b.txt", 0, 4, got);
    EXPECT_EQ(got, -EIO);
    EXPECT_EQ(read(reader, "/Kelvora/c.txt", 0, 5, got), "ccccc");
    read(reader, "/Kelvora/c.txt", 3, 4, got);
    EXPECT_EQ(got, -EIO);
    EXPECT_EQ(read(reader, "/Kelvora/big.bin", 1, 3, got).size(), 3u);
  }
  EXPECT_EQ(messages.lines().size(), 3u);
}

TEST_F(MountRead, ADataFileThatShrinksAfterMountingFailsWithEioReportedOnce) {
  const cli::MountReader reader = open();
  fs::resize_file(written.DataFiles[0], 1048576);
  long got = 0;
  EXPECT_EQ(read(reader, "/Kelvora/big.bin", 1000, 1000, got).size(), 1000u);
  read(reader, "/Kelvora/big.bin", 2 * 1048576, 1000, got);
  EXPECT_EQ(got, -EIO);
  read(reader, "/Kelvora/big.bin", 3 * 1048576, 1000, got);
  EXPECT_EQ(got, -EIO);
  EXPECT_EQ(messages.lines(),
            (std::vector<std::string>{
                "Error:(345638)|The data file KELVORA1.DAT is too short for [big.bin]."}));
}

}  // namespace
}  // namespace kelvora
