// A fuzzed CD extracted into a temporary target: nothing may appear outside
// it, and nothing may crash.  The input is split into a catalogue region and
// a data file; the viewer file around the catalogue is built here, so that
// the fuzzer spends its time on records and names, not on the trailer.
#include <cstdlib>
#include <cstring>

#include "viewer/base/little_endian.h"
#include "tests/fuzz/fuzz_support.h"
#include "viewer/catalogue/catalogue.h"
#include "viewer/container/ciphers.h"
#include "viewer/container/stored_values.h"
#include "viewer/extract/engine.h"

namespace fs = std::filesystem;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kelvora;
  fuzz::quiet_setup();
  if (size < 8) return 0;
  const std::uint32_t item_count = read_le32(data) % 4096;
  const std::size_t catalogue_size = std::min<std::size_t>(read_le32(data + 4), size - 8);
  const std::uint8_t* catalogue = data + 8;
  const std::uint8_t* contents = catalogue + catalogue_size;
  const std::size_t contents_size = size - 8 - catalogue_size;

  const fs::path root = fuzz::scratch() / "run";
  std::error_code error;
  fs::remove_all(root, error);
  const fs::path cd = root / "cd";
  const fs::path target = root / "target" / "inside";
  fs::create_directories(cd);
  fs::create_directories(target);

  // viewer.exe: catalogue, settings, trailer; KELVORA1.DAT: the contents.
  std::vector<std::uint8_t> viewer(catalogue, catalogue + catalogue_size);
  xor_all(ContainerKey.data(), viewer.data(), viewer.size());
  std::vector<std::uint8_t> settings(SETTINGS_BLOCK_SIZE, 0);
  xor_all(ContainerKey.data(), settings.data(), settings.size());
  viewer.insert(viewer.end(), settings.begin(), settings.end());
  std::uint8_t trailer[TRAILER_SIZE] = {};
  write_le32(trailer + 4, static_cast<std::uint32_t>(catalogue_size));
  write_le32(trailer + 8, item_count);
  write_le32(trailer + 16, static_cast<std::uint32_t>(SETTINGS_BLOCK_SIZE));
  write_le32(trailer + 36, TRAILER_MAGIC);
  viewer.insert(viewer.end(), trailer, trailer + TRAILER_SIZE);
  fuzz::write_bytes(cd / "viewer.exe", viewer.data(), viewer.size());
  fuzz::write_bytes(cd / "KELVORA1.DAT", contents, contents_size);

  ViewerFile loaded;
  Catalogue cat;
  if (!load_viewer_file((cd / "viewer.exe").string(), loaded) || !load_catalogue(loaded, cat))
    std::abort();  // the frame built above is always valid
  Extractor x(loaded, cat, "");
  for (TreeNodeIndex n = cat.FirstTopLevel; n != NO_NODE; n = tree_next_sibling(cat, n))
    export_folder(x, cat.Nodes[n].Entry, target.string());
  std::vector<EntryIndex> files;
  for (EntryIndex e = 0; e < cat.Entries.size(); ++e)
    if (cat.Entries[e].is_file()) files.push_back(e);
  export_selection(x, files, target.string());

  // Nothing but the target may have appeared beside the CD, and nothing
  // beside "inside" in the target's parent.
  for (const auto& entry : fs::directory_iterator(root))
    if (entry.path() != cd && entry.path() != root / "target") std::abort();
  for (const auto& entry : fs::directory_iterator(root / "target"))
    if (entry.path() != target) std::abort();
  for (const auto& entry : fs::directory_iterator(cd))
    if (entry.path().filename() != "viewer.exe" && entry.path().filename() != "KELVORA1.DAT")
      std::abort();
  return 0;
}
