// End-to-end runs of the kelvora tool on writer-built CDs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "kelvora_version.h"
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
  void expect_image_reads_as_folder(const fs::path& image,
                                    const std::vector<std::string>& password);
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

TEST_F(Tool, APasswordTypedAtATerminalIsNotShown) {
#if defined(KELVORA_TOOL_UNDER_WINE)
  GTEST_SKIP() << "under Wine: the tool reads a Wine console, not the Unix terminal";
#endif
  ASSERT_EQ(build({"--password", "Sesame-42"}).code, 0);
  // On a pseudo-terminal: the helper waits for the prompt, then types.
  const std::string command = "python3 " + test::shell_quoted(PROJECT_SOURCE_DIR
                              "/tests/support/answer_prompt.py") +
                              " 'Enter password: ' Sesame-42 " +
                              test::shell_quoted(KELVORA_BINARY) + " list " +
                              test::shell_quoted(cd().string()) + " </dev/null";
  ToolRun r;
  std::FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) r.out.append(buffer, n);
  const int status = pclose(pipe);
  r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  EXPECT_EQ(r.code, 0) << r.out;
  EXPECT_NE(r.out.find("Enter password: "), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("2 Folders - 5 Files"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("Sesame"), std::string::npos) << r.out;
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

TEST_F(Tool, VersionIsTheProjectsVersion) {
  const ToolRun r = kelvora({"--version"});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out, "kelvora " KELVORA_VERSION "\n");
}

// The names of the root directory of an image's Joliet tree, read from its
// volume descriptors; empty when it has none.
std::vector<std::string> joliet_root_names(const fs::path& image) {
  const auto bytes = test::read_file(image);
  const auto le32 = [&](std::size_t at) { return read_le32(&bytes[at]); };
  std::vector<std::string> names;
  for (std::size_t sector = 16; (sector + 1) * 2048 <= bytes.size(); ++sector) {
    const std::size_t d = sector * 2048;
    if (bytes[d] == 255) break;
    const bool joliet = bytes[d] == 2 && bytes[d + 88] == '%' && bytes[d + 89] == '/' &&
                        (bytes[d + 90] == '@' || bytes[d + 90] == 'C' || bytes[d + 90] == 'E');
    if (!joliet) continue;
    const std::size_t root = std::size_t{le32(d + 156 + 2)} * 2048;
    const std::size_t end = root + le32(d + 156 + 10);
    for (std::size_t r = root; r < end && r < bytes.size() && bytes[r] != 0; r += bytes[r]) {
      const std::size_t length = bytes[r + 32];
      if (length == 1) continue;  // "." and ".."
      std::string name;         // UCS-2, big-endian; ASCII names here
      for (std::size_t i = 0; i + 1 < length; i += 2) name += static_cast<char>(bytes[r + 33 + i + 1]);
      names.push_back(name);
    }
    break;
  }
  std::sort(names.begin(), names.end());
  return names;
}

bool have_xorriso() { return std::system("xorriso -version >/dev/null 2>&1") == 0; }

#if defined(KELVORA_TOOL_UNDER_WINE)
#define SKIP_UNDER_WINE(why) GTEST_SKIP() << "under Wine: " << why
#else
#define SKIP_UNDER_WINE(why) (void)0
#endif

TEST_F(Tool, BuildWritesABurnableImageThatReadsLikeTheFolder) {
  if (!have_xorriso()) GTEST_FAIL() << "xorriso is not installed (apt install xorriso)";
  const fs::path image = dir / "photos.iso";
  const ToolRun b = build({"--password", "Right", "--max-data-file", "1000000", "--iso",
                           image.string(), "--label", "photos_2026"});
  ASSERT_EQ(b.code, 0) << b.err;
  EXPECT_NE(b.out.find("labelled PHOTOS_2026"), std::string::npos) << b.out;
  EXPECT_EQ(test::read_file(cd() / "autorun.inf"),
            test::bytes_of("[autorun]\r\nopen=viewer.exe\r\nicon=viewer.exe,0\r\n"
                           "label=PHOTOS_2026\r\n"));

  // Read back by xorriso through Rock Ridge: every file of the folder.
  const fs::path back = dir / "back";
  ASSERT_EQ(std::system(("xorriso -osirrox on -indev " + test::shell_quoted(image.string()) +
                         " -extract / " + test::shell_quoted(back.string()) + " >/dev/null 2>&1")
                            .c_str()),
            0);
  EXPECT_EQ(files_below(back), files_below(cd()));
  // The Joliet tree that Windows reads holds the names as they are.
  EXPECT_EQ(joliet_root_names(image),
            (std::vector<std::string>{"KELVORA1.DAT", "KELVORA2.DAT", "KELVORA3.DAT",
                                      "autorun.inf", "viewer.exe"}));

  // The tool reads the image in place of the folder: every command says
  // the same, with nothing copied to the temporary directory and no
  // xorriso run (one that fails stands first in PATH and notes each call).
  expect_image_reads_as_folder(image, {"--password", "Right"});
}

// Every reading command on an image against the same on the CD's folder:
// the same output (the viewer file's line names the image), the same
// extracted bytes, nothing in TMPDIR, no xorriso.
void Tool::expect_image_reads_as_folder(const fs::path& image,
                                        const std::vector<std::string>& password) {
  const fs::path temp = dir / "tmp";
  fs::create_directories(temp);
  test::write_file(dir / "bin" / "xorriso",
                   "#!/bin/sh\necho \"$*\" >> " + test::shell_quoted((dir / "calls").string()) +
                       "\nexit 1\n");
  fs::permissions(dir / "bin" / "xorriso", fs::perms::owner_all);
  const std::string no_xorriso = "TMPDIR=" + test::shell_quoted(temp.string()) + " PATH=" +
                                 test::shell_quoted((dir / "bin").string()) + ":\"$PATH\" ";
  const auto run = [&](const fs::path& cd, std::vector<std::string> args) {
    args.insert(args.begin() + 1, cd.string());
    args.insert(args.end(), password.begin(), password.end());
    return test::run_tool(args, "", no_xorriso);
  };
  const auto without_first_line = [](const std::string& text) {
    return text.substr(std::min(text.size(), text.find('\n') + 1));
  };
  const auto before_target = [](const std::string& text) { return text.substr(0, text.find(" to ")); };
  const std::vector<std::vector<std::string>> commands{
      {"list"}, {"list", "--json"}, {"test"}, {"info"}};
  for (const auto& command : commands) {
    SCOPED_TRACE(command.back());
    const ToolRun from_image = run(image, command);
    const ToolRun from_folder = run(cd(), command);
    EXPECT_EQ(from_image.code, from_folder.code) << from_image.err;
    EXPECT_EQ(from_image.err, from_folder.err);
    if (command[0] != "info") {
      EXPECT_EQ(from_image.out, from_folder.out);
      continue;
    }
    EXPECT_EQ(without_first_line(from_image.out), without_first_line(from_folder.out));
    const std::string size = from_folder.out.substr(from_folder.out.find(" ("));
    EXPECT_EQ(from_image.out.rfind("viewer file:    ", 0), 0u) << from_image.out;
    // Primary names are upper case.
    std::string shown = from_image.out.substr(0, from_image.out.find('\n'));
    for (char& c : shown) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_NE(shown.find(".iso, viewer.exe" + size.substr(0, size.find('\n'))),
              std::string::npos)
        << from_image.out;
  }
  fs::remove_all(dir / "out-image");
  fs::remove_all(dir / "out-folder");
  const ToolRun x = run(image, {"extract", "-d", (dir / "out-image").string(), "-q"});
  const ToolRun y = run(cd(), {"extract", "-d", (dir / "out-folder").string(), "-q"});
  EXPECT_EQ(x.code, 0) << x.err;
  EXPECT_EQ(before_target(x.out), before_target(y.out));
  EXPECT_EQ(files_below(dir / "out-image"), files_below(dir / "out-folder"));
  EXPECT_EQ(files_below(dir / "out-image" / "Kelvora"), files_below(src()));
  EXPECT_FALSE(fs::exists(dir / "calls"));
#if !defined(KELVORA_TOOL_UNDER_WINE)
  // (kelvora.exe's temporary directory is Windows' own, and Wine puts
  // files of its own in TMPDIR.)
  EXPECT_TRUE(fs::is_empty(temp));
#endif
}

bool have(const char* program) {
  return std::system((std::string("command -v ") + program + " >/dev/null 2>&1").c_str()) == 0;
}

// The CD's folder made into an image by either program, with Joliet and
// Rock Ridge on and off, reads as the folder does.
TEST_F(Tool, ImagesOfEveryKindReadLikeTheFolder) {
  for (const char* program : {"xorriso", "genisoimage"})
    if (!have(program)) GTEST_FAIL() << program << " is not installed (apt install " << program
                                     << ")";
  ASSERT_EQ(build({"--password", "Right", "--max-data-file", "1000000"}).code, 0);
  for (const char* options :
       {"xorriso -as mkisofs -quiet -J -r", "xorriso -as mkisofs -quiet -J --norock",
        "xorriso -as mkisofs -quiet --norock", "genisoimage -quiet -J -R",
        "genisoimage -quiet -R", "genisoimage -quiet -J", "genisoimage -quiet"}) {
    SCOPED_TRACE(options);
    const fs::path image = dir / "made.iso";
    fs::remove(image);
    ASSERT_EQ(std::system((std::string(options) + " -o " + test::shell_quoted(image.string()) +
                           " " + test::shell_quoted(cd().string()) + " >/dev/null 2>&1")
                              .c_str()),
              0);
    expect_image_reads_as_folder(image, {"--password", "Right"});
  }
}

TEST_F(Tool, ImagesThatCannotBeReadAreSaidPlainly) {
  if (!have("xorriso")) GTEST_FAIL() << "xorriso is not installed (apt install xorriso)";
  const fs::path image = dir / "cd.iso";
  ASSERT_EQ(build({"--iso", image.string()}).code, 0);
  auto cut = test::read_file(image);
  cut.resize(40000);
  test::write_file(dir / "cut.iso", cut);
  // A UDF-only image starts its recognition sequence where ISO 9660 has its
  // first descriptor.
  std::vector<std::uint8_t> udf(20 * 2048, 0);
  for (const auto& [sector, id] : {std::pair{16, "BEA01"}, {17, "NSR02"}, {18, "TEA01"}})
    std::copy(id, id + 5, udf.begin() + sector * 2048 + 1);
  test::write_file(dir / "udf.iso", udf);
  test::write_file(dir / "none" / "readme.txt", "no viewer here");
  fs::create_directories(dir / "two");
  fs::copy_file(cd() / "viewer.exe", dir / "two" / "a.exe");
  fs::copy_file(cd() / "viewer.exe", dir / "two" / "b.exe");
  for (const char* folder : {"none", "two"})
    ASSERT_EQ(std::system(("xorriso -as mkisofs -quiet -r -o " +
                           test::shell_quoted((dir / (std::string(folder) + ".iso")).string()) +
                           " " + test::shell_quoted((dir / folder).string()) + " >/dev/null 2>&1")
                              .c_str()),
              0);
  fs::remove(cd() / "KELVORA1.DAT");
  ASSERT_EQ(std::system(("xorriso -as mkisofs -quiet -r -o " +
                         test::shell_quoted((dir / "short.iso").string()) + " " +
                         test::shell_quoted(cd().string()) + " >/dev/null 2>&1")
                            .c_str()),
            0);
  const struct {
    std::string image;
    std::vector<std::string> command;
    int code;
    std::string message;
  } cases[] = {
      {"cut.iso", {"list"}, 3, "cannot read the image "},
      {"cut.iso", {"list"}, 3, ": a directory of the image reaches past its end"},
      {"udf.iso", {"info"}, 3, "it holds a UDF file system only"},
      {"none.iso", {"info"}, 3, "no viewer file in the root of the image "},
      {"two.iso", {"info"}, 3, "holds 2 viewer files in its root:\n  a.exe\n  b.exe\n"},
      {"short.iso", {"test"}, 1, "Cannot open the data file "},
      {"short.iso", {"test"}, 1, ".iso, KELVORA1.DAT: the image has no file KELVORA1.DAT."},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = c.command;
    args.push_back((dir / c.image).string());
    const ToolRun r = kelvora(args);
    EXPECT_EQ(r.code, c.code) << c.image << " " << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << c.image << " " << r.err;
  }
}

TEST_F(Tool, ImageMistakesAreSaidPlainly) {
  SKIP_UNDER_WINE("the builder runs on Linux, where the test runs it without xorriso");
  if (!have_xorriso()) GTEST_FAIL() << "xorriso is not installed (apt install xorriso)";
  struct Case {
    std::vector<std::string> args;
    std::string prefix;
    int code;
    std::string message;
  } cases[] = {
      {{"build", src().string(), "-o", (dir / "b").string(), "--iso", (dir / "b.iso").string(),
        "--label", "two words"},
       "", 2, "the label takes 1 to 32 letters, digits and underscores: two words"},
      {{"build", src().string(), "-o", (dir / "c").string(), "--iso",
        (dir / "c" / "in.iso").string()},
       "", 2, "the image file must lie outside the CD's folder"},
      {{"build", src().string(), "-o", (dir / "d").string(), "--iso", (dir / "d.iso").string()},
       "PATH=/nonexistent ", 2, "install the xorriso package"},
      {{"build", src().string(), "-o", (dir / "e").string(), "--label", "ALONE"}, "", 2,
       "--label requires --iso"},
  };
  for (const Case& c : cases) {
    const ToolRun r = test::run_tool(c.args, "", c.prefix);
    EXPECT_EQ(r.code, c.code) << c.args[0] << " " << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
  }
  // Nothing is written when the image cannot be.
  EXPECT_FALSE(fs::exists(dir / "b"));
  EXPECT_FALSE(fs::exists(dir / "c"));
  EXPECT_FALSE(fs::exists(dir / "d"));
  EXPECT_FALSE(fs::exists(dir / "e"));
}

}  // namespace
}  // namespace kelvora
