// The start-up dialogs: the password gate and the licence agreement.
#pragma once

namespace kelvora {

// Runs dialog 103 until a right password, No after a wrong one, or Cancel.
void run_password_dialog();
// Runs dialog 101; Decline, Esc or the close box set Cancelled.
void run_licence_dialog();

}  // namespace kelvora
