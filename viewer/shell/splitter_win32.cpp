#include "viewer/shell/splitter_win32.h"

#include <windowsx.h>

#include "viewer/base/handles_win32.h"
#include "viewer/base/viewer_globals_win32.h"
#include "viewer/base/window_class_win32.h"
#include "viewer/shell/main_layout.h"
#include "viewer/base/message_sink.h"

namespace kelvora {
namespace {

bool SplitterDragging = false;
HWND DragBar = nullptr;

LRESULT CALLBACK drag_bar_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_DESTROY:
      PostQuitMessage(0);  // ends the drag's own loop
      return 0;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(window, &paint);
      const GdiBrush face(CreateSolidBrush(GetSysColor(COLOR_BTNFACE)));
      RECT inner{1, 1, Layout.SplitterPane.Width - 1, Layout.SplitterPane.Height - 1};
      FillRect(dc, &inner, face.get());
      EndPaint(window, &paint);
      return 0;
    }
  }
  return DefWindowProcA(window, message, wparam, lparam);
}

POINT screen_point(int x, int y) {
  POINT p{x, y};
  ClientToScreen(MainWindow, &p);
  return p;
}

void begin_splitter_drag() {
  const POINT at = screen_point(Layout.TreePane.X + Layout.TreePane.Width, Layout.TreePane.Y);
  DragBar = CreateWindowExA(WS_EX_APPWINDOW, "SplitterWnd", "", WS_POPUP, at.x, at.y,
                            Layout.SplitterPane.Width, Layout.SplitterPane.Height, MainWindow,
                            nullptr, AppInstance, nullptr);
  if (!DragBar) {
    show_error("Error: 23456", "Cannot create Splitter Bar ( 2 )");
    return;
  }
  UpdateWindow(DragBar);
  ShowWindow(DragBar, SW_SHOW);
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

bool move_drag_bar(int x) {
  if (!drag_bar_allowed(Layout, x)) return false;
  const POINT at = screen_point(x, Layout.TreePane.Y);
  if (DragBar)
    MoveWindow(DragBar, at.x, at.y, Layout.SplitterPane.Width, Layout.SplitterPane.Height, TRUE);
  return true;
}

void end_splitter_drag() {
  if (DragBar) DestroyWindow(DragBar);
  DragBar = nullptr;
  const int left = Layout.TreePane.X + Layout.TreePane.Width;
  RECT strip{left, Layout.TreePane.Y, left + 4, Layout.TreePane.Y + Layout.TreePane.Height};
  InvalidateRect(MainWindow, &strip, TRUE);
  UpdateWindow(MainWindow);
}

HCURSOR arrow() { return LoadCursorA(nullptr, MAKEINTRESOURCEA(32512)); }

}  // namespace

void register_splitter_class() {
  if (!register_window_class("SplitterWnd", drag_bar_proc,
                             static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)))) show_error("Error: 2552", "Cannot create Splitter Bar ( 1 )");
}

bool splitter_mouse(HWND window, UINT message, LPARAM lparam) {
  const int x = GET_X_LPARAM(lparam), y = GET_Y_LPARAM(lparam);
  switch (message) {
    case WM_MOUSEMOVE:
      if (SplitterDragging) {
        if (move_drag_bar(x)) Layout.SplitterPane.X = x;
      } else {
        SetCursor(splitter_hit(Layout, x, y) ? SplitterCursor : arrow());
      }
      return true;
    case WM_LBUTTONDOWN:
      if (SplitterDragging) return true;
      if (splitter_hit(Layout, x, y)) {
        SplitterDragging = true;
        SetCursor(SplitterCursor);
        SetCapture(window);
        begin_splitter_drag();
      } else {
        SplitterDragging = false;
        SetCursor(arrow());
      }
      return true;
    case WM_LBUTTONUP:
      if (!SplitterDragging) return true;
      SetCursor(arrow());
      end_splitter_drag();
      SendMessageA(window, WM_SIZE, 0,
                   MAKELPARAM(static_cast<WORD>(Layout.ClientWidth),
                              static_cast<WORD>(Layout.ClientHeight)));
      SplitterDragging = false;
      ReleaseCapture();
      return true;
  }
  return false;
}

}  // namespace kelvora
