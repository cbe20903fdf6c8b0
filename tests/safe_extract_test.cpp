// The tool's extraction when things go wrong around it: read errors, a full
// disk, signals in the middle of a file, two runs into one target, a local
// user swapping a directory for a link while it runs, names that attack the
// terminal, and a catalogue of one very deep chain of folders.  Each case
// states that the user's own files are never lost and that nothing lands
// outside the target.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/test_support.h"
#include "tests/support/tool_runner.h"
#include "writer/writer.h"

namespace kelvora {
namespace {

namespace fs = std::filesystem;
using test::file_item;
using test::folder_item;
using test::root_item;
using test::shell_quoted;
using test::ToolRun;

constexpr std::size_t BIG = 8 * 1048576;

// The sanitized tool's leak check cannot run under strace (ptrace).
const std::string LEAKS_OFF = "ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 ";

// A CD with a big file in Docs, and the user's own earlier copy of it in the
// target.
struct Scene {
  test::TempDir root;
  fs::path cd() const { return root / "cd"; }
  fs::path target() const { return root / "target"; }
  fs::path users_file() const { return target() / "Kelvora" / "Docs" / "big.bin"; }

  explicit Scene(const char* key = "safe") {
    CdDescription d;
    d.Items = {root_item(), file_item(2, 1, "top.txt", "top"), folder_item(3, 1, "Docs"),
               file_item(4, 3, "big.bin", test::pattern_bytes(BIG, 7))};
    set_content_key(d.Settings, key);
    write_cd(d, cd());
    test::write_file(users_file(), "the user's own file");
  }
  std::vector<std::string> extract() const {
    return {"extract", cd().string(), "-d", target().string(), "-q"};
  }
  std::string command() const {
    std::string text = shell_quoted(KELVORA_BINARY);
    for (const std::string& a : extract()) text += " " + shell_quoted(a);
    return text;
  }
  std::vector<fs::path> leftovers() const {
    std::vector<fs::path> found;
    for (const auto& e : fs::recursive_directory_iterator(target()))
      if (e.path().filename().string().rfind(".kelvora-", 0) == 0) found.push_back(e.path());
    return found;
  }
};

bool have(const char* program) {
  return std::system(("command -v " + std::string(program) + " >/dev/null 2>&1").c_str()) == 0;
}

TEST(SafeExtract, AFailedEntryLeavesTheUsersFileAsItWas) {
#if defined(KELVORA_TOOL_UNDER_WINE)
  GTEST_SKIP() << "under Wine: faults are injected into the Unix tool's system calls";
#endif
  ASSERT_TRUE(have("strace")) << "strace is not installed (apt install strace)";
  struct Case {
    const char* name;
    std::string prefix;  // shell text before the tool
    std::string message;
  };
  const std::string data = "KELVORA1.DAT";
  const Case cases[] = {
      // The sixth read of the data file fails: a scratched disc, part way
      // into big.bin.
      {"read error", LEAKS_OFF + "strace -qq -f -o /dev/null -P {cd}/" + data +
                         " -e trace=read,pread64,copy_file_range"
                         " -e inject=read,pread64,copy_file_range:error=EIO:when=6+ ",
       "Error:(345640) Cannot read the data file KELVORA1.DAT for [big.bin]. "
       "(Kelvora/Docs/big.bin: Input/output error)"},
      {"file too large for the disk's limit", "trap '' XFSZ; ulimit -f 1024; ",
       "Error:(34567) Cannot write export file [big.bin]; the part written was removed. "
       "(Kelvora/Docs/big.bin: File too large)"},
  };
  for (const Case& c : cases) {
    Scene scene;
    std::string prefix = c.prefix;
    for (std::size_t at; (at = prefix.find("{cd}")) != std::string::npos;)
      prefix.replace(at, 4, scene.cd().string());
    const ToolRun r = test::run_tool(scene.extract(), "", prefix);
    EXPECT_EQ(r.code, 1) << c.name << "\n" << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << c.name << "\n" << r.err;
    EXPECT_EQ(test::read_file(scene.users_file()), test::bytes_of("the user's own file"))
        << c.name;
    EXPECT_TRUE(scene.leftovers().empty()) << c.name;
    EXPECT_EQ(test::read_file(scene.target() / "Kelvora" / "top.txt"), test::bytes_of("top"))
        << c.name;
  }
}

TEST(SafeExtract, AFullDiskLeavesTheUsersFileAsItWas) {
#if defined(KELVORA_TOOL_UNDER_WINE)
  GTEST_SKIP() << "under Wine: the disk is a Unix file system mounted for the test";
#endif
  Scene scene;
  // A file system of 2 MiB that already holds the user's file.
  const fs::path small = scene.root / "small";
  fs::create_directories(small);
  if (std::system(("mount -t tmpfs -o size=2m tmpfs " + shell_quoted(small.string()) +
                   " 2>/dev/null").c_str()) != 0)
    GTEST_SKIP() << "cannot mount a small tmpfs here (needs root)";
  test::write_file(small / "Kelvora" / "Docs" / "big.bin", "the user's own file");
  std::vector<std::string> args = scene.extract();
  args[3] = small.string();
  const ToolRun r = test::run_tool(args);
  const auto kept = test::read_file(small / "Kelvora" / "Docs" / "big.bin");
  bool leftover = false;
  for (const auto& e : fs::recursive_directory_iterator(small))
    leftover |= e.path().filename().string().rfind(".kelvora-", 0) == 0;
  std::system(("umount " + shell_quoted(small.string())).c_str());
  EXPECT_EQ(r.code, 1) << r.err;
  EXPECT_NE(r.err.find("(Kelvora/Docs/big.bin: No space left on device)"), std::string::npos)
      << r.err;
  EXPECT_EQ(kept, test::bytes_of("the user's own file"));
  EXPECT_FALSE(leftover);
}

// Starts the tool with every read of the data file slowed down, so that a
// signal lands in the middle of big.bin.
pid_t start_slowly(const Scene& scene) {
  const std::string command = "exec env " + LEAKS_OFF + "strace -qq -f -o /dev/null -P " +
                              shell_quoted((scene.cd() / "KELVORA1.DAT").string()) +
                              " -e trace=read,copy_file_range"
                              " -e inject=read,copy_file_range:delay_exit=150000 " +
                              scene.command() + " >/dev/null 2>&1";
  const pid_t child = fork();
  if (child == 0) {
    execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  return child;
}

// Waits for a child at most a while; kills it and fails after that.
int wait_for(pid_t child, std::chrono::seconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  int status = 0;
  while (waitpid(child, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > end) {
      kill(child, SIGKILL);
      waitpid(child, &status, 0);
      ADD_FAILURE() << "the tool did not end within " << limit.count() << " s";
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return status;
}

// The tool's own process, started by strace.
pid_t tool_below(pid_t strace) {
  for (int i = 0; i < 200; ++i) {
    const std::string find = "pgrep -n -P " + std::to_string(strace) + " -f " +
                             shell_quoted(std::string(KELVORA_BINARY) + " extract");
    std::FILE* pipe = popen(find.c_str(), "r");
    char line[32] = {};
    const bool got = pipe && std::fgets(line, sizeof line, pipe);
    if (pipe) pclose(pipe);
    if (got && std::atoi(line) > 0) return std::atoi(line);
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
  return 0;
}

TEST(SafeExtract, ASignalInTheMiddleOfAFileLeavesTheUsersFileAsItWas) {
#if defined(KELVORA_TOOL_UNDER_WINE)
  GTEST_SKIP() << "under Wine: Unix signals reach Wine, not the Windows tool";
#endif
  ASSERT_TRUE(have("strace")) << "strace is not installed (apt install strace)";
  for (int signal : {SIGTERM, SIGHUP, SIGINT, SIGKILL}) {
    Scene scene;
    const pid_t shell = start_slowly(scene);
    const pid_t tool = tool_below(shell);
    if (tool <= 0) {
      kill(shell, SIGKILL);
      wait_for(shell, std::chrono::seconds(10));
      FAIL() << "the tool did not start; " << strsignal(signal);
    }
    // big.bin takes 32 slowed reads, about 5 s; top.txt comes first.
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    kill(tool, signal);
    const int status = wait_for(shell, std::chrono::seconds(60));
    EXPECT_EQ(test::read_file(scene.users_file()), test::bytes_of("the user's own file"))
        << strsignal(signal);
    if (signal == SIGKILL) {
      // Nothing can run after SIGKILL: the part written stays, under its
      // temporary name only.
      for (const fs::path& left : scene.leftovers())
        EXPECT_EQ(left.parent_path(), scene.users_file().parent_path()) << left;
      continue;
    }
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << strsignal(signal);
    EXPECT_TRUE(scene.leftovers().empty()) << strsignal(signal);
  }
}

TEST(SafeExtract, TwoRunsIntoOneTargetBothComeOutWhole) {
  Scene scene;
  ToolRun first, second;
  std::thread a([&] { first = test::run_tool(scene.extract()); });
  std::thread b([&] { second = test::run_tool(scene.extract()); });
  a.join();
  b.join();
  EXPECT_EQ(first.code, 0) << first.err;
  EXPECT_EQ(second.code, 0) << second.err;
  EXPECT_EQ(test::read_file(scene.users_file()), test::pattern_bytes(BIG, 7));
  EXPECT_TRUE(scene.leftovers().empty());
}

TEST(SafeExtract, ADirectorySwappedForALinkWhileItRunsRedirectsNothing) {
#if defined(KELVORA_TOOL_UNDER_WINE)
  GTEST_SKIP() << "under Wine: a Unix process may rename what a Windows program holds, which "
                  "no other user of Windows can";
#endif
  test::TempDir root;
  CdDescription d;
  d.Items = {root_item(), folder_item(3, 1, "Docs")};
  for (std::uint32_t i = 0; i < 3000; ++i)
    d.Items.push_back(file_item(10 + i, 3, "f" + std::to_string(i) + ".txt", "x"));
  write_cd(d, root / "cd");
  const fs::path outside = root / "outside";
  fs::create_directories(outside);
  const fs::path docs = root / "target" / "Kelvora" / "Docs";

  ToolRun r;
  std::atomic<bool> done{false};
  std::thread run([&] {
    r = test::run_tool({"extract", (root / "cd").string(), "-d", (root / "target").string(), "-q"});
    done = true;
  });
  // Another local user, able to write to the target, keeps putting a link
  // to elsewhere in the place of Docs.
  int swaps = 0;
  for (int k = 0; !done && k < 200000; ++k) {
    std::error_code error;
    if (fs::is_directory(docs, error) && !fs::is_symlink(docs, error)) {
      fs::rename(docs, docs.parent_path() / ("Docs.moved" + std::to_string(k)), error);
      if (!error) fs::create_directory_symlink(outside, docs, error);
      if (!error) ++swaps;
    }
  }
  run.join();
  EXPECT_GT(swaps, 0);
  EXPECT_TRUE(fs::is_empty(outside)) << "the tool wrote through the link; exit " << r.code;
}

TEST(SafeExtract, NamesReachTheTerminalEscaped) {
  test::TempDir root;
  CdDescription d;
  d.Items = {root_item(), file_item(2, 1, "\x1b]0;owned\x07title.txt", "x"),
             file_item(3, 1, "line\rover.txt", "x"), file_item(4, 1, "..\\\x1b[2Jgone", "x")};
  write_cd(d, root / "cd");
  const ToolRun list = test::run_tool({"list", (root / "cd").string()});
  const ToolRun extract =
      test::run_tool({"extract", (root / "cd").string(), "-d", (root / "t").string(), "-q"});
  for (const std::string& text : {list.out, extract.err}) {
    EXPECT_EQ(text.find('\x1b'), std::string::npos) << text;
    EXPECT_EQ(text.find('\x07'), std::string::npos) << text;
    EXPECT_EQ(text.find('\r'), std::string::npos) << text;
  }
  EXPECT_NE(list.out.find("\\033]0;owned\\atitle.txt"), std::string::npos) << list.out;
  EXPECT_NE(list.out.find("line\\rover.txt"), std::string::npos) << list.out;
  EXPECT_NE(extract.err.find("Cannot export [..\\\\033[2Jgone]"), std::string::npos)
      << extract.err;
  // The files themselves keep their names.
  EXPECT_TRUE(fs::exists(root / "t" / "Kelvora" / "line\rover.txt"));
}

TEST(SafeExtract, ADeepChainOfFoldersCostsWhatItsEntriesDo) {
  test::TempDir root;
  CdDescription d;
  constexpr std::uint32_t DEPTH = 100000;
  d.Items = {root_item()};
  for (std::uint32_t i = 0; i < DEPTH; ++i) d.Items.push_back(folder_item(10 + i, i ? 9 + i : 1, "f"));
  d.Items.push_back(file_item(5, 10, "near.txt", "near"));
  write_cd(d, root / "cd");

  const ToolRun list = test::run_tool({"list", (root / "cd").string()});
  EXPECT_EQ(list.code, 0) << list.err;
  EXPECT_LT(list.out.size(), 64u * DEPTH) << "the listing grows faster than the catalogue";
  const ToolRun json = test::run_tool({"list", (root / "cd").string(), "--json"});
  EXPECT_EQ(json.code, 0) << json.err;
  EXPECT_LT(json.out.size(), 1300u * (DEPTH + 2));
  EXPECT_NE(json.out.find("\"path\":\"Kelvora/f/near.txt\""), std::string::npos);
  const ToolRun extract = test::run_tool(
      {"extract", (root / "cd").string(), "-d", (root / "t").string(), "-q", "Kelvora/f"});
  EXPECT_EQ(extract.code, 1) << extract.err;  // the deeper folders pass 1023 characters
  EXPECT_NE(extract.err.find("Error:(345637)"), std::string::npos);
  EXPECT_EQ(test::read_file(root / "t" / "f" / "near.txt"), test::bytes_of("near"));
}

}  // namespace
}  // namespace kelvora
