#include "viewer/base/pictures_win32.h"

#include <ole2.h>
#include <olectl.h>

#include "viewer/base/handles_win32.h"
#include "viewer/base/message_sink.h"

namespace kelvora {

SIZE bitmap_size(HBITMAP bitmap) {
  BITMAP info{};
  GetObjectA(bitmap, sizeof info, &info);
  return SIZE{info.bmWidth, info.bmHeight};
}

HBITMAP load_picture(const char* path, int* width, int* height) {
  wchar_t wide[MAX_PATH] = {};
  MultiByteToWideChar(CP_ACP, 0, path, -1, wide, MAX_PATH);
  wide[MAX_PATH - 1] = L'\0';
  ComPtr<IPicture> picture;
  const HRESULT loaded = OleLoadPicturePath(wide, nullptr, 0, 0, IID_IPicture,
                                            reinterpret_cast<void**>(picture.put()));
  if (FAILED(loaded) || !picture) {
    show_plain_message("ERROR:", "OleLoad FAILED!");
    return nullptr;
  }
  DeviceContext display(CreateDCA("DISPLAY", nullptr, nullptr, nullptr));
  DeviceContext memory(CreateCompatibleDC(display.get()));
  OLE_XSIZE_HIMETRIC hm_width = 0;
  OLE_YSIZE_HIMETRIC hm_height = 0;
  picture.get()->get_Width(&hm_width);
  picture.get()->get_Height(&hm_height);
  const int w = MulDiv(GetDeviceCaps(display.get(), LOGPIXELSX), hm_width, 2540);
  const int h = MulDiv(GetDeviceCaps(display.get(), LOGPIXELSY), hm_height, 2540);
  HBITMAP bitmap = CreateCompatibleBitmap(display.get(), w, h);
  if (bitmap) {
    SelectedObject selected(memory.get(), bitmap);
    picture.get()->Render(memory.get(), 0, 0, w, h, 0, hm_height, hm_width, -hm_height,
                          nullptr);
  }
  if (width) *width = w;
  if (height) *height = h;
  return bitmap;
}

namespace {

// Selects the bitmap into a memory context with the target's mapping mode
// and hands the copy its source origin and extent in logical units.
template <typename Copy>
void with_bitmap_source(HDC target, HBITMAP bitmap, Copy copy) {
  if (!bitmap) return;
  DeviceContext memory(CreateCompatibleDC(target));
  SelectedObject selected(memory.get(), bitmap);
  SetMapMode(memory.get(), GetMapMode(target));
  const SIZE size = bitmap_size(bitmap);
  POINT extent{size.cx, size.cy};
  DPtoLP(target, &extent, 1);
  POINT origin{0, 0};
  DPtoLP(memory.get(), &origin, 1);
  copy(memory.get(), origin, extent);
}

}  // namespace

void draw_bitmap(HDC target, HBITMAP bitmap, int x, int y) {
  with_bitmap_source(target, bitmap, [&](HDC source, POINT origin, POINT extent) {
    BitBlt(target, x, y, extent.x, extent.y, source, origin.x, origin.y, SRCCOPY);
  });
}

void draw_stretched(HDC target, HBITMAP bitmap, int x, int y, int width, int height) {
  with_bitmap_source(target, bitmap, [&](HDC source, POINT origin, POINT extent) {
    SetStretchBltMode(target, COLORONCOLOR);
    StretchBlt(target, x, y, width, height, source, origin.x, origin.y, extent.x, extent.y,
               SRCCOPY);
  });
}

void draw_transparent(HDC target, HBITMAP bitmap, short x, short y, COLORREF key) {
  if (!bitmap) return;
  DeviceContext source(CreateCompatibleDC(target));
  SelectedObject source_bitmap(source.get(), bitmap);
  SetMapMode(source.get(), GetMapMode(target));
  const SIZE size = bitmap_size(bitmap);
  POINT extent{size.cx, size.cy};
  DPtoLP(source.get(), &extent, 1);
  const int w = extent.x, h = extent.y;

  DeviceContext back(CreateCompatibleDC(target)), object(CreateCompatibleDC(target)),
      mem(CreateCompatibleDC(target)), save(CreateCompatibleDC(target));
  GdiBitmap back_bitmap(CreateBitmap(w, h, 1, 1, nullptr));
  GdiBitmap object_bitmap(CreateBitmap(w, h, 1, 1, nullptr));
  GdiBitmap mem_bitmap(CreateCompatibleBitmap(target, w, h));
  GdiBitmap save_bitmap(CreateCompatibleBitmap(target, w, h));
  if (!back || !object || !mem || !save || !back_bitmap || !object_bitmap || !mem_bitmap ||
      !save_bitmap)
    return;
  SelectedObject s1(back.get(), back_bitmap.get());
  SelectedObject s2(object.get(), object_bitmap.get());
  SelectedObject s3(mem.get(), mem_bitmap.get());
  SelectedObject s4(save.get(), save_bitmap.get());

  BitBlt(save.get(), 0, 0, w, h, source.get(), 0, 0, SRCCOPY);
  const COLORREF old_background = SetBkColor(source.get(), key);
  BitBlt(object.get(), 0, 0, w, h, source.get(), 0, 0, SRCCOPY);  // key pixels -> 1
  SetBkColor(source.get(), old_background);
  BitBlt(back.get(), 0, 0, w, h, object.get(), 0, 0, NOTSRCCOPY);
  BitBlt(mem.get(), 0, 0, w, h, target, x, y, SRCCOPY);
  BitBlt(mem.get(), 0, 0, w, h, object.get(), 0, 0, SRCAND);
  BitBlt(source.get(), 0, 0, w, h, back.get(), 0, 0, SRCAND);
  BitBlt(mem.get(), 0, 0, w, h, source.get(), 0, 0, SRCPAINT);
  BitBlt(target, x, y, w, h, mem.get(), 0, 0, SRCCOPY);
  BitBlt(source.get(), 0, 0, w, h, save.get(), 0, 0, SRCCOPY);
}

HBITMAP flatten_bitmap(HBITMAP source, COLORREF colour) {
  if (!source) return nullptr;
  DeviceContext display(CreateDCA("DISPLAY", nullptr, nullptr, nullptr));
  if (!display) return nullptr;
  const SIZE size = bitmap_size(source);
  HBITMAP result = CreateCompatibleBitmap(display.get(), size.cx, size.cy);
  DeviceContext memory(CreateCompatibleDC(display.get()));
  if (result && memory) {
    SelectedObject selected(memory.get(), result);
    GdiBrush brush(CreateSolidBrush(colour));
    RECT all{0, 0, size.cx, size.cy};
    FillRect(memory.get(), &all, brush.get());
    draw_transparent(memory.get(), source, 0, 0, RGB(255, 0, 255));
  }
  return result;
}

}  // namespace kelvora
