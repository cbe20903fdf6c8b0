// Drives the built viewer through its commands, as a user would, from
// another process:
//
//   viewer_actions LOG FLAGS_DIR VIEWER START_DIR ACTION...
//
// where each ACTION is one of
//   export-tree:FOLDER:TARGET      right-click FOLDER in the tree, Export, pick TARGET
//   abort-export:FOLDER:TARGET     the same, and press Abort in the progress dialog
//   export-rows:FOLDER:R,R:TARGET  click FOLDER, select rows R, right-click, Export
//   open:FOLDER:ROW                click FOLDER, double-click ROW (View/Open)
//   properties:FOLDER              right-click FOLDER, Properties
//   about                          Help's neighbour on the menu bar: About
//   close                          close the main window
// The viewer starts in START_DIR, where its folder picker first opens.
// Every box and what became of it goes to LOG; checkpoints (see
// driver_support.h) let a test take screenshots of the menu, the folder
// picker, the progress dialog and the reports.
#include "tests/win32/driver_support.h"

#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <cstdio>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

using namespace driver;

namespace {

HWND MainWindow = nullptr;

std::vector<std::string> split(const std::string& text, char by) {
  std::vector<std::string> parts;
  std::stringstream in(text);
  std::string part;
  while (std::getline(in, part, by)) parts.push_back(part);
  return parts;
}

// Waits (15 s at most) for a visible window of the viewer that matches.
HWND wait_for(const std::function<bool(HWND)>& match, DWORD timeout = 15000) {
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < timeout) {
    Found found;
    EnumWindows(collect, reinterpret_cast<LPARAM>(&found));
    for (HWND w : found.windows)
      if (match(w)) return w;
    if (WaitForSingleObject(ViewerProcess, 50) != WAIT_TIMEOUT) return nullptr;
  }
  return nullptr;
}

HWND wait_for_caption(const std::string& caption, DWORD timeout = 15000) {
  return wait_for([&](HWND w) { return class_of(w) == "#32770" && text_of(w) == caption; },
                  timeout);
}

void key(WORD vk) {
  INPUT inputs[2] = {};
  inputs[0].type = inputs[1].type = INPUT_KEYBOARD;
  inputs[0].ki.wVk = inputs[1].ki.wVk = vk;
  inputs[1].ki.dwFlags = KEYEVENTF_KEYUP;
  SendInput(2, inputs, sizeof(INPUT));
  Sleep(150);
}

void mouse_at(POINT screen, DWORD down, DWORD up, int times = 1) {
  SetCursorPos(screen.x, screen.y);
  Sleep(150);
  for (int i = 0; i < times; ++i) {
    INPUT inputs[2] = {};
    inputs[0].type = inputs[1].type = INPUT_MOUSE;
    inputs[0].mi.dwFlags = down;
    inputs[1].mi.dwFlags = up;
    SendInput(2, inputs, sizeof(INPUT));
    Sleep(60);
  }
  Sleep(300);
}

POINT tree_node_point(const std::string& label) {
  HWND tree = GetDlgItem(MainWindow, 2);
  std::vector<std::pair<std::string, HTREEITEM>> nodes;
  walk_tree(tree, reinterpret_cast<HTREEITEM>(SendMessageA(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0)),
            0, nodes);
  for (const auto& [text, item] : nodes) {
    if (text.substr(text.find_first_not_of(' ')) != label) continue;
    Remote r;
    RECT rect{};
    std::memcpy(&rect, &item, sizeof item);
    r.put(0, &rect, sizeof rect);
    SendMessageA(tree, TVM_GETITEMRECT, TRUE, reinterpret_cast<LPARAM>(r.at(0)));
    r.get(0, &rect, sizeof rect);
    POINT p{rect.left + 10, (rect.top + rect.bottom) / 2};
    ClientToScreen(tree, &p);
    return p;
  }
  std::fprintf(Log, "no tree node %s\n", label.c_str());
  return POINT{-1, -1};
}

POINT list_row_point(int row) {
  HWND list = GetDlgItem(MainWindow, 3);
  Remote r;
  RECT rect{};
  rect.left = LVIR_LABEL;
  r.put(0, &rect, sizeof rect);
  SendMessageA(list, LVM_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(r.at(0)));
  r.get(0, &rect, sizeof rect);
  POINT p{rect.left + 10, (rect.top + rect.bottom) / 2};
  ClientToScreen(list, &p);
  return p;
}

void select_rows(const std::vector<int>& rows) {
  HWND list = GetDlgItem(MainWindow, 3);
  Remote r;
  LVITEMA item{};
  item.stateMask = LVIS_SELECTED;
  item.state = 0;
  r.put(0, &item, sizeof item);
  SendMessageA(list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(r.at(0)));
  item.state = LVIS_SELECTED;
  r.put(0, &item, sizeof item);
  for (int row : rows)
    SendMessageA(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(r.at(0)));
}

void press(HWND dialog, int button) {
  PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog, button)));
}

// Chooses the menu item at position (from 1) of the context menu now open.
bool choose_menu_item(int position, const char* checkpoint_name) {
  if (!wait_for([](HWND w) { return class_of(w) == "#32768"; }, 5000)) {
    std::fprintf(Log, "no context menu\n");
    return false;
  }
  checkpoint(checkpoint_name);
  for (int i = 0; i < position; ++i) key(VK_DOWN);
  key(VK_RETURN);
  return true;
}

BOOL CALLBACK find_tree(HWND child, LPARAM found) {
  if (class_of(child) != WC_TREEVIEWA) return TRUE;
  *reinterpret_cast<HWND*>(found) = child;
  return FALSE;
}

// The folder browser is known by its folder tree: its caption follows the
// system's language.
bool is_folder_browser(HWND w) {
  if (class_of(w) != "#32770") return false;
  HWND tree = nullptr;
  EnumChildWindows(w, find_tree, reinterpret_cast<LPARAM>(&tree));
  return tree != nullptr;
}

// Picks a folder in the folder browser and confirms it.
bool pick_folder(const std::string& target) {
  HWND browser = wait_for(is_folder_browser);
  if (!browser) {
    std::fprintf(Log, "no folder picker\n");
    return false;
  }
  // After the browser's own start-up selection (the current directory),
  // which the first browser of a process makes late.
  Remote r;
  r.put(0, target.c_str(), target.size() + 1);
  for (int i = 0; i < 3; ++i) {
    Sleep(700);
    SendMessageA(browser, BFFM_SETSELECTIONA, TRUE, reinterpret_cast<LPARAM>(r.at(0)));
  }
  Sleep(300);
  checkpoint("folder-picker");
  press(browser, IDOK);
  return true;
}

// Notes the next report box, takes its screenshot, and confirms it.
void confirm_report(const char* checkpoint_name) {
  HWND box = wait_for([](HWND w) {
    return class_of(w) == "#32770" && GetDlgItem(w, 0xFFFF) != nullptr &&
           text_of(w) != "Exporting...";
  }, 60000);
  if (!box) {
    std::fprintf(Log, "no report\n");
    return;
  }
  Sleep(200);
  char text[1024] = {};
  GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
  std::fprintf(Log, "report|%s|%s\n", text_of(box).c_str(), text);
  std::fflush(Log);
  checkpoint(checkpoint_name);
  press(box, IDOK);
  Sleep(300);
}

void export_tree(const std::string& folder, const std::string& target, bool abort) {
  mouse_at(tree_node_point(folder), MOUSEEVENTF_RIGHTDOWN, MOUSEEVENTF_RIGHTUP);
  if (!choose_menu_item(1, "tree-menu") || !pick_folder(target)) return;
  if (abort) {
    HWND progress = wait_for_caption("Exporting...", 10000);
    if (!progress) {
      std::fprintf(Log, "no progress dialog\n");
    } else {
      // A few frames of the animation while the copying goes on.
      checkpoint_now("progress");
      Sleep(900);
      press(progress, IDCANCEL);
      const DWORD start = GetTickCount();
      while (IsWindow(progress) && GetTickCount() - start < 5000) Sleep(20);
      std::fprintf(Log, "progress dialog %s\n", IsWindow(progress) ? "still open" : "closed");
    }
  }
  confirm_report(abort ? "stopped-report" : "finished-report");
}

void export_rows(const std::string& folder, const std::vector<int>& rows,
                 const std::string& target) {
  mouse_at(tree_node_point(folder), MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP);
  select_rows(rows);
  mouse_at(list_row_point(rows.front()), MOUSEEVENTF_RIGHTDOWN, MOUSEEVENTF_RIGHTUP);
  if (!choose_menu_item(3, "list-menu") || !pick_folder(target)) return;
  confirm_report("rows-report");
}

void open_row(const std::string& folder, int row) {
  mouse_at(tree_node_point(folder), MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP);
  const std::string name = list_text(GetDlgItem(MainWindow, 3), row, 0);
  mouse_at(list_row_point(row), MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP, 2);
  Sleep(1500);
  char windows[MAX_PATH] = {};
  GetWindowsDirectoryA(windows, MAX_PATH);
  const std::string copy = std::string(windows) + "\\Temp\\" + name;
  std::fprintf(Log, "temporary copy|%s|%s\n", name.c_str(),
               GetFileAttributesA(copy.c_str()) != INVALID_FILE_ATTRIBUTES ? "exists"
                                                                            : "missing");
}

// Notes every static text of a dialog, takes its screenshot, and presses a
// button.
void note_dialog(HWND dialog, const char* checkpoint_name, int button) {
  Sleep(300);
  std::string texts;
  for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    const int id = GetDlgCtrlID(child);
    if (class_of(child) == "Static" && id > 0 && id != 0xFFFF)
    {
      texts += '|';
      texts += std::to_string(id);
      texts += '=';
      texts += text_of(child);
    }
  }
  std::fprintf(Log, "dialog|%s%s\n", text_of(dialog).c_str(), texts.c_str());
  checkpoint(checkpoint_name);
  press(dialog, button);
  Sleep(300);
}

void properties(const std::string& folder) {
  mouse_at(tree_node_point(folder), MOUSEEVENTF_RIGHTDOWN, MOUSEEVENTF_RIGHTUP);
  if (!choose_menu_item(2, "tree-menu-properties")) return;
  if (HWND dialog = wait_for_caption("Properties")) note_dialog(dialog, "properties", IDCANCEL);
  else std::fprintf(Log, "no Properties dialog\n");
}

void about() {
  PostMessageA(MainWindow, WM_COMMAND, 40007, 0);
  if (HWND dialog = wait_for_caption("About Kelvora  ver. 3")) note_dialog(dialog, "about", IDOK);
  else std::fprintf(Log, "no About box\n");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 6) {
    std::fprintf(stderr, "usage: viewer_actions LOG FLAGS_DIR VIEWER START_DIR ACTION...\n");
    return 2;
  }
  Log = std::fopen(argv[1], "w");
  Flags = argv[2];
  if (!Log) return 2;
  PROCESS_INFORMATION info{};
  if (!start_viewer(3, argv[4], info)) return 2;
  MainWindow = wait_for([](HWND w) {
    return class_of(w) == "ScreenTwoClass" && GetDlgItem(w, 3) != nullptr &&
           text_of(GetDlgItem(w, 1)) != "Ready.";
  }, 30000);
  if (!MainWindow) {
    std::fprintf(Log, "no main window\n");
    TerminateProcess(info.hProcess, 99);
    return 3;
  }
  SetForegroundWindow(MainWindow);
  for (int i = 5; i < argc; ++i) {
    const std::vector<std::string> a = split(argv[i], ':');
    // Targets hold a drive's colon: the rest of the action is the target.
    auto rest = [&](std::size_t from) {
      std::string t;
      for (std::size_t k = from; k < a.size(); ++k) {
        if (k > from) t += ':';
        t += a[k];
      }
      return t;
    };
    std::fprintf(Log, "== %s\n", argv[i]);
    if (a[0] == "export-tree" && a.size() >= 3) export_tree(a[1], rest(2), false);
    else if (a[0] == "abort-export" && a.size() >= 3) export_tree(a[1], rest(2), true);
    else if (a[0] == "export-rows" && a.size() >= 4) {
      std::vector<int> rows;
      for (const std::string& r : split(a[2], ',')) rows.push_back(std::atoi(r.c_str()));
      export_rows(a[1], rows, rest(3));
    } else if (a[0] == "open" && a.size() == 3) open_row(a[1], std::atoi(a[2].c_str()));
    else if (a[0] == "properties" && a.size() == 2) properties(a[1]);
    else if (a[0] == "about") about();
    else if (a[0] == "close") PostMessageA(MainWindow, WM_CLOSE, 0, 0);
    std::fflush(Log);
  }
  WaitForSingleObject(info.hProcess, 20000);
  DWORD code = 0;
  GetExitCodeProcess(info.hProcess, &code);
  std::fprintf(Log, "exit %lu\n", static_cast<unsigned long>(code));
  std::fclose(Log);
  return 0;
}
