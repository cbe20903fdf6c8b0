#include "viewer/shell/main_layout.h"

namespace kelvora {

MainLayout initial_layout(std::int32_t W0, std::int32_t H0) {
  MainLayout l;
  l.ClientWidth = W0;
  l.ClientHeight = H0;
  l.StatusPane = {1, 0, 0, W0, 16};
  l.TreePane = {2, 0, 21, W0 / 2 - 5, H0 - 30};
  l.ListPane = {3, W0 / 2, 21, W0 / 2 - 5, H0 - 30};
  l.SplitterPane = {4, l.TreePane.X + l.TreePane.Width, l.TreePane.Y, SPLITTER_WIDTH,
                    l.TreePane.Height};
  return l;
}

void layout_main_window(MainLayout& l, std::uint32_t size_lparam) {
  const std::int32_t w = static_cast<std::int32_t>(size_lparam & 0xFFFF);
  const std::int32_t h = static_cast<std::int32_t>((size_lparam >> 16) & 0xFFFF);
  if (w != l.ClientWidth) {
    l.SplitterPane.X = w / 2 - l.SplitterPane.Width;
    l.SplitterPane.Height = h - 51;
  }
  l.ClientHeight = h;
  l.ClientWidth = w;
  l.TreePane = {2, 0, 21, l.SplitterPane.X, h - 51};
  l.ListPane = {3, l.SplitterPane.X + l.SplitterPane.Width, 21,
                w - l.SplitterPane.X - l.SplitterPane.Width, h - 51};
  l.StatusPane = {1, 0, h - 30, w - 1, 16};
}

bool splitter_hit(const MainLayout& l, std::int32_t x, std::int32_t y) {
  const PANE_RECT& s = l.SplitterPane;
  return s.X <= x && x <= s.X + s.Width && s.Y <= y && y <= s.Y + s.Height;
}

bool drag_bar_allowed(const MainLayout& l, std::int32_t x) {
  return l.TreePane.X <= x && x <= l.ListPane.X + l.ListPane.Width - 75;
}

CaptionBand caption_band(const MainLayout& l) {
  CaptionBand b;
  b.FoldersX = 0;
  b.FoldersFillLeft = FOLDERS_CAPTION_WIDTH;
  b.FoldersFillRight = l.TreePane.Width - CAPTION_END_WIDTH;
  b.FoldersEndX = l.TreePane.Width - CAPTION_END_WIDTH;
  b.FilesX = l.ListPane.X - 1;
  b.FilesFillLeft = l.ListPane.X + 52;
  b.FilesFillRight = l.ListPane.X + l.ListPane.Width - CAPTION_END_WIDTH;
  b.FilesEndX = l.ListPane.X + l.ListPane.Width - CAPTION_END_WIDTH;
  return b;
}

}  // namespace kelvora
