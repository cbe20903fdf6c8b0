// The viewer's entry: stored values, viewer file, start screen with its
// dialogs, then the main window.
#include <windows.h>
#include <ole2.h>

#include "viewer/container/assets_win32.h"
#include "viewer/container/stored_values.h"
#include "viewer/shell/main_window_win32.h"
#include "viewer/shell/viewer_globals_win32.h"
#include "viewer/startup/message_boxes_win32.h"
#include "viewer/startup/start_screen_win32.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  using namespace kelvora;
  AppInstance = instance;
  install_message_boxes();
  unscramble_stored_values();
  CoInitialize(nullptr);  // the picture service

  char path[VIEWER_PATH_CAPACITY] = {};
  GetModuleFileNameA(nullptr, path, VIEWER_PATH_CAPACITY);
  if (!load_viewer_file(path, Viewer)) return 0;
  if (!load_startup_pictures_and_font()) return 0;
  if (!load_icons_and_frames()) return 0;

  if (run_start_screen() && !Cancelled) run_main_window();
  return 0;
}
