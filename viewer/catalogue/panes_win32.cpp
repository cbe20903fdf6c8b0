#include "viewer/catalogue/panes_win32.h"

#include <objbase.h>
#include <shellapi.h>

#include <array>
#include <map>
#include <cstring>

#include "viewer/catalogue/file_list.h"
#include "viewer/catalogue/properties.h"
#include "viewer/base/viewer_globals_win32.h"
#include "viewer/catalogue/catalogue.h"
#include "viewer/base/message_sink.h"

namespace kelvora {
namespace {

// IconCache: slot s holds (s, image index) once the system icon s is in
// FileListImages; 9999 marks a free slot.
constexpr int ICON_SLOTS = 4000;
constexpr int FREE_SLOT = 9999;
std::array<std::pair<int, int>, ICON_SLOTS> IconCache;

bool ComponentsReady = false;

// The shell's answer for a name asked by its attributes alone depends only
// on the name's extension: each extension is asked once per fill.
std::string extension_key(const std::string& name) {
  const std::size_t dot = name.find_last_of('.');
  const std::size_t slash = name.find_last_of("\\/");
  std::string ext = dot == std::string::npos || (slash != std::string::npos && slash > dot)
                        ? std::string()
                        : name.substr(dot);
  CharLowerBuffA(ext.data(), static_cast<DWORD>(ext.size()));
  return ext;
}

}  // namespace

EntryIndex tree_item_entry(HWND tree, HTREEITEM item) {
  if (!item) return NO_ENTRY;
  TVITEMA tv{};
  tv.mask = TVIF_PARAM | TVIF_HANDLE;
  tv.hItem = item;
  if (!SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&tv))) return NO_ENTRY;
  const auto entry = static_cast<EntryIndex>(tv.lParam);
  return entry < Cat.Entries.size() ? entry : NO_ENTRY;
}

bool load_catalogue_into(HWND tree) {
  TreeImages.reset(ImageList_Create(16, 16, ILC_COLOR, 3, 4000));
  if (!TreeImages) {
    show_error("Error: 101", "Cannot create image list...");
    return false;
  }
  HIMAGELIST images = TreeImages.get();
  ImageList_SetBkColor(images, RGB(255, 255, 255));
  const int root_image = ImageList_AddIcon(images, RootIcon);
  const int folder_image = ImageList_AddIcon(images, FolderIcon);
  const int selected_image = ImageList_AddIcon(images, SelectedFolderIcon);
  const int file_image = ImageList_AddIcon(images, FileIcon);
  if (root_image < 0 || folder_image < 0 || selected_image < 0 || file_image < 0) {
    show_error("Error: 36", "Cannot add icon...");
    return false;
  }
  SendMessageA(tree, TVM_SETIMAGELIST, TVSIL_NORMAL, reinterpret_cast<LPARAM>(images));

  if (!load_catalogue(Viewer, Cat)) return false;

  // The model's nodes were made in catalogue order, parents first.
  TreeHandles.assign(Cat.Nodes.size(), nullptr);
  SendMessageA(tree, WM_SETREDRAW, FALSE, 0);
  for (TreeNodeIndex n = 0; n < Cat.Nodes.size(); ++n) {
    const TreeNode& node = Cat.Nodes[n];
    const bool root = Cat.Entries[node.Entry].is_root();
    TVINSERTSTRUCTA insert{};
    // A node whose parent could not be inserted goes to the top level.
    insert.hParent = node.Parent != NO_NODE && TreeHandles[node.Parent]
                         ? TreeHandles[node.Parent]
                         : TVI_ROOT;
    insert.hInsertAfter = TVI_LAST;
    insert.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_PARAM | TVIF_STATE;
    insert.item.pszText = const_cast<char*>(node.Label.c_str());
    insert.item.iImage = root ? root_image : folder_image;
    insert.item.iSelectedImage = root ? root_image : selected_image;
    insert.item.state = node.Expanded ? TVIS_EXPANDED : 0;
    insert.item.stateMask = TVIS_EXPANDED;
    insert.item.lParam = static_cast<LPARAM>(node.Entry);
    TreeHandles[n] = reinterpret_cast<HTREEITEM>(
        SendMessageA(tree, TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&insert)));
    if (!TreeHandles[n]) show_error("Error: 100", "cannot add item...( load layout )");
  }
  SendMessageA(tree, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(tree, nullptr, TRUE);
  // The status bar ends with the text the last record's refresh leaves;
  // without any record it keeps "Ready.".
  if (!Cat.Entries.empty())
    SetWindowTextA(StatusWindow, show_totals(Cat.Totals).c_str());
  return true;
}

int add_list_columns() {
  LVCOLUMNA column{};
  column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
  column.fmt = LVCFMT_LEFT;
  column.cx = 200;
  column.pszText = const_cast<char*>("File Name");
  column.iSubItem = 0;
  if (SendMessageA(ListWindow, LVM_INSERTCOLUMNA, 0, reinterpret_cast<LPARAM>(&column)) == -1) {
    show_error("Error: 34", "Cannot set current directory...");
    return 0;
  }
  column.cx = 70;
  column.pszText = const_cast<char*>("File Size");
  column.iSubItem = 1;
  if (SendMessageA(ListWindow, LVM_INSERTCOLUMNA, 1, reinterpret_cast<LPARAM>(&column)) == -1) {
    show_error("Error: 35", "Cannot set current directory...");
    return 0;
  }
  return 1;
}

namespace {

// The image of a name in FileListImages: the shell's small icon for a file
// of that name, added once per distinct system icon (IconCache).
int shell_image(const std::string& name, int default_image) {
  SHFILEINFOA info{};
  SHGetFileInfoA(name.c_str(), FILE_ATTRIBUTE_NORMAL, &info, sizeof info,
                 SHGFI_ICON | SHGFI_SMALLICON | SHGFI_USEFILEATTRIBUTES);
  const int s = info.iIcon;
  const IconHandle icon(info.hIcon);
  if (!icon) return default_image;  // no icon from the shell
  if (s < 0 || s >= ICON_SLOTS) {
    // No slot for it: the row keeps the file icon.
    show_error("WARNING (642456L):", "Icon index has been exceeded.");
    return default_image;
  }
  auto& slot = IconCache[static_cast<std::size_t>(s)];
  if (slot.first == s) return slot.second;
  const int added = ImageList_AddIcon(FileListImages.get(), icon.get());
  if (added < 0) return default_image;
  slot = {s, added};
  return added;
}

int show_file_list() {
  if (FileList.empty()) return 0;
  if (!ComponentsReady) {
    // The shell's icon query needs the component library on this thread.
    CoInitialize(nullptr);
    ComponentsReady = true;
  }
  IconCache.fill({FREE_SLOT, FREE_SLOT});
  SetCursor(LoadCursorA(nullptr, MAKEINTRESOURCEA(32514)));  // IDC_WAIT
  FileListImages.reset(
      ImageList_Create(16, 16, ILC_COLOR, static_cast<int>(FileList.size()), 4000));
  if (!FileListImages) {
    show_error("Error: 111336", "Cannot create image list ( file list - setup ).");
    return 0;
  }
  int default_image = ImageList_AddIcon(FileListImages.get(), FileIcon);
  if (default_image < 0) {
    show_error("Error: 821a", "Cannot add icon. ");
    default_image = 0;
  }
  IconCache[ICON_SLOTS - 1] = {ICON_SLOTS - 1, default_image};
  SendMessageA(ListWindow, LVM_SETIMAGELIST, LVSIL_SMALL,
               reinterpret_cast<LPARAM>(FileListImages.get()));
  SendMessageA(ListWindow, WM_SETREDRAW, FALSE, 0);
  std::map<std::string, int> image_of_extension;
  for (LIST_ITEM& row : FileList) {
    const std::string ext = extension_key(row.FileName);
    auto known = image_of_extension.find(ext);
    if (known == image_of_extension.end())
      known = image_of_extension.emplace(ext, shell_image(row.FileName, default_image)).first;
    const int image = known->second;
    LVITEMA item{};
    item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM | LVIF_STATE;
    item.iItem = row.Key;
    item.iImage = image;
    item.lParam = row.Key;
    item.pszText = LPSTR_TEXTCALLBACKA;
    const auto index = static_cast<int>(
        SendMessageA(ListWindow, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
    if (index == -1) {
      SendMessageA(ListWindow, WM_SETREDRAW, TRUE, 0);
      show_error("Error: 76", "Cannot add default icon.");
      return 0;
    }
    row.Index = index;
  }
  SendMessageA(ListWindow, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(ListWindow, nullptr, TRUE);
  SetCursor(LoadCursorA(nullptr, MAKEINTRESOURCEA(32512)));  // IDC_ARROW
  return 1;
}

}  // namespace

void fill_file_list(EntryIndex folder) {
  if (FileListImages) {
    SendMessageA(ListWindow, LVM_SETIMAGELIST, LVSIL_SMALL, 0);
    FileListImages.reset();
  }
  if (!SendMessageA(ListWindow, LVM_DELETEALLITEMS, 0, 0)) {
    show_error("Error: 63", "Cannot delete all image list items..");
    return;
  }
  FileList = build_file_list(Cat, folder);
  show_file_list();
}

LRESULT file_list_notify(HWND, NMHDR* notification) {
  if (notification->code == LVN_GETDISPINFOA) {
    auto* info = reinterpret_cast<NMLVDISPINFOA*>(notification);
    if (info->item.iItem == -1) return 0;
    if ((info->item.mask & LVIF_TEXT) && info->item.pszText && info->item.cchTextMax > 0) {
      const std::string text =
          list_item_text(find_list_item(FileList, info->item.iItem), info->item.iSubItem);
      lstrcpynA(info->item.pszText, text.c_str(), info->item.cchTextMax);
    }
  }
  return 0;
}

LRESULT tree_click(HWND, NMHDR*) {
  POINT screen;
  GetCursorPos(&screen);
  TVHITTESTINFO hit{};
  hit.pt = screen;
  ScreenToClient(TreeWindow, &hit.pt);
  const auto item = reinterpret_cast<HTREEITEM>(
      SendMessageA(TreeWindow, TVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
  if (!item) return 0;
  const EntryIndex entry = tree_item_entry(TreeWindow, item);
  SendMessageA(TreeWindow, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item));
  if (entry != NO_ENTRY) fill_file_list(entry);
  SendMessageA(TreeWindow, TVM_SELECTITEM, TVGN_DROPHILITE, reinterpret_cast<LPARAM>(item));
  return 0;
}

}  // namespace kelvora
