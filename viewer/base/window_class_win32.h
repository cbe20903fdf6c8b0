// The viewer's window classes: each is registered the same way, with the
// system's application icon and arrow cursor, redrawn whole when resized.
#pragma once

#include <windows.h>

namespace kelvora {

// Registers a class of the process's instance; 0 when the system refuses.
ATOM register_window_class(const char* name, WNDPROC procedure, HBRUSH background,
                           const char* menu = nullptr);

}  // namespace kelvora
