// End-to-end runs of the kelvora tool on writer-built CDs.
#include <gtest/gtest.h>

#include <cstdio>
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
using test::TempDir;

using test::ToolRun;

ToolRun kelvora(const std::vector<std::string>& args, const std::string& input = "") {
  return test::run_tool(args, input);
}

std::map<std::string, std::vector<std::uint8_t>> files_below(const fs::path& root) {
  std::map<std::string, std::vector<std::uint8_t>> files;
  for (const auto& entry : fs::recursive_directory_iterator(root))
    if (entry.is_regular_file())
      files[fs::relative(entry.path(), root).generic_string()] = test::read_file(entry.path());
  return files;
}

class Tool : public ::testing::Test {
 protected:
  TempDir dir;
  fs::path src() const { return dir / "src"; }
  fs::path cd() const { return dir / "cd"; }

  void SetUp() override {
    test::write_file(src() / "Read me.txt", "read me");
    test::write_file(src() / "Caf\xC3\xA9.txt", "coffee");
    test::write_file(src() / "Docs" / "big.bin", test::pattern_bytes(2 * 1048576 + 3, 1));
    test::write_file(src() / "Docs" / "Deep" / "deep.txt", "deep");
    test::write_file(src() / "Docs" / "empty.txt", "");
  }
  ToolRun build(std::vector<std::string> extra = {}) {
    std::vector<std::string> args{"build", src().string(), "-o", cd().string()};
    args.insert(args.end(), extra.begin(), extra.end());
    return kelvora(args);
  }
};

TEST_F(Tool, ExtractGivesBackEverySourceFileByteForByte) {
  ASSERT_EQ(build({"--password", "p\xC3\xA4ss", "--max-data-file", "1000000"}).code, 0);
  const ToolRun r = kelvora({"extract", cd().string(), "-d", (dir / "out").string(), "-q",
                         "--password", "p\xC3\xA4ss"});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(files_below(dir / "out" / "Kelvora"), files_below(src()));
  EXPECT_NE(r.out.find("Exported 5 files"), std::string::npos) << r.out;
}

TEST_F(Tool, ListJsonDescribesEveryEntry) {
  test::TempDir small;
  CdDescription d;
  d.Items = {test::root_item(1, "stored"), test::folder_item(2, 1, "Caf\xE9"),
             test::file_item(3, 2, "a\"b.txt", "abc")};
  WriterItem orphan = test::file_item(4, 99, "orphan", "o");
  orphan.CryptFlags = 0x1C0;
  d.Items.push_back(orphan);
  write_cd(d, small.path());
  const ToolRun r = kelvora({"list", "--json", small.path().string()});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out,
            "{\"totals\":{\"bytes\":4,\"folders\":1,\"files\":2},\"entries\":["
            "{\"id\":1,\"parent_id\":0,\"kind\":\"root\",\"name\":\"Kelvora\",\"path\":"
            "\"Kelvora\",\"size\":0,\"crypt_flags\":64,\"data_file\":null,\"data_offset\":0},"
            "{\"id\":2,\"parent_id\":1,\"kind\":\"folder\",\"name\":\"Caf\xC3\xA9\",\"path\":"
            "\"Kelvora/Caf\xC3\xA9\",\"size\":0,\"crypt_flags\":64,\"data_file\":null,"
            "\"data_offset\":0},"
            "{\"id\":3,\"parent_id\":2,\"kind\":\"file\",\"name\":\"a\\\"b.txt\",\"path\":"
            "\"Kelvora/Caf\xC3\xA9/a\\\"b.txt\",\"size\":3,\"crypt_flags\":64,\"data_file\":"
            "\"KELVORA1.DAT\",\"data_offset\":0},"
            "{\"id\":4,\"parent_id\":99,\"kind\":\"file\",\"name\":\"orphan\",\"path\":null,"
            "\"size\":1,\"crypt_flags\":448,\"data_file\":\"KELVORA1.DAT\",\"data_offset\":3}"
            "]}\n");
}

TEST_F(Tool, ListShowsTheTreeAndTheTotalsLine) {
  ASSERT_EQ(build().code, 0);
  const ToolRun r = kelvora({"list", cd().string()});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out,
            "Kelvora/\n"
            "  Caf\xC3\xA9.txt  6 bytes ( 0.01 kb/0.00 MB )\n"
            "  Read me.txt  7 bytes ( 0.01 kb/0.00 MB )\n"
            "  Docs/\n"
            "    big.bin  2097155 bytes ( 2048.00 kb/2.00 MB )\n"
            "    empty.txt  0 bytes ( 0.00 kb/0.00 MB )\n"
            "    Deep/\n"
            "      deep.txt  4 bytes ( 0.00 kb/0.00 MB )\n"
            "2097172 Bytes - 2048.02 KB - 2.00 MB - 2 Folders - 5 Files\n");
}

TEST_F(Tool, ExtractsSelectedPathsAsTheViewerExportsThem) {
  ASSERT_EQ(build().code, 0);
  const ToolRun r = kelvora({"extract", cd().string(), "-d", (dir / "sel").string(), "-q",
                         "Kelvora/Docs/Deep", "Kelvora/Caf\xC3\xA9.txt"});
  EXPECT_EQ(r.code, 0) << r.err;
  const auto files = files_below(dir / "sel");
  EXPECT_EQ(files.size(), 2u);
  EXPECT_EQ(files.at("Deep/deep.txt"), test::bytes_of("deep"));
  EXPECT_EQ(files.at("Caf\xC3\xA9.txt"), test::bytes_of("coffee"));
}

TEST_F(Tool, ThePasswordGateHoldsForListExtractAndTest) {
  ASSERT_EQ(build({"--password", "Right"}).code, 0);
  struct Case {
    std::vector<std::string> args;
    std::string input;
    int code;
    std::string message;
  } cases[] = {
      {{"list", cd().string()}, "", 4, "this CD has a password"},
      {{"list", cd().string(), "--password", "right"}, "", 4, "the password is incorrect"},
      {{"extract", cd().string(), "-d", (dir / "x").string(), "--password", "wrong"}, "", 4,
       "the password is incorrect"},
      {{"test", cd().string(), "--password-file", "-"}, "Wrong\n", 4,
       "the password is incorrect"},
      {{"test", cd().string(), "--password-file", "-"}, "Right\n", 0, ""},
      {{"list", cd().string(), "--password", std::string(300, 'x')}, "", 4, "254"},
  };
  for (const Case& c : cases) {
    const ToolRun r = kelvora(c.args, c.input);
    EXPECT_EQ(r.code, c.code) << c.args[0] << " " << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
  }
  EXPECT_FALSE(fs::exists(dir / "x"));
  const ToolRun info = kelvora({"info", cd().string()});
  EXPECT_EQ(info.code, 0);
  EXPECT_NE(info.out.find("password:       yes"), std::string::npos) << info.out;
  EXPECT_NE(info.out.find("(give the password to see them)"), std::string::npos);
}

TEST_F(Tool, DamagedCdsAndUsageErrorsGiveTheirExitCodes) {
  ASSERT_EQ(build().code, 0);
  const fs::path viewer = cd() / "viewer.exe";
  auto bytes = test::read_file(viewer);
  auto bad_magic = bytes;
  bad_magic.back() ^= 1;
  test::write_file(dir / "bad" / "viewer.exe", bad_magic);
  auto cut_catalogue = bytes;
  write_le32(&cut_catalogue[cut_catalogue.size() - 40 + 8], 1000);  // ItemCount
  test::write_file(dir / "cut" / "viewer.exe", cut_catalogue);
  fs::copy(cd() / "KELVORA1.DAT", dir / "cut" / "KELVORA1.DAT");
  test::write_file(dir / "two" / "a.exe", bytes);
  test::write_file(dir / "two" / "b.exe", bytes);
  fs::create_directories(dir / "none");

  struct Case {
    std::vector<std::string> args;
    int code;
    std::string message;
  } cases[] = {
      {{"list", (dir / "bad" / "viewer.exe").string()}, 3,
       "Error: (53673224) Corrupt! - re-build your Kelvora."},
      {{"list", (dir / "bad").string()}, 3, "no viewer file in"},
      {{"list", (dir / "none").string()}, 3, "no viewer file in"},
      {{"test", (dir / "cut").string()}, 3,
       "Error: 14303 Catalogue record 8 runs past the end of the catalogue."},
      {{"list", (dir / "two").string()}, 2, "holds 2 viewer files"},
      {{"list", (dir / "missing").string()}, 2, "does not exist"},
      {{"extract", cd().string(), "Kelvora/nothing"}, 2, "no entry at Kelvora/nothing"},
      {{"frobnicate"}, 2, ""},
      {{"list"}, 2, "CD is required"},
  };
  for (const Case& c : cases) {
    const ToolRun r = kelvora(c.args);
    EXPECT_EQ(r.code, c.code) << c.args[0] << " " << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
  }
}

// --web puts the page beside the viewer, byte for byte, and the CD is still
// found by its trailer; a page that cannot be read writes no CD.
TEST_F(Tool, BuildPutsTheWebPageOnTheCd) {
  const std::string page = "<!DOCTYPE html><title>Kelvora viewer</title>";
  test::write_file(dir / "page.html", page);
  ASSERT_EQ(build({"--web", (dir / "page.html").string()}).code, 0);
  EXPECT_EQ(test::read_file(cd() / "kelvora-viewer.html"),
            std::vector<std::uint8_t>(page.begin(), page.end()));
  EXPECT_EQ(kelvora({"test", cd().string()}).code, 0);

  const ToolRun r = kelvora({"build", src().string(), "-o", (dir / "cd2").string(), "--web",
                             (dir / "no-page.html").string()});
  EXPECT_EQ(r.code, 2);
  EXPECT_NE(r.err.find("cannot read"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(dir / "cd2"));
}

TEST_F(Tool, FaultsOfSingleFilesAreListedAndExitWithOne) {
  ASSERT_EQ(build({"--max-data-file", "1000000"}).code, 0);
  // The data file that holds big.bin (the second one) gets shorter.
  fs::resize_file(cd() / "KELVORA2.DAT", 100);
  const ToolRun t = kelvora({"test", cd().string()});
  EXPECT_EQ(t.code, 1);
  EXPECT_NE(t.err.find("Error:(345638) The data file KELVORA2.DAT is too short for [big.bin]."),
            std::string::npos)
      << t.err;
  EXPECT_NE(t.out.find("5 files checked"), std::string::npos) << t.out;
  EXPECT_NE(t.out.find("1 fault."), std::string::npos) << t.out;

  const ToolRun x = kelvora({"extract", cd().string(), "-d", (dir / "out").string(), "-q"});
  EXPECT_EQ(x.code, 1);
  EXPECT_NE(x.out.find("; 1 failed"), std::string::npos) << x.out;
  EXPECT_FALSE(fs::exists(dir / "out" / "Kelvora" / "Docs" / "big.bin"));
  EXPECT_TRUE(fs::exists(dir / "out" / "Kelvora" / "Docs" / "Deep" / "deep.txt"));
}

TEST_F(Tool, InfoDecodesTheSettings) {
  test::write_file(dir / "licence.txt", "terms\n");
  test::write_file(dir / "logo.bmp", test::pattern_bytes(300, 2));
  ASSERT_EQ(build({"--licence", (dir / "licence.txt").string(), "--logo",
                   (dir / "logo.bmp").string(), "--logo-pos", "centred", "--no-export",
                   "--text", "Hello", "--text-pos", "bottom"})
                .code,
            0);
  const ToolRun r = kelvora({"info", cd().string()});
  EXPECT_EQ(r.code, 0) << r.err;
  for (const char* line :
       {"licence:        7 bytes", "logo:           300 bytes",
        "flags:          0x02424200 logo logo-centred text no-export licence",
        "text flags:     0x10 text-bottom", "password:       no", "licence text:   yes",
        "totals:         2097172 Bytes - 2048.02 KB - 2.00 MB - 2 Folders - 5 Files"})
    EXPECT_NE(r.out.find(line), std::string::npos) << line << "\n" << r.out;
}

}  // namespace
}  // namespace kelvora
