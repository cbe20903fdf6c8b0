// Painting the start screen: background, logo and text as the settings
// place them.
#pragma once

#include <windows.h>

namespace kelvora {

void paint_start_screen(HDC dc);
void draw_background(HDC dc);
void draw_logo(HDC dc);
void draw_screen_text(HDC dc);

}  // namespace kelvora
