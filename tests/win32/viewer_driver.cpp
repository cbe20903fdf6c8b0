// Drives the built viewer as a user would, from another process: answers
// the password and licence dialogs, reads the tree, the list and the status
// bar, clicks a folder, and closes the window.
//
//   viewer_driver PASSWORD FOLDER LOG FLAGS_DIR VIEWER
//
// PASSWORD is typed into the password dialog ("-" when none is expected);
// FOLDER is the label of the tree node to click.  At each checkpoint the
// driver writes FLAGS_DIR\NAME.ready and waits (20 s at most) for
// FLAGS_DIR\NAME.done, so that a test can take a screenshot.  Everything it
// sees goes to LOG, one line each, ending with "exit N".
#include "tests/win32/driver_support.h"

#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace {

using namespace driver;

DWORD Started = 0;

void drive_main_window(HWND main, const std::string& folder) {
  HWND status = GetDlgItem(main, 1), tree = GetDlgItem(main, 2), list = GetDlgItem(main, 3);
  // The catalogue is loaded once the window shows: wait for the totals.
  for (int i = 0; i < 3000 && text_of(status) == "Ready."; ++i) Sleep(10);
  std::fprintf(stderr, "timing|main window with its tree|%lu ms\n",
               static_cast<unsigned long>(GetTickCount() - Started));
  std::fprintf(Log, "main window|%s\n", text_of(main).c_str());
  std::fprintf(Log, "status|%s\n", text_of(status).c_str());
  std::vector<std::pair<std::string, HTREEITEM>> nodes;
  walk_tree(tree, reinterpret_cast<HTREEITEM>(SendMessageA(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0)), 0,
            nodes);
  HTREEITEM target = nullptr;
  for (const auto& [label, item] : nodes) {
    std::fprintf(Log, "tree|%s\n", label.c_str());
    if (label.find_first_not_of(' ') != std::string::npos &&
        label.substr(label.find_first_not_of(' ')) == folder)
      target = item;
  }
  if (target) {
    Remote r;
    // TVM_GETITEMRECT takes the item's handle in the rectangle it fills.
    RECT rect{};
    std::memcpy(&rect, &target, sizeof target);
    r.put(0, &rect, sizeof rect);
    SendMessageA(tree, TVM_GETITEMRECT, TRUE, reinterpret_cast<LPARAM>(r.at(0)));
    r.get(0, &rect, sizeof rect);
    SetForegroundWindow(main);
    const DWORD clicked = GetTickCount();
    click_at(tree, rect);
    // The list is filled when its row count stops changing.
    int rows = 0;
    DWORD last_change = GetTickCount();
    while (GetTickCount() - last_change < 1000) {
      const int now = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
      if (now != rows) {
        rows = now;
        last_change = GetTickCount();
      }
      Sleep(10);
    }
    std::fprintf(stderr, "timing|fill of %d rows|%lu ms\n", rows,
                 static_cast<unsigned long>(last_change - clicked));
    if (rows > 100) rows = 100;  // the log shows the first hundred
    for (int row = 0; row < rows; ++row)
      std::fprintf(Log, "row|%s|%s\n", list_text(list, row, 0).c_str(),
                   list_text(list, row, 1).c_str());
  } else {
    std::fprintf(Log, "no tree node %s\n", folder.c_str());
  }
  std::fflush(Log);
  checkpoint("main-window");
  PostMessageA(main, WM_CLOSE, 0, 0);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 6) {
    std::fprintf(stderr, "usage: viewer_driver PASSWORD FOLDER LOG FLAGS_DIR VIEWER\n");
    return 2;
  }
  const std::string password = argv[1], folder = argv[2];
  Log = std::fopen(argv[3], "w");
  Flags = argv[4];
  if (!Log) return 2;
  PROCESS_INFORMATION info{};
  if (!start_viewer(5, nullptr, info)) return 2;
  Started = GetTickCount();
  std::set<HWND> handled;
  bool main_done = false;
  const DWORD start = GetTickCount();
  while (WaitForSingleObject(info.hProcess, 100) == WAIT_TIMEOUT) {
    if (GetTickCount() - start > 90000) {
      std::fprintf(Log, "timeout\n");
      TerminateProcess(info.hProcess, 99);
      break;
    }
    Found found;
    EnumWindows(collect, reinterpret_cast<LPARAM>(&found));
    for (HWND w : found.windows) {
      if (handled.count(w)) continue;
      const std::string cls = class_of(w), caption = text_of(w);
      if (cls == "#32770") {
        if (caption == "Enter password:" && GetDlgItem(w, 1001)) {
          handled.insert(w);
          std::fprintf(Log, "dialog|%s\n", caption.c_str());
          checkpoint("start-screen");
          SendMessageA(GetDlgItem(w, 1001), WM_SETTEXT, 0,
                       reinterpret_cast<LPARAM>(password.c_str()));
          PostMessageA(w, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                       reinterpret_cast<LPARAM>(GetDlgItem(w, IDOK)));
        } else if (caption == "End User Licence Agreement" && GetDlgItem(w, 1000)) {
          handled.insert(w);
          std::string text = text_of(GetDlgItem(w, 1000));
          text = text.substr(0, text.find('\r'));
          std::fprintf(Log, "dialog|%s|%s\n", caption.c_str(), text.c_str());
          PostMessageA(w, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                       reinterpret_cast<LPARAM>(GetDlgItem(w, IDOK)));
        } else if (GetDlgItem(w, IDOK) || GetDlgItem(w, IDNO)) {
          // Any other box: note it and answer it (No to a question).
          handled.insert(w);
          char text[1024] = {};
          GetDlgItemTextA(w, 0xFFFF, text, sizeof text);
          std::fprintf(Log, "box|%s|%s\n", caption.c_str(), text);
          const int button = GetDlgItem(w, IDNO) ? IDNO : IDOK;
          PostMessageA(w, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                       reinterpret_cast<LPARAM>(GetDlgItem(w, button)));
        }
      } else if (cls == "ScreenTwoClass" && !main_done && GetDlgItem(w, 3)) {
        handled.insert(w);
        main_done = true;
        drive_main_window(w, folder);
      }
      std::fflush(Log);
    }
  }
  DWORD code = 0;
  GetExitCodeProcess(info.hProcess, &code);
  std::fprintf(Log, "exit %lu\n", static_cast<unsigned long>(code));
  std::fclose(Log);
  return 0;
}
