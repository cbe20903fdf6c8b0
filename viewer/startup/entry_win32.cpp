// The viewer's entry: stored values, viewer file, start screen with its
// dialogs, then the main window.
#include <windows.h>
#include <ole2.h>

#include <string>

#include "viewer/container/assets_win32.h"
#include "viewer/container/stored_values.h"
#include "viewer/container/viewer_file.h"
#include "viewer/shell/main_window_win32.h"
#include "viewer/base/viewer_globals_win32.h"
#include "viewer/startup/message_boxes_win32.h"
#include "viewer/startup/start_screen_win32.h"

namespace {

// The viewer's own path as 8-bit text in the ANSI code page.  A folder whose
// name that code page cannot hold (a Cyrillic folder on a Western system)
// would come back with question marks; its short alias names the same file
// in plain characters.
std::string own_path() {
  wchar_t wide[kelvora::VIEWER_PATH_CAPACITY] = {};
  const DWORD length = GetModuleFileNameW(nullptr, wide, kelvora::VIEWER_PATH_CAPACITY);
  if (length == 0 || length >= kelvora::VIEWER_PATH_CAPACITY) return {};
  auto to_ansi = [](const wchar_t* text, bool& lossy) {
    char narrow[kelvora::VIEWER_PATH_CAPACITY] = {};
    BOOL used_default = FALSE;
    // Under UTF-8 as the ANSI code page (65001) every name can be held, and
    // the call takes neither flags nor the default-character report.
    const bool utf8 = GetACP() == CP_UTF8;
    const int size = WideCharToMultiByte(CP_ACP, utf8 ? 0 : WC_NO_BEST_FIT_CHARS, text, -1,
                                         narrow, sizeof narrow, nullptr,
                                         utf8 ? nullptr : &used_default);
    lossy = size == 0 || used_default;
    return std::string(size > 0 ? narrow : "");
  };
  bool lossy = false;
  std::string path = to_ansi(wide, lossy);
  if (!lossy) return path;
  wchar_t alias[kelvora::VIEWER_PATH_CAPACITY] = {};
  const DWORD alias_length = GetShortPathNameW(wide, alias, kelvora::VIEWER_PATH_CAPACITY);
  if (alias_length == 0 || alias_length >= kelvora::VIEWER_PATH_CAPACITY) return path;
  bool alias_lossy = false;
  std::string short_path = to_ansi(alias, alias_lossy);
  return alias_lossy ? path : short_path;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  using namespace kelvora;
  AppInstance = instance;
  install_message_boxes();
  unscramble_stored_values();
  CoInitialize(nullptr);  // the picture service

  if (!load_viewer_file(own_path(), Viewer)) return 0;
  if (!load_startup_pictures_and_font()) return 0;
  if (!load_icons_and_frames()) return 0;

  if (run_start_screen() && !Cancelled) run_main_window();
  return 0;
}
