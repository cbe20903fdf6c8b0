// Runs a program and answers its message boxes, the way a user would.
//
//   box_driver ANSWER LOG PROGRAM
//
// ANSWER (yes or no) answers a Yes/No box; an OK box is always confirmed.
// Every box is written to LOG as "caption|text", then "exit N" with the
// program's exit code.  Gives up after 60 seconds (exit code 3).
#include <windows.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

namespace {

struct Search {
  DWORD process;
  std::vector<HWND> boxes;
};

BOOL CALLBACK collect(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<Search*>(param);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  char cls[64] = {};
  GetClassNameA(window, cls, sizeof cls);
  if (pid == search->process && IsWindowVisible(window) && std::string(cls) == "#32770")
    search->boxes.push_back(window);
  return TRUE;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: box_driver yes|no LOG PROGRAM\n");
    return 2;
  }
  const bool yes = std::string(argv[1]) == "yes";
  std::FILE* log = std::fopen(argv[2], "w");
  if (!log) return 2;

  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info = {};
  std::string command = std::string("\"") + argv[3] + "\"";
  if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &info)) {
    std::fprintf(log, "cannot start %s\n", argv[3]);
    std::fclose(log);
    return 2;
  }
  std::set<HWND> answered;
  const DWORD start = GetTickCount();
  while (WaitForSingleObject(info.hProcess, 50) == WAIT_TIMEOUT) {
    if (GetTickCount() - start > 60000) {
      std::fprintf(log, "timeout\n");
      TerminateProcess(info.hProcess, 99);
      std::fclose(log);
      return 3;
    }
    Search search{info.dwProcessId, {}};
    EnumWindows(collect, reinterpret_cast<LPARAM>(&search));
    for (HWND box : search.boxes) {
      if (answered.count(box)) continue;
      // The box may be visible before its controls exist.
      const bool question = GetDlgItem(box, IDYES) != nullptr;
      const int button = question ? (yes ? IDYES : IDNO) : IDOK;
      HWND control = GetDlgItem(box, button);
      if (!control) continue;
      char caption[256] = {}, text[1024] = {};
      GetWindowTextA(box, caption, sizeof caption);
      GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
      std::fprintf(log, "%s|%s\n", caption, text);
      std::fflush(log);
      answered.insert(box);
      PostMessageA(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                   reinterpret_cast<LPARAM>(control));
    }
  }
  DWORD code = 0;
  GetExitCodeProcess(info.hProcess, &code);
  std::fprintf(log, "exit %lu\n", static_cast<unsigned long>(code));
  std::fclose(log);
  CloseHandle(info.hProcess);
  CloseHandle(info.hThread);
  return 0;
}
