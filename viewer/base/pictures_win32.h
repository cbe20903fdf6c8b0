// Picture loading and the four bitmap routines: natural size, stretched,
// with a transparent key colour, and flattened onto a colour.
#pragma once

#include <windows.h>

namespace kelvora {

// A picture file of any format the platform's picture service reads, as a
// display-compatible bitmap; none (after "OleLoad FAILED!") when it cannot.
HBITMAP load_picture(const char* path, int* width, int* height);

// A new bitmap of the source's size: the colour, with the source drawn over
// it and its magenta pixels left out.  The source stays as it is.
HBITMAP flatten_bitmap(HBITMAP source, COLORREF colour);

void draw_bitmap(HDC target, HBITMAP bitmap, int x, int y);
void draw_stretched(HDC target, HBITMAP bitmap, int x, int y, int width, int height);
// Pixels exactly equal to the key colour leave the target unchanged; x and
// y are taken as 16-bit signed values.
void draw_transparent(HDC target, HBITMAP bitmap, short x, short y, COLORREF key);

// The pixel size of a bitmap.
SIZE bitmap_size(HBITMAP bitmap);

}  // namespace kelvora
