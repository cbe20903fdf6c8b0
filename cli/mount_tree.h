// The CD as the tree of folders and files that `kelvora mount` shows: the
// tree `kelvora extract` writes, under the same names (the CD's code page in
// UTF-8) and with the same refusals, as numbered nodes that a file system
// looks up by path or by number.  Nothing here knows of FUSE, so the tree is
// tested natively.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "viewer/catalogue/catalogue.h"

namespace kelvora::cli {

using MountNodeIndex = std::uint32_t;
constexpr MountNodeIndex MOUNT_ROOT = 0;  // the mount point itself
constexpr MountNodeIndex NO_MOUNT_NODE = UINT32_MAX;

// Longest name a POSIX file system takes, in bytes of UTF-8.
constexpr std::size_t MAX_MOUNT_NAME = 255;

struct MountNode {
  std::string Name;                       // UTF-8; empty for the root
  MountNodeIndex Parent = NO_MOUNT_NODE;  // NO_MOUNT_NODE for the root
  bool Folder = false;
  EntryIndex Entry = NO_ENTRY;            // NO_ENTRY for the root
  std::uint32_t Size = 0;                 // a file's, from the catalogue
  std::uint32_t SubFolders = 0;
  // A folder's files in catalogue order, then its sub-folders in the tree's
  // order: the order in which extract writes them, so the same entry wins
  // a name here and there.
  std::vector<MountNodeIndex> Children;
  std::unordered_map<std::string, MountNodeIndex> ByName;
};

struct MountTree {
  std::vector<MountNode> Nodes;  // Nodes[MOUNT_ROOT] is the mount point
  // One line for each entry left out or shown under another name, said
  // once when the CD is mounted.
  std::vector<std::string> Notes;

  // The node of a child by name, or NO_MOUNT_NODE.
  MountNodeIndex child(MountNodeIndex folder, std::string_view name) const;
  // The node at an absolute path ("/", "/Kelvora/Docs/a.txt"), or
  // NO_MOUNT_NODE.
  MountNodeIndex find(std::string_view path) const;
  // The path of a node below the mount point ("Kelvora/Docs/a.txt").
  std::string path_of(MountNodeIndex node) const;
};

// Turns a stored 8-bit name into UTF-8.
using NameConverter = std::function<std::string(const std::string&)>;

// Why an entry cannot be shown under its name, or nullptr: the engine's
// refusals of the stored name and of its converted form, and what no
// folder can hold (no name, ".", a separator, more than 255 bytes).
const char* mount_name_reason(const std::string& stored, const std::string& shown);

// The n-th name of a folder's entries of one name: "a (2).txt" for a file,
// "Docs (2)" for a folder (whose dots mark no extension).
std::string numbered_name(const std::string& name, bool folder, unsigned n);

// The tree of the whole CD: every top-level node of the catalogue's tree
// as a folder of the mount point, with its files and sub-folders.
MountTree build_mount_tree(const Catalogue& catalogue, const NameConverter& utf8);

}  // namespace kelvora::cli
