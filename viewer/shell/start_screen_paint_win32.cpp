#include "viewer/shell/start_screen_paint_win32.h"

#include "viewer/base/pictures_win32.h"
#include "viewer/shell/start_screen_layout.h"
#include "viewer/base/viewer_globals_win32.h"
#include "viewer/container/viewer_file.h"

namespace kelvora {

void paint_start_screen(HDC dc) {
  if (BackgroundBitmap) draw_background(dc);
  if (LogoBitmap) draw_logo(dc);
  if (Viewer.Settings.Flags & FLAG_TEXT) draw_screen_text(dc);
}

void draw_background(HDC dc) {
  for (const ScreenRect& r :
       background_copies(Viewer.Settings.Flags, static_cast<std::uint32_t>(ScreenWidth),
                         static_cast<std::uint32_t>(ScreenHeight), BackgroundWidth,
                         BackgroundHeight))
    draw_stretched(dc, BackgroundBitmap.get(), r.X, r.Y, r.Width, r.Height);
}

void draw_logo(HDC dc) {
  const VIEWER_SETTINGS& s = Viewer.Settings;
  const LogoPlacement p =
      logo_placement(s.Flags, static_cast<std::uint32_t>(ScreenWidth),
                     static_cast<std::uint32_t>(ScreenHeight), LogoWidth, LogoHeight, s.LogoX,
                     s.LogoY);
  if (p.Transparent)
    draw_transparent(dc, LogoBitmap.get(), static_cast<short>(p.X), static_cast<short>(p.Y),
                     s.LogoKeyColour);
  else
    draw_bitmap(dc, LogoBitmap.get(), p.X, p.Y);
}

void draw_screen_text(HDC dc) {
  const VIEWER_SETTINGS& s = Viewer.Settings;
  const int sw = GetSystemMetrics(SM_CXSCREEN);
  const int sh = GetSystemMetrics(SM_CYSCREEN);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, s.TextColour);
  SetBkColor(dc, s.BackColour);
  const char* face = (s.TextFlags & TEXT_CUSTOM_FONT) ? s.FontFace.c_str() : "Arial";
  const GdiFont font(CreateFontA(s.FontHeight, 0, 0, 0, 700, FALSE, FALSE, FALSE, ANSI_CHARSET,
                                 OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                 FF_SWISS | DEFAULT_PITCH, face));
  const SelectedObject selected(dc, font.get());
  TEXTMETRICA metrics{};
  GetTextMetricsA(dc, &metrics);
  for (const ScreenTextLine& line :
       layout_screen_text(s.ScreenText, s.TextFlags, sw, sh, metrics.tmHeight,
                          metrics.tmAveCharWidth, s.TextX, s.TextY)) {
    const int length = static_cast<int>(line.Text.size());
    if (s.Flags & FLAG_TEXT_SHADOW) {
      SetTextColor(dc, s.ShadowColour);
      // The shadow's offset wraps like the text's own place.
      const auto sx = static_cast<int>(static_cast<std::uint32_t>(line.X) +
                                       static_cast<std::uint32_t>(s.ShadowX));
      const auto sy = static_cast<int>(static_cast<std::uint32_t>(line.Y) +
                                       static_cast<std::uint32_t>(s.ShadowY));
      TextOutA(dc, sx, sy, line.Text.c_str(), length);
      SetTextColor(dc, s.TextColour);
    }
    TextOutA(dc, line.X, line.Y, line.Text.c_str(), length);
  }
}

}  // namespace kelvora
