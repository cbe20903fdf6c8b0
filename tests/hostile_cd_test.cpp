// Hostile CDs against the tool and the engine: every case states its exit
// code and message, and that nothing outside the target changed.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "viewer/base/little_endian.h"
#include "tests/support/test_support.h"
#include "tests/support/tool_runner.h"
#include "writer/writer.h"

namespace kelvora {
namespace {

namespace fs = std::filesystem;
using test::file_item;
using test::folder_item;
using test::root_item;

// Everything below root except the target: type, link target, contents.
std::map<std::string, std::string> snapshot(const fs::path& root, const fs::path& skip) {
  std::map<std::string, std::string> seen;
  for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
       ++it) {
    if (it->path() == skip) {
      it.disable_recursion_pending();
      continue;
    }
    const std::string key = fs::relative(it->path(), root).generic_string();
    if (it->is_symlink())
      seen[key] = "link " + fs::read_symlink(it->path()).string();
    else if (it->is_directory())
      seen[key] = "dir";
    else {
      const auto bytes = test::read_file(it->path());
      seen[key] = std::string(bytes.begin(), bytes.end());
    }
  }
  return seen;
}

bool other_users_possible() {
  return std::system("unshare -U true >/dev/null 2>&1") == 0;
}

struct Case {
  const char* name;
  std::function<void(std::vector<WriterItem>&)> items;    // changes the catalogue
  std::function<void(const fs::path& root)> prepare;      // changes the disk
  std::string prefix;                                     // runs the tool under it
  int code;
  std::string message;
  bool needs_other_user = false;
  const char* not_under_wine = nullptr;  // why the case cannot apply to kelvora.exe under Wine
  std::vector<std::string> args = {};    // more arguments of extract
};

#if defined(KELVORA_TOOL_UNDER_WINE)
constexpr bool UNDER_WINE = true;
#else
constexpr bool UNDER_WINE = false;
#endif

WriterItem located(std::uint32_t id, const char* name, std::uint32_t offset, std::uint32_t size) {
  WriterItem f = file_item(id, 1, name);
  f.DataFile = "KELVORA1.DAT";
  f.DataOffset = offset;
  f.Size = size;
  return f;
}

TEST(HostileCd, TheToolRefusesWhatWouldHarmAndChangesNothingOutsideTheTarget) {
  const std::string refused = "Error:(345636) Cannot export [";
  const std::string as_nobody = "unshare -U ";
  const std::string full_disk = "trap '' XFSZ; ulimit -f 64; ";
  const Case cases[] = {
      {"traversal", [](auto& i) { i.push_back(file_item(90, 1, "..\\..\\escape.txt", "x")); },
       {}, "", 1, refused + "..\\..\\escape.txt]: the name would leave the target directory."},
      {"traversal folder", [](auto& i) {
         i.push_back(folder_item(90, 1, ".."));
         i.push_back(file_item(91, 90, "escape.txt", "x"));
       }, {}, "", 1, refused + "..]: the name would leave the target directory."},
      {"absolute", [](auto& i) { i.push_back(file_item(90, 1, "/tmp/kelvora-escape.txt", "x")); },
       {}, "", 1, refused + "/tmp/kelvora-escape.txt]: the name is an absolute path."},
      {"drive", [](auto& i) { i.push_back(file_item(90, 1, "C:\\escape.txt", "x")); }, {}, "", 1,
       refused + "C:\\escape.txt]: the name holds a drive or a colon."},
      {"device", [](auto& i) { i.push_back(file_item(90, 1, "NUL.txt", "x")); }, {}, "", 1,
       refused + "NUL.txt]: the name is a device name."},
      {"name hidden behind a zero byte",
       [](auto& i) { i.push_back(file_item(90, 1, std::string("\0hidden", 7), "x")); }, {}, "",
       1, refused + "(no name)]: the name is empty."},
      {"name longer than the file system takes",
       [](auto& i) { i.push_back(file_item(90, 1, std::string(200, '\xE9'), "x")); }, {}, "", 1,
       "Error:(34565) Cannot create new export file."},
      {"offset and size overflowing 32 bits",
       [](auto& i) { i.push_back(located(90, "huge.bin", 0xFFFFFFFFu, 0xFFFFFFFFu)); }, {}, "", 1,
       "Error:(345638) The data file KELVORA1.DAT is too short for [huge.bin]."},
      {"size past the end", [](auto& i) { i.push_back(located(90, "long.bin", 0, 5000000)); },
       {}, "", 1, "Error:(345638) The data file KELVORA1.DAT is too short for [long.bin]."},
      {"data file missing", {}, [](const fs::path& r) { fs::remove(r / "cd" / "KELVORA1.DAT"); },
       "", 1, "Error:(345634) Cannot open .dat file."},
      {"data file is a directory", {}, [](const fs::path& r) {
         fs::remove(r / "cd" / "KELVORA1.DAT");
         fs::create_directory(r / "cd" / "KELVORA1.DAT");
       }, "", 1, "Error:(345634) Cannot open .dat file."},
      {"data file unreadable", {}, [](const fs::path& r) {
         fs::permissions(r / "cd" / "KELVORA1.DAT", fs::perms::none);
       }, as_nobody, 1, "Error:(345634) Cannot open .dat file.", true,
       "Wine runs the tool as the test's own user (unshare -U does not reach it)"},
      {"target read-only", {}, [](const fs::path& r) {
         fs::create_directories(r / "target");
         fs::permissions(r / "target", fs::perms::owner_read | fs::perms::owner_exec |
                                           fs::perms::others_read | fs::perms::others_exec);
       }, as_nobody, 1, "Error Making Dir...(4311) ", true,
       "Wine runs the tool as the test's own user (unshare -U does not reach it)"},
      {"file link planted in the target", {}, [](const fs::path& r) {
         fs::create_directories(r / "target" / "Kelvora");
         fs::create_symlink(r / "outside" / "victim.txt", r / "target" / "Kelvora" / "top.txt");
       }, "", 0, "", false,
       "Wine shows a Unix link to a file as a plain file, without the reparse point Windows "
       "gives a link, so no Windows program can tell it is one"},
      {"folder link planted in the target", {}, [](const fs::path& r) {
         fs::create_directories(r / "target" / "Kelvora");
         fs::create_directory_symlink(r / "outside", r / "target" / "Kelvora" / "Docs");
       }, "", 1, "Error:(4312) Cannot export into "},
      {"orphan folder at the top", [](auto& i) {
         i.push_back(folder_item(90, 4242, ".ssh"));
         i.push_back(file_item(91, 90, "authorized_keys", "planted"));
       }, {}, "", 0, "WARNING (345641): The folder [.ssh] has no parent folder on the CD; it is "
       "exported into Kelvora."},
      {"dot folder", [](auto& i) {
         i.push_back(folder_item(90, 1, "."));
         i.push_back(file_item(91, 90, ".bashrc", "planted"));
       }, {}, "", 1, refused + ".]: the name has an empty or \".\" part."},
      {"orphan dot folder", [](auto& i) {
         i.push_back(folder_item(90, 4242, "."));
         i.push_back(file_item(91, 90, ".bashrc", "planted"));
       }, {}, "", 1, refused + ".]: the name has an empty or \".\" part."},
      {"empty piece inside a name", [](auto& i) { i.push_back(file_item(90, 1, "a\\\\b", "x")); },
       {}, "", 1, refused + "a\\\\b]: the name has an empty or \".\" part."},
      {"slash in a name through a planted folder link",
       [](auto& i) { i.push_back(file_item(90, 1, "Docs/victim.txt", "planted")); },
       [](const fs::path& r) {
         fs::create_directories(r / "target" / "Kelvora");
         fs::create_directory_symlink(r / "outside", r / "target" / "Kelvora" / "Docs");
       }, "", 1, "Error:(4312) Cannot export into "},
      {"backslash in a name through a planted folder link",
       [](auto& i) { i.push_back(file_item(90, 1, "Docs\\victim.txt", "planted")); },
       [](const fs::path& r) {
         fs::create_directories(r / "target" / "Kelvora");
         fs::create_directory_symlink(r / "outside", r / "target" / "Kelvora" / "Docs");
       }, "", 1, "Error:(4312) Cannot export into "},
      {"a name that the code page turns into ../",
       [](auto& i) { i.push_back(file_item(90, 1, "+AC4ALgAv-escape.txt", "x")); }, {}, "", 1,
       refused + "../escape.txt]: the name would leave the target directory.", false,
       "the Windows tool converts names through the system's code pages, which have no UTF-7",
       {"--codepage", "UTF-7"}},
      {"full disk", {}, {}, full_disk, 1,
       "Error:(34567) Cannot write export file [big.bin]; the part written was removed. "
       "(Kelvora/Docs/big.bin: "},
  };
  const bool can_switch_user = other_users_possible();
  for (const Case& c : cases) {
    if (UNDER_WINE && c.not_under_wine) {
      std::printf("skipped under Wine: %s: %s\n", c.name, c.not_under_wine);
      continue;
    }
    if (c.needs_other_user && !can_switch_user) {
      ADD_FAILURE() << c.name << ": cannot run the tool as another user here (unshare -U)";
      continue;
    }
    test::TempDir root;
    std::vector<WriterItem> items{root_item(), file_item(2, 1, "top.txt", "top"),
                                  folder_item(3, 1, "Docs"),
                                  file_item(4, 3, "big.bin", test::pattern_bytes(1048576, 4))};
    if (c.items) c.items(items);
    CdDescription d;
    d.Items = items;
    set_content_key(d.Settings, "hostile");
    write_cd(d, root / "cd");
    test::write_file(root / "outside" / "victim.txt", "untouched");
    if (c.prepare) c.prepare(root.path());
    const auto before = snapshot(root.path(), root / "target");

    std::vector<std::string> args{"extract", (root / "cd").string(), "-d",
                                  (root / "target").string(), "-q"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const test::ToolRun r = test::run_tool(args, "", c.prefix);
    EXPECT_EQ(r.code, c.code) << c.name << "\n" << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << c.name << "\n" << r.err;
    EXPECT_EQ(snapshot(root.path(), root / "target"), before) << c.name;
    EXPECT_FALSE(fs::exists("/tmp/kelvora-escape.txt")) << c.name;
    // Whatever was written lies in target/Kelvora, and no partial file stays.
    if (!fs::exists(root / "target")) continue;
    for (const auto& e : fs::directory_iterator(root / "target"))
      EXPECT_EQ(e.path().filename(), "Kelvora") << c.name;
    for (const auto& e : fs::recursive_directory_iterator(root / "target")) {
      EXPECT_EQ(e.path().filename().string().rfind(".kelvora-", 0), std::string::npos)
          << c.name << ": " << e.path();
      if (e.is_regular_file() && e.path().filename() == "big.bin") {
        EXPECT_EQ(fs::file_size(e.path()), 1048576u) << c.name;
      }
    }
  }
}

TEST(HostileCd, AnItemCountFarBeyondTheRecordsStillExtractsTheRecordsBefore) {
  test::TempDir root;
  CdDescription d;
  d.Items = {root_item(), file_item(2, 1, "kept.txt", "kept")};
  const WrittenCd written = write_cd(d, root / "cd");
  auto bytes = test::read_file(written.ViewerPath);
  write_le32(&bytes[bytes.size() - 40 + 8], 0xFFFFFFFFu);
  test::write_file(written.ViewerPath, bytes);
  const test::ToolRun r =
      test::run_tool({"extract", (root / "cd").string(), "-d", (root / "t").string(), "-q"});
  EXPECT_EQ(r.code, 3);
  EXPECT_NE(r.err.find("Error: 14303 Catalogue record 2 runs past the end of the catalogue."),
            std::string::npos)
      << r.err;
  EXPECT_EQ(test::read_file(root / "t" / "Kelvora" / "kept.txt"), test::bytes_of("kept"));
}

}  // namespace
}  // namespace kelvora
