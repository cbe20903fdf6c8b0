// The message sink on Windows: every report as a message box.
#pragma once

namespace kelvora {

// show_error: OK, question-mark icon, system-modal, no owner; ask_yes_no:
// the same with Yes and No; the plain reports: OK alone, no icon.
void install_message_boxes();

}  // namespace kelvora
