// A fuzzed CD extracted into a temporary target that already holds files
// and links of the user's: nothing may be written outside target/Kelvora,
// no byte outside may change, and nothing may crash.  The input is a small
// header, a catalogue region and a data file; the viewer file around the
// catalogue is built here, so that the fuzzer spends its time on records
// and names, not on the trailer.
//
// Header: item count (32 bits), catalogue size (32 bits), then one byte of
// choices: bit 0 deciphers with a key (else the contents are plain and
// copied inside the kernel), bits 1-3 pick the code page the names are
// converted from (0: none, as the viewer writes them), bit 4 plants files
// and links in the target first, bits 5-6 say what to do with existing
// files.
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "tests/fuzz/fuzz_support.h"
#include "viewer/base/codepage.h"
#include "viewer/base/little_endian.h"
#include "viewer/base/path_text.h"
#include "viewer/catalogue/catalogue.h"
#include "viewer/container/ciphers.h"
#include "viewer/container/stored_values.h"
#include "viewer/extract/engine.h"

namespace fs = std::filesystem;

namespace {

// Code pages whose conversion can turn harmless bytes into separators and
// dots, or double-byte characters whose second byte is a backslash.
const char* const CODE_PAGES[] = {nullptr,  "windows-1252", "windows-1251", "UTF-7",
                                  "IBM037", "CP932",        "CP950",        "UTF-16LE"};
const unsigned NAME_CODE_PAGES[] = {1252, 1252, 1251, 1252, 1252, 932, 950, 1252};

// Everything below a directory that the export must leave alone: kind, link
// target or contents.
std::map<std::string, std::string> snapshot(const fs::path& root) {
  std::map<std::string, std::string> seen;
  std::error_code error;
  for (auto it = fs::recursive_directory_iterator(root, error);
       !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
    const std::string key = it->path().lexically_relative(root).string();
    if (it->is_symlink())
      seen[key] = "link " + fs::read_symlink(it->path()).string();
    else if (it->is_directory())
      seen[key] = "dir";
    else
      seen[key] = "file " + std::to_string(fs::file_size(it->path(), error));
  }
  return seen;
}

void plant(const fs::path& target, const fs::path& outside) {
  const fs::path k = target / "Kelvora";
  fs::create_directories(k / "Docs");
  kelvora::fuzz::write_bytes(k / "a", reinterpret_cast<const std::uint8_t*>("mine"), 4);
  kelvora::fuzz::write_bytes(k / "Docs" / "b", reinterpret_cast<const std::uint8_t*>("mine"), 4);
  std::error_code error;
  fs::create_directory_symlink(outside, k / "l", error);
  fs::create_directory_symlink(outside, k / "Docs" / "x", error);
  fs::create_symlink(outside / "victim", k / "f", error);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kelvora;
  fuzz::quiet_setup();
  if (size < 9) return 0;
  const std::uint32_t item_count = read_le32(data) % 16384;
  const std::size_t catalogue_size = std::min<std::size_t>(read_le32(data + 4), size - 9);
  const std::uint8_t choices = data[8];
  const std::uint8_t* catalogue = data + 9;
  const std::uint8_t* contents = catalogue + catalogue_size;
  const std::size_t contents_size = size - 9 - catalogue_size;

  const fs::path root = fuzz::scratch() / "run";
  std::error_code error;
  fs::remove_all(root, error);
  const fs::path cd = root / "cd";
  const fs::path target = root / "target";
  const fs::path outside = root / "outside";
  fs::create_directories(cd);
  fs::create_directories(target);
  fs::create_directories(outside / "deeper");
  fuzz::write_bytes(outside / "victim", reinterpret_cast<const std::uint8_t*>("untouched"), 9);
  if (choices & 0x10) plant(target, outside);

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

  const auto outside_before = snapshot(outside);
  ViewerFile loaded;
  Catalogue cat;
  if (!load_viewer_file((cd / "viewer.exe").string(), loaded) || !load_catalogue(loaded, cat))
    std::abort();  // the frame built above is always valid

  const unsigned page = (choices >> 1) & 7;
  set_name_code_page(NAME_CODE_PAGES[page]);
  Extractor x(loaded, cat, (choices & 1) ? "fuzz key" : "");
  if (const char* code_page = CODE_PAGES[page])
    x.LocalText = [code_page](const std::string& text) {
      return to_utf8(text, code_page).value_or(text);
    };
  x.Existing = static_cast<ExistingFiles>(((choices >> 5) & 3) % 3);
  x.LimitViewerDirectory = false;
  export_whole_cd(x, target.string());
  // The files one by one, as the list's rows are exported.
  std::vector<EntryIndex> files;
  for (EntryIndex e = 0; e < cat.Entries.size(); ++e)
    if (cat.Entries[e].is_file()) files.push_back(e);
  fs::create_directories(target / "Kelvora" / "rows", error);
  export_selection(x, files, (target / "Kelvora" / "rows").string());
  set_name_code_page(1252);

  // Nothing but Kelvora in the target, nothing new beside the CD and the
  // target, and not one byte changed outside.
  for (const auto& entry : fs::directory_iterator(root))
    if (entry.path() != cd && entry.path() != target && entry.path() != outside) std::abort();
  for (const auto& entry : fs::directory_iterator(target))
    if (entry.path().filename() != "Kelvora") std::abort();
  for (const auto& entry : fs::directory_iterator(cd))
    if (entry.path().filename() != "viewer.exe" && entry.path().filename() != "KELVORA1.DAT")
      std::abort();
  if (snapshot(outside) != outside_before) std::abort();
  return 0;
}
