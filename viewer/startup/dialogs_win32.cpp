#include "viewer/startup/dialogs_win32.h"

#include <windows.h>

#include <string>
#include <vector>

#include "viewer/container/password.h"
#include "viewer/resources/resource.h"
#include "viewer/base/viewer_globals_win32.h"
#include "viewer/container/viewer_file.h"
#include "viewer/base/message_sink.h"

namespace kelvora {
namespace {

std::string dialog_text(HWND dialog, int control) {
  HWND field = GetDlgItem(dialog, control);
  const int length = GetWindowTextLengthA(field);
  std::vector<char> text(static_cast<std::size_t>(length) + 2, '\0');
  GetWindowTextA(field, text.data(), length + 1);
  return text.data();
}

// Ends a start-up dialog so that the viewer ends after the start screen.
INT_PTR cancel_start(HWND dialog) {
  Cancelled = true;
  EndDialog(dialog, 0);
  return TRUE;
}

INT_PTR CALLBACK password_dialog_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      return TRUE;
    case WM_PAINT:
      // Each paint puts the keyboard focus into the password field.
      SetFocus(GetDlgItem(dialog, IDC_PASSWORD));
      return FALSE;
    case WM_COMMAND:
      switch (LOWORD(wparam)) {
        case IDOK: {
          const std::string entered = dialog_text(dialog, IDC_PASSWORD);
          switch (check_password(Viewer.Settings, entered)) {
            case PasswordResult::Correct:
              EndDialog(dialog, 1);
              return TRUE;
            case PasswordResult::TooLong:
              show_error(PASSWORD_TOO_LONG_CAPTION, "%s", PASSWORD_TOO_LONG_TEXT);
              return TRUE;
            case PasswordResult::Incorrect:
              break;
          }
          if (ask_yes_no(PASSWORD_RETRY_CAPTION, "%s", PASSWORD_RETRY_TEXT) != ANSWER_YES)
            return cancel_start(dialog);
          return TRUE;
        }
        case IDCANCEL:
          return cancel_start(dialog);
      }
      return FALSE;
  }
  return FALSE;
}

INT_PTR CALLBACK licence_dialog_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      SetDlgItemTextA(dialog, IDC_LICENCE_TEXT,
                      Viewer.LicenceText ? Viewer.LicenceText->c_str() : "");
      return TRUE;
    case WM_COMMAND:
      switch (LOWORD(wparam)) {
        case IDOK:
          EndDialog(dialog, 1);
          return TRUE;
        case IDCANCEL:
          return cancel_start(dialog);
      }
      return FALSE;
    case WM_CLOSE:
      return cancel_start(dialog);
  }
  return FALSE;
}

}  // namespace

void run_password_dialog() {
  DialogBoxParamA(AppInstance, MAKEINTRESOURCEA(IDD_PASSWORD), nullptr, password_dialog_proc, 0);
}

void run_licence_dialog() {
  DialogBoxParamA(AppInstance, MAKEINTRESOURCEA(IDD_LICENCE), nullptr, licence_dialog_proc, 0);
}

}  // namespace kelvora
