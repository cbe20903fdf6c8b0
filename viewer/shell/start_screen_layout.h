// Where the start screen puts its background, logo and text: the placement
// arithmetic of the start-screen painting, free of the window system so
// that it is tested natively.  The Windows front end draws what it returns.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kelvora {

struct ScreenRect {
  std::int32_t X = 0, Y = 0, Width = 0, Height = 0;
  bool operator==(const ScreenRect&) const = default;
};

// The copies of the background, each to be drawn stretched into its rect,
// on a screen of W x H for a picture of bw x bh.  The first placement bit
// present decides: quarters, tiled, top-left, top, bottom (before
// bottom-left), bottom-left, centred; none stretches over the screen.  A
// tiled picture of zero width or height draws nothing.
std::vector<ScreenRect> background_copies(std::uint32_t flags, std::uint32_t screen_width,
                                          std::uint32_t screen_height, std::int32_t width,
                                          std::int32_t height);

struct LogoPlacement {
  std::int32_t X = 0, Y = 0;
  bool Transparent = false;  // drawn with LogoKeyColour left out
  bool operator==(const LogoPlacement&) const = default;
};

// The logo's top-left corner; a transparent logo takes the low 16 bits of
// its coordinates as signed values, as its drawing does.
LogoPlacement logo_placement(std::uint32_t flags, std::uint32_t screen_width,
                             std::uint32_t screen_height, std::int32_t width,
                             std::int32_t height, std::int32_t logo_x, std::int32_t logo_y);

// Line count and widest line of the start-screen text: n is the number of
// CR characters; M the longest run counted between them, where every line
// after the first also counts the CR and LF in front of it and what follows
// the last CR does not count.
struct ScreenTextMetrics {
  std::int32_t Lines = 0;     // n
  std::int32_t MaxWidth = 0;  // M, in characters
};
ScreenTextMetrics scan_screen_text(const std::string& text);

struct ScreenTextLine {
  std::string Text;
  std::int32_t X = 0, Y = 0;
  bool operator==(const ScreenTextLine&) const = default;
};

// The lines to draw and where, for a font of cell height Hc and average
// character width Aw on a screen of SW x SH.  A line is drawn when a CR or
// LF ends it; text after the last line break is not drawn; lines stand
// trunc(1.1 Hc) apart; an empty line takes no space.  A line longer than
// 1023 characters is cut there, as the line buffer holds 1024 bytes.
std::vector<ScreenTextLine> layout_screen_text(const std::string& text,
                                               std::uint32_t text_flags,
                                               std::int32_t screen_width,
                                               std::int32_t screen_height,
                                               std::int32_t cell_height,
                                               std::int32_t average_width, std::int32_t text_x,
                                               std::int32_t text_y);

}  // namespace kelvora
