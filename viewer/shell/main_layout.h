// The main window's layout rule and caption band, free of the window
// system: where the status bar, tree, splitter and list go for a client
// size, and where the caption tabs are drawn.
#pragma once

#include <cstdint>

namespace kelvora {

// One area of the main window's client area, in client pixels; Id is the
// child id of the control that fills it (4 for the splitter strip).
struct PANE_RECT {
  std::int32_t Id = 0;
  std::int32_t X = 0, Y = 0, Width = 0, Height = 0;
  bool operator==(const PANE_RECT&) const = default;
};

constexpr std::int32_t SPLITTER_WIDTH = 5;
constexpr std::int32_t CAPTION_HEIGHT = 19;
constexpr std::int32_t FOLDERS_CAPTION_WIDTH = 78;
constexpr std::int32_t FILES_CAPTION_WIDTH = 53;
constexpr std::int32_t CAPTION_END_WIDTH = 4;

struct MainLayout {
  PANE_RECT StatusPane{1, 0, 0, 0, 16};
  PANE_RECT TreePane{2, 0, 21, 0, 0};
  PANE_RECT ListPane{3, 0, 21, 0, 0};
  PANE_RECT SplitterPane{4, 0, 21, SPLITTER_WIDTH, 0};
  std::int32_t ClientWidth = 0;
  std::int32_t ClientHeight = 0;
};

// The panes as the window's creation sets them for a first client size
// W0 x H0, before the first size message.
MainLayout initial_layout(std::int32_t client_width, std::int32_t client_height);

// The size message: w and h are the low and high 16 bits of lParam.  A new
// width puts the splitter back in the middle; a height-only change keeps it.
void layout_main_window(MainLayout& layout, std::uint32_t size_lparam);

// The splitter strip: a hit when SplitterPane.X <= x <= X + Width and
// SplitterPane.Y <= y <= Y + Height, both ends included.
bool splitter_hit(const MainLayout& layout, std::int32_t x, std::int32_t y);

// Whether a drag may put the bar at x: TreePane.X <= x <=
// ListPane.X + ListPane.Width - 75.
bool drag_bar_allowed(const MainLayout& layout, std::int32_t x);

// The caption band: where each bitmap is drawn and which strips are filled
// black, for the panes of a layout.
struct CaptionBand {
  std::int32_t FoldersX = 0;
  std::int32_t FoldersFillLeft = 0, FoldersFillRight = 0;
  std::int32_t FoldersEndX = 0;
  std::int32_t FilesX = 0;
  std::int32_t FilesFillLeft = 0, FilesFillRight = 0;
  std::int32_t FilesEndX = 0;
};
CaptionBand caption_band(const MainLayout& layout);

}  // namespace kelvora
