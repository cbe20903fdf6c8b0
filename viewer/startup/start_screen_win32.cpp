#include "viewer/startup/start_screen_win32.h"

#include <windows.h>

#include "viewer/shell/start_screen_paint_win32.h"
#include "viewer/base/viewer_globals_win32.h"
#include "viewer/base/window_class_win32.h"
#include "viewer/container/viewer_file.h"
#include "viewer/startup/dialogs_win32.h"
#include "viewer/base/message_sink.h"

namespace kelvora {
namespace {

constexpr UINT_PTR START_TIMER = 1;

LRESULT CALLBACK start_screen_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_CREATE:
      SetTimer(window, START_TIMER, 200, nullptr);
      return 0;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(window, &paint);
      paint_start_screen(dc);
      EndPaint(window, &paint);
      return 0;
    }
    case WM_TIMER:
      // Once only: the dialogs run inside this handler.
      KillTimer(window, START_TIMER);
      if (Viewer.Settings.Flags & FLAG_PASSWORD) run_password_dialog();
      if (!Cancelled && (Viewer.Settings.Flags & FLAG_LICENCE)) run_licence_dialog();
      DestroyWindow(window);
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcA(window, message, wparam, lparam);
}

}  // namespace

bool run_start_screen() {
  const GdiBrush brush(CreateSolidBrush(Viewer.Settings.BackColour));
  register_window_class("ScreenOneClass", start_screen_proc, brush.get());
  ScreenWidth = GetSystemMetrics(SM_CXSCREEN);
  ScreenHeight = GetSystemMetrics(SM_CYSCREEN);
  HWND window = CreateWindowExA(0, "ScreenOneClass", "", WS_POPUP, 0, 0, ScreenWidth,
                                ScreenHeight, nullptr, nullptr, AppInstance, nullptr);
  if (!window) {
    // Without the window no timer would ever fire: say so and end.
    show_error("Error: 29", "Cannot create the start screen.");
    return false;
  }
  UpdateWindow(window);
  ShowWindow(window, SW_SHOW);
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  Viewer.LicenceText.reset();
  BackgroundBitmap.reset();
  LogoBitmap.reset();
  return !Cancelled;
}

}  // namespace kelvora
