// The tool's platform layer on Windows.  The arguments are read as UTF-16
// and kept as UTF-8, the text every part of the tool works in; the file
// layer is switched to UTF-8 names, so that it converts them back to UTF-16
// for the wide calls.  A console shows the tool's UTF-8 output once its
// output code page is UTF-8; a file or a pipe gets the UTF-8 bytes.
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <cstdio>

#include <memory>

#include "cli/platform.h"
#include "viewer/base/path_text.h"

namespace kelvora::cli {
namespace {

std::string utf8_of(const wchar_t* text, int length) {
  if (length <= 0) return {};
  const int size =
      WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return {};
  std::string out(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, length, out.data(), size, nullptr, nullptr);
  return out;
}

std::wstring wide_of(const std::string& text) {
  if (text.empty()) return {};
  const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                       nullptr, 0);
  if (size <= 0) return {};
  std::wstring out(static_cast<std::size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size);
  return out;
}

constexpr DWORD VIRTUAL_TERMINAL_PROCESSING = 0x0004;  // ENABLE_VIRTUAL_TERMINAL_PROCESSING

struct LocalFreer {
  void operator()(wchar_t** block) const noexcept { LocalFree(block); }
};

bool is_console(DWORD which) {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(which), &mode) != 0;
}

}  // namespace

ToolPlatform::ToolPlatform(int argc, char** argv) {
  int count = 0;
  std::unique_ptr<wchar_t*, LocalFreer> wide(CommandLineToArgvW(GetCommandLineW(), &count));
  if (wide && count == argc) {
    for (int i = 0; i < count; ++i)
      arguments_.push_back(utf8_of(wide.get()[i], static_cast<int>(wcslen(wide.get()[i]))));
  } else {
    arguments_.assign(argv, argv + argc);
  }
  set_name_code_page(CP_UTF8);
  // Lines end in LF as on every other system: the same output, byte for
  // byte, in a console, a file or a pipe.
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  if (is_console(STD_OUTPUT_HANDLE) || is_console(STD_ERROR_HANDLE)) {
    const UINT current = GetConsoleOutputCP();
    if (current != CP_UTF8 && SetConsoleOutputCP(CP_UTF8)) saved_output_code_page_ = current;
  }
  // The progress bar redraws its line with an escape sequence, which a
  // console takes once it processes them.
  DWORD mode = 0;
  const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
  if (GetConsoleMode(error, &mode) && !(mode & VIRTUAL_TERMINAL_PROCESSING) &&
      SetConsoleMode(error, mode | VIRTUAL_TERMINAL_PROCESSING)) {
    saved_error_mode_ = mode;
    error_mode_saved_ = true;
  }
}

ToolPlatform::~ToolPlatform() {
  if (saved_output_code_page_) SetConsoleOutputCP(saved_output_code_page_);
  if (error_mode_saved_) SetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), saved_error_mode_);
}

std::optional<std::string> read_hidden_line(const char* prompt) {
  const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  DWORD old_mode = 0;
  if (!GetConsoleMode(input, &old_mode)) return std::nullopt;
  std::fprintf(stderr, "%s", prompt);
  std::fflush(stderr);
  SetConsoleMode(input, (old_mode | ENABLE_LINE_INPUT) & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
  std::wstring line;
  wchar_t buffer[256];
  DWORD read = 0;
  bool ended = false;
  while (!ended && ReadConsoleW(input, buffer, 256, &read, nullptr) && read > 0) {
    for (DWORD i = 0; i < read && !ended; ++i) {
      if (buffer[i] == L'\r' || buffer[i] == L'\n')
        ended = true;
      else
        line += buffer[i];
    }
  }
  SetConsoleMode(input, old_mode);
  std::fprintf(stderr, "\n");
  return utf8_of(line.c_str(), static_cast<int>(line.size()));
}

std::string absolute_path(const std::string& path) {
  const std::wstring wide = wide_of(path);
  const DWORD size = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (wide.empty() || size == 0) return path;
  std::wstring full(size, L'\0');
  const DWORD length = GetFullPathNameW(wide.c_str(), size, full.data(), nullptr);
  if (length == 0 || length >= size) return path;
  return utf8_of(full.c_str(), static_cast<int>(length));
}

// Images are not read or written on Windows: the system mounts them.
bool can_run_programs() { return false; }

bool find_program(const std::string&) { return false; }

int run_program(const std::vector<std::string>&, const std::string&) { return -1; }

std::string make_temp_directory(const std::string&) { return {}; }

void remove_tree(const std::string&) {}

bool can_build_cds() { return false; }

}  // namespace kelvora::cli
