#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/test_support.h"
#include "viewer/catalogue/catalogue.h"
#include "viewer/container/viewer_file.h"
#include "writer/writer.h"

namespace kelvora {
namespace {

using test::catalogue_of;
using test::entry_of;
using test::file_item;
using test::folder_item;
using test::MessageRecorder;
using test::root_item;

// The tree as "label(children...)" text, top level joined by spaces, with a
// "+" after an expanded node.
std::string tree_text(const Catalogue& c, TreeNodeIndex first) {
  std::string out;
  for (TreeNodeIndex n = first; n != NO_NODE; n = tree_next_sibling(c, n)) {
    if (!out.empty()) out += ' ';
    out += c.Nodes[n].Label;
    if (c.Nodes[n].Expanded) out += '+';
    if (tree_first_child(c, n) != NO_NODE)
      out += "(" + tree_text(c, tree_first_child(c, n)) + ")";
  }
  return out;
}
std::string tree_text(const Catalogue& c) { return tree_text(c, c.FirstTopLevel); }

TEST(Catalogue, BuildsEntriesInFileOrderAndTheTreeFromParents) {
  MessageRecorder recorder;
  const Catalogue c = catalogue_of({
      root_item(1, "stored root name"),
      folder_item(2, 1, "Docs"),
      file_item(3, 2, "a.txt", "aaa"),
      folder_item(4, 2, "Deep"),
      folder_item(5, 1, "Music"),
      file_item(6, 1, "top.txt", "t"),
      folder_item(7, 4, "Deeper"),
  });
  EXPECT_TRUE(recorder.Messages.empty());
  ASSERT_EQ(c.Entries.size(), 7u);
  for (std::uint32_t i = 0; i < 7; ++i) EXPECT_EQ(c.Entries[i].Id, i + 1);
  EXPECT_EQ(tree_text(c), "Kelvora+(Docs(Deep(Deeper)) Music)");
  EXPECT_EQ(c.Entries[0].Name, "Kelvora");
  EXPECT_EQ(c.Entries[2].TreeItem, NO_NODE) << "files get no node";
  EXPECT_EQ(last_catalogue_item(c), 6u);
  EXPECT_EQ(c.Totals.CdFolders, 4u);
  EXPECT_EQ(c.Totals.CdFiles, 2u);
  EXPECT_EQ(c.Totals.CdBytes, 4u);
  EXPECT_EQ(entry_tree_path(c, 6), (std::vector<std::string>{"Kelvora", "Docs", "Deep", "Deeper"}));
  EXPECT_EQ(entry_tree_path(c, 2), (std::vector<std::string>{"Kelvora", "Docs", "a.txt"}));
}

TEST(Catalogue, RecordFieldsAndLengthsAreReadExactly) {
  WriterItem file = file_item(10, 1, "name.bin");
  file.Size = 0xFFFFFFFF;
  file.Reserved = 0xDEADBEEF;
  file.CryptFlags = 0x1FC0;
  file.DataFile = "DATA\\K2.DAT";
  file.DataOffset = 123456;
  WriterItem folder = folder_item(11, 1, "After");
  folder.Size = 99;  // not used for folders, but kept
  const Catalogue c = catalogue_of({root_item(), file, folder});
  ASSERT_EQ(c.Entries.size(), 3u);
  const CryptItem& f = c.Entries[1];
  EXPECT_EQ(f.Size, 0xFFFFFFFFu);
  EXPECT_EQ(f.Reserved, 0xDEADBEEFu);
  EXPECT_EQ(f.CryptFlags, 0x1FC0u);
  EXPECT_EQ(f.DataFile, "DATA\\K2.DAT");
  EXPECT_EQ(f.DataOffset, 123456u);
  // The folder record right behind a file record has no location.
  EXPECT_EQ(c.Entries[2].Name, "After");
  EXPECT_EQ(c.Entries[2].DataFile, "");
  EXPECT_EQ(c.Entries[2].DataOffset, 0u);
  EXPECT_EQ(test::records_of({file}).size(), 36u + 8u + 11u);
  EXPECT_EQ(test::records_of({folder}).size(), 28u + 5u);
}

TEST(Catalogue, OrphansFileParentsDuplicatesAndSecondRoots) {
  const Catalogue c = catalogue_of({
      root_item(1),
      folder_item(2, 1, "A"),
      folder_item(2, 1, "A again"),   // duplicate Id: lookups find the first
      folder_item(3, 2, "UnderA"),
      file_item(4, 1, "f.txt"),
      folder_item(5, 4, "UnderFile"),  // parent is a file: top level
      folder_item(6, 42, "Orphan"),    // parent never seen: top level
      root_item(7, "second"),          // second root: collapsed
      folder_item(8, 8, "Self"),       // its own parent: top level
  });
  EXPECT_EQ(tree_text(c), "Kelvora+(A(UnderA) A again) UnderFile Orphan Kelvora Self");
  EXPECT_EQ(find_tree_item(c, 2), c.Entries[1].TreeItem);
  EXPECT_EQ(find_tree_item(c, 4), NO_NODE);
  EXPECT_EQ(find_tree_item(c, 999), NO_NODE);
  EXPECT_EQ(c.Entries.size(), 9u) << "every entry stays in the catalogue";
  EXPECT_EQ(c.Totals.CdFolders, 6u);
}

TEST(Catalogue, ANameOfLengthZeroGivesNoName) {
  const Catalogue c = catalogue_of({root_item(), folder_item(2, 1, ""), file_item(3, 2, "")});
  EXPECT_EQ(c.Entries[1].Name, "");
  EXPECT_EQ(c.Entries[2].Name, "");
  EXPECT_EQ(c.Nodes[c.Entries[1].TreeItem].Label, "");
}

TEST(Catalogue, ItemCountZeroParsesNothing) {
  Catalogue c;
  EXPECT_EQ(parse_catalogue(test::records_of({root_item()}), 0, c), 0u);
  EXPECT_TRUE(c.Entries.empty());
  EXPECT_EQ(c.FirstTopLevel, NO_NODE);
}

TEST(Catalogue, TotalsAreUnsigned32BitAndWrap) {
  std::vector<WriterItem> items{root_item()};
  for (std::uint32_t i = 0; i < 1000; ++i) {
    WriterItem f = file_item(i + 2, 1, "f");
    f.Size = 1048576;
    items.push_back(f);
  }
  Catalogue c = catalogue_of(items);
  EXPECT_EQ(c.Totals.CdBytes, 1048576000u);
  EXPECT_EQ(folder_bytes(c, 0), 1048576000u);
  EXPECT_EQ(folder_file_count(c, 0), 1000u);

  WriterItem big = file_item(5000, 1, "big");
  big.Size = 0xFFFFFFFF;
  WriterItem two = file_item(5001, 1, "two");
  two.Size = 2;
  c = catalogue_of({root_item(), big, two});
  EXPECT_EQ(c.Totals.CdBytes, 1u);
  EXPECT_EQ(folder_bytes(c, 0), 1u);
}

TEST(Catalogue, FolderSumsCountDirectFilesOnly) {
  const Catalogue c = catalogue_of({
      root_item(),
      folder_item(2, 1, "P"),
      file_item(3, 2, "p1", "0123456789"),
      folder_item(4, 2, "Q"),
      file_item(5, 4, "q1", "12345"),
      root_item(6, "stray root under nothing"),
  });
  EXPECT_EQ(folder_bytes(c, entry_of(c, 2)), 10u);
  EXPECT_EQ(folder_file_count(c, entry_of(c, 2)), 1u);
  EXPECT_EQ(folder_bytes(c, NO_ENTRY), 0u);
  EXPECT_EQ(folder_file_count(c, entry_of(c, 3)), 0u);
}

TEST(Catalogue, FreeLeavesItEmpty) {
  Catalogue c = catalogue_of({root_item(), folder_item(2, 1, "A")});
  free_catalogue(c);
  EXPECT_TRUE(c.Entries.empty());
  EXPECT_TRUE(c.Nodes.empty());
  EXPECT_EQ(last_catalogue_item(c), NO_ENTRY);
  EXPECT_EQ(find_tree_item(c, 1), NO_NODE);
}

// Damaged catalogues: loading stops at the bad record with a message and
// keeps the records before it; nothing is read past the region.
TEST(Catalogue, DamagedRecordsStopLoadingWithAMessage) {
  const std::vector<WriterItem> good{root_item(), folder_item(2, 1, "A"), file_item(3, 2, "f", "x")};
  const std::vector<std::uint8_t> good_bytes = test::records_of(good);
  struct Case {
    const char* name;
    std::vector<std::uint8_t> region;
    std::uint32_t item_count;
    std::size_t kept;
    std::string message;
  };
  auto with = [&](std::vector<WriterItem> extra) {
    auto bytes = good_bytes;
    auto more = test::records_of(extra);
    bytes.insert(bytes.end(), more.begin(), more.end());
    return bytes;
  };
  auto cut = [&](std::size_t drop) {
    return std::vector<std::uint8_t>(good_bytes.begin(), good_bytes.end() - static_cast<long>(drop));
  };
  WriterItem long_name = folder_item(4, 1, std::string(300, 'n'));
  WriterItem long_data = file_item(4, 1, "g");
  long_data.DataFile = std::string(256, 'd');
  WriterItem bad_kind = folder_item(4, 1, "k");
  bad_kind.Kind = 0x20;
  const Case cases[] = {
      {"ItemCount beyond the records", good_bytes, 1000000000u, 3,
       "Error: 14303|Catalogue record 3 runs past the end of the catalogue."},
      {"record cut inside its DataOffset", cut(1), 3, 2,
       "Error: 14303|Catalogue record 2 runs past the end of the catalogue."},
      {"record cut inside its fixed fields", cut(30), 3, 2,
       "Error: 14303|Catalogue record 2 runs past the end of the catalogue."},
      {"a 300-byte name", with({long_name}), 4, 3,
       "Error: 14304|Catalogue record 3 has a name longer than 255 bytes."},
      {"a 256-byte data file name", with({long_data}), 4, 3,
       "Error: 14305|Catalogue record 3 has a data file name longer than 255 bytes."},
      {"an unknown kind", with({bad_kind}), 4, 3,
       "Error: 14306|Catalogue record 3 is of an unknown kind (32)."},
      {"empty region", {}, 1, 0,
       "Error: 14303|Catalogue record 0 runs past the end of the catalogue."},
  };
  for (const Case& c : cases) {
    MessageRecorder recorder;
    Catalogue catalogue;
    // An exact-size copy, so that the sanitizer sees any read past the end.
    std::vector<std::uint8_t> region(c.region);
    EXPECT_EQ(parse_catalogue(region, c.item_count, catalogue), c.kept) << c.name;
    EXPECT_EQ(catalogue.Entries.size(), c.kept) << c.name;
    EXPECT_EQ(recorder.lines(), std::vector<std::string>{c.message}) << c.name;
  }
}

TEST(Catalogue, LoadsFromAViewerFile) {
  test::TempDir dir;
  CdDescription cd;
  cd.Items = {root_item(), folder_item(2, 1, "Docs"), file_item(3, 2, "a.txt", "hello")};
  const WrittenCd written = write_cd(cd, dir.path());
  ViewerFile viewer;
  ASSERT_TRUE(load_viewer_file(written.ViewerPath.string(), viewer));
  Catalogue c;
  ASSERT_TRUE(load_catalogue(viewer, c));
  ASSERT_EQ(c.Entries.size(), 3u);
  EXPECT_EQ(c.Entries[2].Name, "a.txt");
  EXPECT_EQ(c.Entries[2].DataFile, "KELVORA1.DAT");
  EXPECT_EQ(c.Entries[2].Size, 5u);

  // The file vanishing between the two reads.
  std::filesystem::remove(written.ViewerPath);
  MessageRecorder recorder;
  EXPECT_FALSE(load_catalogue(viewer, c));
  EXPECT_EQ(recorder.lines(),
            std::vector<std::string>{
                "Error: 14301|Cannot open viewer file to decrypt tree items..."});
}

}  // namespace
}  // namespace kelvora
