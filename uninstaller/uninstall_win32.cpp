// The uninstaller on Windows: the real message boxes, registry, shell
// folders and file system behind the portable logic.
#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <string>
#include <vector>

#include "uninstaller/uninstall.h"

namespace kelvora::uninstall {
namespace {

// Reads a string value into a buffer of 255 bytes; a longer value is not
// read.
std::optional<std::string> read_string(HKEY hive, const char* key, const char* value) {
  HKEY handle = nullptr;
  if (RegOpenKeyExA(hive, key, 0, KEY_READ, &handle) != ERROR_SUCCESS) return std::nullopt;
  char buffer[PATH_BUFFER] = {};
  DWORD size = sizeof buffer - 1;
  DWORD type = 0;
  const LONG result = RegQueryValueExA(handle, value, nullptr, &type,
                                       reinterpret_cast<BYTE*>(buffer), &size);
  RegCloseKey(handle);
  if (result != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return std::nullopt;
  buffer[sizeof buffer - 1] = '\0';
  return std::string(buffer);
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
    return read_string(HKEY_LOCAL_MACHINE, UNINSTALL_KEY, INSTALL_DIR_VALUE);
  }
  std::optional<std::string> shell_folder(const std::string& value) override {
    return read_string(HKEY_CURRENT_USER, SHELL_FOLDERS_KEY, value.c_str());
  }
  void delete_uninstall_key() override { SHDeleteKeyA(HKEY_LOCAL_MACHINE, UNINSTALL_KEY); }

  std::vector<std::string> protected_folders() override {
    std::vector<std::string> folders;
    char buffer[MAX_PATH];
    if (GetWindowsDirectoryA(buffer, MAX_PATH)) folders.push_back(buffer);
    if (GetSystemDirectoryA(buffer, MAX_PATH)) folders.push_back(buffer);
    const int known[] = {CSIDL_PROGRAM_FILES,     CSIDL_PROGRAM_FILESX86, CSIDL_COMMON_APPDATA,
                         CSIDL_PROFILE,           CSIDL_DESKTOPDIRECTORY, CSIDL_PERSONAL,
                         CSIDL_STARTMENU,         CSIDL_COMMON_STARTMENU, CSIDL_PROGRAMS,
                         CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_COMMON_DOCUMENTS, CSIDL_APPDATA,
                         CSIDL_LOCAL_APPDATA,     CSIDL_FONTS};
    for (int id : known) {
      if (SUCCEEDED(SHGetFolderPathA(nullptr, id, nullptr, SHGFP_TYPE_CURRENT, buffer))) {
        folders.push_back(buffer);
        if (id == CSIDL_PROFILE) {
          // The folder of all profiles (Users).
          std::string users = buffer;
          const auto cut = users.find_last_of('\\');
          if (cut != std::string::npos && cut > 2) folders.push_back(users.substr(0, cut));
        }
      }
    }
    // The shell folders as the registry names them, which the shortcuts use.
    for (const char* value : {DESKTOP_VALUE, START_MENU_VALUE, "Personal", "Programs"})
      if (auto folder = shell_folder(value)) folders.push_back(*folder);
    return folders;
  }

  std::optional<std::vector<DirEntry>> list_directory(const std::string& path) override {
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((path + "\\*.*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return std::nullopt;
    std::vector<DirEntry> entries;
    do {
      const std::string name = data.cFileName;
      if (name == "." || name == "..") continue;
      entries.push_back({name, data.dwFileAttributes});
    } while (FindNextFileA(find, &data));
    FindClose(find);
    return entries;
  }
  std::uint32_t attributes(const std::string& path) override {
    return GetFileAttributesA(path.c_str());
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
