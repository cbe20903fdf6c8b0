// The viewer's process-wide state on Windows, declared once: what start-up
// loads, the handles of the main window and its controls, and the catalogue
// and lists that the panes show.  The definitions are in the entry's folder
// (viewer/startup/viewer_globals_win32.cpp); the record types are declared
// by the folders that own them, and a file that uses a value includes its
// type's header.
//
// Threads: everything here belongs to the main thread, with one exception.
// While a folder exports, the progress dialog runs on a second thread and
// shares exactly two values with the copy on the main thread:
// ProgressDialog (set by the dialog when it opens, read by the copy to
// close it) and ExportAborted (set by the dialog when it closes, read by the
// copy between files and chunks).  The dialog also reads ExportFrames and
// AppInstance, which do not change after start-up.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <vector>

#include "viewer/base/handles_win32.h"

namespace kelvora {

struct ViewerFile;
struct Catalogue;
struct LIST_ITEM;
struct TempFileList;
struct MainLayout;

// Start-up (entry, loader, start screen).
extern HINSTANCE AppInstance;
extern bool Cancelled;
extern ViewerFile Viewer;  // Trailer, Settings, ViewerPath, LicenceText
extern int ScreenWidth;
extern int ScreenHeight;

// Start-up assets.  The two pictures are released when the start screen
// ends; the icons and frames live for the whole run.
extern GdiBitmap BackgroundBitmap;
extern int BackgroundWidth, BackgroundHeight;
extern GdiBitmap LogoBitmap;
extern int LogoWidth, LogoHeight;
extern HICON RootIcon, FolderIcon, SelectedFolderIcon, FileIcon;
extern std::array<HBITMAP, 7> ExportFrames;

// Main window.
extern HWND MainWindow, StatusWindow, TreeWindow, ListWindow;
extern MainLayout Layout;  // StatusPane, TreePane, ListPane, SplitterPane, client size
extern HCURSOR SplitterCursor;
extern GdiBitmap FoldersCaption, FilesCaption, CaptionEnd;
extern std::int32_t PropertiesSource;
constexpr std::int32_t SOURCE_TREE = 2;
constexpr std::int32_t SOURCE_LIST = 3;

// Catalogue and panes.
extern Catalogue Cat;
extern ImageList TreeImages;
extern std::vector<HTREEITEM> TreeHandles;  // tree control item of each model node
extern std::vector<LIST_ITEM> FileList;
extern ImageList FileListImages;
extern TempFileList TempFiles;

// Export (shared with the progress dialog's thread, see above).  Set when
// the progress dialog closes, cleared when an Export starts.
extern std::atomic<bool> ExportAborted;
extern HWND ProgressDialog;

}  // namespace kelvora
