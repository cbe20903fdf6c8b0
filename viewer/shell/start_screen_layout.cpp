#include "viewer/shell/start_screen_layout.h"

#include <algorithm>
#include <cstdint>

#include "viewer/container/viewer_file.h"

namespace kelvora {
namespace {

// Coordinates are 32-bit, as the platform's drawing calls take them.  The
// sums are made in 64 bits and wrap to 32 as two's-complement arithmetic
// does, so that extreme settings give far-off (undrawn) places, never
// undefined arithmetic.
std::int32_t wrap32(std::int64_t value) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(value)));
}

// A double truncated toward zero into 32 bits; out of range or not a number
// clamps.
std::int32_t truncate32(double value) {
  if (!(value == value)) return 0;
  if (value >= 2147483647.0) return INT32_MAX;
  if (value <= -2147483648.0) return INT32_MIN;
  return static_cast<std::int32_t>(value);
}

// Distance from one line to the next: the cell height and a tenth of it,
// in double precision, truncated toward zero.
double line_step(std::int32_t cell_height) {
  return static_cast<double>(cell_height) * 0.1 + static_cast<double>(cell_height);
}

}  // namespace

std::vector<ScreenRect> background_copies(std::uint32_t flags, std::uint32_t screen_width,
                                          std::uint32_t screen_height, std::int32_t bw,
                                          std::int32_t bh) {
  const std::int64_t W = screen_width, H = screen_height;
  const std::int64_t hw = screen_width / 2, hh = screen_height / 2;
  const std::int32_t w2 = wrap32(hw), h2 = wrap32(hh);
  if (flags & FLAG_BACKGROUND_QUARTERS)
    return {{0, 0, w2, h2}, {w2, 0, w2, h2}, {0, wrap32(H - hh), w2, h2},
            {w2, wrap32(H - hh), w2, h2}};
  if (flags & FLAG_BACKGROUND_TILED) {
    std::vector<ScreenRect> tiles;
    if (bw <= 0 || bh <= 0) return tiles;
    for (std::int64_t y = 0; y < H; y += bh)
      for (std::int64_t x = 0; x < W; x += bw)
        tiles.push_back({static_cast<std::int32_t>(x), static_cast<std::int32_t>(y), bw, bh});
    return tiles;
  }
  const std::int32_t across = wrap32(hw - bw / 2);
  if (flags & FLAG_BACKGROUND_TOP_LEFT) return {{0, 0, bw, bh}};
  if (flags & FLAG_BACKGROUND_TOP) return {{across, 0, bw, bh}};
  if (flags & FLAG_BACKGROUND_BOTTOM) return {{across, wrap32(H - bh), bw, bh}};
  if (flags & FLAG_BACKGROUND_BOTTOM_LEFT) return {{0, wrap32(H - bh), bw, bh}};
  if (flags & FLAG_BACKGROUND_CENTRED) return {{across, wrap32(hh - bh / 2), bw, bh}};
  return {{0, 0, wrap32(W), wrap32(H)}};
}

LogoPlacement logo_placement(std::uint32_t flags, std::uint32_t screen_width,
                             std::uint32_t screen_height, std::int32_t lw, std::int32_t lh,
                             std::int32_t logo_x, std::int32_t logo_y) {
  const std::int64_t H = screen_height;
  const std::int64_t hw = screen_width / 2, hh = screen_height / 2;
  const std::int32_t across = wrap32(hw - lw / 2);
  LogoPlacement p;
  p.Transparent = (flags & FLAG_LOGO_TRANSPARENT) != 0;
  if (flags & FLAG_LOGO_TOP_LEFT) {
    p.X = 0, p.Y = 0;
  } else if (flags & FLAG_LOGO_TOP) {
    p.X = across, p.Y = 0;
  } else if (flags & FLAG_LOGO_BOTTOM) {
    p.X = across, p.Y = wrap32(H - lh);
  } else if (flags & FLAG_LOGO_BOTTOM_LEFT) {
    p.X = 0, p.Y = wrap32(H - lh);
  } else if (flags & FLAG_LOGO_CENTRED) {
    p.X = across, p.Y = wrap32(hh - lh / 2);
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
  const std::int32_t centred_x =
      wrap32(std::int64_t{SW / 2} - (std::int64_t{Aw} * m.MaxWidth) / 2);
  std::int32_t x = text_x, y = text_y;
  if (text_flags & TEXT_TOP_LEFT) {
    x = 0, y = 0;
  } else if (text_flags & TEXT_TOP) {
    x = centred_x, y = 0;
  } else if (text_flags & TEXT_BOTTOM_LEFT) {
    x = 0, y = truncate32(SH - step * m.Lines);
  } else if (text_flags & TEXT_BOTTOM) {
    x = centred_x, y = truncate32(SH - step * m.Lines);
  } else if (text_flags & TEXT_CENTRED) {
    x = centred_x, y = truncate32(SH / 2 - step * m.Lines * 0.5);
  }

  std::vector<ScreenTextLine> lines;
  std::string buffer;
  std::int64_t offset = 0;
  for (char c : text) {
    if (c == '\0') break;
    if (c != '\r' && c != '\n') {
      if (buffer.size() < 1023) buffer += c;
      continue;
    }
    if (!buffer.empty()) {
      lines.push_back({buffer, x, wrap32(y + offset)});
      offset += truncate32(step);
    }
    buffer.clear();
  }
  return lines;
}

}  // namespace kelvora
