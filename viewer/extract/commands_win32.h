// View/Open, Open With, Export and the context menus of the two panes on
// Windows, over the extraction engine.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>

#include "viewer/catalogue/catalogue.h"

namespace kelvora {

void view_item(EntryIndex entry, const char* program);
void view_list_entry(int row, const char* program);
std::string pick_program();
std::string pick_folder(const char* title);
void export_tree_selection();

// The two context menus, built as they show.
HMENU build_tree_menu();
HMENU build_list_menu();

LRESULT tree_context_menu(HWND window, NMHDR* notification);
LRESULT tree_double_click(HWND window, NMHDR* notification);
LRESULT list_context_menu(HWND window, NMHDR* notification);
LRESULT list_double_click(HWND window, NMHDR* notification);

// The command table's commands that act on the panes.
void command_properties();
void command_open(bool with_program);
void command_export();

}  // namespace kelvora
