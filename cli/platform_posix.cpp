// The tool's platform layer on Linux and macOS: arguments and names are
// bytes, the terminal takes them as they are.
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>

#include "cli/platform.h"
#include "viewer/base/file_system.h"

extern char** environ;

namespace kelvora::cli {
namespace fs = std::filesystem;

ToolPlatform::ToolPlatform(int argc, char** argv) : arguments_(argv, argv + argc) {}

ToolPlatform::~ToolPlatform() = default;

std::optional<std::string> read_hidden_line(const char* prompt) {
  if (!isatty(STDIN_FILENO)) return std::nullopt;
  std::fprintf(stderr, "%s", prompt);
  std::fflush(stderr);
  termios old_mode{};
  const bool have_mode = tcgetattr(STDIN_FILENO, &old_mode) == 0;
  if (have_mode) {
    termios quiet = old_mode;
    quiet.c_lflag &= static_cast<tcflag_t>(~ECHO);
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
  }
  std::string line;
  std::getline(std::cin, line);
  if (have_mode) tcsetattr(STDIN_FILENO, TCSAFLUSH, &old_mode);
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
