// Start-screen placement and the main window's layout rule.
#include <gtest/gtest.h>

#include "viewer/container/viewer_file.h"
#include "viewer/shell/about.h"
#include "viewer/shell/main_layout.h"
#include "viewer/shell/start_screen_layout.h"

namespace kelvora {
namespace {

TEST(StartScreen, BackgroundPlacementByTheFirstBitPresent) {
  const std::uint32_t W = 1024, H = 768;
  struct Case {
    std::uint32_t flags;
    std::int32_t bw, bh;
    std::vector<ScreenRect> copies;
  } cases[] = {
      {0, 100, 50, {{0, 0, 1024, 768}}},
      {FLAG_BACKGROUND_QUARTERS | FLAG_BACKGROUND_TOP_LEFT, 100, 50,
       {{0, 0, 512, 384}, {512, 0, 512, 384}, {0, 384, 512, 384}, {512, 384, 512, 384}}},
      {FLAG_BACKGROUND_TOP_LEFT | FLAG_BACKGROUND_CENTRED, 100, 50, {{0, 0, 100, 50}}},
      {FLAG_BACKGROUND_TOP, 101, 50, {{462, 0, 101, 50}}},
      {FLAG_BACKGROUND_BOTTOM | FLAG_BACKGROUND_BOTTOM_LEFT, 100, 50, {{462, 718, 100, 50}}},
      {FLAG_BACKGROUND_BOTTOM_LEFT, 100, 50, {{0, 718, 100, 50}}},
      {FLAG_BACKGROUND_CENTRED, 100, 50, {{462, 359, 100, 50}}},
      // Wider and larger than the screen: negative coordinates.
      {FLAG_BACKGROUND_TOP, 2000, 50, {{-488, 0, 2000, 50}}},
      {FLAG_BACKGROUND_CENTRED, 2001, 1001, {{-488, -116, 2001, 1001}}},
      {FLAG_BACKGROUND_TILED, 0, 50, {}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(background_copies(c.flags, W, H, c.bw, c.bh), c.copies) << std::hex << c.flags;
  // Odd screen sizes: the lower quarters start at H - H/2.
  EXPECT_EQ(background_copies(FLAG_BACKGROUND_QUARTERS, 1025, 769, 1, 1)[3],
            (ScreenRect{512, 385, 512, 384}));
}

TEST(StartScreen, TilesCoverTheWholeScreen) {
  const auto tiles = background_copies(FLAG_BACKGROUND_TILED, 250, 100, 100, 40);
  ASSERT_EQ(tiles.size(), 9u);  // 3 across, 3 down
  EXPECT_EQ(tiles.front(), (ScreenRect{0, 0, 100, 40}));
  EXPECT_EQ(tiles.back(), (ScreenRect{200, 80, 100, 40}));
}

TEST(StartScreen, LogoPlacement) {
  struct Case {
    std::uint32_t flags;
    LogoPlacement where;
  } cases[] = {
      {0, {0, 0, false}},
      {FLAG_LOGO_TOP_LEFT | FLAG_LOGO_CENTRED, {0, 0, false}},
      {FLAG_LOGO_TOP, {462, 0, false}},
      {FLAG_LOGO_BOTTOM | FLAG_LOGO_BOTTOM_LEFT, {462, 738, false}},
      {FLAG_LOGO_BOTTOM_LEFT, {0, 738, false}},
      {FLAG_LOGO_CENTRED, {462, 369, false}},
      {FLAG_LOGO_AT_XY, {70000, -70000, false}},
      {FLAG_LOGO_AT_XY | FLAG_LOGO_TRANSPARENT, {4464, -4464, true}},
      {FLAG_LOGO_TRANSPARENT, {0, 0, true}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(logo_placement(c.flags, 1024, 768, 100, 30, 70000, -70000), c.where)
        << std::hex << c.flags;
}

TEST(StartScreen, TextScanCountsLinesAndTheWidestOne) {
  EXPECT_EQ(scan_screen_text("ab\r\nabcd\r\n").Lines, 2);
  EXPECT_EQ(scan_screen_text("ab\r\nabcd\r\n").MaxWidth, 6);
  EXPECT_EQ(scan_screen_text("ab").Lines, 0);
  EXPECT_EQ(scan_screen_text("ab").MaxWidth, 0);
  EXPECT_EQ(scan_screen_text("abcdef\r\nx\r\n").MaxWidth, 6);
}

TEST(StartScreen, TextLinesAndTheirPlaces) {
  // Three lines at the bottom with Hc 20: the first line at SH - 66.
  const auto bottom = layout_screen_text("one\r\ntwo\r\nsix\r\n", TEXT_BOTTOM_LEFT, 1024, 768,
                                         20, 8, 5, 5);
  ASSERT_EQ(bottom.size(), 3u);
  EXPECT_EQ(bottom[0], (ScreenTextLine{"one", 0, 702}));
  EXPECT_EQ(bottom[1], (ScreenTextLine{"two", 0, 724}));
  EXPECT_EQ(bottom[2], (ScreenTextLine{"six", 0, 746}));

  // No line break: nothing is drawn.
  EXPECT_TRUE(layout_screen_text("ab", 0, 1024, 768, 20, 8, 0, 0).empty());
  // An empty line takes no space; text after the last break is not drawn.
  const auto gaps = layout_screen_text("a\r\n\r\nb\r\ntail", 0, 1024, 768, 15, 8, 7, 9);
  ASSERT_EQ(gaps.size(), 2u);
  EXPECT_EQ(gaps[0], (ScreenTextLine{"a", 7, 9}));
  EXPECT_EQ(gaps[1], (ScreenTextLine{"b", 7, 25}));  // trunc(16.5) = 16

  // Centred: x from the widest line, y from half the lines.
  const auto centred = layout_screen_text("ab\r\nabcd\r\n", TEXT_CENTRED, 1024, 768, 20, 10, 0, 0);
  EXPECT_EQ(centred[0].X, 512 - 30);
  EXPECT_EQ(centred[0].Y, 384 - 22);
  const auto top = layout_screen_text("ab\r\n", TEXT_TOP | TEXT_CENTRED, 1024, 768, 20, 10, 0, 0);
  EXPECT_EQ(top[0], (ScreenTextLine{"ab", 502, 0}));

  // A line longer than the line buffer is cut, not overrun.
  const auto cut = layout_screen_text(std::string(5000, 'x') + "\r\n", 0, 1, 1, 1, 1, 0, 0);
  ASSERT_EQ(cut.size(), 1u);
  EXPECT_EQ(cut[0].Text.size(), 1023u);
}

TEST(StartScreen, ExtremeSettingsGiveFarOffPlacesNotUndefinedArithmetic) {
  // Text far down: the second line's place wraps instead of overflowing.
  const auto far = layout_screen_text("a\r\nb\r\n", 0, 1024, 768, 20, 8, INT32_MAX, INT32_MAX);
  ASSERT_EQ(far.size(), 2u);
  EXPECT_EQ(far[0].Y, INT32_MAX);
  EXPECT_EQ(far[1].Y, INT32_MIN + 21);
  // A giant font: the centred x and the bottom y stay in range.
  const auto giant = layout_screen_text("ab\r\n", TEXT_BOTTOM, 1024, 768, INT32_MAX, INT32_MAX,
                                        0, 0);
  ASSERT_EQ(giant.size(), 1u);
  EXPECT_EQ(giant[0].Y, INT32_MIN);
  // Pictures wider than any screen, on the largest screen.
  EXPECT_EQ(background_copies(FLAG_BACKGROUND_TOP, UINT32_MAX, UINT32_MAX, INT32_MIN, 1)[0].X,
            static_cast<std::int32_t>(0x7FFFFFFFu + 0x40000000u));
  EXPECT_EQ(logo_placement(FLAG_LOGO_BOTTOM, 0, 0, INT32_MIN, INT32_MIN, 0, 0).Y, INT32_MIN);
}

TEST(MainWindowLayout, WidthChangesRecentreTheSplitterHeightChangesKeepIt) {
  MainLayout l = initial_layout(800, 600);
  EXPECT_EQ(l.TreePane, (PANE_RECT{2, 0, 21, 395, 570}));
  EXPECT_EQ(l.ListPane, (PANE_RECT{3, 400, 21, 395, 570}));
  EXPECT_EQ(l.SplitterPane, (PANE_RECT{4, 395, 21, 5, 570}));
  EXPECT_EQ(l.StatusPane, (PANE_RECT{1, 0, 0, 800, 16}));

  layout_main_window(l, (700u << 16) | 1280u);
  EXPECT_EQ(l.SplitterPane, (PANE_RECT{4, 635, 21, 5, 649}));
  EXPECT_EQ(l.TreePane, (PANE_RECT{2, 0, 21, 635, 649}));
  EXPECT_EQ(l.ListPane, (PANE_RECT{3, 640, 21, 640, 649}));
  EXPECT_EQ(l.StatusPane, (PANE_RECT{1, 0, 670, 1279, 16}));

  // A dragged splitter survives a height-only change.
  l.SplitterPane.X = 300;
  layout_main_window(l, (500u << 16) | 1280u);
  EXPECT_EQ(l.SplitterPane.X, 300);
  EXPECT_EQ(l.SplitterPane.Height, 649);
  EXPECT_EQ(l.TreePane, (PANE_RECT{2, 0, 21, 300, 449}));
  EXPECT_EQ(l.ListPane, (PANE_RECT{3, 305, 21, 975, 449}));

  // Minimising changes the width: the splitter goes back to the middle.
  layout_main_window(l, 0u);
  layout_main_window(l, (500u << 16) | 1280u);
  EXPECT_EQ(l.SplitterPane.X, 635);
}

TEST(MainWindowLayout, CaptionBand) {
  MainLayout l = initial_layout(800, 600);
  layout_main_window(l, (600u << 16) | 800u);
  const CaptionBand b = caption_band(l);
  EXPECT_EQ(b.FoldersFillLeft, 78);
  EXPECT_EQ(b.FoldersFillRight, 391);
  EXPECT_EQ(b.FoldersEndX, 391);
  EXPECT_EQ(b.FilesX, 399);
  EXPECT_EQ(b.FilesFillLeft, 452);
  EXPECT_EQ(b.FilesFillRight, 796);
  EXPECT_EQ(b.FilesEndX, 796);
}

TEST(Splitter, HitsIncludeBothEdgesAndTheDragStopsShortOfTheRight) {
  MainLayout l = initial_layout(800, 600);
  layout_main_window(l, (600u << 16) | 800u);  // same width: the strip keeps 395, 21, 5 x 570
  struct Case {
    std::int32_t x, y;
    bool hit;
  } hits[] = {{395, 21, true}, {400, 591, true}, {394, 100, false}, {401, 100, false},
              {397, 20, false}, {397, 592, false}};
  for (const Case& c : hits) EXPECT_EQ(splitter_hit(l, c.x, c.y), c.hit) << c.x << "," << c.y;
  EXPECT_TRUE(drag_bar_allowed(l, 0));
  EXPECT_FALSE(drag_bar_allowed(l, -1));
  EXPECT_TRUE(drag_bar_allowed(l, 725));
  EXPECT_FALSE(drag_bar_allowed(l, 726));
  // A drag to 0 leaves the tree 0 pixels wide; the list keeps the rest.
  l.SplitterPane.X = 0;
  layout_main_window(l, (600u << 16) | 800u);
  EXPECT_EQ(l.TreePane.Width, 0);
  EXPECT_EQ(l.ListPane, (PANE_RECT{3, 5, 21, 795, 549}));
  EXPECT_TRUE(splitter_hit(l, 0, 30));
}

TEST(About, BuildTimeOnATwelveHourClock) {
  struct Case {
    const char* time;
    const char* text;
  } cases[] = {{"13:49:44", "1:49:44 PM"}, {"12:05:09", "12:05:09 AM"},
               {"00:30:00", "0:30:00 AM"}, {"23:59:59", "11:59:59 PM"},
               {"09:01:02", "9:01:02 AM"}};
  for (const Case& c : cases) EXPECT_EQ(build_time_text(c.time), c.text) << c.time;
  EXPECT_EQ(build_stamp("Aug 23 2003", "13:49:44"), "Build: 1:49:44 PM Aug 23 2003");
}

}  // namespace
}  // namespace kelvora
