#include "cli/iso_image.h"

#include <vector>

#include "cli/platform.h"
#include "viewer/base/file_system.h"

namespace kelvora::cli {
namespace {

constexpr const char* XORRISO = "xorriso";

constexpr const char* INSTALL_HINT =
    "the xorriso program is needed to write ISO images: install the xorriso package "
    "(Debian and Ubuntu: apt install xorriso)";

// The last lines of a program's log, joined for a one-line message.
std::string log_tail(const std::string& log_path) {
  FilePtr file = open_file(log_path, "rb");
  if (!file) return {};
  std::vector<std::string> lines(1);
  for (int c = std::fgetc(file.get()); c != EOF; c = std::fgetc(file.get())) {
    if (c == '\n' || c == '\r') {
      if (!lines.back().empty()) lines.emplace_back();
    } else {
      lines.back() += static_cast<char>(c);
    }
  }
  if (lines.back().empty()) lines.pop_back();
  std::string text;
  for (std::size_t i = lines.size() > 3 ? lines.size() - 3 : 0; i < lines.size(); ++i)
    text += (text.empty() ? "" : " / ") + lines[i];
  return text;
}

}  // namespace

std::optional<std::string> volume_label(const std::string& label) {
  if (label.empty() || label.size() > 32) return std::nullopt;
  std::string out;
  for (char c : label) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_')) return std::nullopt;
    out += c;
  }
  return out;
}

std::string autorun_text(const std::string& viewer_name, const std::string& label) {
  return "[autorun]\r\nopen=" + viewer_name + "\r\nicon=" + viewer_name + ",0\r\nlabel=" +
         label + "\r\n";
}

std::optional<std::string> xorriso_missing() {
  if (!can_run_programs())
    return std::string("ISO images are not written on this system: build the image on Linux");
  if (!find_program(XORRISO)) return std::string(INSTALL_HINT);
  return std::nullopt;
}

std::string write_iso_image(const std::string& directory, const std::string& image,
                            const std::string& label) {
  if (auto missing = xorriso_missing()) return *missing;
  const std::string log = image + ".log";
  // Level 3 lets data files grow past 4 GiB; Joliet keeps the names as the
  // viewer stores them, Rock Ridge (with owners and permissions made those
  // of a pressed CD) keeps them for Unix readers.  The tool's names are
  // UTF-8.
  const int status = run_program({XORRISO, "-as", "mkisofs", "-quiet", "-input-charset",
                                  "UTF-8", "-iso-level", "3", "-J", "-joliet-long", "-r", "-V",
                                  label, "-o", image, directory},
                                 log);
  std::string error;
  if (status != 0) {
    error = "xorriso could not write the image " + image;
    const std::string tail = log_tail(log);
    if (!tail.empty()) error += ": " + tail;
    remove_file(image);
  }
  remove_file(log);
  return error;
}

}  // namespace kelvora::cli
