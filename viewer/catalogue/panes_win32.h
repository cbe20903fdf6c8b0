// The folder tree and the file list as Windows controls: the tree mirrors
// the catalogue's tree model, the list shows a folder's files with shell
// icons and asks for its texts on demand.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include "viewer/catalogue/catalogue.h"

namespace kelvora {

// Builds the tree's image list, reads the catalogue and fills the tree and
// the status bar.  False after its message.
bool load_catalogue_into(HWND tree);

// The entry a tree item carries, or NO_ENTRY when the tree cannot say.
EntryIndex tree_item_entry(HWND tree, HTREEITEM item);

int add_list_columns();
void fill_file_list(EntryIndex folder);
// The list's own notifications (its texts on demand); the main window
// routes its clicks to the commands.
LRESULT file_list_notify(HWND window, NMHDR* notification);

// A click on the tree: select the node under the pointer and list its files.
LRESULT tree_click(HWND window, NMHDR* notification);

}  // namespace kelvora
