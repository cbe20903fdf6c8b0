#include "viewer/shell/start_screen_layout.h"

#include <algorithm>

#include "viewer/container/viewer_file.h"

namespace kelvora {
namespace {

// Distance from one line to the next: the cell height and a tenth of it,
// in double precision, truncated toward zero.
double line_step(std::int32_t cell_height) {
  return static_cast<double>(cell_height) * 0.1 + static_cast<double>(cell_height);
}

}  // namespace

std::vector<ScreenRect> background_copies(std::uint32_t flags, std::uint32_t screen_width,
                                          std::uint32_t screen_height, std::int32_t bw,
                                          std::int32_t bh) {
  const std::int32_t W = static_cast<std::int32_t>(screen_width);
  const std::int32_t H = static_cast<std::int32_t>(screen_height);
  const std::int32_t hw = static_cast<std::int32_t>(screen_width / 2);
  const std::int32_t hh = static_cast<std::int32_t>(screen_height / 2);
  if (flags & FLAG_BACKGROUND_QUARTERS)
    return {{0, 0, hw, hh}, {hw, 0, hw, hh}, {0, H - hh, hw, hh}, {hw, H - hh, hw, hh}};
  if (flags & FLAG_BACKGROUND_TILED) {
    std::vector<ScreenRect> tiles;
    if (bw <= 0 || bh <= 0) return tiles;
    for (std::int64_t y = 0; y < H; y += bh)
      for (std::int64_t x = 0; x < W; x += bw)
        tiles.push_back({static_cast<std::int32_t>(x), static_cast<std::int32_t>(y), bw, bh});
    return tiles;
  }
  if (flags & FLAG_BACKGROUND_TOP_LEFT) return {{0, 0, bw, bh}};
  if (flags & FLAG_BACKGROUND_TOP) return {{hw - bw / 2, 0, bw, bh}};
  if (flags & FLAG_BACKGROUND_BOTTOM) return {{hw - bw / 2, H - bh, bw, bh}};
  if (flags & FLAG_BACKGROUND_BOTTOM_LEFT) return {{0, H - bh, bw, bh}};
  if (flags & FLAG_BACKGROUND_CENTRED) return {{hw - bw / 2, hh - bh / 2, bw, bh}};
  return {{0, 0, W, H}};
}

LogoPlacement logo_placement(std::uint32_t flags, std::uint32_t screen_width,
                             std::uint32_t screen_height, std::int32_t lw, std::int32_t lh,
                             std::int32_t logo_x, std::int32_t logo_y) {
  const std::int32_t H = static_cast<std::int32_t>(screen_height);
  const std::int32_t hw = static_cast<std::int32_t>(screen_width / 2);
  const std::int32_t hh = static_cast<std::int32_t>(screen_height / 2);
  LogoPlacement p;
  p.Transparent = (flags & FLAG_LOGO_TRANSPARENT) != 0;
  if (flags & FLAG_LOGO_TOP_LEFT) {
    p.X = 0, p.Y = 0;
  } else if (flags & FLAG_LOGO_TOP) {
    p.X = hw - lw / 2, p.Y = 0;
  } else if (flags & FLAG_LOGO_BOTTOM) {
    p.X = hw - lw / 2, p.Y = H - lh;
  } else if (flags & FLAG_LOGO_BOTTOM_LEFT) {
    p.X = 0, p.Y = H - lh;
  } else if (flags & FLAG_LOGO_CENTRED) {
    p.X = hw - lw / 2, p.Y = hh - lh / 2;
  } else if (flags & FLAG_LOGO_AT_XY) {
    p.X = logo_x, p.Y = logo_y;
  }
  if (p.Transparent) {
    p.X = static_cast<std::int16_t>(static_cast<std::uint16_t>(p.X & 0xFFFF));
    p.Y = static_cast<std::int16_t>(static_cast<std::uint16_t>(p.Y & 0xFFFF));
  }
  return p;
}

ScreenTextMetrics scan_screen_text(const std::string& text) {
  ScreenTextMetrics m;
  std::int32_t counter = 0;
  for (char c : text) {
    if (c == '\0') break;
    if (c == '\r') {
      m.Lines += 1;
      m.MaxWidth = std::max(m.MaxWidth, counter);
      counter = 0;
    }
    counter += 1;
  }
  return m;
}

std::vector<ScreenTextLine> layout_screen_text(const std::string& text, std::uint32_t text_flags,
                                               std::int32_t SW, std::int32_t SH,
                                               std::int32_t Hc, std::int32_t Aw,
                                               std::int32_t text_x, std::int32_t text_y) {
  const ScreenTextMetrics m = scan_screen_text(text);
  const double step = line_step(Hc);
  const std::int32_t centred_x = SW / 2 - (Aw * m.MaxWidth) / 2;
  std::int32_t x = text_x, y = text_y;
  if (text_flags & TEXT_TOP_LEFT) {
    x = 0, y = 0;
  } else if (text_flags & TEXT_TOP) {
    x = centred_x, y = 0;
  } else if (text_flags & TEXT_BOTTOM_LEFT) {
    x = 0, y = static_cast<std::int32_t>(SH - step * m.Lines);
  } else if (text_flags & TEXT_BOTTOM) {
    x = centred_x, y = static_cast<std::int32_t>(SH - step * m.Lines);
  } else if (text_flags & TEXT_CENTRED) {
    x = centred_x, y = static_cast<std::int32_t>(SH / 2 - step * m.Lines * 0.5);
  }

  std::vector<ScreenTextLine> lines;
  std::string buffer;
  std::int32_t offset = 0;
  for (char c : text) {
    if (c == '\0') break;
    if (c != '\r' && c != '\n') {
      if (buffer.size() < 1023) buffer += c;
      continue;
    }
    if (!buffer.empty()) {
      lines.push_back({buffer, x, y + offset});
      offset += static_cast<std::int32_t>(step);
    }
    buffer.clear();
  }
  return lines;
}

}  // namespace kelvora
