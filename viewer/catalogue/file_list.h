// The file list pane's records and texts, free of the list control: which
// entries a folder lists, in which order, and what each column shows.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "viewer/catalogue/catalogue.h"

namespace kelvora {

// One row of the file list.
struct LIST_ITEM {
  std::int32_t Index = 0;  // row number the control returned on insertion
  std::int32_t Key = 0;    // place in the sorted list; the row asked for
  std::uint32_t Size = 0;  // copy of the entry's Size
  std::uint32_t Flags = 0; // copy of the entry's CryptFlags
  EntryIndex Item = NO_ENTRY;  // the entry shown (not owned)
  std::string FileName;    // copy of the entry's Name ("" for none)
  std::string Path = "NO PATH";
};

// The rows of a folder (a folder or CD root entry): its file entries in
// catalogue order, then sorted by sort_file_list, with Key (and Index) equal
// to the row.  FileListCount is the vector's size.
std::vector<LIST_ITEM> build_file_list(const Catalogue& catalogue,
                                       EntryIndex folder);

// The sort key of a name: its first byte, upper-cased by the ASCII rule and
// taken as a signed 8-bit value (bytes 0x80 and up sort first).
int file_list_sort_key(const std::string& name);

// Stable sort by first letter only; equal keys keep their order (the same
// result as the original bubble sort, in n log n).  Renumbers Key and Index.
void sort_file_list(std::vector<LIST_ITEM>& rows);

// The row whose Key (or Index) equals row, or nullptr.
const LIST_ITEM* find_list_item(const std::vector<LIST_ITEM>& rows, int row);
const LIST_ITEM* find_list_item_by_index(const std::vector<LIST_ITEM>& rows,
                                         int row);

// The size column's text for a size: "%lu bytes ( %0.2f kb/%0.2f MB )".
std::string size_text(std::uint32_t size);

// What the control shows in a column of a row (nullptr for no row):
// column 0 the name or "not found", column 1 the size text, "0" or a
// directory marker, other columns nothing.
std::string list_item_text(const LIST_ITEM* row, int column);

}  // namespace kelvora
