#include "viewer/catalogue/file_list.h"

#include <algorithm>

#include "viewer/base/message_sink.h"

namespace kelvora {

std::vector<LIST_ITEM> build_file_list(const Catalogue& catalogue,
                                       EntryIndex folder) {
  std::vector<LIST_ITEM> rows;
  const auto files = folder_files(catalogue, folder);
  rows.reserve(files.size());
  for (EntryIndex entry : files) {
    const CryptItem& item = catalogue.Entries[entry];
    LIST_ITEM row;
    row.Key = static_cast<std::int32_t>(rows.size());
    row.Index = row.Key;
    row.Size = item.Size;
    row.Flags = item.CryptFlags;
    row.Item = entry;
    row.FileName = item.Name;
    rows.push_back(std::move(row));
  }
  sort_file_list(rows);
  return rows;
}

int file_list_sort_key(const std::string& name) {
  unsigned char first = name.empty() ? 0 : static_cast<unsigned char>(name[0]);
  if (first >= 'a' && first <= 'z') first = static_cast<unsigned char>(first - 32);
  return static_cast<signed char>(first);
}

void sort_file_list(std::vector<LIST_ITEM>& rows) {
  std::stable_sort(rows.begin(), rows.end(),
                   [](const LIST_ITEM& a, const LIST_ITEM& b) {
                     return file_list_sort_key(a.FileName) <
                            file_list_sort_key(b.FileName);
                   });
  for (std::size_t i = 0; i < rows.size(); ++i) {
    rows[i].Key = static_cast<std::int32_t>(i);
    rows[i].Index = rows[i].Key;
  }
}

const LIST_ITEM* find_list_item(const std::vector<LIST_ITEM>& rows, int row) {
  // Rows are kept in Key order, so the row number is the position.
  if (row < 0 || static_cast<std::size_t>(row) >= rows.size()) return nullptr;
  const LIST_ITEM& item = rows[static_cast<std::size_t>(row)];
  if (item.Key == row) return &item;
  for (const LIST_ITEM& r : rows)
    if (r.Key == row) return &r;
  return nullptr;
}

const LIST_ITEM* find_list_item_by_index(const std::vector<LIST_ITEM>& rows,
                                         int row) {
  if (row >= 0 && static_cast<std::size_t>(row) < rows.size() &&
      rows[static_cast<std::size_t>(row)].Index == row)
    return &rows[static_cast<std::size_t>(row)];
  for (const LIST_ITEM& r : rows)
    if (r.Index == row) return &r;
  return nullptr;
}

std::string size_text(std::uint32_t size) {
  // Sizes are unsigned: a file of 2 GiB or more shows its real byte count.
  return format_text(MESSAGE_BUFFER, "%lu bytes ( %0.2f kb/%0.2f MB )",
                     static_cast<unsigned long>(size),
                     static_cast<double>(size) / 1024.0,
                     static_cast<double>(size) / 1048576.0);
}

std::string list_item_text(const LIST_ITEM* row, int column) {
  if (column == 0) return row ? row->FileName : "not found";
  if (column != 1) return {};
  if (!row) return "0";
  if (row->Flags & CRYPT_UP_DIRECTORY) return "-Up Directory-";
  if (row->Flags & CRYPT_DRIVE_ROOT) return "-Drive Root-";
  if (row->Flags & CRYPT_DIRECTORY) return "-directory-";
  return size_text(row->Size);
}

}  // namespace kelvora
