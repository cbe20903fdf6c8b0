// A fuzzed ISO 9660 image read as the tool reads one: its descriptors, its
// directories walked (within bounds), every file opened as a range, the
// viewer file looked for in its root and loaded.  Nothing may crash or
// hang, every range must lie inside the image, and no listed name may
// climb out of its folder.
#include <cstdlib>
#include <memory>
#include <vector>

#include "tests/fuzz/fuzz_support.h"
#include "viewer/catalogue/catalogue.h"
#include "viewer/container/find_viewer.h"
#include "viewer/container/iso_image.h"
#include "viewer/container/viewer_file.h"

namespace {

using namespace kelvora;

// Walks below folder, at most a few levels and a few hundred entries.
void walk(const IsoImage& image, const std::string& folder, int depth, int& budget) {
  const auto entries = image.list(folder);
  if (!entries) return;
  for (const IsoEntry& e : *entries) {
    if (--budget < 0) return;
    if (e.Name.empty() || e.Name == "." || e.Name == ".." ||
        e.Name.find_first_of(std::string("/\\\0", 3)) != std::string::npos)
      std::abort();
    const std::string path = folder.empty() ? e.Name : folder + "/" + e.Name;
    if (e.Kind == IsoKind::Directory) {
      if (depth < 6) walk(image, path, depth + 1, budget);
      continue;
    }
    FileRange range = image.open_entry(e);
    if (!range) continue;
    if (range.Start > image.size() || range.Length > image.size() - range.Start) std::abort();
    std::vector<char> head(static_cast<std::size_t>(std::min<std::uint64_t>(range.Length, 4096)));
    if (!seek_to(range.File.get(), range.Start) ||
        std::fread(head.data(), 1, head.size(), range.File.get()) != head.size())
      std::abort();  // the image has not changed under us: the range must read
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::quiet_setup();
  const std::string path = (fuzz::scratch() / "image.iso").string();
  fuzz::write_bytes(path, data, size);
  auto image = std::make_shared<IsoImage>();
  if (!image->load(path).empty()) return 0;
  int budget = 500;
  walk(*image, "", 0, budget);
  image->find("a/b/../c");
  image->find("A\\B\\C");
  const std::vector<std::string> viewers = find_viewer_files(*image);
  if (viewers.size() == 1) {
    ViewerFile viewer;
    Catalogue cat;
    if (load_viewer_file(image, viewers[0], viewer)) load_catalogue(viewer, cat);
  }
  return 0;
}
