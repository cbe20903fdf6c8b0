#include <gtest/gtest.h>

#include <string>

#include "tests/support/test_support.h"
#include "viewer/catalogue/properties.h"

namespace kelvora {
namespace {

using test::catalogue_of;
using test::entry_of;
using test::file_item;
using test::folder_item;
using test::root_item;

WriterItem sized(std::uint32_t id, std::uint32_t parent, std::uint32_t size) {
  std::string name = "f";
  name += std::to_string(id);
  WriterItem f = file_item(id, parent, name);
  f.Size = size;
  return f;
}

TEST(Totals, StatusBarTextForTheWholeCd) {
  const Catalogue c = catalogue_of({
      root_item(), sized(2, 1, 50),
      folder_item(3, 1, "One"), sized(4, 3, 100), sized(5, 3, 100),
      folder_item(6, 1, "Two"), sized(7, 6, 100),
  });
  EXPECT_EQ(show_totals(c.Totals), "350 Bytes - 0.34 KB - 0.00 MB - 2 Folders - 4 Files");
  EXPECT_EQ(show_totals(CatalogueTotals{}), "0 Bytes - 0.00 KB - 0.00 MB - 0 Folders - 0 Files");
  EXPECT_EQ(show_totals({4294967295u, 1, 2}),
            "4294967295 Bytes - 4194304.00 KB - 4096.00 MB - 1 Folders - 2 Files");
}

TEST(Properties, AFolderSumsTwoLevelsOnly) {
  const Catalogue c = catalogue_of({
      root_item(),
      folder_item(2, 1, "P"), sized(3, 2, 10),
      folder_item(4, 2, "Q"), sized(5, 4, 5), sized(6, 4, 5),
      folder_item(7, 4, "R"), sized(8, 7, 1000),
      folder_item(9, 1, "Empty"),
  });
  const auto p = tree_properties(c, c.Entries[entry_of(c, 2)].TreeItem);
  ASSERT_TRUE(p);
  EXPECT_EQ(p->Type, "Folder");
  EXPECT_EQ(p->Name, "P");
  EXPECT_EQ(p->Size, "Total 20 Bytes ( 0.02 KB/0.00 MB) - Files: 3 - Sub Folders: 1");

  const auto empty = tree_properties(c, c.Entries[entry_of(c, 9)].TreeItem);
  ASSERT_TRUE(empty);
  EXPECT_EQ(empty->Size, "Total 0 Bytes ( 0.00 KB/0.00 MB) - Files: 0 - Sub Folders: 0");

  const auto root = tree_properties(c, c.Entries[0].TreeItem);
  ASSERT_TRUE(root);
  EXPECT_EQ(root->Type, "Whole CD");
  EXPECT_EQ(root->Name, "Whole CD");
  EXPECT_EQ(root->Size, "Total 1020 Bytes ( 1.00 KB/0.00 MB) - Files: 4 - Sub Folders: 4");
  EXPECT_FALSE(tree_properties(c, NO_NODE));
}

TEST(Properties, EncryptionLabelsInTheirFixedOrder) {
  struct Case {
    std::uint32_t flags;
    std::string text;
  } cases[] = {
      {0x0C40, "SCRAMBLE BlowFish  - ( FAST )"},
      {0x0040, " - ( FAST )"},
      {0x01C0, "BitCrypt  - ( FULL )"},
      {0x1FC0, "BitCrypt SCRAMBLE PGP BlowFish 2Fish  - ( FULL )"},
      {0x0240, "PGP  - ( FAST )"},
      {0x1F80, "Not encrypted."},
      {0, "Not encrypted."},
  };
  for (const Case& c : cases) EXPECT_EQ(encryption_text(c.flags), c.text) << std::hex << c.flags;
}

TEST(Properties, AListRowDescribesItsFile) {
  WriterItem f = file_item(2, 1, "plain.txt");
  f.Size = 1536;
  f.CryptFlags = 0;
  const Catalogue c = catalogue_of({root_item(), f});
  const auto rows = build_file_list(c, 0);
  const auto p = list_properties(c, find_list_item(rows, 0));
  ASSERT_TRUE(p);
  EXPECT_EQ(p->Type, "File");
  EXPECT_EQ(p->Name, "plain.txt");
  EXPECT_EQ(p->Size, "1536 Bytes ( 1.50 KB/0.00 MB)");
  EXPECT_EQ(p->Encryption, "Not encrypted.");
  EXPECT_FALSE(list_properties(c, nullptr));
  const PropertiesLines t = properties_template();
  EXPECT_EQ(t.Name, "Name");
  EXPECT_EQ(t.Type, "File or Folder");
  EXPECT_EQ(t.Size, "9999");
  EXPECT_EQ(t.Encryption, "XOR   ( Fast )");
}

}  // namespace
}  // namespace kelvora
