#include "viewer/catalogue/properties.h"

#include "viewer/base/message_sink.h"

namespace kelvora {
namespace {

double kilobytes(std::uint32_t bytes) { return static_cast<double>(bytes) / 1024.0; }
double megabytes(std::uint32_t bytes) {
  return static_cast<double>(bytes) / 1048576.0;
}
unsigned long ul(std::uint32_t value) { return static_cast<unsigned long>(value); }

}  // namespace

std::string show_totals(const CatalogueTotals& t) {
  return format_text(256, "%lu Bytes - %0.2f KB - %0.2f MB - %lu Folders - %lu Files",
                     ul(t.CdBytes), kilobytes(t.CdBytes), megabytes(t.CdBytes),
                     ul(t.CdFolders), ul(t.CdFiles));
}

SelectionTotals compute_totals(const Catalogue& catalogue, TreeNodeIndex node) {
  SelectionTotals totals;
  const EntryIndex entry = tree_item_entry(catalogue, node);
  if (entry != NO_ENTRY && catalogue.Entries[entry].is_root()) {
    totals.SumBytes = catalogue.Totals.CdBytes;
    totals.SumFiles = catalogue.Totals.CdFiles;
    totals.SumFolders = catalogue.Totals.CdFolders;
    return totals;
  }
  sum_folder_totals(catalogue, node, totals);
  return totals;
}

void sum_folder_totals(const Catalogue& catalogue, TreeNodeIndex node,
                       SelectionTotals& totals) {
  const EntryIndex entry = tree_item_entry(catalogue, node);
  if (entry == NO_ENTRY) return;
  totals.SumBytes += folder_bytes(catalogue, entry);
  totals.SumFiles += folder_file_count(catalogue, entry);
  for (TreeNodeIndex child = tree_first_child(catalogue, node); child != NO_NODE;
       child = tree_next_sibling(catalogue, child)) {
    totals.SumFolders += 1;
    const EntryIndex sub = tree_item_entry(catalogue, child);
    if (sub == NO_ENTRY) continue;
    totals.SumBytes += folder_bytes(catalogue, sub);
    totals.SumFiles += folder_file_count(catalogue, sub);
  }
}

std::string encryption_text(std::uint32_t flags) {
  if (!(flags & CRYPT_ENCRYPTED)) return "Not encrypted.";
  std::string text;
  if (flags & CRYPT_BITCRYPT) text += "BitCrypt ";
  if (flags & CRYPT_SCRAMBLE) text += "SCRAMBLE ";
  if (flags & CRYPT_PGP) text += "PGP ";
  if (flags & CRYPT_BLOWFISH) text += "BlowFish ";
  if (flags & CRYPT_2FISH) text += "2Fish ";
  text += (flags & CRYPT_FULL) ? " - ( FULL )" : " - ( FAST )";
  return text;
}

PropertiesLines properties_template() {
  return {"File or Folder", "9999", "Name", "XOR   ( Fast )"};
}

std::optional<PropertiesLines> tree_properties(const Catalogue& catalogue,
                                               TreeNodeIndex node) {
  const EntryIndex entry = tree_item_entry(catalogue, node);
  if (entry == NO_ENTRY) return std::nullopt;
  const CryptItem& item = catalogue.Entries[entry];
  const SelectionTotals totals = compute_totals(catalogue, node);
  PropertiesLines lines;
  lines.Type = item.is_root() ? "Whole CD" : "Folder";
  lines.Size = format_text(
      MESSAGE_BUFFER,
      "Total %lu Bytes ( %0.2f KB/%0.2f MB) - Files: %lu - Sub Folders: %lu",
      ul(totals.SumBytes), kilobytes(totals.SumBytes), megabytes(totals.SumBytes),
      ul(totals.SumFiles), ul(totals.SumFolders));
  lines.Encryption = encryption_text(item.CryptFlags);
  lines.Name = item.is_root() ? "Whole CD" : item.Name;
  return lines;
}

std::optional<PropertiesLines> list_properties(const Catalogue& catalogue,
                                               const LIST_ITEM* row) {
  if (!row || row->Item >= catalogue.Entries.size()) return std::nullopt;
  const CryptItem& item = catalogue.Entries[row->Item];
  PropertiesLines lines;
  lines.Type = "File";
  lines.Size = format_text(MESSAGE_BUFFER, "%lu Bytes ( %0.2f KB/%0.2f MB)",
                           ul(item.Size), kilobytes(item.Size), megabytes(item.Size));
  lines.Encryption = encryption_text(item.CryptFlags);
  lines.Name = item.is_root() ? "Whole CD" : item.Name;
  return lines;
}

}  // namespace kelvora
