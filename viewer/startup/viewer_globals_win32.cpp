// The definitions of the process-wide state declared in
// viewer/base/viewer_globals_win32.h.
#include "viewer/base/viewer_globals_win32.h"

#include "viewer/catalogue/catalogue.h"
#include "viewer/catalogue/file_list.h"
#include "viewer/container/viewer_file.h"
#include "viewer/extract/temp_files.h"
#include "viewer/shell/main_layout.h"

namespace kelvora {

HINSTANCE AppInstance = nullptr;
bool Cancelled = false;
ViewerFile Viewer;
int ScreenWidth = 0;
int ScreenHeight = 0;

GdiBitmap BackgroundBitmap;
int BackgroundWidth = 0, BackgroundHeight = 0;
GdiBitmap LogoBitmap;
int LogoWidth = 0, LogoHeight = 0;
HICON RootIcon = nullptr, FolderIcon = nullptr, SelectedFolderIcon = nullptr,
      FileIcon = nullptr;
std::array<HBITMAP, 7> ExportFrames{};

HWND MainWindow = nullptr, StatusWindow = nullptr, TreeWindow = nullptr, ListWindow = nullptr;
MainLayout Layout;
HCURSOR SplitterCursor = nullptr;
GdiBitmap FoldersCaption, FilesCaption, CaptionEnd;
std::int32_t PropertiesSource = 0;

Catalogue Cat;
ImageList TreeImages;
std::vector<HTREEITEM> TreeHandles;
std::vector<LIST_ITEM> FileList;
ImageList FileListImages;
TempFileList TempFiles;

std::atomic<bool> ExportAborted{false};
HWND ProgressDialog = nullptr;

}  // namespace kelvora
