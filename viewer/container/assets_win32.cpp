#include "viewer/container/assets_win32.h"

#include <windows.h>

#include <cctype>
#include <vector>

#include "viewer/base/path_text.h"
#include "viewer/resources/resource.h"
#include "viewer/base/handles_win32.h"
#include "viewer/base/pictures_win32.h"
#include "viewer/base/viewer_globals_win32.h"
#include "viewer/container/viewer_file.h"
#include "viewer/base/message_sink.h"

namespace kelvora {
namespace {

std::string windows_directory() {
  char buffer[MAX_PATH] = {};
  const UINT n = GetWindowsDirectoryA(buffer, MAX_PATH);
  return n > 0 && n < MAX_PATH ? std::string(buffer) : std::string();
}

// The picture's temporary path: the Windows directory and the base name the
// builder stored (the whole name when it has no directory part).
std::string picture_path(const std::string& stored, const char* fallback) {
  std::string base = std::string(path_file_part(stored).value_or(stored));
  if (base.empty()) base = fallback;
  std::string directory = windows_directory();
  if (directory.empty()) {
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    directory = temp;
    while (!directory.empty() && directory.back() == '\\') directory.pop_back();
  }
  return directory + "\\" + base;
}

// Writes a picture region out, loads it and deletes the file again.
bool load_region_picture(Region region, const std::string& stored, const char* fallback,
                         const char* failure_text, GdiBitmap& bitmap, int& width, int& height) {
  const std::string path = picture_path(stored, fallback);
  if (decipher_region_to_file(Viewer, region, path) == RegionWrite::CannotCreate) {
    show_error("Error: (823409)", failure_text, path.c_str());
    return false;
  }
  const char last = path.empty() ? '\0' : static_cast<char>(std::toupper(
                                              static_cast<unsigned char>(path.back())));
  if (last == 'P') {
    bitmap.reset(static_cast<HBITMAP>(
        LoadImageA(nullptr, path.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE)));
    if (bitmap) {
      const SIZE size = bitmap_size(bitmap.get());
      width = size.cx;
      height = size.cy;
    }
  } else {
    bitmap.reset(load_picture(path.c_str(), &width, &height));
  }
  DeleteFileA(path.c_str());
  return true;
}

// False when the font cannot be allocated or read (reported): start-up
// then ends, as it does after any failing step of its own.
bool load_custom_font() {
  std::vector<std::uint8_t> font;
  if (!read_region(Viewer, Region::Font, font)) return false;
  bool installed = false;
  const std::string folder = fonts_folder();
  if (!folder.empty()) {
    const std::string path = folder + "\\" + Viewer.Settings.FontFile;
    if (file_exists(path)) {
      installed = true;  // a second start finds it and does nothing more
    } else {
      FileHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
      if (file) {
        DWORD written = 0;
        const BOOL ok = WriteFile(file.get(), font.data(), static_cast<DWORD>(font.size()),
                                  &written, nullptr);
        file.reset();
        installed = ok && written == font.size() && install_font(path);
      }
    }
  }
  // Without the rights to write or register the font, the face is still
  // made usable for this run, so the start screen draws in it.
  if (!installed && !font.empty()) {
    DWORD fonts = 0;
    AddFontMemResourceEx(font.data(), static_cast<DWORD>(font.size()), nullptr, &fonts);
  }
  return true;
}

}  // namespace

bool file_exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string fonts_folder() {
  static char buffer[255] = {};
  RegistryKey key;
  if (RegOpenKeyExA(HKEY_CURRENT_USER,
                    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders", 0,
                    KEY_ALL_ACCESS, key.put()) != ERROR_SUCCESS &&
      RegOpenKeyExA(HKEY_CURRENT_USER,
                    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders", 0,
                    KEY_READ, key.put()) != ERROR_SUCCESS)
    return {};
  DWORD size = sizeof buffer - 1;
  RegQueryValueExA(key.get(), "Fonts", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size);
  buffer[sizeof buffer - 1] = '\0';
  return buffer;
}

bool install_font(const std::string& path) {
  RegistryKey key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Fonts", 0,
                    KEY_ALL_ACCESS, key.put()) != ERROR_SUCCESS &&
      RegOpenKeyExA(HKEY_LOCAL_MACHINE,
                    "Software\\Microsoft\\Windows NT\\CurrentVersion\\Fonts", 0,
                    KEY_ALL_ACCESS, key.put()) != ERROR_SUCCESS) {
    show_error("Error:(67345526)", "Cannot set custom font.");
    return false;
  }
  if (!path_file_part(path)) {
    key.reset();
    show_error("Error:(67345524)", "cannot get fontfilename from path.");
    return false;
  }
  // The whole 255-byte field is the value's data.
  RegSetValueExA(key.get(), Viewer.Settings.FontFace.c_str(), 0, REG_SZ,
                 reinterpret_cast<const BYTE*>(Viewer.Settings.FontFileField.data()),
                 static_cast<DWORD>(Viewer.Settings.FontFileField.size()));
  key.reset();
  const bool added = AddFontResourceA(path.c_str()) > 0;
  // A hung window must not hold the viewer's start.
  DWORD_PTR result = 0;
  SendMessageTimeoutA(HWND_BROADCAST, WM_FONTCHANGE, 0, 0, SMTO_ABORTIFHUNG, 5000, &result);
  return added;
}

bool load_startup_pictures_and_font() {
  const VIEWER_SETTINGS& s = Viewer.Settings;
  if ((s.Flags & FLAG_BACKGROUND) &&
      !load_region_picture(Region::Background, s.BackgroundFile, "background.bmp",
                           "Cannot load background image [%s]. Aborting.", BackgroundBitmap,
                           BackgroundWidth, BackgroundHeight))
    return false;
  if ((s.Flags & FLAG_LOGO) &&
      !load_region_picture(Region::Logo, s.LogoFile, "logo.bmp",
                           "Cannot load logo image [%s]. Aborting.", LogoBitmap, LogoWidth,
                           LogoHeight))
    return false;
  return !(s.TextFlags & TEXT_CUSTOM_FONT) || load_custom_font();
}

bool load_icons_and_frames() {
  RootIcon = LoadIconA(AppInstance, MAKEINTRESOURCEA(IDI_ROOT));
  FolderIcon = LoadIconA(AppInstance, MAKEINTRESOURCEA(IDI_FOLDER));
  SelectedFolderIcon = LoadIconA(AppInstance, MAKEINTRESOURCEA(IDI_SELECTED_FOLDER));
  if (!RootIcon || !FolderIcon || !SelectedFolderIcon) {
    show_error("Error: 123", "Cannot load Root icon");
    return false;
  }
  FileIcon = LoadIconA(AppInstance, MAKEINTRESOURCEA(IDI_FILE));
  if (!FileIcon) {
    show_error("Error: 124", "Cannot load icon 778");
    return false;
  }
  for (int i = 0; i < 7; ++i) {
    const GdiBitmap source(LoadBitmapA(AppInstance, MAKEINTRESOURCEA(IDB_EXPORT_FIRST + i)));
    ExportFrames[static_cast<std::size_t>(i)] =
        source ? flatten_bitmap(source.get(), GetSysColor(COLOR_BTNFACE)) : nullptr;
    if (!ExportFrames[static_cast<std::size_t>(i)]) {
      show_error("Error: 91", "Cannot load bitmap 18");
      return false;
    }
  }
  return true;
}

}  // namespace kelvora
