#include "viewer/shell/viewer_globals_win32.h"

namespace kelvora {

HINSTANCE AppInstance = nullptr;
bool Cancelled = false;
ViewerFile Viewer;
int ScreenWidth = 0;
int ScreenHeight = 0;

HBITMAP BackgroundBitmap = nullptr;
int BackgroundWidth = 0, BackgroundHeight = 0;
HBITMAP LogoBitmap = nullptr;
int LogoWidth = 0, LogoHeight = 0;
HICON RootIcon = nullptr, FolderIcon = nullptr, SelectedFolderIcon = nullptr,
      FileIcon = nullptr;
std::array<HBITMAP, 7> ExportFrames{};

HWND MainWindow = nullptr, StatusWindow = nullptr, TreeWindow = nullptr, ListWindow = nullptr;
MainLayout Layout;
HCURSOR SplitterCursor = nullptr;
HBITMAP FoldersCaption = nullptr, FilesCaption = nullptr, CaptionEnd = nullptr;
std::int32_t PropertiesSource = 0;

Catalogue Cat;
HIMAGELIST TreeImages = nullptr;
std::vector<HTREEITEM> TreeHandles;
std::vector<LIST_ITEM> FileList;
HIMAGELIST FileListImages = nullptr;
TempFileList TempFiles;

}  // namespace kelvora
