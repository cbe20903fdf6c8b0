// Start-up assets on Windows: the background and logo pictures and the
// custom font out of the viewer file, and the program's icons and export
// animation frames out of its resources.
#pragma once

#include <string>

namespace kelvora {

// Pictures and font (while start-up reads the viewer file).  False after
// the message of a step that ends start-up.
bool load_startup_pictures_and_font();

// Icons 105, 119, 120, 121 and the seven flattened export frames.
bool load_icons_and_frames();

// The user's Fonts folder from the registry, or empty.
std::string fonts_folder();

// Records the written font under its face name and adds it to the system.
// Returns false when it could not be installed (after its message).
bool install_font(const std::string& path);

// True when the platform reports attributes for the path.
bool file_exists(const std::string& path);

}  // namespace kelvora
