#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/test_support.h"
#include "viewer/catalogue/file_list.h"

namespace kelvora {
namespace {

using test::catalogue_of;
using test::entry_of;
using test::file_item;
using test::folder_item;
using test::root_item;

std::vector<std::string> names_of(const std::vector<LIST_ITEM>& rows) {
  std::vector<std::string> names;
  for (const LIST_ITEM& r : rows) names.push_back(r.FileName);
  return names;
}

std::vector<std::string> listed(const std::vector<std::string>& names) {
  std::vector<WriterItem> items{root_item()};
  std::uint32_t id = 2;
  for (const std::string& n : names) items.push_back(file_item(id++, 1, n));
  const Catalogue c = catalogue_of(items);
  return names_of(build_file_list(c, 0));
}

TEST(FileList, SortsByFirstLetterOnlyAndKeepsCatalogueOrderOnTies) {
  struct Case {
    std::vector<std::string> catalogue;
    std::vector<std::string> listed;
  } cases[] = {
      {{"beta", "Alpha", "alpha2", "Beta"}, {"Alpha", "alpha2", "beta", "Beta"}},
      {{"apple", "\xE9t\xE9", "Zed"}, {"\xE9t\xE9", "apple", "Zed"}},
      {{"9lives", " blank", "_under", "[x"}, {" blank", "9lives", "[x", "_under"}},
      {{"zz", "za", "Zb", "z"}, {"zz", "za", "Zb", "z"}},
      {{"b", "", "a"}, {"", "a", "b"}},
      {{}, {}},
  };
  for (const Case& c : cases) EXPECT_EQ(listed(c.catalogue), c.listed);
}

TEST(FileList, ListsOnlyTheFolderOwnFilesWithKeysFromZero) {
  const Catalogue c = catalogue_of({
      root_item(),
      folder_item(2, 1, "A"),
      file_item(3, 2, "b.txt", "bb"),
      folder_item(4, 2, "Sub"),
      file_item(5, 4, "deep.txt"),
      file_item(6, 2, "a.txt", "a"),
      file_item(7, 1, "root.txt"),
  });
  const auto rows = build_file_list(c, entry_of(c, 2));
  ASSERT_EQ(names_of(rows), (std::vector<std::string>{"a.txt", "b.txt"}));
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(rows[i].Key, i);
    EXPECT_EQ(rows[i].Index, i);
    EXPECT_EQ(rows[i].Path, "NO PATH");
  }
  EXPECT_EQ(rows[0].Item, entry_of(c, 6));
  EXPECT_EQ(rows[1].Size, 2u);
  EXPECT_EQ(find_list_item(rows, 1), &rows[1]);
  EXPECT_EQ(find_list_item(rows, 2), nullptr);
  EXPECT_EQ(find_list_item(rows, -1), nullptr);
  EXPECT_EQ(find_list_item_by_index(rows, 0), &rows[0]);

  // Another folder starts its Keys at 0 again.
  const auto other = build_file_list(c, entry_of(c, 4));
  ASSERT_EQ(other.size(), 1u);
  EXPECT_EQ(other[0].Key, 0);
  EXPECT_TRUE(build_file_list(c, entry_of(c, 3)).empty());
}

TEST(FileList, ColumnTexts) {
  LIST_ITEM row;
  row.FileName = "report.doc";
  struct Case {
    std::uint32_t size, flags;
    std::string text;
  } cases[] = {
      {1536, 0x40, "1536 bytes ( 1.50 kb/0.00 MB )"},
      {0, 0, "0 bytes ( 0.00 kb/0.00 MB )"},
      {1048576, 0, "1048576 bytes ( 1024.00 kb/1.00 MB )"},
      {3000000000u, 0, "3000000000 bytes ( 2929687.50 kb/2861.02 MB )"},
      {5, 0x4 | 0x2, "-Up Directory-"},
      {5, 0x8 | 0x2, "-Drive Root-"},
      {5, 0x2, "-directory-"},
      {5, 0x4 | 0x8, "-Up Directory-"},
  };
  for (const Case& c : cases) {
    row.Size = c.size;
    row.Flags = c.flags;
    EXPECT_EQ(list_item_text(&row, 1), c.text);
  }
  EXPECT_EQ(list_item_text(&row, 0), "report.doc");
  EXPECT_EQ(list_item_text(&row, 2), "");
  EXPECT_EQ(list_item_text(nullptr, 0), "not found");
  EXPECT_EQ(list_item_text(nullptr, 1), "0");
}

}  // namespace
}  // namespace kelvora
