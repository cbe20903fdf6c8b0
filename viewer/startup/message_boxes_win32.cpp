#include "viewer/startup/message_boxes_win32.h"

#include <windows.h>

#include "viewer/base/message_sink.h"

namespace kelvora {

void install_message_boxes() {
  set_message_handler([](MessageKind kind, const std::string& caption, const std::string& text) {
    UINT style = MB_OK;
    if (kind == MessageKind::Error) style = MB_OK | MB_SYSTEMMODAL | MB_ICONQUESTION;
    if (kind == MessageKind::YesNo) style = MB_YESNO | MB_SYSTEMMODAL | MB_ICONQUESTION;
    return MessageBoxA(nullptr, text.c_str(), caption.c_str(), style);
  });
}

}  // namespace kelvora
