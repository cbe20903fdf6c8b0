#include "viewer/shell/main_window_win32.h"

#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cstdlib>
#include <string>

#include "viewer/catalogue/panes_win32.h"
#include "viewer/extract/commands_win32.h"
#include "viewer/shell/about_win32.h"
#include "viewer/shell/splitter_win32.h"
#include "viewer/container/stored_values.h"
#include "viewer/resources/resource.h"
#include "viewer/base/handles_win32.h"
#include "viewer/base/pictures_win32.h"
#include "viewer/base/viewer_globals_win32.h"
#include "viewer/base/window_class_win32.h"
#include "viewer/container/viewer_file.h"
#include "viewer/extract/temp_files.h"
#include "viewer/shell/main_layout.h"
#include "viewer/base/message_sink.h"

namespace kelvora {
namespace {

constexpr int STATUS_ID = 1;
constexpr int TREE_ID = 2;
constexpr int LIST_ID = 3;

void move_to(HWND window, const PANE_RECT& pane) {
  MoveWindow(window, pane.X, pane.Y, pane.Width, pane.Height, TRUE);
}

void on_create() {
  const COLORREF face = GetSysColor(COLOR_BTNFACE);
  const struct {
    int resource;
    GdiBitmap* target;
    const char* caption;
  } captions[] = {{IDB_FOLDERS_CAPTION, &FoldersCaption, "Error: 211"},
                  {IDB_FILES_CAPTION, &FilesCaption, "Error: 212"},
                  {IDB_CAPTION_END, &CaptionEnd, "Error: 213"}};
  for (const auto& c : captions) {
    const GdiBitmap source(LoadBitmapA(AppInstance, MAKEINTRESOURCEA(c.resource)));
    c.target->reset(source ? flatten_bitmap(source.get(), face) : nullptr);
    if (!*c.target) show_error(c.caption, "Cannot load bitmap 1");
  }
}

void on_size(HWND window, LPARAM lparam) {
  layout_main_window(Layout, static_cast<std::uint32_t>(lparam));
  move_to(TreeWindow, Layout.TreePane);
  move_to(ListWindow, Layout.ListPane);
  move_to(StatusWindow, Layout.StatusPane);
  InvalidateRect(window, nullptr, TRUE);
  UpdateWindow(window);
}

// A tab drawn black where its caption bitmap could not be made.
void draw_caption(HDC dc, HBITMAP bitmap, int x, int width) {
  if (bitmap) {
    draw_bitmap(dc, bitmap, x, 0);
  } else {
    RECT r{x, 0, x + width, CAPTION_HEIGHT};
    FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  }
}

void on_paint(HWND window) {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window, &paint);
  const CaptionBand b = caption_band(Layout);
  HBRUSH black = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  draw_caption(dc, FoldersCaption.get(), b.FoldersX, FOLDERS_CAPTION_WIDTH);
  RECT folders{b.FoldersFillLeft, 0, b.FoldersFillRight, CAPTION_HEIGHT};
  FillRect(dc, &folders, black);
  draw_caption(dc, CaptionEnd.get(), b.FoldersEndX, CAPTION_END_WIDTH);
  draw_caption(dc, FilesCaption.get(), b.FilesX, FILES_CAPTION_WIDTH);
  RECT files{b.FilesFillLeft, 0, b.FilesFillRight, CAPTION_HEIGHT};
  FillRect(dc, &files, black);
  draw_caption(dc, CaptionEnd.get(), b.FilesEndX, CAPTION_END_WIDTH);
  EndPaint(window, &paint);
}

// The help page lies under the web address's site.
std::string help_address() {
  const std::string site = WebsiteAddress.data();
  const std::size_t scheme = site.find("://");
  const std::size_t path = site.find('/', scheme == std::string::npos ? 0 : scheme + 3);
  return site.substr(0, path) + "/KelvoraHelp";
}

LRESULT on_notify(HWND window, WPARAM wparam, LPARAM lparam) {
  auto* notification = reinterpret_cast<NMHDR*>(lparam);
  if (wparam == LIST_ID) {
    switch (notification->code) {
      case NM_RCLICK:
        return list_context_menu(window, notification);
      case NM_DBLCLK:
        return list_double_click(window, notification);
    }
    return file_list_notify(window, notification);
  }
  if (wparam != TREE_ID) return 0;
  switch (notification->code) {
    case NM_RCLICK:
      return tree_context_menu(window, notification);
    case NM_DBLCLK:
      return tree_double_click(window, notification);
    case NM_CLICK:
      return tree_click(window, notification);
  }
  return 0;
}

void on_command(WPARAM wparam) {
  switch (LOWORD(wparam)) {
    case CMD_PROPERTIES:
      command_properties();
      break;
    case CMD_OPEN_WITH:
      command_open(true);
      break;
    case CMD_EXPORT:
      command_export();
      break;
    case CMD_VIEW_OPEN:
      command_open(false);
      break;
    case CMD_ABOUT:
      run_about_box();
      break;
    case CMD_EXIT:
      exit_viewer();
    case CMD_HELP:
      ShellExecuteA(nullptr, "open", help_address().c_str(), nullptr, nullptr, SW_SHOW);
      break;
    case CMD_WEBSITE:
      ShellExecuteA(nullptr, "open", WebsiteAddress.data(), nullptr, nullptr, SW_SHOW);
      break;
    default:
      break;
  }
}

LRESULT CALLBACK main_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_CREATE:
      on_create();
      return 0;
    case WM_SIZE:
      if (TreeWindow && ListWindow && StatusWindow) on_size(window, lparam);
      return 0;
    case WM_PAINT:
      on_paint(window);
      return 0;
    case WM_CLOSE:
      exit_viewer();
    case WM_NOTIFY:
      return on_notify(window, wparam, lparam);
    case WM_COMMAND:
      on_command(wparam);
      return 0;
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
      splitter_mouse(window, message, lparam);
      return 0;
  }
  return DefWindowProcA(window, message, wparam, lparam);
}

}  // namespace

namespace {
GdiBrush Background;
}  // namespace

namespace {

// A pane's control at its place, or null after the report.
HWND create_pane(const char* window_class, DWORD style, const PANE_RECT& pane, int id,
                 const char* caption, const char* failure) {
  HWND control = CreateWindowExA(0, window_class, "", style, pane.X, pane.Y, pane.Width,
                                 pane.Height, MainWindow,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), AppInstance,
                                 nullptr);
  if (!control) show_error(caption, "%s", failure);
  return control;
}

}  // namespace

int create_main_window() {
  Background.reset(CreateSolidBrush(GetSysColor(COLOR_BTNFACE)));
  register_window_class("ScreenTwoClass", main_window_proc, Background.get(),
                        MAKEINTRESOURCEA(IDM_MAIN_MENU));

  MainWindow = CreateWindowExA(0, "ScreenTwoClass", "Viewer", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr,
                               AppInstance, nullptr);
  if (!MainWindow) {
    show_error("Error: 30", "Cannot create viewer window.");
    return 0;
  }
  RECT client;
  GetClientRect(MainWindow, &client);
  Layout = initial_layout(client.right - client.left, client.bottom - client.top);

  SplitterCursor = LoadCursorA(AppInstance, MAKEINTRESOURCEA(IDC_SPLITTER));
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_TREEVIEW_CLASSES | ICC_LISTVIEW_CLASSES |
                                                     ICC_BAR_CLASSES};
  InitCommonControlsEx(&controls);

  StatusWindow = CreateStatusWindowA(WS_CHILD | WS_VISIBLE, "Ready.", MainWindow, STATUS_ID);
  if (!StatusWindow) {
    show_error("Error: 31", "Cannot create status window.");
    return 0;
  }
  TreeWindow = create_pane("SysTreeView32", 0x50800003, Layout.TreePane, TREE_ID, "Error: 30",
                           "Cannot create Kelvora tree window.");
  if (!TreeWindow) return 0;
  SendMessageA(TreeWindow, TVM_SETBKCOLOR, 0, 0xFFF0F0);
  SendMessageA(TreeWindow, TVM_SETTEXTCOLOR, 0, 0xFF0000);
  SendMessageA(TreeWindow, TVM_SETLINECOLOR, 0, 0xFF6464);
  ListWindow = create_pane("SysListView32", 0x50A00001, Layout.ListPane, LIST_ID, "Error: 378",
                           "Cannot create Kelvora filelist window.");
  if (!ListWindow) return 0;
  register_splitter_class();
  add_list_columns();

  UpdateWindow(MainWindow);
  ShowWindow(MainWindow, SW_SHOWMAXIMIZED);
  return load_catalogue_into(TreeWindow) ? 1 : 0;
}

int run_main_window() {
  if (!create_main_window()) return 0;
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  Background.reset();
  return 1;
}

void exit_viewer() {
  if (Viewer.Settings.Flags & FLAG_CLEAR_RECENT) SHAddToRecentDocs(SHARD_PATHA, nullptr);
  delete_temp_files(TempFiles);
  TreeImages.reset();
  free_catalogue(Cat);
  for (GdiBitmap* bitmap : {&FoldersCaption, &FilesCaption, &CaptionEnd}) bitmap->reset();
  PostQuitMessage(0);
  std::exit(0);
}

}  // namespace kelvora
