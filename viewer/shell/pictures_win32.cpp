#include "viewer/shell/pictures_win32.h"

#include <ole2.h>
#include <olectl.h>

namespace kelvora {
namespace {

// Selects an object into a device context for a scope.
class Selected {
 public:
  Selected(HDC dc, HGDIOBJ object) : dc_(dc), old_(SelectObject(dc, object)) {}
  ~Selected() { SelectObject(dc_, old_); }
  Selected(const Selected&) = delete;
  Selected& operator=(const Selected&) = delete;

 private:
  HDC dc_;
  HGDIOBJ old_;
};

struct MemoryDc {
  HDC dc;
  explicit MemoryDc(HDC compatible) : dc(CreateCompatibleDC(compatible)) {}
  ~MemoryDc() {
    if (dc) DeleteDC(dc);
  }
  MemoryDc(const MemoryDc&) = delete;
  MemoryDc& operator=(const MemoryDc&) = delete;
};

struct Bitmap {
  HBITMAP handle;
  explicit Bitmap(HBITMAP h) : handle(h) {}
  ~Bitmap() {
    if (handle) DeleteObject(handle);
  }
  Bitmap(const Bitmap&) = delete;
  Bitmap& operator=(const Bitmap&) = delete;
};

}  // namespace

SIZE bitmap_size(HBITMAP bitmap) {
  BITMAP info{};
  GetObjectA(bitmap, sizeof info, &info);
  return SIZE{info.bmWidth, info.bmHeight};
}

HBITMAP load_picture(const char* path, int* width, int* height) {
  wchar_t wide[MAX_PATH] = {};
  MultiByteToWideChar(CP_ACP, 0, path, -1, wide, MAX_PATH);
  wide[MAX_PATH - 1] = L'\0';
  IPicture* picture = nullptr;
  const HRESULT loaded = OleLoadPicturePath(wide, nullptr, 0, 0, IID_IPicture,
                                            reinterpret_cast<void**>(&picture));
  if (FAILED(loaded) || !picture) {
    MessageBoxA(nullptr, "OleLoad FAILED!", "ERROR:", MB_OK);
    return nullptr;
  }
  HDC display = CreateDCA("DISPLAY", nullptr, nullptr, nullptr);
  HDC memory = CreateCompatibleDC(display);
  OLE_XSIZE_HIMETRIC hm_width = 0;
  OLE_YSIZE_HIMETRIC hm_height = 0;
  picture->get_Width(&hm_width);
  picture->get_Height(&hm_height);
  const int w = MulDiv(GetDeviceCaps(display, LOGPIXELSX), hm_width, 2540);
  const int h = MulDiv(GetDeviceCaps(display, LOGPIXELSY), hm_height, 2540);
  HBITMAP bitmap = CreateCompatibleBitmap(display, w, h);
  if (bitmap) {
    HGDIOBJ old = SelectObject(memory, bitmap);
    picture->Render(memory, 0, 0, w, h, 0, hm_height, hm_width, -hm_height, nullptr);
    SelectObject(memory, old);
  }
  DeleteDC(memory);
  DeleteDC(display);
  picture->Release();
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
  MemoryDc memory(target);
  Selected selected(memory.dc, bitmap);
  SetMapMode(memory.dc, GetMapMode(target));
  const SIZE size = bitmap_size(bitmap);
  POINT extent{size.cx, size.cy};
  DPtoLP(target, &extent, 1);
  POINT origin{0, 0};
  DPtoLP(memory.dc, &origin, 1);
  copy(memory.dc, origin, extent);
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
  MemoryDc source(target);
  Selected source_bitmap(source.dc, bitmap);
  SetMapMode(source.dc, GetMapMode(target));
  const SIZE size = bitmap_size(bitmap);
  POINT extent{size.cx, size.cy};
  DPtoLP(source.dc, &extent, 1);
  const int w = extent.x, h = extent.y;

  MemoryDc back(target), object(target), mem(target), save(target);
  Bitmap back_bitmap(CreateBitmap(w, h, 1, 1, nullptr));
  Bitmap object_bitmap(CreateBitmap(w, h, 1, 1, nullptr));
  Bitmap mem_bitmap(CreateCompatibleBitmap(target, w, h));
  Bitmap save_bitmap(CreateCompatibleBitmap(target, w, h));
  if (!back.dc || !object.dc || !mem.dc || !save.dc || !back_bitmap.handle ||
      !object_bitmap.handle || !mem_bitmap.handle || !save_bitmap.handle)
    return;
  Selected s1(back.dc, back_bitmap.handle);
  Selected s2(object.dc, object_bitmap.handle);
  Selected s3(mem.dc, mem_bitmap.handle);
  Selected s4(save.dc, save_bitmap.handle);

  BitBlt(save.dc, 0, 0, w, h, source.dc, 0, 0, SRCCOPY);
  const COLORREF old_background = SetBkColor(source.dc, key);
  BitBlt(object.dc, 0, 0, w, h, source.dc, 0, 0, SRCCOPY);  // key pixels -> 1
  SetBkColor(source.dc, old_background);
  BitBlt(back.dc, 0, 0, w, h, object.dc, 0, 0, NOTSRCCOPY);
  BitBlt(mem.dc, 0, 0, w, h, target, x, y, SRCCOPY);
  BitBlt(mem.dc, 0, 0, w, h, object.dc, 0, 0, SRCAND);
  BitBlt(source.dc, 0, 0, w, h, back.dc, 0, 0, SRCAND);
  BitBlt(mem.dc, 0, 0, w, h, source.dc, 0, 0, SRCPAINT);
  BitBlt(target, x, y, w, h, mem.dc, 0, 0, SRCCOPY);
  BitBlt(source.dc, 0, 0, w, h, save.dc, 0, 0, SRCCOPY);
}

HBITMAP flatten_bitmap(HBITMAP source, COLORREF colour) {
  if (!source) return nullptr;
  HDC display = CreateDCA("DISPLAY", nullptr, nullptr, nullptr);
  if (!display) return nullptr;
  const SIZE size = bitmap_size(source);
  HBITMAP result = CreateCompatibleBitmap(display, size.cx, size.cy);
  HDC memory = CreateCompatibleDC(display);
  if (result && memory) {
    HGDIOBJ old = SelectObject(memory, result);
    HBRUSH brush = CreateSolidBrush(colour);
    RECT all{0, 0, size.cx, size.cy};
    FillRect(memory, &all, brush);
    DeleteObject(brush);
    draw_transparent(memory, source, 0, 0, RGB(255, 0, 255));
    SelectObject(memory, old);
  }
  if (memory) DeleteDC(memory);
  DeleteDC(display);
  return result;
}

}  // namespace kelvora
