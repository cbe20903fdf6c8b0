// The splitter between the tree and the list: hit test, drag bar and the
// nested loop of a drag.
#pragma once

#include <windows.h>

namespace kelvora {

void register_splitter_class();
// The main window's mouse messages; false when the message is not one of
// them.
bool splitter_mouse(HWND window, UINT message, LPARAM lparam);

}  // namespace kelvora
