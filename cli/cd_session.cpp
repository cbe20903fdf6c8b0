#include "cli/cd_session.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <vector>

#include "cli/exit_codes.h"
#include "viewer/base/file_system.h"
#include "viewer/base/little_endian.h"
#include "viewer/container/find_viewer.h"
#include "viewer/container/password.h"
#include "viewer/base/message_sink.h"
#include "viewer/base/codepage.h"

#if !defined(_WIN32)
#include <termios.h>
#include <unistd.h>
#endif

namespace kelvora::cli {
namespace fs = std::filesystem;
namespace {

std::string strip_line_end(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

// Reads a password without echo from the terminal.
std::optional<std::string> prompt_password() {
#if defined(_WIN32)
  return std::nullopt;
#else
  if (!isatty(STDIN_FILENO)) return std::nullopt;
  std::fprintf(stderr, "Enter password: ");
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
  return strip_line_end(line);
#endif
}

std::optional<std::string> read_password(const CdOptions& options, int& code) {
  code = EXIT_ALL_DONE;
  if (options.Password) return options.Password;
  if (options.PasswordFile) {
    std::string line;
    if (*options.PasswordFile == "-") {
      std::getline(std::cin, line);
    } else {
      std::ifstream in(*options.PasswordFile, std::ios::binary);
      if (!in) {
        std::fprintf(stderr, "kelvora: cannot read the password file %s\n",
                     options.PasswordFile->c_str());
        code = EXIT_USAGE;
        return std::nullopt;
      }
      std::getline(in, line);
    }
    return strip_line_end(line);
  }
  if (auto typed = prompt_password()) return typed;
  std::fprintf(stderr,
               "kelvora: this CD has a password: give --password, --password-file or "
               "type it at a terminal\n");
  code = EXIT_PASSWORD;
  return std::nullopt;
}

}  // namespace

std::string CdSession::utf8(const std::string& text) const {
  auto converted = to_utf8(text, Codepage);
  return converted ? *converted : text;
}

void install_message_handler(const std::string& codepage) {
  set_message_handler([codepage](MessageKind kind, const std::string& caption,
                                 const std::string& text) {
    auto converted = to_utf8(text, codepage);
    std::fprintf(stderr, "%s %s\n", caption.c_str(), (converted ? *converted : text).c_str());
    return kind == MessageKind::YesNo ? ANSWER_NO : ANSWER_OK;
  });
}

int find_viewer_file(const std::string& cd, std::string& path) {
  std::error_code error;
  if (!fs::is_directory(cd, error)) {
    if (!fs::exists(cd, error)) {
      std::fprintf(stderr, "kelvora: %s does not exist\n", cd.c_str());
      return EXIT_USAGE;
    }
    path = cd;
    return EXIT_ALL_DONE;
  }
  const std::vector<std::string> found = find_viewer_files(cd);
  if (found.empty()) {
    std::fprintf(stderr, "kelvora: no viewer file in %s\n", cd.c_str());
    return EXIT_DAMAGED;
  }
  if (found.size() > 1) {
    std::fprintf(stderr, "kelvora: %s holds %zu viewer files; name one of them:\n", cd.c_str(),
                 found.size());
    for (const std::string& p : found) std::fprintf(stderr, "  %s\n", p.c_str());
    return EXIT_USAGE;
  }
  path = found[0];
  return EXIT_ALL_DONE;
}

int open_cd(const CdOptions& options, bool unlock, CdSession& session) {
  session.Codepage = options.Codepage;
  std::string path;
  if (int code = find_viewer_file(options.Cd, path)) return code;
  if (!load_viewer_file(fs::absolute(path).string(), session.Viewer)) return EXIT_DAMAGED;
  if (!load_catalogue(session.Viewer, session.Cat)) return EXIT_DAMAGED;
  session.Damaged = session.Cat.Entries.size() < session.Viewer.Trailer.ItemCount;

  const bool has_password = (session.Viewer.Settings.Flags & FLAG_PASSWORD) != 0;
  session.Unlocked = !has_password;
  if (!unlock || !has_password) return EXIT_ALL_DONE;
  int code = EXIT_ALL_DONE;
  const std::optional<std::string> typed = read_password(options, code);
  if (!typed) return code;
  // The password is 8-bit text in the CD's code page, as typed on Windows.
  const std::string entered = from_utf8(*typed, options.Codepage).value_or(*typed);
  switch (check_password(session.Viewer.Settings, entered)) {
    case PasswordResult::Correct:
      session.Unlocked = true;
      return EXIT_ALL_DONE;
    case PasswordResult::TooLong:
      std::fprintf(stderr, "kelvora: %s\n", PASSWORD_TOO_LONG_TEXT);
      return EXIT_PASSWORD;
    case PasswordResult::Incorrect:
      break;
  }
  std::fprintf(stderr, "kelvora: the password is incorrect (it is case sensitive)\n");
  return EXIT_PASSWORD;
}

}  // namespace kelvora::cli
