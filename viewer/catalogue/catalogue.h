// The catalogue: every record of the CD (one CD root, its folders, its
// files) as entries in file order, the whole-CD totals, and the folder tree
// that the tree pane mirrors and the totals and the export walk.
//
// Record format (after deciphering with xor_all and ContainerKey), all
// integers 32-bit little-endian, records back to back from offset 0:
//
//   +0  Id          the entry's number; others refer to it by ParentId
//   +4  ParentId    Id of the CD root or folder holding this entry
//   +8  Kind        KIND_WHOLE_CD, KIND_FOLDER or KIND_FILE
//   +12 Size        unsigned byte length of a file's contents
//   +16 Reserved    kept, without meaning
//   +20 CryptFlags  encryption label bits (CRYPT_*)
//   +24 NameLength  n, at most 255
//   +28 Name        n bytes, no terminator
//   file records only:
//   +28+n DataFileLength  m, at most 255
//   +32+n DataFile        m bytes: the data file beside the viewer file
//   +32+n+m DataOffset    where the contents start in the data file
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "viewer/container/viewer_file.h"

namespace kelvora {

// Entry classes, compared as whole words everywhere.
constexpr std::uint32_t KIND_WHOLE_CD = 777;
constexpr std::uint32_t KIND_FOLDER = 888;
constexpr std::uint32_t KIND_FILE = 999;

// CryptFlags bits.
enum : std::uint32_t {
  CRYPT_DIRECTORY = 0x0002,     // list shows "-directory-" as size
  CRYPT_UP_DIRECTORY = 0x0004,  // list shows "-Up Directory-"
  CRYPT_DRIVE_ROOT = 0x0008,    // list shows "-Drive Root-"
  CRYPT_ENCRYPTED = 0x0040,
  CRYPT_FULL = 0x0080,
  CRYPT_BITCRYPT = 0x0100,
  CRYPT_PGP = 0x0200,
  CRYPT_SCRAMBLE = 0x0400,
  CRYPT_BLOWFISH = 0x0800,
  CRYPT_2FISH = 0x1000,
};

// The label of every CD root, whatever name its record stores.
constexpr const char* ROOT_LABEL = "Kelvora";

constexpr std::size_t MAX_NAME_LENGTH = 255;

using EntryIndex = std::uint32_t;
using TreeNodeIndex = std::uint32_t;
constexpr EntryIndex NO_ENTRY = UINT32_MAX;
constexpr TreeNodeIndex NO_NODE = UINT32_MAX;

// One catalogue record in memory.
struct CryptItem {
  std::uint32_t Id = 0;
  std::uint32_t ParentId = 0;
  std::uint32_t Kind = 0;
  std::uint32_t Size = 0;        // meaningful for files only
  std::uint32_t Reserved = 0;
  std::uint32_t CryptFlags = 0;
  std::string Name;              // empty for none; "Kelvora" for a CD root
  std::string DataFile;          // files only; empty for none
  std::uint32_t DataOffset = 0;  // set only together with DataFile
  TreeNodeIndex TreeItem = NO_NODE;  // node of a CD root or folder

  bool is_root() const { return Kind == KIND_WHOLE_CD; }
  bool is_folder() const { return Kind == KIND_FOLDER; }
  bool is_file() const { return Kind == KIND_FILE; }
};

// A node of the folder tree: a CD root or folder entry.  Children keep the
// order in which they were inserted, which is catalogue order.
struct TreeNode {
  EntryIndex Entry = NO_ENTRY;
  TreeNodeIndex Parent = NO_NODE;  // NO_NODE at the top level
  TreeNodeIndex FirstChild = NO_NODE;
  TreeNodeIndex LastChild = NO_NODE;
  TreeNodeIndex NextSibling = NO_NODE;
  bool Expanded = false;  // only the first CD root starts expanded
  std::string Label;
};

// Whole-CD counters, unsigned 32-bit and wrapping like the stored sizes.
struct CatalogueTotals {
  std::uint32_t CdBytes = 0;    // sum of Size over files
  std::uint32_t CdFolders = 0;  // folder entries (the CD root not counted)
  std::uint32_t CdFiles = 0;    // file entries
};

struct Catalogue {
  std::vector<CryptItem> Entries;  // file order
  std::vector<TreeNode> Nodes;
  TreeNodeIndex FirstTopLevel = NO_NODE;
  TreeNodeIndex LastTopLevel = NO_NODE;
  CatalogueTotals Totals;
  bool FirstRootSeen = false;

  // Lookups that keep loading and the walks linear: the first entry of each
  // Id, and the file entries of each ParentId in catalogue order.
  std::unordered_map<std::uint32_t, EntryIndex> FirstById;
  std::unordered_map<std::uint32_t, std::vector<EntryIndex>> FilesByParent;
};

// Appends an entry at the tail, copying the texts; DataOffset is kept only
// together with a data-file name.  Returns its index.
EntryIndex add_catalogue_item(Catalogue& catalogue, std::uint32_t id,
                              std::uint32_t parent_id, std::uint32_t kind,
                              std::uint32_t size, std::uint32_t reserved,
                              std::uint32_t crypt_flags, std::string_view name,
                              std::string_view data_file,
                              std::uint32_t data_offset);

// The tail entry, or NO_ENTRY when the catalogue is empty.
EntryIndex last_catalogue_item(const Catalogue& catalogue);

// The tree node of the first entry with that Id, or NO_NODE when there is no
// such entry or it has no node.
TreeNodeIndex find_tree_item(const Catalogue& catalogue, std::uint32_t id);

// The entry a node shows, or NO_ENTRY for an unknown node.
EntryIndex tree_item_entry(const Catalogue& catalogue, TreeNodeIndex node);

// Walk of the tree: first child of a node (NO_NODE for the top level's first
// node) and next sibling; NO_NODE at the end.
TreeNodeIndex tree_first_child(const Catalogue& catalogue, TreeNodeIndex node);
TreeNodeIndex tree_next_sibling(const Catalogue& catalogue, TreeNodeIndex node);

// The file entries whose ParentId is the entry's Id, in catalogue order.
std::span<const EntryIndex> folder_files(const Catalogue& catalogue,
                                         EntryIndex folder);

// Sum of Size (wrapping) and number of the files directly in a folder; 0 for
// NO_ENTRY.
std::uint32_t folder_bytes(const Catalogue& catalogue, EntryIndex folder);
std::uint32_t folder_file_count(const Catalogue& catalogue, EntryIndex folder);

// Frees every entry and node; the catalogue is empty afterwards.
void free_catalogue(Catalogue& catalogue);

// Parses item_count records from a deciphered catalogue region into a fresh
// catalogue and builds the tree.  A record that runs past the region, whose
// name or data-file name is longer than 255 bytes, or whose Kind is not one
// of the three codes stops the parse with a message; the records before it
// stay.  Returns the number of records taken.
std::uint32_t parse_catalogue(std::span<const std::uint8_t> region,
                              std::uint32_t item_count, Catalogue& catalogue);

// Reads the catalogue region of the viewer file, deciphers it and parses
// it.  Returns false, after its message, when the file or memory fail.
bool load_catalogue(const ViewerFile& viewer, Catalogue& catalogue);

// The node path of an entry as a list of labels from the top level down
// ("Kelvora", "Docs", ...).  For a file it is its folder's path plus its
// name; empty when no folder of the tree shows the entry.
std::vector<std::string> entry_tree_path(const Catalogue& catalogue,
                                         EntryIndex entry);

}  // namespace kelvora
