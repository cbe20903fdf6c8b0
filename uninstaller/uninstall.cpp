#include "uninstaller/uninstall.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace kelvora::uninstall {
namespace {

// printf-style into a path of at most 255 characters with the terminator;
// none when it would not fit.
std::optional<std::string> built_path(const char* format, const std::string& folder) {
  char buffer[PATH_BUFFER];
  const int n = std::snprintf(buffer, sizeof buffer, format, folder.c_str());
  if (n < 0 || static_cast<std::size_t>(n) >= sizeof buffer) return std::nullopt;
  return std::string(buffer);
}

constexpr const char* NOT_FULL = "it is not a full path";
constexpr const char* DEVICE = "it is a device path";
constexpr const char* BAD_NAME = "a name in it is not a folder name";
constexpr const char* UNRESOLVED = "its full name cannot be found";
constexpr const char* DRIVE_ROOT = "it is the root of a drive";
constexpr const char* SHARE_ROOT = "it is the root of a network share";
constexpr const char* ADMIN_SHARE = "it is on an administrative share";
constexpr const char* IS_SYSTEM = "it is one of the system's own folders";
constexpr const char* HOLDS_SYSTEM = "it holds one of the system's own folders";
constexpr const char* INSIDE_SYSTEM = "it lies inside one of the system's own folders";
constexpr const char* IS_LINK = "it is a link to another folder";
constexpr const char* LINK_ON_THE_WAY = "a folder on the way to it is a link";

bool is_letter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

char ascii_upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool equals_nocase(const std::string& text, const char* upper) {
  return std::equal(text.begin(), text.end(), upper, upper + std::strlen(upper),
                    [](char a, char b) { return ascii_upper(a) == b; });
}

// The names between the separators of text, '\' and '/' alike; the second
// byte of a double-byte character is never taken for a separator.
std::vector<std::string> split_names(UninstallSystem& system, const std::string& text) {
  std::vector<std::string> names(1);
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (system.is_lead_byte(static_cast<unsigned char>(c)) && i + 1 < text.size()) {
      names.back() += c;
      names.back() += text[++i];
    } else if (c == '\\' || c == '/') {
      names.emplace_back();
    } else {
      names.back() += c;
    }
  }
  return names;
}

// A name as Windows opens it: without its trailing dots and blanks (Wine
// strips them from every name of a path, Windows from the last).  Neither
// byte is ever the second of a double-byte character; a lead byte left at
// the end by a malformed name is refused by is_folder_name.
std::string trimmed(std::string name) {
  while (!name.empty() && (name.back() == '.' || name.back() == ' ')) name.pop_back();
  return name;
}

// Characters no Windows name holds; ':' would name a stream, such as a
// folder's "::$INDEX_ALLOCATION", which is the folder itself.  A lead byte
// at the end would take the separator after it for its second byte.
bool is_folder_name(UninstallSystem& system, const std::string& name) {
  for (std::size_t i = 0; i < name.size(); ++i) {
    const auto c = static_cast<unsigned char>(name[i]);
    if (system.is_lead_byte(c)) {
      if (++i == name.size()) return false;
    } else if (c < 0x20 || std::strchr("<>:\"|?*", c)) {
      return false;
    }
  }
  return true;
}

// A full path taken apart: "C:" or "\\server\share", then the names.
struct PathParts {
  std::string Root;
  std::vector<std::string> Names;
  bool Unc = false;
  const char* Refusal = nullptr;

  std::string text() const {
    std::string out = Root;
    for (const std::string& name : Names) out += "\\" + name;
    if (Names.empty() && !Unc) out += "\\";
    return out;
  }
};

// What Windows makes of a path without asking the file system.
PathParts plain_path(UninstallSystem& system, const std::string& path) {
  PathParts parts;
  std::vector<std::string> names = split_names(system, path);
  // The device prefixes \\?\ and \\.\ (and the NT \??\) in front of a drive
  // or of UNC\server\share name the same folder as the path without them.
  std::size_t volume = 0;
  if (names.size() >= 4 && names[0].empty() && names[1].empty() &&
      (names[2] == "?" || names[2] == "."))
    volume = 3;
  else if (names.size() >= 3 && names[0].empty() && names[1] == "??")
    volume = 2;
  if (volume) {
    const std::string& name = names[volume];
    std::vector<std::string> rest(names.begin() + static_cast<std::ptrdiff_t>(volume) + 1,
                                  names.end());
    if (name.size() == 2 && is_letter(name[0]) && name[1] == ':') {
      rest.insert(rest.begin(), name);
      if (rest.size() == 1) rest.emplace_back();  // "\\?\C:" is the drive's root
    } else if (equals_nocase(name, "UNC")) {
      rest.insert(rest.begin(), 2, std::string());
    } else {
      // \\?\unix\..., \\?\GLOBALROOT\..., \\.\PhysicalDrive0, \\?\Volume{...}
      parts.Refusal = DEVICE;
      return parts;
    }
    names = std::move(rest);
  }
  std::size_t first_name = 0;
  if (names.size() >= 2 && names[0].size() == 2 && is_letter(names[0][0]) && names[0][1] == ':') {
    parts.Root = std::string(1, ascii_upper(names[0][0])) + ":";
    first_name = 1;
  } else if (names.size() >= 3 && names[0].empty() && names[1].empty()) {
    parts.Unc = true;
    const std::string server = trimmed(names[2]);
    const std::string share = names.size() >= 4 ? trimmed(names[3]) : std::string();
    // "\\?" and "\\." without a separator after them are devices too.
    if (names[2] == "." || names[2] == "?")
      parts.Refusal = DEVICE;
    else if (server.empty())
      parts.Refusal = NOT_FULL;
    else if (share.empty())
      parts.Refusal = SHARE_ROOT;
    else if (!is_folder_name(system, server) || !is_folder_name(system, share))
      parts.Refusal = BAD_NAME;
    if (parts.Refusal) return parts;
    parts.Root = "\\\\" + server + "\\" + share;
    first_name = 4;
  } else {
    parts.Refusal = NOT_FULL;  // relative, "C:name" or "\name" on the current drive
    return parts;
  }
  for (std::size_t i = first_name; i < names.size(); ++i) {
    if (names[i] == "..") {
      if (!parts.Names.empty()) parts.Names.pop_back();
      continue;
    }
    std::string name = trimmed(names[i]);  // "", "." and "..." go
    if (name.empty()) continue;
    if (!is_folder_name(system, name)) {
      parts.Refusal = BAD_NAME;
      return parts;
    }
    parts.Names.push_back(std::move(name));
  }
  return parts;
}

// plain_path, then the full path and the long names from the system, each
// answer taken apart again by the same rules.
PathParts resolved_path(UninstallSystem& system, const std::string& path) {
  PathParts parts = plain_path(system, path);
  if (parts.Refusal) return parts;
  const auto full = system.full_path(parts.text());
  if (!full) {
    parts.Refusal = UNRESOLVED;
    return parts;
  }
  parts = plain_path(system, *full);  // "C:\x\CON" came back as "\\.\CON"
  if (parts.Refusal) return parts;
  if (const auto long_name = system.long_path(parts.text())) return plain_path(system, *long_name);
  // No long name: nothing is there, or it cannot be told what is.
  if (system.attributes(parts.text()) != ATTRIBUTE_INVALID) parts.Refusal = UNRESOLVED;
  return parts;
}

// The root and names of a resolved path in upper case, for comparing.
std::vector<std::string> comparable(UninstallSystem& system, const PathParts& parts) {
  const PathParts upper = plain_path(system, system.upper_case(parts.text()));
  std::vector<std::string> out{upper.Root};
  out.insert(out.end(), upper.Names.begin(), upper.Names.end());
  return out;
}

// True when path is ancestor or lies inside it.
bool within(const std::vector<std::string>& path, const std::vector<std::string>& ancestor) {
  return path.size() >= ancestor.size() &&
         std::equal(ancestor.begin(), ancestor.end(), path.begin());
}

void refuse(UninstallSystem& system, const std::string& path, const char* reason) {
  char text[1024];
  std::snprintf(text, sizeof text, "The folder %s was not deleted: %s.", path.c_str(), reason);
  system.show_ok(REFUSED_CAPTION, text);
}

// Empties and removes a directory of the product after the checks; the
// program group first gets its attributes set to normal.
void remove_product_directory(UninstallSystem& system, const std::string& path,
                              const std::vector<ProtectedFolder>& protected_folders,
                              bool normal_attributes) {
  const DirectoryCheck checked = check_directory(system, path, protected_folders);
  if (checked.Refusal) {
    refuse(system, path, checked.Refusal);
    return;
  }
  if (normal_attributes) system.set_attributes_normal(checked.Path);
  empty_directory_tree(system, checked.Path);
  system.remove_directory(checked.Path);
}

}  // namespace

DirectoryCheck check_directory(UninstallSystem& system, const std::string& path,
                               const std::vector<ProtectedFolder>& protected_folders) {
  const PathParts parts = resolved_path(system, path);
  // A folder that is there but has no long name is still compared as it
  // is, so that the more telling reason wins; it is refused in the end.
  if (parts.Refusal && parts.Refusal != UNRESOLVED) return {std::string(), parts.Refusal};
  DirectoryCheck check{parts.text()};
  if (parts.Names.empty()) {
    check.Refusal = parts.Unc ? SHARE_ROOT : DRIVE_ROOT;
    return check;
  }
  // C$, ADMIN$ (the Windows folder): a whole drive or system under another name.
  if (parts.Unc && parts.Root.back() == '$') {
    check.Refusal = ADMIN_SHARE;
    return check;
  }
  const std::vector<std::string> candidate = comparable(system, parts);
  std::vector<std::pair<std::vector<std::string>, bool>> folders;
  for (const ProtectedFolder& folder : protected_folders) {
    const PathParts resolved = resolved_path(system, folder.Path);
    if (!resolved.Refusal || resolved.Refusal == UNRESOLVED)
      folders.emplace_back(comparable(system, resolved), folder.WithContents);
  }
  const auto any = [&](auto rule) { return std::any_of(folders.begin(), folders.end(), rule); };
  if (any([&](const auto& f) { return f.first == candidate; }))
    check.Refusal = IS_SYSTEM;
  else if (any([&](const auto& f) { return within(f.first, candidate); }))
    check.Refusal = HOLDS_SYSTEM;
  else if (any([&](const auto& f) { return f.second && within(candidate, f.first); }))
    check.Refusal = INSIDE_SYSTEM;
  else
    check.Refusal = parts.Refusal;
  if (check.Refusal) return check;
  // A junction or link anywhere on the way leads somewhere else.
  std::string on_the_way = parts.Root;
  for (std::size_t i = 0; i < parts.Names.size(); ++i) {
    on_the_way += "\\" + parts.Names[i];
    const std::uint32_t attributes = system.attributes(on_the_way);
    if (attributes != ATTRIBUTE_INVALID && (attributes & ATTRIBUTE_REPARSE_POINT) &&
        leads_elsewhere(attributes, system.reparse_tag(on_the_way))) {
      check.Refusal = i + 1 == parts.Names.size() ? IS_LINK : LINK_ON_THE_WAY;
      return check;
    }
  }
  return check;
}

bool leads_elsewhere(std::uint32_t attributes, std::uint32_t reparse_tag) {
  if (attributes == ATTRIBUTE_INVALID || !(attributes & ATTRIBUTE_REPARSE_POINT)) return false;
  return reparse_tag == REPARSE_TAG_UNREAD || (reparse_tag & REPARSE_TAG_NAME_SURROGATE) != 0;
}

void empty_directory_tree(UninstallSystem& system, const std::string& path) {
  const auto entries = system.list_directory(path);
  if (!entries) return;  // a directory that cannot be entered is never emptied
  for (const DirEntry& entry : *entries) {
    if (entry.Name.empty() || entry.Name == "." || entry.Name == "..") continue;
    const std::string child = path + "\\" + entry.Name;
    if (leads_elsewhere(entry.Attributes, entry.ReparseTag)) {
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
  const std::vector<ProtectedFolder> protected_folders = system.protected_folders();

  // The installation directory, then the maker's folder if it is now empty.
  // An empty value names nothing and is passed over in silence.
  if (const auto install = system.install_directory(); install && !install->empty()) {
    remove_product_directory(system, *install, protected_folders, false);
    system.remove_directory(MAKER_FOLDER);
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
    if (const auto group = built_path(GROUP_FORMAT, *start_menu))
      remove_product_directory(system, *group, protected_folders, true);
  }

  system.show_ok(INFO_CAPTION, REMOVED_TEXT);
  return 0;
}

}  // namespace kelvora::uninstall
