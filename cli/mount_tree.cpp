#include "cli/mount_tree.h"

#include <algorithm>

#include "viewer/extract/engine.h"

namespace kelvora::cli {
namespace {

std::string shown_name(const std::string& name) { return name.empty() ? "(no name)" : name; }

std::string joined(const std::string& folder, const std::string& name) {
  return folder.empty() ? name : folder + "/" + name;
}

class TreeBuilder {
 public:
  TreeBuilder(const Catalogue& catalogue, const NameConverter& utf8)
      : cat_(catalogue), utf8_(utf8) {
    MountNode root;
    root.Folder = true;
    tree_.Nodes.push_back(std::move(root));
  }

  // Depth-first without recursion: a hostile catalogue may nest folders as
  // deep as it has records.
  MountTree build() {
    struct Pending {
      TreeNodeIndex Node;  // NO_NODE: the catalogue's top level
      MountNodeIndex Folder;
    };
    std::vector<Pending> pending{{NO_NODE, MOUNT_ROOT}};
    while (!pending.empty()) {
      const Pending p = pending.back();
      pending.pop_back();
      if (p.Node != NO_NODE)
        for (EntryIndex file : folder_files(cat_, tree_item_entry(cat_, p.Node)))
          add(p.Folder, file, false);
      std::vector<Pending> folders;
      for (TreeNodeIndex child = tree_first_child(cat_, p.Node); child != NO_NODE;
           child = tree_next_sibling(cat_, child)) {
        const EntryIndex entry = tree_item_entry(cat_, child);
        if (entry == NO_ENTRY) continue;
        const MountNodeIndex added = add(p.Folder, entry, true);
        if (added != NO_MOUNT_NODE) folders.push_back({child, added});
      }
      pending.insert(pending.end(), folders.rbegin(), folders.rend());
    }
    return std::move(tree_);
  }

 private:
  MountNodeIndex add(MountNodeIndex folder, EntryIndex entry, bool is_folder) {
    const CryptItem& item = cat_.Entries[entry];
    const std::string shown = utf8_ ? utf8_(item.Name) : item.Name;
    // The folder's path only for a note: built for every entry, it would
    // cost a deep tree the square of its depth.
    if (const char* reason = mount_name_reason(item.Name, shown)) {
      tree_.Notes.push_back(joined(tree_.path_of(folder), shown_name(shown)) + " is left out: " +
                            reason + ".");
      return NO_MOUNT_NODE;
    }
    std::string name = shown;
    const auto& taken = tree_.Nodes[folder].ByName;
    for (unsigned n = 2; taken.count(name); ++n) name = numbered_name(shown, is_folder, n);
    if (name != shown)
      tree_.Notes.push_back(joined(tree_.path_of(folder), shown) + " is shown as " + name +
                            ": an earlier entry of its folder has its name.");

    const MountNodeIndex index = static_cast<MountNodeIndex>(tree_.Nodes.size());
    MountNode node;
    node.Name = name;
    node.Parent = folder;
    node.Folder = is_folder;
    node.Entry = entry;
    node.Size = is_folder ? 0 : item.Size;
    tree_.Nodes.push_back(std::move(node));
    MountNode& parent = tree_.Nodes[folder];
    parent.Children.push_back(index);
    parent.ByName.emplace(name, index);
    if (is_folder) parent.SubFolders += 1;
    return index;
  }

  const Catalogue& cat_;
  const NameConverter& utf8_;
  MountTree tree_;
};

}  // namespace

MountNodeIndex MountTree::child(MountNodeIndex folder, std::string_view name) const {
  if (folder >= Nodes.size()) return NO_MOUNT_NODE;
  const auto& names = Nodes[folder].ByName;
  auto found = names.find(std::string(name));
  return found == names.end() ? NO_MOUNT_NODE : found->second;
}

MountNodeIndex MountTree::find(std::string_view path) const {
  MountNodeIndex node = MOUNT_ROOT;
  std::size_t at = 0;
  while (node != NO_MOUNT_NODE && at < path.size()) {
    if (path[at] == '/') {
      ++at;
      continue;
    }
    const std::size_t end = std::min(path.find('/', at), path.size());
    node = child(node, path.substr(at, end - at));
    at = end;
  }
  return node;
}

std::string MountTree::path_of(MountNodeIndex node) const {
  std::vector<const std::string*> names;
  for (; node != MOUNT_ROOT && node < Nodes.size(); node = Nodes[node].Parent)
    names.push_back(&Nodes[node].Name);
  std::string path;
  for (auto it = names.rbegin(); it != names.rend(); ++it) path = joined(path, **it);
  return path;
}

const char* mount_name_reason(const std::string& stored, const std::string& shown) {
  if (shown.empty()) return "it has no name";
  if (const char* reason = unsafe_name_reason(stored)) return reason;
  if (const char* reason = unsafe_name_reason(shown)) return reason;
  if (shown == ".") return "the name stands for its own folder";
  if (shown.find_first_of("/\\") != std::string::npos) return "the name holds a path separator";
  if (shown.size() > MAX_MOUNT_NAME) return "the name is longer than 255 bytes";
  return nullptr;
}

std::string numbered_name(const std::string& name, bool folder, unsigned n) {
  const std::string number = " (" + std::to_string(n) + ")";
  const std::size_t dot = folder ? std::string::npos : name.rfind('.');
  // A leading dot starts a hidden name, not an extension.
  if (dot == std::string::npos || dot == 0) return name + number;
  return name.substr(0, dot) + number + name.substr(dot);
}

MountTree build_mount_tree(const Catalogue& catalogue, const NameConverter& utf8) {
  return TreeBuilder(catalogue, utf8).build();
}

}  // namespace kelvora::cli
