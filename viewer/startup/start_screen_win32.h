// The full-screen start screen and its one-shot timer, which runs the
// password and licence dialogs.
#pragma once

namespace kelvora {

// True when start-up may go on (the user did not cancel).
bool run_start_screen();

}  // namespace kelvora
