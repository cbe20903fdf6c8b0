// The uninstaller on Windows: the real message boxes, registry, shell
// folders, code page and file system behind the portable logic.
#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "uninstaller/uninstall.h"

namespace kelvora::uninstall {
namespace {

struct KeyCloser {
  void operator()(HKEY key) const { RegCloseKey(key); }
};
using RegistryKey = std::unique_ptr<std::remove_pointer_t<HKEY>, KeyCloser>;

struct FindCloser {
  void operator()(HANDLE find) const { FindClose(find); }
};
using FindHandle = std::unique_ptr<void, FindCloser>;

struct HandleCloser {
  void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using FileHandle = std::unique_ptr<void, HandleCloser>;

// The product's installer is 32-bit, so its uninstall key lives in the
// 32-bit view of HKEY_LOCAL_MACHINE; a 32-bit build sees that view by
// itself, a 64-bit build only when it asks for it.
constexpr REGSAM PRODUCT_VIEW = KEY_WOW64_32KEY;

RegistryKey open_key(HKEY hive, const char* key, REGSAM access) {
  HKEY handle = nullptr;
  if (RegOpenKeyExA(hive, key, 0, access, &handle) != ERROR_SUCCESS) return nullptr;
  return RegistryKey(handle);
}

// Reads a string value into a buffer of 255 bytes; a longer value is not
// read.
std::optional<std::string> read_string(HKEY hive, const char* key, const char* value,
                                       REGSAM view = 0) {
  const RegistryKey handle = open_key(hive, key, KEY_READ | view);
  if (!handle) return std::nullopt;
  char buffer[PATH_BUFFER] = {};
  DWORD size = sizeof buffer - 1;
  DWORD type = 0;
  const LONG result = RegQueryValueExA(handle.get(), value, nullptr, &type,
                                       reinterpret_cast<BYTE*>(buffer), &size);
  if (result != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return std::nullopt;
  buffer[sizeof buffer - 1] = '\0';
  return std::string(buffer);
}

// A path from one of the ...A calls that fill a buffer and return the
// length, or the size they need when it is too small; none on failure.
template <typename Call>
std::optional<std::string> path_from(Call call) {
  std::string buffer(MAX_PATH, '\0');
  for (int attempt = 0; attempt < 2; ++attempt) {
    const DWORD n = call(buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return std::nullopt;
    if (n < buffer.size()) {
      buffer.resize(n);
      return buffer;
    }
    buffer.assign(n, '\0');
  }
  return std::nullopt;
}

class Win32System final : public UninstallSystem {
 public:
  bool ask_yes_no(const std::string& caption, const std::string& text) override {
    return MessageBoxA(nullptr, text.c_str(), caption.c_str(), MB_YESNO) == IDYES;
  }
  void show_ok(const std::string& caption, const std::string& text) override {
    MessageBoxA(nullptr, text.c_str(), caption.c_str(), MB_OK);
  }
  std::optional<std::string> install_directory() override {
    return read_string(HKEY_LOCAL_MACHINE, UNINSTALL_KEY, INSTALL_DIR_VALUE, PRODUCT_VIEW);
  }
  std::optional<std::string> shell_folder(const std::string& value) override {
    return read_string(HKEY_CURRENT_USER, SHELL_FOLDERS_KEY, value.c_str());
  }
  // SHDeleteKeyA works below the handle it is given, so the parent opened
  // in the 32-bit view keeps the whole deletion there.
  void delete_uninstall_key() override {
    if (const RegistryKey parent = open_key(HKEY_LOCAL_MACHINE, UNINSTALL_PARENT,
                                            KEY_READ | PRODUCT_VIEW))
      SHDeleteKeyA(parent.get(), PRODUCT_KEY);
  }

  std::vector<ProtectedFolder> protected_folders() override {
    std::vector<ProtectedFolder> folders;
    const auto add = [&](const std::optional<std::string>& path, bool with_contents) {
      if (path && !path->empty()) folders.push_back({*path, with_contents});
    };
    // The Windows folder and both system folders, whatever this build's
    // bitness: a 32-bit program is shown SysWOW64 as System32.
    add(path_from([](char* b, DWORD n) { return GetWindowsDirectoryA(b, n); }), true);
    add(path_from([](char* b, DWORD n) { return GetSystemWindowsDirectoryA(b, n); }), true);
    add(path_from([](char* b, DWORD n) { return GetSystemDirectoryA(b, n); }), true);
    add(path_from([](char* b, DWORD n) { return GetSystemWow64DirectoryA(b, n); }), true);
    // Both Program Files folders: a 32-bit program's ProgramFiles is the
    // x86 one; ProgramW6432 names the other.
    const struct {
      const char* Name;
      bool WithContents;
    } variables[] = {
        {"ProgramW6432", false},       {"ProgramFiles", false},
        {"ProgramFiles(x86)", false},  {"CommonProgramW6432", false},
        {"CommonProgramFiles", false}, {"CommonProgramFiles(x86)", false},
        {"SystemRoot", true},          {"windir", true},
    };
    for (const auto& variable : variables)
      add(path_from([&](char* b, DWORD n) { return GetEnvironmentVariableA(variable.Name, b, n); }),
          variable.WithContents);
    const struct {
      int Id;
      bool WithContents;
    } known[] = {
        {CSIDL_WINDOWS, true},           {CSIDL_SYSTEM, true},
        {CSIDL_SYSTEMX86, true},         {CSIDL_FONTS, true},
        {CSIDL_PROGRAM_FILES, false},    {CSIDL_PROGRAM_FILESX86, false},
        {CSIDL_PROGRAM_FILES_COMMON, false}, {CSIDL_PROGRAM_FILES_COMMONX86, false},
        {CSIDL_COMMON_APPDATA, false},   {CSIDL_PROFILE, false},
        {CSIDL_DESKTOPDIRECTORY, false}, {CSIDL_PERSONAL, false},
        {CSIDL_STARTMENU, false},        {CSIDL_COMMON_STARTMENU, false},
        {CSIDL_PROGRAMS, false},         {CSIDL_COMMON_PROGRAMS, false},
        {CSIDL_COMMON_DESKTOPDIRECTORY, false}, {CSIDL_COMMON_DOCUMENTS, false},
        {CSIDL_APPDATA, false},          {CSIDL_LOCAL_APPDATA, false},
    };
    char buffer[MAX_PATH];
    for (const auto& folder : known) {
      if (FAILED(SHGetFolderPathA(nullptr, folder.Id, nullptr, SHGFP_TYPE_CURRENT, buffer)))
        continue;
      add(std::string(buffer), folder.WithContents);
      if (folder.Id == CSIDL_PROFILE && PathRemoveFileSpecA(buffer))
        add(std::string(buffer), false);  // the folder of all profiles (Users)
    }
    // The shell folders as the registry names them, which the shortcuts use.
    for (const char* value : {DESKTOP_VALUE, START_MENU_VALUE, "Personal", "Programs"})
      add(shell_folder(value), false);
    return folders;
  }

  bool is_lead_byte(unsigned char byte) override { return IsDBCSLeadByte(byte) != 0; }
  std::string upper_case(const std::string& text) override {
    std::string upper = text;
    if (!upper.empty()) CharUpperBuffA(upper.data(), static_cast<DWORD>(upper.size()));
    return upper;
  }
  std::optional<std::string> full_path(const std::string& path) override {
    return path_from(
        [&](char* b, DWORD n) { return GetFullPathNameA(path.c_str(), n, b, nullptr); });
  }
  std::optional<std::string> long_path(const std::string& path) override {
    return path_from([&](char* b, DWORD n) { return GetLongPathNameA(path.c_str(), b, n); });
  }

  std::optional<std::vector<DirEntry>> list_directory(const std::string& path) override {
    WIN32_FIND_DATAA data = {};
    const HANDLE first = FindFirstFileA((path + "\\*.*").c_str(), &data);
    if (first == INVALID_HANDLE_VALUE) return std::nullopt;
    const FindHandle find(first);
    std::vector<DirEntry> entries;
    do {
      const std::string name = data.cFileName;
      if (name == "." || name == "..") continue;
      // The find data's tag field (dwReserved0) is not filled by every
      // implementation of the call: the tag is read from the reparse point
      // itself.
      const std::uint32_t tag = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
                                    ? reparse_tag(path + "\\" + name)
                                    : REPARSE_TAG_UNREAD;
      entries.push_back({name, data.dwFileAttributes, tag});
    } while (FindNextFileA(find.get(), &data));
    return entries;
  }
  std::uint32_t attributes(const std::string& path) override {
    return GetFileAttributesA(path.c_str());
  }
  // Opened as the reparse point itself, with no data access: neither a
  // link is followed nor a cloud file fetched.
  std::uint32_t reparse_tag(const std::string& path) override {
    const HANDLE handle =
        CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                    FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return REPARSE_TAG_UNREAD;
    const FileHandle owner(handle);
    FILE_ATTRIBUTE_TAG_INFO info = {};
    if (!GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &info, sizeof info) ||
        !(info.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
      return REPARSE_TAG_UNREAD;
    return info.ReparseTag;
  }
  bool delete_file(const std::string& path) override { return DeleteFileA(path.c_str()) != 0; }
  bool remove_directory(const std::string& path) override {
    return RemoveDirectoryA(path.c_str()) != 0;
  }
  void set_attributes_normal(const std::string& path) override {
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  }
};

}  // namespace
}  // namespace kelvora::uninstall

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  kelvora::uninstall::Win32System system;
  return kelvora::uninstall::run_uninstaller(system);
}
