// What the tool needs from the platform beyond the file layer: its
// arguments as UTF-8, a console that shows UTF-8, and absolute paths.
// Two implementations: platform_posix.cpp and platform_win32.cpp.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace kelvora::cli {

// Set up once at the start of main and kept until it returns.  On Windows
// the arguments are read again as UTF-16 and converted to UTF-8, the file
// layer is told that names are UTF-8, and a console's output code page is
// UTF-8 (and its escape sequences processed) until the tool ends; elsewhere
// the arguments are taken as they are.
class ToolPlatform {
 public:
  ToolPlatform(int argc, char** argv);
  ~ToolPlatform();
  ToolPlatform(const ToolPlatform&) = delete;
  ToolPlatform& operator=(const ToolPlatform&) = delete;

  // The arguments, argv[0] first, as UTF-8.
  const std::vector<std::string>& arguments() const { return arguments_; }

 private:
  std::vector<std::string> arguments_;
  unsigned saved_output_code_page_ = 0;  // 0: unchanged
  unsigned long saved_error_mode_ = 0;   // the console mode of stderr before
  bool error_mode_saved_ = false;
};

// Shows prompt on stderr and reads a line from the terminal or console
// without echo, as UTF-8; nothing when standard input is not one.
std::optional<std::string> read_hidden_line(const char* prompt);

// path made absolute against the current directory and without "." and
// ".." components; path itself when that fails.
std::string absolute_path(const std::string& path);

// True when the tool can start other programs (for ISO images).
bool can_run_programs();

// True when a program of that name is found on the PATH.
bool find_program(const std::string& name);

// Runs a program with its arguments (args[0] its name, found on the PATH),
// standard output and error going to the file log_path.  Returns its exit
// status, or -1 when it could not be started or did not end normally.
int run_program(const std::vector<std::string>& args, const std::string& log_path);

// Makes a fresh directory in the system's temporary directory, its name
// starting with prefix; empty on failure.
std::string make_temp_directory(const std::string& prefix);

// Removes a directory and everything in it, never following a link.
void remove_tree(const std::string& directory);

// True when writing CDs (kelvora build) is available on this platform.
bool can_build_cds();

}  // namespace kelvora::cli
