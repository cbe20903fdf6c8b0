// Resource and control ids of the viewer: dialogs, menu, bitmaps, icons,
// cursor, and the controls inside the dialogs.
#pragma once

#define IDD_LICENCE 101
#define IDM_MAIN_MENU 102
#define IDD_PASSWORD 103
#define IDI_ROOT 105
#define IDD_PROPERTIES 106
#define IDD_ABOUT 109
#define IDB_BANNER 110
#define IDD_PROGRESS 111
#define IDB_EXPORT_FIRST 112  // seven frames, 112 to 118
#define IDB_EXPORT_LAST 118
#define IDI_FOLDER 119
#define IDI_SELECTED_FOLDER 120
#define IDI_FILE 121
#define IDC_SPLITTER 122
#define IDB_FILES_CAPTION 124
#define IDB_FOLDERS_CAPTION 125
#define IDB_CAPTION_END 126

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

// Licence dialog.
#define IDC_LICENCE_TEXT 1000
// Password dialog.
#define IDC_PASSWORD 1001
// Properties dialog.
#define IDC_PROP_TYPE 1000
#define IDC_PROP_NAME 1002
#define IDC_PROP_ENCRYPTION 1003
#define IDC_PROP_SIZE 1004
#define IDC_PROP_SPARE 1005
// About box.
#define IDC_ABOUT_WEBSITE 1003
#define IDC_ABOUT_BUILD 1004

// Menu and context-menu commands.
#define CMD_PROPERTIES 7654
#define CMD_OPEN_WITH 7655
#define CMD_EXPORT 7656
#define CMD_VIEW_OPEN 7657
#define CMD_EXIT 40005
#define CMD_HELP 40006
#define CMD_ABOUT 40007
#define CMD_WEBSITE 40008
