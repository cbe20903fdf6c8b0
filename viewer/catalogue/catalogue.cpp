#include "viewer/catalogue/catalogue.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "viewer/base/little_endian.h"
#include "viewer/base/message_sink.h"

namespace kelvora {
namespace {

// A name is the text up to its first zero byte, as a terminated copy of
// the stored bytes would hold it.
std::string_view terminated(std::string_view bytes) {
  return bytes.substr(0, bytes.find('\0'));
}

void link_node(Catalogue& catalogue, TreeNodeIndex node, TreeNodeIndex parent) {
  TreeNode& n = catalogue.Nodes[node];
  n.Parent = parent;
  TreeNodeIndex& first =
      parent == NO_NODE ? catalogue.FirstTopLevel : catalogue.Nodes[parent].FirstChild;
  TreeNodeIndex& last =
      parent == NO_NODE ? catalogue.LastTopLevel : catalogue.Nodes[parent].LastChild;
  if (last == NO_NODE)
    first = node;
  else
    catalogue.Nodes[last].NextSibling = node;
  last = node;
}

// Inserts a CD root or folder entry into the tree under its parent's node,
// or at the top level when its parent has none.
void insert_tree_node(Catalogue& catalogue, EntryIndex entry) {
  CryptItem& item = catalogue.Entries[entry];
  const TreeNodeIndex parent = find_tree_item(catalogue, item.ParentId);
  TreeNode node;
  node.Entry = entry;
  node.Label = item.Name;
  if (item.is_root()) {
    node.Expanded = !catalogue.FirstRootSeen;
    catalogue.FirstRootSeen = true;
  }
  const TreeNodeIndex index = static_cast<TreeNodeIndex>(catalogue.Nodes.size());
  catalogue.Nodes.push_back(std::move(node));
  link_node(catalogue, index, parent);
  item.TreeItem = index;
}

enum class RecordFault { None, PastEnd, NameTooLong, DataFileTooLong, BadKind };

struct Record {
  std::uint32_t Id, ParentId, Kind, Size, Reserved, CryptFlags;
  std::string_view Name, DataFile;
  std::uint32_t DataOffset = 0;
};

// Reads one record at pos, checking every length against what is left of
// the region before it is used.
RecordFault read_record(std::span<const std::uint8_t> region, std::size_t& pos,
                        Record& r) {
  const std::size_t size = region.size();
  auto left = [&] { return size - pos; };
  const std::uint8_t* base = region.data();
  if (left() < 28) return RecordFault::PastEnd;
  r.Id = read_le32(base + pos);
  r.ParentId = read_le32(base + pos + 4);
  r.Kind = read_le32(base + pos + 8);
  r.Size = read_le32(base + pos + 12);
  r.Reserved = read_le32(base + pos + 16);
  r.CryptFlags = read_le32(base + pos + 20);
  const std::uint32_t name_length = read_le32(base + pos + 24);
  if (r.Kind != KIND_WHOLE_CD && r.Kind != KIND_FOLDER && r.Kind != KIND_FILE)
    return RecordFault::BadKind;
  if (name_length > MAX_NAME_LENGTH) return RecordFault::NameTooLong;
  std::size_t at = pos + 28;
  if (size - at < name_length) return RecordFault::PastEnd;
  r.Name = std::string_view(reinterpret_cast<const char*>(base + at), name_length);
  at += name_length;
  r.DataFile = {};
  r.DataOffset = 0;
  if (r.Kind == KIND_FILE) {
    if (size - at < 4) return RecordFault::PastEnd;
    const std::uint32_t data_file_length = read_le32(base + at);
    if (data_file_length > MAX_NAME_LENGTH) return RecordFault::DataFileTooLong;
    at += 4;
    if (size - at < static_cast<std::size_t>(data_file_length) + 4)
      return RecordFault::PastEnd;
    r.DataFile =
        std::string_view(reinterpret_cast<const char*>(base + at), data_file_length);
    at += data_file_length;
    r.DataOffset = read_le32(base + at);
    at += 4;
  }
  pos = at;
  return RecordFault::None;
}

void report_fault(RecordFault fault, std::uint32_t record, std::uint32_t kind) {
  switch (fault) {
    case RecordFault::PastEnd:
      show_error("Error: 14303",
                 "Catalogue record %lu runs past the end of the catalogue.",
                 static_cast<unsigned long>(record));
      break;
    case RecordFault::NameTooLong:
      show_error("Error: 14304",
                 "Catalogue record %lu has a name longer than 255 bytes.",
                 static_cast<unsigned long>(record));
      break;
    case RecordFault::DataFileTooLong:
      show_error("Error: 14305",
                 "Catalogue record %lu has a data file name longer than 255 "
                 "bytes.",
                 static_cast<unsigned long>(record));
      break;
    case RecordFault::BadKind:
      show_error("Error: 14306",
                 "Catalogue record %lu is of an unknown kind (%lu).",
                 static_cast<unsigned long>(record),
                 static_cast<unsigned long>(kind));
      break;
    case RecordFault::None:
      break;
  }
}

}  // namespace

EntryIndex add_catalogue_item(Catalogue& catalogue, std::uint32_t id,
                              std::uint32_t parent_id, std::uint32_t kind,
                              std::uint32_t size, std::uint32_t reserved,
                              std::uint32_t crypt_flags, std::string_view name,
                              std::string_view data_file,
                              std::uint32_t data_offset) {
  CryptItem item;
  item.Id = id;
  item.ParentId = parent_id;
  item.Kind = kind;
  item.Size = size;
  item.Reserved = reserved;
  item.CryptFlags = crypt_flags;
  item.Name = std::string(terminated(name));
  item.DataFile = std::string(terminated(data_file));
  item.DataOffset = item.DataFile.empty() ? 0 : data_offset;
  const EntryIndex index = static_cast<EntryIndex>(catalogue.Entries.size());
  catalogue.Entries.push_back(std::move(item));
  catalogue.FirstById.try_emplace(id, index);
  if (kind == KIND_FILE) catalogue.FilesByParent[parent_id].push_back(index);
  return index;
}

EntryIndex last_catalogue_item(const Catalogue& catalogue) {
  return catalogue.Entries.empty()
             ? NO_ENTRY
             : static_cast<EntryIndex>(catalogue.Entries.size() - 1);
}

TreeNodeIndex find_tree_item(const Catalogue& catalogue, std::uint32_t id) {
  auto found = catalogue.FirstById.find(id);
  if (found == catalogue.FirstById.end()) return NO_NODE;
  return catalogue.Entries[found->second].TreeItem;
}

EntryIndex tree_item_entry(const Catalogue& catalogue, TreeNodeIndex node) {
  if (node >= catalogue.Nodes.size()) return NO_ENTRY;
  return catalogue.Nodes[node].Entry;
}

TreeNodeIndex tree_first_child(const Catalogue& catalogue, TreeNodeIndex node) {
  if (node == NO_NODE) return catalogue.FirstTopLevel;
  if (node >= catalogue.Nodes.size()) return NO_NODE;
  return catalogue.Nodes[node].FirstChild;
}

TreeNodeIndex tree_next_sibling(const Catalogue& catalogue, TreeNodeIndex node) {
  if (node >= catalogue.Nodes.size()) return NO_NODE;
  return catalogue.Nodes[node].NextSibling;
}

std::span<const EntryIndex> folder_files(const Catalogue& catalogue,
                                         EntryIndex folder) {
  if (folder >= catalogue.Entries.size()) return {};
  auto found = catalogue.FilesByParent.find(catalogue.Entries[folder].Id);
  if (found == catalogue.FilesByParent.end()) return {};
  return found->second;
}

std::uint32_t folder_bytes(const Catalogue& catalogue, EntryIndex folder) {
  std::uint32_t bytes = 0;
  for (EntryIndex file : folder_files(catalogue, folder))
    bytes += catalogue.Entries[file].Size;
  return bytes;
}

std::uint32_t folder_file_count(const Catalogue& catalogue, EntryIndex folder) {
  return static_cast<std::uint32_t>(folder_files(catalogue, folder).size());
}

void free_catalogue(Catalogue& catalogue) { catalogue = Catalogue{}; }

std::uint32_t parse_catalogue(std::span<const std::uint8_t> region,
                              std::uint32_t item_count, Catalogue& catalogue) {
  free_catalogue(catalogue);
  // Reserve only what the region can hold: ItemCount is not trusted.
  const std::size_t most = region.size() / 28;
  catalogue.Entries.reserve(std::min<std::size_t>(item_count, most));
  catalogue.FirstById.reserve(std::min<std::size_t>(item_count, most));

  std::size_t pos = 0;
  for (std::uint32_t record = 0; record < item_count; ++record) {
    Record r{};
    const RecordFault fault = read_record(region, pos, r);
    if (fault != RecordFault::None) {
      report_fault(fault, record, r.Kind);
      return record;
    }
    if (r.Kind == KIND_FOLDER) {
      catalogue.Totals.CdFolders += 1;
    } else if (r.Kind == KIND_FILE) {
      catalogue.Totals.CdFiles += 1;
      catalogue.Totals.CdBytes += r.Size;
    }
    const std::string_view name =
        r.Kind == KIND_WHOLE_CD ? std::string_view(ROOT_LABEL) : r.Name;
    EntryIndex entry;
    try {
      entry = add_catalogue_item(catalogue, r.Id, r.ParentId, r.Kind, r.Size,
                                 r.Reserved, r.CryptFlags, name, r.DataFile,
                                 r.DataOffset);
      if (r.Kind != KIND_FILE) insert_tree_node(catalogue, entry);
    } catch (const std::bad_alloc&) {
      show_error("Error: (3423)", "Cannot add kelvora item.");
      show_error("Error: 100", "cannot get ptr to CryptItem.");
      continue;
    }
  }
  return item_count;
}

bool load_catalogue(const ViewerFile& viewer, Catalogue& catalogue) {
  free_catalogue(catalogue);
  std::vector<std::uint8_t> buffer;
  if (!read_region(viewer, Region::Catalogue, buffer)) return false;
  parse_catalogue(buffer, viewer.Trailer.ItemCount, catalogue);
  return true;
}

std::vector<std::string> entry_tree_path(const Catalogue& catalogue,
                                         EntryIndex entry) {
  std::vector<std::string> path;
  if (entry >= catalogue.Entries.size()) return path;
  const CryptItem& item = catalogue.Entries[entry];
  TreeNodeIndex node = item.TreeItem;
  if (item.is_file()) {
    node = find_tree_item(catalogue, item.ParentId);
    if (node == NO_NODE) return path;
    path.push_back(item.Name);
  } else if (node == NO_NODE) {
    return path;
  }
  for (; node != NO_NODE; node = catalogue.Nodes[node].Parent)
    path.push_back(catalogue.Nodes[node].Label);
  std::reverse(path.begin(), path.end());
  return path;
}

}  // namespace kelvora
