#include "viewer/extract/commands_win32.h"

#include <commctrl.h>
#include <commdlg.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cstring>
#include <system_error>
#include <thread>

#include "viewer/catalogue/panes_win32.h"
#include "viewer/catalogue/properties.h"
#include "viewer/container/assets_win32.h"
#include "viewer/extract/engine.h"
#include "viewer/extract/temp_files.h"
#include "viewer/resources/resource.h"
#include "viewer/base/pictures_win32.h"
#include "viewer/base/viewer_globals_win32.h"
#include "viewer/container/viewer_file.h"
#include "viewer/catalogue/catalogue.h"
#include "viewer/base/message_sink.h"

namespace kelvora {

namespace {

constexpr UINT WM_EXPORT_DONE = WM_USER + 100;
constexpr UINT_PTR PROGRESS_TIMER = 1;
int ProgressFrame = 0;
KernelHandle ProgressReady;

Extractor extractor() {
  Extractor x(Viewer, Cat, Viewer.Settings.content_key());
  x.ChangeCurrentDirectory = true;
  x.ExportAborted = &ExportAborted;
  return x;
}

bool is_viewable(EntryIndex entry) {
  return entry < Cat.Entries.size() && !Cat.Entries[entry].is_folder() &&
         !Cat.Entries[entry].is_root();
}

// For each selected row of the list, in index order.
template <typename Act>
void for_each_selected_row(Act act) {
  for (int row = -1;;) {
    row = static_cast<int>(SendMessageA(ListWindow, LVM_GETNEXTITEM, static_cast<WPARAM>(row),
                                        LVNI_SELECTED));
    if (row == -1) return;
    act(row);
  }
}

POINT pointer_in(HWND control, POINT& screen) {
  GetCursorPos(&screen);
  POINT client = screen;
  ScreenToClient(control, &client);
  return client;
}

HTREEITEM tree_item_under_pointer(POINT& screen) {
  TVHITTESTINFO hit{};
  hit.pt = pointer_in(TreeWindow, screen);
  return reinterpret_cast<HTREEITEM>(
      SendMessageA(TreeWindow, TVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
}

// The list row under the pointer, made the selection mark; null where there
// is none.
const LIST_ITEM* list_item_under_pointer(POINT& screen) {
  LVHITTESTINFO hit{};
  hit.pt = pointer_in(ListWindow, screen);
  const int row = static_cast<int>(
      SendMessageA(ListWindow, LVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
  const LIST_ITEM* item = find_list_item(FileList, row);
  if (item) SendMessageA(ListWindow, LVM_SETSELECTIONMARK, 0, row);
  return item;
}

void show_menu(HMENU menu, POINT screen) {
  TrackPopupMenu(menu, TPM_RIGHTBUTTON, screen.x, screen.y, 0, MainWindow, nullptr);
  DestroyMenu(menu);
}

UINT export_state() {
  return (Viewer.Settings.Flags & FLAG_NO_EXPORT) ? MF_STRING | MF_GRAYED | MF_DISABLED : MF_STRING;
}

INT_PTR CALLBACK progress_dialog_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      ProgressDialog = dialog;
      SetTimer(dialog, PROGRESS_TIMER, 200, nullptr);
      if (ProgressReady) SetEvent(ProgressReady.get());
      return 1;
    case WM_TIMER: {
      RECT area{50, 0, 249, 74};
      InvalidateRect(dialog, &area, FALSE);
      UpdateWindow(dialog);
      return 1;
    }
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(dialog, &paint);
      draw_bitmap(dc, ExportFrames[static_cast<std::size_t>(ProgressFrame)], 50, 0);
      ProgressFrame = (ProgressFrame + 1) % 7;
      EndPaint(dialog, &paint);
      return 0;
    }
    case WM_COMMAND:
      if (LOWORD(wparam) != IDCANCEL) return 0;
      [[fallthrough]];
    case WM_EXPORT_DONE:
      // Whenever the dialog closes, the export stops after the chunk or
      // file in progress.
      ExportAborted = true;
      KillTimer(dialog, PROGRESS_TIMER);
      EndDialog(dialog, 1);
      return 0;
  }
  return 0;
}

void progress_thread() {
  DialogBoxParamA(AppInstance, MAKEINTRESOURCEA(IDD_PROGRESS), nullptr, progress_dialog_proc, 0);
}

int CALLBACK pick_folder_callback(HWND browser, UINT event, LPARAM parameter, LPARAM) {
  if (event == BFFM_INITIALIZED) {
    char current[MAX_PATH] = {};
    if (GetCurrentDirectoryA(MAX_PATH, current))
      SendMessageA(browser, BFFM_SETSELECTIONA, 1, reinterpret_cast<LPARAM>(current));
  } else if (event == BFFM_SELCHANGED) {
    char path[MAX_PATH] = {};
    if (SHGetPathFromIDListA(reinterpret_cast<LPITEMIDLIST>(parameter), path))
      SendMessageA(browser, BFFM_SETSTATUSTEXTA, 0, reinterpret_cast<LPARAM>(path));
  }
  return 0;
}

}  // namespace

void view_item(EntryIndex entry, const char* program) {
  if (entry >= Cat.Entries.size()) return;
  const CryptItem& item = Cat.Entries[entry];
  char windows[255] = {};
  GetWindowsDirectoryA(windows, sizeof windows);
  const std::string temp_dir = temp_directory(windows);
  if (!file_exists(temp_dir) && !make_dir_path(temp_dir)) return;
  // A name that would leave the temporary directory is never written.
  if (const char* reason = unsafe_name_reason(item.Name)) {
    show_error("Error:(345636)", "Cannot open [%s]: %s.", item.Name.c_str(), reason);
    return;
  }
  const std::string temp_path = temp_dir + "\\" + item.Name;
  if (temp_path.size() > 254) return;
  remember_temp_file(TempFiles, temp_path);
  Extractor x = extractor();
  x.ExportAborted = nullptr;
  x.Silent = true;
  if (!extract_file(x, entry, temp_dir)) return;
  if (program) {
    // The copy's path in quotes, so that a path with blanks is one argument.
    const std::string parameters = "\"" + temp_path + "\"";
    ShellExecuteA(nullptr, "open", program, parameters.c_str(), nullptr, SW_SHOWNORMAL);
  } else {
    ShellExecuteA(nullptr, "open", temp_path.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  }
}

void view_list_entry(int row, const char* program) {
  const LIST_ITEM* item = find_list_item(FileList, row);
  if (!item) return;
  SendMessageA(ListWindow, LVM_SETSELECTIONMARK, 0, row);
  if (!is_viewable(item->Item)) return;
  view_item(item->Item, program);
}

std::string pick_program() {
  char picked[1024] = {};
  OPENFILENAMEA dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hInstance = AppInstance;
  dialog.lpstrFilter = "Program Files (*.exe)\0*.exe\0";
  dialog.lpstrFile = picked;
  dialog.nMaxFile = 260;
  dialog.lpstrDefExt = "*";
  dialog.Flags = OFN_HIDEREADONLY | OFN_NODEREFERENCELINKS;
  if (!GetOpenFileNameA(&dialog)) return {};
  return picked;
}

std::string pick_folder(const char* title) {
  ComPtr<IMalloc> allocator;
  if (FAILED(SHGetMalloc(allocator.put())) || !allocator) return {};
  BROWSEINFOA browse{};
  browse.lpszTitle = title;
  browse.ulFlags = 0x45;  // file-system folders, status text, new dialog style
  browse.lpfn = pick_folder_callback;
  CoInitialize(nullptr);
  std::string folder;
  LPITEMIDLIST chosen = SHBrowseForFolderA(&browse);
  if (chosen) {
    char path[MAX_PATH] = {};
    if (SHGetPathFromIDListA(chosen, path)) folder = path;
    allocator.get()->Free(chosen);
  }
  return folder;
}

void export_tree_selection() {
  const auto selected = reinterpret_cast<HTREEITEM>(
      SendMessageA(TreeWindow, TVM_GETNEXTITEM, TVGN_CARET, 0));
  if (!selected) {
    show_error("INFO:", "You must select a folder to export it.");
    return;
  }
  const EntryIndex entry = tree_item_entry(TreeWindow, selected);
  if (entry == NO_ENTRY) return;
  const std::string folder = pick_folder("Choose the directory to export too:");
  if (folder.empty()) return;

  // The dialog is up before the copying starts, so that the end of even a
  // short export closes it.  The flag is cleared before it starts: an Abort
  // pressed while the dialog comes up counts.  Without a thread for the
  // dialog the export goes on without it.
  ExportAborted = false;
  ProgressReady.reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  std::thread dialog;
  try {
    dialog = std::thread(progress_thread);
  } catch (const std::system_error&) {
  }
  if (dialog.joinable()) WaitForSingleObject(ProgressReady.get(), 5000);
  Extractor x = extractor();
  export_selection(x, {entry}, folder);
  if (dialog.joinable()) {
    SendMessageA(ProgressDialog, WM_EXPORT_DONE, 0, 0);
    dialog.join();
  }
  ProgressReady.reset();

  const std::string& name = Cat.Entries[entry].Name;
  if (x.Result.Aborted)
    show_error("INFO:", "The export of %s to %s was stopped.", name.c_str(), folder.c_str());
  else if (!x.Result.all_done())
    show_error("Error: (633834)", "Cannot export folder/files.");
  else
    show_error("Finished:", "%s has been exported to %s.", name.c_str(), folder.c_str());
}

HMENU build_tree_menu() {
  HMENU menu = CreatePopupMenu();
  AppendMenuA(menu, export_state(), CMD_EXPORT, "Export");
  AppendMenuA(menu, MF_STRING, CMD_PROPERTIES, "Properties");
  return menu;
}

HMENU build_list_menu() {
  HMENU menu = CreatePopupMenu();
  AppendMenuA(menu, MF_STRING, CMD_VIEW_OPEN, "View/Open");
  AppendMenuA(menu, MF_STRING, CMD_OPEN_WITH, "View/Open With...");
  AppendMenuA(menu, export_state(), CMD_EXPORT, "Export");
  AppendMenuA(menu, MF_STRING, CMD_PROPERTIES, "Properties");
  return menu;
}

LRESULT tree_context_menu(HWND, NMHDR*) {
  POINT screen;
  const HTREEITEM item = tree_item_under_pointer(screen);
  if (!item) return 0;
  TVITEMA tv{};
  tv.mask = TVIF_PARAM | TVIF_HANDLE;
  tv.hItem = item;
  if (!SendMessageA(TreeWindow, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&tv))) return 0;
  SendMessageA(TreeWindow, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item));
  if (tree_item_entry(TreeWindow, item) == NO_ENTRY) return 0;
  PropertiesSource = SOURCE_TREE;
  show_menu(build_tree_menu(), screen);
  return 0;
}

LRESULT tree_double_click(HWND, NMHDR*) {
  POINT screen;
  const HTREEITEM item = tree_item_under_pointer(screen);
  if (!item) return 0;
  const EntryIndex entry = tree_item_entry(TreeWindow, item);
  SendMessageA(TreeWindow, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item));
  if (is_viewable(entry)) view_item(entry, nullptr);
  SendMessageA(TreeWindow, TVM_SELECTITEM, TVGN_DROPHILITE, reinterpret_cast<LPARAM>(item));
  return 0;
}

LRESULT list_context_menu(HWND, NMHDR*) {
  POINT screen;
  const LIST_ITEM* item = list_item_under_pointer(screen);
  if (!item || item->Item == NO_ENTRY) return 0;
  PropertiesSource = SOURCE_LIST;
  show_menu(build_list_menu(), screen);
  return 0;
}

LRESULT list_double_click(HWND, NMHDR*) {
  POINT screen;
  const LIST_ITEM* item = list_item_under_pointer(screen);
  if (item && is_viewable(item->Item)) view_item(item->Item, nullptr);
  return 0;
}

namespace {

INT_PTR CALLBACK properties_dialog_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
  if (message == WM_INITDIALOG) {
    std::optional<PropertiesLines> lines;
    if (PropertiesSource == SOURCE_TREE) {
      const auto item = reinterpret_cast<HTREEITEM>(
          SendMessageA(TreeWindow, TVM_GETNEXTITEM, TVGN_CARET, 0));
      const EntryIndex entry = tree_item_entry(TreeWindow, item);
      if (entry != NO_ENTRY) lines = tree_properties(Cat, Cat.Entries[entry].TreeItem);
    } else if (PropertiesSource == SOURCE_LIST) {
      const int row = static_cast<int>(
          SendMessageA(ListWindow, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
      lines = list_properties(Cat, find_list_item(FileList, row));
    }
    if (lines) {
      SetDlgItemTextA(dialog, IDC_PROP_TYPE, lines->Type.c_str());
      SetDlgItemTextA(dialog, IDC_PROP_SIZE, lines->Size.c_str());
      SetDlgItemTextA(dialog, IDC_PROP_ENCRYPTION, lines->Encryption.c_str());
      SetDlgItemTextA(dialog, IDC_PROP_NAME, lines->Name.c_str());
    }
    return TRUE;
  }
  if (message == WM_COMMAND && (LOWORD(wparam) == IDOK || LOWORD(wparam) == IDCANCEL)) {
    EndDialog(dialog, 1);
    return TRUE;
  }
  return FALSE;
}

}  // namespace

void command_properties() {
  DialogBoxParamA(AppInstance, MAKEINTRESOURCEA(IDD_PROPERTIES), nullptr, properties_dialog_proc, 0);
}

void command_open(bool with_program) {
  if (!with_program) {
    if (PropertiesSource == SOURCE_LIST)
      for_each_selected_row([](int row) { view_list_entry(row, nullptr); });
    return;
  }
  std::string program = pick_program();
  if (program.size() > 255) program.resize(255);
  if (program.empty() || PropertiesSource != SOURCE_LIST) return;
  for_each_selected_row([&](int row) { view_list_entry(row, program.c_str()); });
}

void command_export() {
  if (Viewer.Settings.Flags & FLAG_NO_EXPORT) return;
  ExportAborted = false;
  if (PropertiesSource != SOURCE_LIST) {
    export_tree_selection();
    return;
  }
  const std::string folder = pick_folder("Choose the directory to export too:");
  if (folder.empty()) return;
  // The selected rows in index order, as one export without a progress
  // dialog.
  std::vector<EntryIndex> files;
  for_each_selected_row([&](int row) {
    const LIST_ITEM* item = find_list_item_by_index(FileList, row);
    if (item && item->Item != NO_ENTRY) files.push_back(item->Item);
  });
  Extractor x = extractor();
  x.ExportAborted = nullptr;
  export_selection(x, files, folder);
  if (!x.Result.all_done())
    show_error("Error: (633834)", "Cannot export folder/files.");
  else
    show_error("Finished:", "File(s) has been exported to %s.", folder.c_str());
}

}  // namespace kelvora
