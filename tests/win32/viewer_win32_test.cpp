// The viewer's Windows front end in-process: real dialogs and windows,
// driven by a CBT hook and by messages, read back through the controls.
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <regex>
#include <cstring>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/test_support.h"
#include "viewer/catalogue/panes_win32.h"
#include "viewer/catalogue/properties.h"
#include "viewer/container/assets_win32.h"
#include "viewer/container/password.h"
#include "viewer/container/stored_values.h"
#include "viewer/shell/main_window_win32.h"
#include "viewer/base/pictures_win32.h"
#include "viewer/extract/commands_win32.h"
#include "viewer/resources/resource.h"
#include "viewer/base/viewer_globals_win32.h"
#include "viewer/container/viewer_file.h"
#include "viewer/catalogue/catalogue.h"
#include "viewer/shell/main_layout.h"
#include "viewer/startup/dialogs_win32.h"
#include "viewer/startup/message_boxes_win32.h"
#include "viewer/shell/about.h"
#include "writer/writer.h"

namespace kelvora {
namespace {

// Answers each dialog or message box as it activates, in order, and notes
// "caption|text" of each (the text of a message box, empty for a dialog).
struct DialogScript {
  std::deque<std::function<void(HWND)>> Steps;
  std::vector<std::string> Seen;
};
DialogScript* Script = nullptr;
HHOOK Hook = nullptr;

std::deque<HWND> Activated;

// Runs inside the box's own modal loop, once its controls are filled.
void CALLBACK on_timer(HWND, UINT, UINT_PTR timer, DWORD) {
  KillTimer(nullptr, timer);
  while (Script && !Activated.empty() && !Script->Steps.empty()) {
    HWND window = Activated.front();
    Activated.pop_front();
    if (!IsWindow(window)) continue;
    char caption[256] = {}, text[1024] = {};
    GetWindowTextA(window, caption, sizeof caption);
    GetDlgItemTextA(window, 0xFFFF, text, sizeof text);
    Script->Seen.push_back(std::string(caption) + "|" + text);
    auto step = std::move(Script->Steps.front());
    Script->Steps.pop_front();
    step(window);
  }
}

LRESULT CALLBACK on_cbt(int code, WPARAM wparam, LPARAM lparam) {
  if (code == HCBT_ACTIVATE && Script) {
    HWND window = reinterpret_cast<HWND>(wparam);
    char cls[64] = {};
    GetClassNameA(window, cls, sizeof cls);
    if (std::string(cls) == "#32770" &&
        std::find(Activated.begin(), Activated.end(), window) == Activated.end()) {
      Activated.push_back(window);
      SetTimer(nullptr, 0, 50, on_timer);
    }
  }
  return CallNextHookEx(Hook, code, wparam, lparam);
}

class Scripted {
 public:
  explicit Scripted(DialogScript& script) {
    Script = &script;
    Hook = SetWindowsHookExA(WH_CBT, on_cbt, nullptr, GetCurrentThreadId());
  }
  ~Scripted() {
    UnhookWindowsHookEx(Hook);
    Script = nullptr;
    Activated.clear();
  }
};

void press(HWND dialog, int button) {
  PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog, button)));
}
std::function<void(HWND)> type_and_ok(std::string password) {
  return [password](HWND dialog) {
    SetDlgItemTextA(dialog, 1001, password.c_str());
    press(dialog, IDOK);
  };
}
std::function<void(HWND)> answer(int button) {
  return [button](HWND box) { press(box, button); };
}

void set_check_block(const std::string& password) {
  Viewer.Settings.ContentKey.fill('\0');
  const auto block = password_check_block(password);
  std::memcpy(Viewer.Settings.ContentKey.data(), block.data(), block.size());
}

const char* const kRetry =
    "Password Incorrect.|Password incorrect, do you want to try again?\r\n\r\n( case sensitive "
    "- make sure \"CAPS LOCK\" is not on )";

TEST(PasswordDialog, TheRightPasswordBecomesTheContentKey) {
  set_check_block("Secret");
  Cancelled = false;
  DialogScript script;
  script.Steps = {type_and_ok("Secret")};
  {
    Scripted scripted(script);
    run_password_dialog();
  }
  EXPECT_FALSE(Cancelled);
  EXPECT_STREQ(Viewer.Settings.content_key(), "Secret");
  EXPECT_EQ(script.Seen, std::vector<std::string>{"Enter password:|"});
}

TEST(PasswordDialog, AWrongPasswordAndNoCancel) {
  set_check_block("Secret");
  Cancelled = false;
  DialogScript script;
  script.Steps = {type_and_ok("secret"), answer(IDNO)};
  {
    Scripted scripted(script);
    run_password_dialog();
  }
  EXPECT_TRUE(Cancelled);
  ASSERT_EQ(script.Seen.size(), 2u);
  EXPECT_EQ(script.Seen[1], kRetry);
}

TEST(PasswordDialog, CancelCancels) {
  set_check_block("Secret");
  Cancelled = false;
  DialogScript script;
  script.Steps = {answer(IDCANCEL)};
  {
    Scripted scripted(script);
    run_password_dialog();
  }
  EXPECT_TRUE(Cancelled);
}

TEST(LicenceDialog, ShowsTheTextAndTheCloseBoxDeclines) {
  Viewer.LicenceText = "Terms of use\r\nSecond line";
  std::string shown;
  for (bool accept : {false, true}) {
    Cancelled = false;
    DialogScript script;
    script.Steps = {[&](HWND dialog) {
      char text[256] = {};
      GetDlgItemTextA(dialog, 1000, text, sizeof text);
      shown = text;
      if (accept)
        press(dialog, IDOK);
      else
        PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    }};
    {
      Scripted scripted(script);
      run_licence_dialog();
    }
    EXPECT_EQ(shown, "Terms of use\r\nSecond line");
    EXPECT_EQ(Cancelled, !accept);
    EXPECT_EQ(script.Seen, std::vector<std::string>{"End User Licence Agreement|"});
  }
}

// A 24-bit bitmap of the given pixels in one row.
HBITMAP row_bitmap(HDC dc, const std::vector<COLORREF>& pixels) {
  HBITMAP bitmap = CreateCompatibleBitmap(dc, static_cast<int>(pixels.size()), 1);
  HDC memory = CreateCompatibleDC(dc);
  HGDIOBJ old = SelectObject(memory, bitmap);
  for (std::size_t i = 0; i < pixels.size(); ++i) SetPixel(memory, static_cast<int>(i), 0, pixels[i]);
  SelectObject(memory, old);
  DeleteDC(memory);
  return bitmap;
}

std::vector<COLORREF> pixels_of(HDC dc, HBITMAP bitmap, int count) {
  HDC memory = CreateCompatibleDC(dc);
  HGDIOBJ old = SelectObject(memory, bitmap);
  std::vector<COLORREF> pixels;
  for (int i = 0; i < count; ++i) pixels.push_back(GetPixel(memory, i, 0));
  SelectObject(memory, old);
  DeleteDC(memory);
  return pixels;
}

TEST(Pictures, OnlyTheExactKeyColourIsTransparentAndTheBitmapStaysAsItWas) {
  HDC screen = GetDC(nullptr);
  const COLORREF key = RGB(255, 0, 255), close_by = RGB(254, 0, 255), blue = RGB(0, 0, 255);
  HBITMAP source = row_bitmap(screen, {key, close_by, blue, key});
  HBITMAP target = row_bitmap(screen, {RGB(9, 9, 9), RGB(9, 9, 9), RGB(9, 9, 9), RGB(9, 9, 9)});
  HDC memory = CreateCompatibleDC(screen);
  HGDIOBJ old = SelectObject(memory, target);
  draw_transparent(memory, source, 0, 0, key);
  SelectObject(memory, old);
  DeleteDC(memory);
  EXPECT_EQ(pixels_of(screen, target, 4),
            (std::vector<COLORREF>{RGB(9, 9, 9), close_by, blue, RGB(9, 9, 9)}));
  EXPECT_EQ(pixels_of(screen, source, 4), (std::vector<COLORREF>{key, close_by, blue, key}));

  // Flattened onto a colour: the magenta pixels take the colour.
  HBITMAP flat = flatten_bitmap(source, RGB(10, 200, 30));
  ASSERT_NE(flat, nullptr);
  EXPECT_EQ(pixels_of(screen, flat, 4),
            (std::vector<COLORREF>{RGB(10, 200, 30), close_by, blue, RGB(10, 200, 30)}));
  HBITMAP all_key = row_bitmap(screen, {key, key});
  HBITMAP filled = flatten_bitmap(all_key, RGB(1, 2, 3));
  EXPECT_EQ(pixels_of(screen, filled, 2), (std::vector<COLORREF>{RGB(1, 2, 3), RGB(1, 2, 3)}));
  for (HBITMAP b : {source, target, flat, all_key, filled}) DeleteObject(b);
  ReleaseDC(nullptr, screen);
}

// The start-up assets: a picture whose copy fails goes on without a box; a
// font that cannot be read or allocated ends start-up after its one box.
TEST(StartupAssets, AFontThatCannotBeHadEndsStartUpAPictureCopyThatFailsDoesNot) {
  test::TempDir dir;
  CdDescription cd;
  cd.Items = {test::root_item(), test::file_item(2, 1, "a.txt", "alpha")};
  cd.Logo = test::pattern_bytes(5000, 6);
  cd.Font = test::pattern_bytes(4000, 7);
  const WrittenCd written = write_cd(cd, dir.path());
  ASSERT_TRUE(load_viewer_file(written.ViewerPath.string(), Viewer));
  // Cut inside the logo: its copy runs short, and the font cannot be read.
  std::filesystem::resize_file(written.ViewerPath,
                               region_span(Viewer.Trailer, Region::Logo).Offset + 100);
  {
    test::MessageRecorder recorder;
    EXPECT_FALSE(load_startup_pictures_and_font());
    EXPECT_EQ(recorder.lines(),
              std::vector<std::string>{"Error: (522524)|Cannot read the viewer file. Aborting."});
  }
  if (sizeof(void*) == 4) {
    // More than a 32-bit program can hold (the region is taken to fit the
    // file): the allocation's own message, and start-up ends.
    Viewer.Settings.Flags &= ~FLAG_LOGO;
    Viewer.Trailer.FontSize = 0xF0000000u;
    Viewer.FileLength = 0x1'0000'0000ull + 0x1000;
    test::MessageRecorder recorder;
    EXPECT_FALSE(load_startup_pictures_and_font());
    EXPECT_EQ(recorder.lines(),
              std::vector<std::string>{"Error: (135235)|Cannot Allocate Custom Font."});
  }
  Viewer = ViewerFile{};
}

// One main window for the tests below, on a CD written here.
class MainWindowTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    static test::TempDir dir;
    CdDescription cd;
    cd.Items = {test::root_item(), test::folder_item(2, 1, "Letters"),
                test::file_item(3, 2, "beta", "b"), test::file_item(4, 2, "Alpha", "aa"),
                test::file_item(5, 2, "alpha2.txt", std::string(1536, 'x')),
                test::file_item(6, 2, "Beta", "bb"), test::folder_item(7, 1, "Deep"),
                test::folder_item(8, 7, "Deeper"), test::file_item(9, 1, "top.doc", "t")};
    const WrittenCd written = write_cd(cd, dir.path());
    ASSERT_TRUE(load_viewer_file(written.ViewerPath.string(), Viewer));
    AppInstance = GetModuleHandleA(nullptr);
    ASSERT_TRUE(load_icons_and_frames());
    ASSERT_EQ(create_main_window(), 1);
  }

  static std::string tree_label(HTREEITEM item, UINT* state = nullptr) {
    char text[256] = {};
    TVITEMA tv{};
    tv.mask = TVIF_TEXT | TVIF_STATE | TVIF_HANDLE;
    tv.stateMask = TVIS_EXPANDED;
    tv.hItem = item;
    tv.pszText = text;
    tv.cchTextMax = sizeof text;
    SendMessageA(TreeWindow, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&tv));
    if (state) *state = tv.state;
    return text;
  }
  static HTREEITEM next(HTREEITEM item, UINT how) {
    return reinterpret_cast<HTREEITEM>(
        SendMessageA(TreeWindow, TVM_GETNEXTITEM, how, reinterpret_cast<LPARAM>(item)));
  }
  static std::string cell(int row, int column) {
    char text[256] = {};
    LVITEMA item{};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = sizeof text;
    SendMessageA(ListWindow, LVM_GETITEMTEXTA, static_cast<WPARAM>(row),
                 reinterpret_cast<LPARAM>(&item));
    return text;
  }
  static void click(HTREEITEM item) {
    RECT rect{};
    std::memcpy(&rect, &item, sizeof item);
    SendMessageA(TreeWindow, TVM_GETITEMRECT, TRUE, reinterpret_cast<LPARAM>(&rect));
    POINT p{rect.left + 5, (rect.top + rect.bottom) / 2};
    ClientToScreen(TreeWindow, &p);
    SetCursorPos(p.x, p.y);
    NMHDR notification{TreeWindow, 2, static_cast<UINT>(NM_CLICK)};
    SendMessageA(MainWindow, WM_NOTIFY, 2, reinterpret_cast<LPARAM>(&notification));
  }
};

TEST_F(MainWindowTest, TheTreeMirrorsTheCatalogueAndTheStatusBarHasTheTotals) {
  char title[64] = {};
  GetWindowTextA(MainWindow, title, sizeof title);
  EXPECT_STREQ(title, "Viewer");
  char status[256] = {};
  GetWindowTextA(StatusWindow, status, sizeof status);
  EXPECT_STREQ(status, show_totals(Cat.Totals).c_str());
  EXPECT_STREQ(status, "1542 Bytes - 1.51 KB - 0.00 MB - 3 Folders - 5 Files");

  HTREEITEM root = next(nullptr, TVGN_ROOT);
  UINT state = 0;
  EXPECT_EQ(tree_label(root, &state), "Kelvora");
  EXPECT_TRUE(state & TVIS_EXPANDED) << "the first CD root starts expanded";
  HTREEITEM letters = next(root, TVGN_CHILD);
  EXPECT_EQ(tree_label(letters), "Letters");
  HTREEITEM deep = next(letters, TVGN_NEXT);
  EXPECT_EQ(tree_label(deep, &state), "Deep");
  EXPECT_FALSE(state & TVIS_EXPANDED);
  EXPECT_EQ(tree_label(next(deep, TVGN_CHILD)), "Deeper");
  EXPECT_EQ(next(root, TVGN_NEXT), nullptr);
  EXPECT_EQ(tree_item_entry(TreeWindow, letters), 1u);
}

TEST_F(MainWindowTest, AClickListsTheFolderFilesInFirstLetterOrder) {
  HTREEITEM letters = next(next(nullptr, TVGN_ROOT), TVGN_CHILD);
  click(letters);
  ASSERT_EQ(SendMessageA(ListWindow, LVM_GETITEMCOUNT, 0, 0), 4);
  EXPECT_EQ(cell(0, 0), "Alpha");
  EXPECT_EQ(cell(1, 0), "alpha2.txt");
  EXPECT_EQ(cell(2, 0), "beta");
  EXPECT_EQ(cell(3, 0), "Beta");
  EXPECT_EQ(cell(1, 1), "1536 bytes ( 1.50 kb/0.00 MB )");
  EXPECT_EQ(reinterpret_cast<HTREEITEM>(SendMessageA(TreeWindow, TVM_GETNEXTITEM, TVGN_CARET, 0)),
            letters);

  // Another folder replaces every row; an empty one empties the pane.
  click(next(nullptr, TVGN_ROOT));
  ASSERT_EQ(SendMessageA(ListWindow, LVM_GETITEMCOUNT, 0, 0), 1);
  EXPECT_EQ(cell(0, 0), "top.doc");
  click(next(letters, TVGN_NEXT));
  EXPECT_EQ(SendMessageA(ListWindow, LVM_GETITEMCOUNT, 0, 0), 0);
}

TEST_F(MainWindowTest, TheLayoutFollowsTheSizeMessage) {
  SendMessageA(MainWindow, WM_SIZE, 0, MAKELPARAM(1000, 700));
  auto placed = [](HWND control) {
    RECT r;
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, MainWindow, reinterpret_cast<POINT*>(&r), 2);
    return r;
  };
  const RECT tree = placed(TreeWindow), list = placed(ListWindow);
  EXPECT_EQ(tree.left, 0);
  EXPECT_EQ(tree.top, 21);
  EXPECT_EQ(tree.right - tree.left, 495);
  EXPECT_EQ(tree.bottom - tree.top, 649);
  EXPECT_EQ(list.left, 500);
  EXPECT_EQ(list.right - list.left, 500);
  EXPECT_EQ(Layout.StatusPane, (PANE_RECT{1, 0, 670, 999, 16}));
  // A height-only change keeps a dragged splitter.
  Layout.SplitterPane.X = 300;
  SendMessageA(MainWindow, WM_SIZE, 0, MAKELPARAM(1000, 600));
  EXPECT_EQ(placed(TreeWindow).right, 300);
  EXPECT_EQ(placed(ListWindow).left, 305);
}

std::vector<std::string> menu_items(HMENU menu) {
  std::vector<std::string> items;
  for (int i = 0; i < GetMenuItemCount(menu); ++i) {
    char text[64] = {};
    GetMenuStringA(menu, static_cast<UINT>(i), text, sizeof text, MF_BYPOSITION);
    const UINT state = GetMenuState(menu, static_cast<UINT>(i), MF_BYPOSITION);
    items.push_back(std::string(text) + ":" + std::to_string(GetMenuItemID(menu, i)) +
                    ((state & MF_GRAYED) ? ":grey" : ""));
  }
  DestroyMenu(menu);
  return items;
}

TEST_F(MainWindowTest, ContextMenusHaveTheirItemsAndGreyExportWhenItIsNotAllowed) {
  const std::uint32_t flags = Viewer.Settings.Flags;
  Viewer.Settings.Flags = flags & ~FLAG_NO_EXPORT;
  EXPECT_EQ(menu_items(build_tree_menu()),
            (std::vector<std::string>{"Export:7656", "Properties:7654"}));
  EXPECT_EQ(menu_items(build_list_menu()),
            (std::vector<std::string>{"View/Open:7657", "View/Open With...:7655", "Export:7656",
                                      "Properties:7654"}));
  Viewer.Settings.Flags = flags | FLAG_NO_EXPORT;
  EXPECT_EQ(menu_items(build_tree_menu()),
            (std::vector<std::string>{"Export:7656:grey", "Properties:7654"}));
  EXPECT_EQ(menu_items(build_list_menu())[2], "Export:7656:grey");
  Viewer.Settings.Flags = flags;
}

// Opens Properties and returns the four lines it shows.
std::vector<std::string> properties_shown() {
  std::vector<std::string> lines;
  DialogScript script;
  script.Steps = {[&](HWND dialog) {
    for (int id : {IDC_PROP_TYPE, IDC_PROP_SIZE, IDC_PROP_NAME, IDC_PROP_ENCRYPTION}) {
      char text[512] = {};
      GetDlgItemTextA(dialog, id, text, sizeof text);
      lines.push_back(text);
    }
    press(dialog, IDCANCEL);
  }};
  Scripted scripted(script);
  SendMessageA(MainWindow, WM_COMMAND, CMD_PROPERTIES, 0);
  return lines;
}

TEST_F(MainWindowTest, PropertiesDescribeTheTreeSelectionOrTheFirstSelectedRow) {
  HTREEITEM root = next(nullptr, TVGN_ROOT);
  click(root);
  PropertiesSource = SOURCE_TREE;
  EXPECT_EQ(properties_shown(),
            (std::vector<std::string>{"Whole CD",
                                      "Total 1542 Bytes ( 1.51 KB/0.00 MB) - Files: 5 - Sub "
                                      "Folders: 3",
                                      "Whole CD", " - ( FAST )"}));
  HTREEITEM letters = next(root, TVGN_CHILD);
  click(letters);
  PropertiesSource = SOURCE_LIST;
  LVITEMA select{};
  select.stateMask = LVIS_SELECTED;
  select.state = LVIS_SELECTED;
  SendMessageA(ListWindow, LVM_SETITEMSTATE, 1, reinterpret_cast<LPARAM>(&select));
  SendMessageA(ListWindow, LVM_SETITEMSTATE, 3, reinterpret_cast<LPARAM>(&select));
  EXPECT_EQ(properties_shown(),
            (std::vector<std::string>{"File", "1536 Bytes ( 1.50 KB/0.00 MB)", "alpha2.txt",
                                      " - ( FAST )"}));
  PropertiesSource = 0;
  EXPECT_EQ(properties_shown(), (std::vector<std::string>{"File or Folder", "9999", "Name",
                                                           "XOR   ( Fast )"}));
}

TEST_F(MainWindowTest, TheAboutBoxShowsTheBuildStampAndEscapeLeavesItOpen) {
  std::string stamp;
  int activations = 0;
  DialogScript script;
  script.Steps = {[&](HWND dialog) {
    ++activations;
    char text[256] = {};
    GetDlgItemTextA(dialog, IDC_ABOUT_BUILD, text, sizeof text);
    stamp = text;
    press(dialog, IDCANCEL);  // ignored: the box stays
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
  }};
  {
    Scripted scripted(script);
    SendMessageA(MainWindow, WM_COMMAND, CMD_ABOUT, 0);
  }
  EXPECT_EQ(activations, 1);
  // The build's own time and date, on a 12-hour clock.
  EXPECT_TRUE(std::regex_match(
      stamp, std::regex("Build: ([1-9]|1[0-2]|0):[0-5][0-9]:[0-5][0-9] (AM|PM) "
                        "[A-Z][a-z][a-z] [ 1-3][0-9] [0-9]{4}")))
      << stamp;
}

TEST_F(MainWindowTest, TheSplitterDragStopsAtItsLimitsAndLaysThePanesOut) {
  SendMessageA(MainWindow, WM_SIZE, 0, MAKELPARAM(900, 700));
  SendMessageA(MainWindow, WM_SIZE, 0, MAKELPARAM(1000, 700));
  const PANE_RECT strip = Layout.SplitterPane;
  ASSERT_EQ(strip.X, 495);
  // The moves and the release wait in the queue for the drag's own loop.
  PostMessageA(MainWindow, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(300, 200));
  PostMessageA(MainWindow, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(990, 200));  // past the limit
  PostMessageA(MainWindow, WM_LBUTTONUP, 0, MAKELPARAM(990, 200));
  SendMessageA(MainWindow, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(strip.X + 2, 100));
  EXPECT_EQ(Layout.SplitterPane.X, 300);
  RECT tree;
  GetWindowRect(TreeWindow, &tree);
  EXPECT_EQ(tree.right - tree.left, 300);
  EXPECT_EQ(Layout.ListPane.X, 305);
}

TEST_F(MainWindowTest, ExportingListRowsWritesThemIntoThePickedFolder) {
  test::TempDir target;
  SetCurrentDirectoryA(target.path().string().c_str());
  click(next(next(nullptr, TVGN_ROOT), TVGN_CHILD));  // Letters
  LVITEMA select{};
  select.stateMask = LVIS_SELECTED;
  select.state = 0;
  SendMessageA(ListWindow, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&select));
  select.state = LVIS_SELECTED;
  SendMessageA(ListWindow, LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&select));
  SendMessageA(ListWindow, LVM_SETITEMSTATE, 1, reinterpret_cast<LPARAM>(&select));
  PropertiesSource = SOURCE_LIST;
  DialogScript script;
  // Pick the target in the folder browser, then confirm the report.
  const std::string wanted = target.path().string();
  script.Steps = {[&](HWND browser) {
                    SendMessageA(browser, BFFM_SETSELECTIONA, TRUE,
                                 reinterpret_cast<LPARAM>(wanted.c_str()));
                    press(browser, IDOK);
                  },
                  answer(IDOK)};
  {
    Scripted scripted(script);
    SendMessageA(MainWindow, WM_COMMAND, CMD_EXPORT, 0);
  }
  ASSERT_EQ(script.Seen.size(), 2u);
  const std::string report = "Finished:|File(s) has been exported to ";
  ASSERT_EQ(script.Seen[1].rfind(report, 0), 0u) << script.Seen[1];
  // The files are where the report says they are.
  std::string folder = script.Seen[1].substr(report.size());
  folder.pop_back();  // the full stop
  const std::filesystem::path out(folder);
  EXPECT_EQ(test::read_file(out / "Alpha"), test::bytes_of("aa"));
  EXPECT_EQ(test::read_file(out / "alpha2.txt").size(), 1536u);
  EXPECT_FALSE(std::filesystem::exists(out / "beta"));
}

}  // namespace
}  // namespace kelvora

namespace {
LONG WINAPI crashed(EXCEPTION_POINTERS*) {
  // A crash must fail the run: without this the exit code is random.
  TerminateProcess(GetCurrentProcess(), 3);
  return EXCEPTION_EXECUTE_HANDLER;
}
}  // namespace

int main(int argc, char** argv) {
  SetUnhandledExceptionFilter(crashed);
  kelvora::unscramble_stored_values();
  kelvora::install_message_boxes();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
