// Catalogue records into entries and the tree, and every walk over them:
// tree paths, file lists and their texts, totals and Properties lines.
#include "viewer/base/little_endian.h"
#include "tests/fuzz/fuzz_support.h"
#include "viewer/catalogue/catalogue.h"
#include "viewer/catalogue/file_list.h"
#include "viewer/catalogue/properties.h"
#include "viewer/extract/engine.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kelvora;
  fuzz::quiet_setup();
  if (size < 4) return 0;
  // The first four bytes are ItemCount; the rest is the deciphered region.
  const std::uint32_t item_count = read_le32(data);
  std::vector<std::uint8_t> region(data + 4, data + size);  // exact size
  Catalogue catalogue;
  parse_catalogue(region, item_count, catalogue);
  show_totals(catalogue.Totals);
  for (EntryIndex e = 0; e < catalogue.Entries.size(); ++e) {
    entry_tree_path(catalogue, e);
    unsafe_name_reason(catalogue.Entries[e].Name);
    if (catalogue.Entries[e].is_file()) continue;
    const auto rows = build_file_list(catalogue, e);
    for (int row = -1; row <= static_cast<int>(rows.size()); ++row) {
      list_item_text(find_list_item(rows, row), 0);
      list_item_text(find_list_item(rows, row), 1);
      list_properties(catalogue, find_list_item(rows, row));
    }
    ExportProgress totals;
    count_folder(catalogue, e, totals);
    tree_properties(catalogue, catalogue.Entries[e].TreeItem);
  }
  return 0;
}
