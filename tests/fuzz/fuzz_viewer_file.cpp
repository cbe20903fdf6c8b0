// A whole viewer file: trailer, settings, licence and every region.
#include "tests/fuzz/fuzz_support.h"
#include "viewer/container/viewer_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kelvora;
  fuzz::quiet_setup();
  const auto path = fuzz::scratch() / "viewer.exe";
  fuzz::write_bytes(path, data, size);
  ViewerFile viewer;
  if (!load_viewer_file(path.string(), viewer)) return 0;
  for (Region region : {Region::Licence, Region::Background, Region::Logo, Region::Font}) {
    // Sizes of regions up to the file's length only: read_region checks.
    std::vector<std::uint8_t> bytes;
    read_region(viewer, region, bytes);
  }
  decipher_region_to_file(viewer, Region::Logo, (fuzz::scratch() / "logo").string());
  return 0;
}
