// Writes the seed corpora of the fuzz targets from writer-built CDs:
//   make_fuzz_seeds DIR  ->  DIR/<target>/<seed>
// The image target's seeds are the first CD's folder made into images by
// xorriso and genisoimage (where installed), cut after their last used
// sector, and a hand-laid image with Rock Ridge continuation areas.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/iso_bytes.h"
#include "viewer/base/little_endian.h"
#include "viewer/container/ciphers.h"
#include "viewer/container/stored_values.h"
#include "writer/writer.h"

namespace fs = std::filesystem;
using namespace kelvora;

namespace {

std::vector<std::uint8_t> read_all(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void put(const fs::path& dir, const std::string& name, const std::vector<std::uint8_t>& bytes) {
  fs::create_directories(dir);
  std::ofstream out(dir / name, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

WriterItem item(std::uint32_t id, std::uint32_t parent, std::uint32_t kind, std::string name,
                std::string contents = "") {
  WriterItem i;
  i.Id = id;
  i.ParentId = parent;
  i.Kind = kind;
  i.Name = std::move(name);
  i.Contents.assign(contents.begin(), contents.end());
  return i;
}

std::vector<CdDescription> sample_cds() {
  std::vector<CdDescription> cds;
  CdDescription plain;
  plain.Items = {item(1, 0, KIND_WHOLE_CD, "CD"), item(2, 1, KIND_FOLDER, "Docs"),
                 item(3, 2, KIND_FILE, "a.txt", "alpha"), item(4, 1, KIND_FILE, "b.bin", "bb"),
                 item(5, 2, KIND_FOLDER, "Sub"), item(6, 5, KIND_FILE, "c\\d.txt", "cd")};
  cds.push_back(plain);
  CdDescription rich = plain;
  rich.Licence = "licence";
  rich.Logo = {1, 2, 3, 4};
  rich.Background = {5, 6, 7};
  rich.Font = {8, 9};
  rich.Password = "pw";
  rich.Settings.ScreenText = "Hello\r\nWorld";
  rich.Settings.BackgroundFile = "C:\\pics\\sun.bmp";
  rich.Stub = {'M', 'Z'};
  cds.push_back(rich);
  CdDescription odd;
  odd.Items = {item(1, 0, KIND_WHOLE_CD, "CD"), item(2, 9, KIND_FOLDER, "orphan"),
               item(2, 1, KIND_FOLDER, "dup"), item(3, 3, KIND_FOLDER, "self"),
               item(4, 1, KIND_FILE, "..", "x"), item(5, 1, KIND_FILE, "", "")};
  cds.push_back(odd);
  // Thousands of records: folders of one name, files of one name in two
  // letter cases.
  CdDescription many;
  many.Items = {item(1, 0, KIND_WHOLE_CD, "CD")};
  for (std::uint32_t i = 0; i < 3000; ++i) {
    if (i % 10 == 0)
      many.Items.push_back(item(10 + i, 1, KIND_FOLDER, "D" + std::to_string(i % 7)));
    else
      many.Items.push_back(item(10 + i, 10 + i - i % 10, KIND_FILE, i % 3 ? "f.txt" : "F.TXT", "x"));
  }
  cds.push_back(many);
  return cds;
}

// The CD's folder as images of each kind, without the zero sectors that
// pad their ends.
void image_seeds(const fs::path& cd, const fs::path& out) {
  const char* makers[][2] = {
      {"xorriso-joliet-rr", "xorriso -as mkisofs -quiet -J -r"},
      {"xorriso-plain", "xorriso -as mkisofs -quiet --norock"},
      {"genisoimage-joliet", "genisoimage -quiet -J"},
      {"genisoimage-rr", "genisoimage -quiet -R"},
  };
  const fs::path image = fs::temp_directory_path() / "kelvora-seed.iso";
  for (const auto& [name, command] : makers) {
    fs::remove(image);
    const std::string line = std::string(command) + " -o '" + image.string() + "' '" +
                             cd.string() + "' >/dev/null 2>&1";
    if (std::system(line.c_str()) != 0) continue;
    auto bytes = read_all(image);
    std::size_t used = bytes.size();
    while (used >= 2048 && std::all_of(bytes.begin() + static_cast<long>(used - 2048),
                                       bytes.begin() + static_cast<long>(used),
                                       [](std::uint8_t b) { return b == 0; }))
      used -= 2048;
    bytes.resize(used);
    put(out, name, bytes);
  }
  fs::remove(image);

  using namespace kelvora::test;
  IsoBytes laid(24);
  laid.primary(20, 2048);
  laid.joliet(21, 2048);
  laid.put(22 * 2048, rr_nm("continued name", 1) + rr_ce(22, 0, 21) + rr_nm("end"));
  laid.directory(20, {iso_record(20, 2048, 2, iso_dot(), rr_sp()),
                      iso_record(20, 2048, 2, iso_dotdot()),
                      iso_record(23, 5, 0, iso_name("A.TXT;1"), rr_ce(22, 0, 40)),
                      iso_record(20, 2048, 2, iso_name("SUB"), rr_nm("sub")),
                      iso_record(23, 2048, 0x80, iso_name("BIG")),
                      iso_record(23, 5, 0, iso_name("BIG"))});
  laid.directory(21, {iso_record(21, 2048, 2, iso_dot()), iso_record(21, 2048, 2, iso_dotdot()),
                      iso_record(23, 5, 0, iso_ucs2(u"a.txt;1"))});
  laid.text(23, "hello");
  put(out, "laid-rock-ridge", laid.bytes());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_fuzz_seeds DIR\n");
    return 2;
  }
  unscramble_stored_values();
  const fs::path out = argv[1];
  const fs::path work = fs::temp_directory_path() / "kelvora-seeds";
  int n = 0;
  for (const CdDescription& cd : sample_cds()) {
    fs::remove_all(work);
    const WrittenCd written = write_cd(cd, work);
    const auto viewer = read_all(written.ViewerPath);
    const std::string name = "cd" + std::to_string(++n);
    put(out / "fuzz_viewer_file", name, viewer);

    // The deciphered regions, as the other targets take them.
    const VIEWER_TRAILER& t = written.Trailer;
    std::vector<std::uint8_t> catalogue(viewer.begin() + t.StubSize,
                                        viewer.begin() + t.StubSize + t.CatalogueSize);
    xor_all(ContainerKey.data(), catalogue.data(), catalogue.size());
    const std::size_t settings_at = t.StubSize + t.CatalogueSize + t.LicenceSize;
    std::vector<std::uint8_t> settings(viewer.begin() + static_cast<long>(settings_at),
                                       viewer.begin() + static_cast<long>(settings_at) + 4636);
    xor_all(ContainerKey.data(), settings.data(), settings.size());
    put(out / "fuzz_settings", name, settings);

    std::vector<std::uint8_t> counted(4);
    write_le32(counted.data(), t.ItemCount);
    counted.insert(counted.end(), catalogue.begin(), catalogue.end());
    put(out / "fuzz_catalogue", name, counted);

    std::vector<std::uint8_t> extract(9);
    write_le32(extract.data(), t.ItemCount);
    write_le32(extract.data() + 4, static_cast<std::uint32_t>(catalogue.size()));
    // Plain contents, the target planted with the user's files and links.
    extract[8] = 0x10;
    extract.insert(extract.end(), catalogue.begin(), catalogue.end());
    if (!written.DataFiles.empty()) {
      auto data = read_all(written.DataFiles[0]);
      // The extract target deciphers with an empty key: store plain.
      const std::string key = cd.Password ? *cd.Password : cd.Settings.content_key();
      xor_all(key.c_str(), data.data(), data.size());
      extract.insert(extract.end(), data.begin(), data.end());
    }
    put(out / "fuzz_extract", name, extract);
    if (n == 1) image_seeds(work, out / "fuzz_iso_image");
  }
  fs::remove_all(work);
  return 0;
}
