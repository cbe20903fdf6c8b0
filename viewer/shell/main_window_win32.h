// The main window: menu, caption band, tree, list and status bar, their
// layout, and the routing of commands and notifications.
#pragma once

namespace kelvora {

// 1 when the message loop ended, 0 when a window or the catalogue could not
// be made (after its message).
int run_main_window();

// Creation steps without the message loop: the window, its controls, the
// catalogue.  1, or 0 after its message.
int create_main_window();

// The exit clean-up: removes the temporary copies, frees the catalogue, the
// tree's images and the caption bitmaps, and ends the process with code 0.
[[noreturn]] void exit_viewer();

}  // namespace kelvora
