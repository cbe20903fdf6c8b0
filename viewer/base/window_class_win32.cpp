#include "viewer/base/window_class_win32.h"

#include "viewer/base/viewer_globals_win32.h"

namespace kelvora {

ATOM register_window_class(const char* name, WNDPROC procedure, HBRUSH background,
                           const char* menu) {
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = procedure;
  wc.hInstance = AppInstance;
  wc.hIcon = LoadIconA(nullptr, MAKEINTRESOURCEA(32512));      // IDI_APPLICATION
  wc.hIconSm = wc.hIcon;
  wc.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
  wc.hbrBackground = background;
  wc.lpszMenuName = menu;
  wc.lpszClassName = name;
  return RegisterClassExA(&wc);
}

}  // namespace kelvora
