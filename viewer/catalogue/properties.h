// Totals and the Properties dialog's lines, free of windows: the status
// bar's whole-CD text, a tree node's two-level totals, the encryption labels.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "viewer/catalogue/catalogue.h"
#include "viewer/catalogue/file_list.h"

namespace kelvora {

// Totals of the selection that Properties describes (unsigned, wrapping).
struct SelectionTotals {
  std::uint32_t SumFolders = 0;
  std::uint32_t SumFiles = 0;
  std::uint32_t SumBytes = 0;
};

// The status bar's text for the whole CD:
// "%lu Bytes - %0.2f KB - %0.2f MB - %lu Folders - %lu Files".
std::string show_totals(const CatalogueTotals& totals);

// The CD root: the whole-CD counters; a folder: sum_folder_totals.
SelectionTotals compute_totals(const Catalogue& catalogue, TreeNodeIndex node);

// Adds a folder's files, its direct sub-folders' count and their files into
// totals; deeper levels are neither counted nor summed.
void sum_folder_totals(const Catalogue& catalogue, TreeNodeIndex node,
                       SelectionTotals& totals);

// "Not encrypted." without CRYPT_ENCRYPTED; otherwise the labels in their
// fixed order (BitCrypt, SCRAMBLE, PGP, BlowFish, 2Fish) and " - ( FULL )"
// or " - ( FAST )".
std::string encryption_text(std::uint32_t crypt_flags);

// The four filled lines of the Properties dialog.
struct PropertiesLines {
  std::string Type;        // control 1000
  std::string Size;        // control 1004
  std::string Name;        // control 1002
  std::string Encryption;  // control 1003
};

// The template's texts, shown when nothing is selected.
PropertiesLines properties_template();

// Lines for a tree node (none when the node has no entry) and for a list
// row (none without row or entry).
std::optional<PropertiesLines> tree_properties(const Catalogue& catalogue,
                                               TreeNodeIndex node);
std::optional<PropertiesLines> list_properties(const Catalogue& catalogue,
                                               const LIST_ITEM* row);

}  // namespace kelvora
