#include "cli/cd_session.h"

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <memory>
#include <vector>

#include "cli/exit_codes.h"
#include "cli/output.h"
#include "cli/platform.h"
#include "viewer/base/file_system.h"
#include "viewer/base/little_endian.h"
#include "viewer/container/find_viewer.h"
#include "viewer/container/iso_image.h"
#include "viewer/container/password.h"
#include "viewer/base/message_sink.h"
#include "viewer/base/codepage.h"

namespace kelvora::cli {
namespace {

std::string strip_line_end(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

std::optional<std::string> read_password(const CdOptions& options, int& code) {
  code = EXIT_ALL_DONE;
  if (options.Password) return options.Password;
  if (options.PasswordFile) {
    std::string line;
    if (*options.PasswordFile == "-") {
      std::getline(std::cin, line);
    } else {
      FilePtr in = open_file(*options.PasswordFile, "rb");
      if (!in) {
        std::fprintf(stderr, "kelvora: cannot read the password file %s\n",
                     options.PasswordFile->c_str());
        code = EXIT_USAGE;
        return std::nullopt;
      }
      for (int c = std::fgetc(in.get()); c != EOF && c != '\n'; c = std::fgetc(in.get()))
        line += static_cast<char>(c);
    }
    return strip_line_end(line);
  }
  if (auto typed = read_hidden_line("Enter password: ")) return strip_line_end(*typed);
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
    std::fprintf(stderr, "%s %s\n", caption.c_str(),
                 terminal_text(converted ? *converted : text).c_str());
    return kind == MessageKind::YesNo ? ANSWER_NO : ANSWER_OK;
  });
}

int find_viewer_file(const std::string& cd, std::string& path) {
  const PathKind kind = path_kind(cd);
  if (kind == PathKind::Missing) {
    std::fprintf(stderr, "kelvora: %s does not exist\n", cd.c_str());
    return EXIT_USAGE;
  }
  // A link to a directory counts as the directory.
  const bool directory = kind == PathKind::Directory ||
                         (kind == PathKind::Link && !is_regular_file(cd) && list_directory(cd));
  if (!directory) {
    path = cd;
    return EXIT_ALL_DONE;
  }
  std::vector<std::string> unreadable;
  const std::vector<std::string> found = find_viewer_files(cd, &unreadable);
  if (found.empty() && !unreadable.empty()) {
    // A read error is not an absent trailer: say which file failed and why.
    for (const std::string& file : unreadable)
      std::fprintf(stderr, "kelvora: cannot read %s\n", file.c_str());
    return EXIT_DAMAGED;
  }
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

namespace {

// The viewer file in the root of an image, loaded.  Returns an exit code.
int load_from_image(const std::string& cd, CdSession& session) {
  auto image = std::make_shared<IsoImage>();
  const std::string error = image->load(cd);
  if (!error.empty()) {
    std::fprintf(stderr, "kelvora: cannot read the image %s: %s\n", cd.c_str(), error.c_str());
    return EXIT_DAMAGED;
  }
  const std::vector<std::string> found = find_viewer_files(*image);
  if (found.empty()) {
    std::fprintf(stderr, "kelvora: no viewer file in the root of the image %s\n", cd.c_str());
    return EXIT_DAMAGED;
  }
  if (found.size() > 1) {
    std::fprintf(stderr, "kelvora: the image %s holds %zu viewer files in its root:\n",
                 cd.c_str(), found.size());
    for (const std::string& name : found) std::fprintf(stderr, "  %s\n", name.c_str());
    return EXIT_DAMAGED;
  }
  return load_viewer_file(std::move(image), found[0], session.Viewer) ? EXIT_ALL_DONE
                                                                      : EXIT_DAMAGED;
}

}  // namespace

int open_cd(const CdOptions& options, bool unlock, CdSession& session) {
  session.Codepage = options.Codepage;
  const std::string& cd = options.Cd;
  if (is_disc_image(cd)) {
    if (int code = load_from_image(cd, session)) return code;
  } else {
    std::string path;
    if (int code = find_viewer_file(cd, path)) return code;
    if (!load_viewer_file(absolute_path(path), session.Viewer)) return EXIT_DAMAGED;
  }
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
