// The viewer's process-wide state on Windows: what start-up loads, the
// handles of the main window and its controls, and the catalogue and lists
// that the panes show.  Everything lives on the main thread.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <array>
#include <string>
#include <vector>

#include "viewer/catalogue/catalogue.h"
#include "viewer/catalogue/file_list.h"
#include "viewer/container/viewer_file.h"
#include "viewer/extract/temp_files.h"
#include "viewer/shell/main_layout.h"

namespace kelvora {

// Start-up (entry, loader, start screen).
extern HINSTANCE AppInstance;
extern bool Cancelled;
extern ViewerFile Viewer;  // Trailer, Settings, ViewerPath, LicenceText
extern int ScreenWidth;
extern int ScreenHeight;

// Start-up assets.
extern HBITMAP BackgroundBitmap;
extern int BackgroundWidth, BackgroundHeight;
extern HBITMAP LogoBitmap;
extern int LogoWidth, LogoHeight;
extern HICON RootIcon, FolderIcon, SelectedFolderIcon, FileIcon;
extern std::array<HBITMAP, 7> ExportFrames;

// Main window.
extern HWND MainWindow, StatusWindow, TreeWindow, ListWindow;
extern MainLayout Layout;  // StatusPane, TreePane, ListPane, SplitterPane, client size
extern HCURSOR SplitterCursor;
extern HBITMAP FoldersCaption, FilesCaption, CaptionEnd;
extern std::int32_t PropertiesSource;
constexpr std::int32_t SOURCE_TREE = 2;
constexpr std::int32_t SOURCE_LIST = 3;

// Catalogue and panes.
extern Catalogue Cat;
extern HIMAGELIST TreeImages;
extern std::vector<HTREEITEM> TreeHandles;  // tree control item of each model node
extern std::vector<LIST_ITEM> FileList;
extern HIMAGELIST FileListImages;
extern TempFileList TempFiles;

}  // namespace kelvora
