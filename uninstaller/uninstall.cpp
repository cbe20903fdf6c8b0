#include "uninstaller/uninstall.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace kelvora::uninstall {
namespace {

bool is_separator(char c) { return c == '\\' || c == '/'; }

std::string join(const std::string& directory, const std::string& name) {
  return directory + "\\" + name;
}

// printf-style into a path of at most 255 characters with the terminator;
// none when it would not fit.
std::optional<std::string> built_path(const char* format, const std::string& folder) {
  char buffer[PATH_BUFFER];
  const int n = std::snprintf(buffer, sizeof buffer, format, folder.c_str());
  if (n < 0 || static_cast<std::size_t>(n) >= sizeof buffer) return std::nullopt;
  return std::string(buffer);
}

// A path for comparison: one separator, no trailing one, upper case.
std::string normalised(const std::string& path) {
  std::string out;
  for (char c : path) {
    const char ch = is_separator(c) ? '\\' : static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (ch == '\\' && !out.empty() && out.back() == '\\' && out.size() > 1) continue;
    out += ch;
  }
  while (out.size() > 1 && out.back() == '\\') out.pop_back();
  return out;
}

bool is_drive_path(const std::string& p) {
  return p.size() >= 2 && std::isalpha(static_cast<unsigned char>(p[0])) && p[1] == ':';
}

// True when folder is inside (or is) ancestor.
bool within(const std::string& folder, const std::string& ancestor) {
  if (ancestor.empty()) return false;
  if (folder == ancestor) return true;
  return folder.size() > ancestor.size() && folder.compare(0, ancestor.size(), ancestor) == 0 &&
         (folder[ancestor.size()] == '\\' || ancestor.back() == '\\');
}

void refuse(UninstallSystem& system, const std::string& path, const char* reason) {
  char text[1024];
  std::snprintf(text, sizeof text, "The folder %s was not deleted: %s.",
                path.empty() ? "(none)" : path.c_str(), reason);
  system.show_ok(REFUSED_CAPTION, text);
}

// Empties and removes a directory of the product after the safety checks.
void remove_product_directory(UninstallSystem& system, const std::string& path,
                              const std::vector<std::string>& protected_folders) {
  if (const char* reason = unsafe_directory_reason(path, protected_folders)) {
    refuse(system, path, reason);
    return;
  }
  const std::uint32_t attributes = system.attributes(path);
  if (attributes != ATTRIBUTE_INVALID && (attributes & ATTRIBUTE_REPARSE_POINT)) {
    refuse(system, path, "it is a link to another folder");
    return;
  }
  empty_directory_tree(system, path);
  system.remove_directory(path);
}

}  // namespace

const char* unsafe_directory_reason(const std::string& path,
                                    const std::vector<std::string>& protected_folders) {
  if (path.empty()) return "the installation directory in the registry is empty";
  const bool unc = path.size() >= 2 && is_separator(path[0]) && is_separator(path[1]);
  const bool drive = is_drive_path(path) && path.size() >= 3 && is_separator(path[2]);
  const bool posix = !unc && is_separator(path[0]);
  if (!unc && !drive && !posix) return "it is not a full path";
  // "." and ".." would let a path name another folder than it seems to.
  std::string piece;
  for (std::size_t i = 0; i <= path.size(); ++i) {
    if (i < path.size() && !is_separator(path[i])) {
      piece += path[i];
      continue;
    }
    if (piece == "." || piece == "..") return "it is not a full path";
    piece.clear();
  }
  const std::string p = normalised(path);
  // Drive and share roots: "C:", "C:\", "\\server\share", "/".
  if (drive && p.size() <= 3) return "it is the root of a drive";
  if (posix && p.size() <= 1) return "it is the root of a drive";
  if (unc) {
    const auto pieces = std::count(p.begin() + 2, p.end(), '\\');
    if (pieces <= 1) return "it is the root of a network share";
  }
  for (const std::string& folder : protected_folders) {
    const std::string f = normalised(folder);
    if (f.empty()) continue;
    if (f == p) return "it is one of the system's own folders";
    if (within(f, p)) return "it holds one of the system's own folders";
  }
  return nullptr;
}

void empty_directory_tree(UninstallSystem& system, const std::string& path) {
  const auto entries = system.list_directory(path);
  if (!entries) return;  // a directory that cannot be entered is never emptied
  for (const DirEntry& entry : *entries) {
    if (entry.Name.empty() || entry.Name == "." || entry.Name == "..") continue;
    const std::string child = join(path, entry.Name);
    if (entry.Attributes & ATTRIBUTE_REPARSE_POINT) {
      // The link goes, what it points to stays.
      if (entry.Attributes & ATTRIBUTE_DIRECTORY)
        system.remove_directory(child);
      else
        system.delete_file(child);
      continue;
    }
    if (entry.Attributes & ATTRIBUTE_DIRECTORY) {
      if (entry.Name[0] == '.') continue;
      empty_directory_tree(system, child);
      system.remove_directory(child);
      continue;
    }
    system.delete_file(child);
  }
}

int run_uninstaller(UninstallSystem& system) {
  if (!system.ask_yes_no(CONFIRM_CAPTION, CONFIRM_TEXT)) return 0;
  system.show_ok(INFO_CAPTION, RUNNING_TEXT);
  const std::vector<std::string> protected_folders = system.protected_folders();

  // The installation directory, then the maker's folder if it is now empty.
  if (const auto install = system.install_directory()) {
    remove_product_directory(system, *install, protected_folders);
    if (!install->empty()) system.remove_directory(MAKER_FOLDER);
  }

  system.delete_uninstall_key();

  if (const auto desktop = system.shell_folder(DESKTOP_VALUE)) {
    if (const auto shortcut = built_path(SHORTCUT_FORMAT, *desktop))
      system.delete_file(*shortcut);
  }
  if (const auto start_menu = system.shell_folder(START_MENU_VALUE)) {
    if (const auto shortcut = built_path(SHORTCUT_FORMAT, *start_menu))
      system.delete_file(*shortcut);
  }
  if (const auto start_menu = system.shell_folder(START_MENU_VALUE)) {
    if (const auto group = built_path(GROUP_FORMAT, *start_menu)) {
      system.set_attributes_normal(*group);
      remove_product_directory(system, *group, protected_folders);
    }
  }

  system.show_ok(INFO_CAPTION, REMOVED_TEXT);
  return 0;
}

}  // namespace kelvora::uninstall
