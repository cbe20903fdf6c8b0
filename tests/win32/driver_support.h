// Shared by the programs that drive the viewer from another process: the
// viewer's windows, texts read across the process boundary, clicks and keys
// sent as real input, and the screenshot checkpoints.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace driver {

inline std::FILE* Log = nullptr;
inline std::string Flags;
inline DWORD Viewer = 0;
inline HANDLE ViewerProcess = nullptr;

// Asks for a screenshot without waiting for it.
inline void checkpoint_now(const char* name) {
  const std::string ready = Flags + "\\" + name + ".ready";
  std::FILE* f = std::fopen(ready.c_str(), "w");
  if (f) std::fclose(f);
}

inline void checkpoint(const char* name) {
  const std::string ready = Flags + "\\" + name + ".ready";
  const std::string done = Flags + "\\" + name + ".done";
  std::FILE* f = std::fopen(ready.c_str(), "w");
  if (f) std::fclose(f);
  for (int i = 0; i < 200 && GetFileAttributesA(done.c_str()) == INVALID_FILE_ATTRIBUTES; ++i)
    Sleep(100);
}

struct Found {
  std::vector<HWND> windows;
};
inline BOOL CALLBACK collect(HWND window, LPARAM param) {
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if (pid == Viewer && IsWindowVisible(window))
    reinterpret_cast<Found*>(param)->windows.push_back(window);
  return TRUE;
}

inline std::string class_of(HWND w) {
  char name[64] = {};
  GetClassNameA(w, name, sizeof name);
  return name;
}
inline std::string text_of(HWND w) {
  char text[2048] = {};
  SendMessageTimeoutA(w, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text),
                      SMTO_ABORTIFHUNG, 5000, nullptr);
  return text;
}

// Memory in the viewer's process for the controls' structures.
struct Remote {
  void* base = nullptr;
  Remote() {
    base = VirtualAllocEx(ViewerProcess, nullptr, 8192, MEM_COMMIT | MEM_RESERVE,
                          PAGE_READWRITE);
  }
  ~Remote() {
    if (base) VirtualFreeEx(ViewerProcess, base, 0, MEM_RELEASE);
  }
  char* at(std::size_t offset) const { return static_cast<char*>(base) + offset; }
  void put(std::size_t offset, const void* data, std::size_t size) const {
    WriteProcessMemory(ViewerProcess, at(offset), data, size, nullptr);
  }
  void get(std::size_t offset, void* data, std::size_t size) const {
    ReadProcessMemory(ViewerProcess, at(offset), data, size, nullptr);
  }
};

inline std::string tree_label(HWND tree, HTREEITEM item) {
  Remote r;
  TVITEMA tv{};
  tv.mask = TVIF_TEXT | TVIF_HANDLE;
  tv.hItem = item;
  tv.pszText = r.at(1024);
  tv.cchTextMax = 1024;
  r.put(0, &tv, sizeof tv);
  SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(r.at(0)));
  char text[1024] = {};
  r.get(1024, text, sizeof text - 1);
  return text;
}

// Every node of the tree, depth first, with two blanks per level.
inline void walk_tree(HWND tree, HTREEITEM item, int depth, std::vector<std::pair<std::string, HTREEITEM>>& out) {
  for (; item; item = reinterpret_cast<HTREEITEM>(
                   SendMessageA(tree, TVM_GETNEXTITEM, TVGN_NEXT, reinterpret_cast<LPARAM>(item)))) {
    out.push_back({std::string(static_cast<std::size_t>(depth) * 2, ' ') + tree_label(tree, item), item});
    walk_tree(tree,
              reinterpret_cast<HTREEITEM>(SendMessageA(tree, TVM_GETNEXTITEM, TVGN_CHILD,
                                                       reinterpret_cast<LPARAM>(item))),
              depth + 1, out);
  }
}

inline std::string list_text(HWND list, int row, int column) {
  Remote r;
  LVITEMA item{};
  item.iSubItem = column;
  item.pszText = r.at(1024);
  item.cchTextMax = 1024;
  r.put(0, &item, sizeof item);
  SendMessageA(list, LVM_GETITEMTEXTA, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(r.at(0)));
  char text[1024] = {};
  r.get(1024, text, sizeof text - 1);
  return text;
}

inline void click_at(HWND window, RECT client_rect) {
  POINT p{client_rect.left + 10, (client_rect.top + client_rect.bottom) / 2};
  ClientToScreen(window, &p);
  SetCursorPos(p.x, p.y);
  Sleep(200);
  INPUT inputs[2] = {};
  inputs[0].type = inputs[1].type = INPUT_MOUSE;
  inputs[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
  inputs[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
  SendInput(2, inputs, sizeof(INPUT));
}

// Starts the viewer in a directory (none: the driver's own) and notes its
// process; false after a line in the log.
// Starts the viewer.  The program's path is taken from the wide command
// line (argument number argument_index), so that a folder whose name the
// ANSI code page cannot hold still works.
inline bool start_viewer(int argument_index, const char* directory,
                         PROCESS_INFORMATION& info) {
  int count = 0;
  LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!arguments || argument_index >= count) {
    std::fprintf(Log, "no viewer named\n");
    return false;
  }
  std::wstring command = std::wstring(L"\"") + arguments[argument_index] + L"\"";
  LocalFree(arguments);
  std::wstring current;
  if (directory) {
    const int size = MultiByteToWideChar(CP_ACP, 0, directory, -1, nullptr, 0);
    current.resize(static_cast<std::size_t>(size > 0 ? size : 1));
    MultiByteToWideChar(CP_ACP, 0, directory, -1, current.data(), size);
  }
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      directory ? current.c_str() : nullptr, &startup, &info)) {
    std::fprintf(Log, "cannot start the viewer\n");
    return false;
  }
  Viewer = info.dwProcessId;
  ViewerProcess = info.hProcess;
  return true;
}

}  // namespace driver
