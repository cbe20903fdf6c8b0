#include "viewer/shell/about_win32.h"

#include <windows.h>
#include <shellapi.h>

#include "viewer/container/stored_values.h"
#include "viewer/resources/resource.h"
#include "viewer/shell/about.h"
#include "viewer/base/viewer_globals_win32.h"

namespace kelvora {
namespace {

INT_PTR CALLBACK about_dialog_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
  if (message == WM_INITDIALOG) {
    SetDlgItemTextA(dialog, IDC_ABOUT_BUILD, build_stamp(__DATE__, __TIME__).c_str());
    return TRUE;
  }
  if (message == WM_COMMAND) {
    // Escape and the close box send 2, which leaves the box open.
    if (LOWORD(wparam) == IDOK) EndDialog(dialog, 1);
    if (LOWORD(wparam) == IDC_ABOUT_WEBSITE)
      ShellExecuteA(nullptr, "open", WebsiteAddress.data(), nullptr, nullptr, SW_SHOWNORMAL);
  }
  return FALSE;
}

}  // namespace

void run_about_box() {
  DialogBoxParamA(AppInstance, MAKEINTRESOURCEA(IDD_ABOUT), nullptr, about_dialog_proc, 0);
}

}  // namespace kelvora
