// The tool's platform layer on Linux and macOS: arguments and names are
// bytes, the terminal takes them as they are.
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <utility>
#include <vector>

#include "cli/platform.h"
#include "viewer/base/file_system.h"

extern char** environ;

namespace kelvora::cli {
namespace fs = std::filesystem;

ToolPlatform::ToolPlatform(int argc, char** argv) : arguments_(argv, argv + argc) {}

ToolPlatform::~ToolPlatform() = default;

namespace {

// The terminal's mode while echo is off, so that a signal can put it back.
termios SavedMode{};
volatile std::sig_atomic_t ModeSaved = 0;

extern "C" void restore_and_reraise(int signal) {
  if (ModeSaved) tcsetattr(STDIN_FILENO, TCSANOW, &SavedMode);
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

// Echo is off for the object's lifetime, and back on when it goes, or when
// an interrupt, termination or hang-up ends the tool meanwhile.
class EchoOff {
 public:
  EchoOff() {
    if (tcgetattr(STDIN_FILENO, &SavedMode) != 0) return;
    termios quiet = SavedMode;
    quiet.c_lflag &= static_cast<tcflag_t>(~ECHO);
    ModeSaved = 1;
    for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGTSTP})
      previous_.push_back({signal, std::signal(signal, restore_and_reraise)});
    // At once, and without throwing away what was typed already: a fast
    // typist (or a paste) may be ahead of the prompt.
    tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
  }
  ~EchoOff() {
    if (!ModeSaved) return;
    tcsetattr(STDIN_FILENO, TCSANOW, &SavedMode);
    ModeSaved = 0;
    for (const auto& [signal, handler] : previous_) std::signal(signal, handler);
  }
  EchoOff(const EchoOff&) = delete;
  EchoOff& operator=(const EchoOff&) = delete;

 private:
  std::vector<std::pair<int, void (*)(int)>> previous_;
};

}  // namespace

std::optional<std::string> read_hidden_line(const char* prompt) {
  if (!isatty(STDIN_FILENO)) return std::nullopt;
  std::string line;
  {
    // Echo goes off before the prompt is shown: nothing typed after the
    // prompt can appear on the screen.
    EchoOff quiet;
    std::fprintf(stderr, "%s", prompt);
    std::fflush(stderr);
    std::getline(std::cin, line);
  }
  std::fprintf(stderr, "\n");
  return line;
}

std::string absolute_path(const std::string& path) {
  std::error_code error;
  const fs::path absolute = fs::absolute(path, error);
  return error ? path : absolute.lexically_normal().string();
}

bool can_run_programs() { return true; }

bool find_program(const std::string& name) {
  const char* search = std::getenv("PATH");
  std::string list = search ? search : "/usr/bin:/bin";
  std::size_t start = 0;
  while (start <= list.size()) {
    std::size_t end = list.find(':', start);
    if (end == std::string::npos) end = list.size();
    const std::string dir = end > start ? list.substr(start, end - start) : ".";
    if (access((dir + "/" + name).c_str(), X_OK) == 0 && is_regular_file(dir + "/" + name))
      return true;
    start = end + 1;
  }
  return false;
}

int run_program(const std::vector<std::string>& args, const std::string& log_path) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, log_path.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
  pid_t child = 0;
  const int started = posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (started != 0) return -1;
  int status = 0;
  while (waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string make_temp_directory(const std::string& prefix) {
  std::string pattern = system_temp_directory() + "/" + prefix + "XXXXXX";
  if (!mkdtemp(pattern.data())) return {};
  return pattern;
}

void remove_tree(const std::string& directory) {
  // Read-only folders copied from an image are made writable first, so
  // that their contents can go; links are removed, never followed.
  std::error_code error;
  for (auto it = fs::recursive_directory_iterator(directory, error);
       !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
    if (it->is_directory(error) && !it->is_symlink(error))
      fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, error);
  }
  fs::permissions(directory, fs::perms::owner_all, fs::perm_options::add, error);
  fs::remove_all(directory, error);
}

bool can_build_cds() { return true; }

}  // namespace kelvora::cli
