#include "cli/iso_image.h"

#include <algorithm>
#include <cstdint>
#include <exception>
#include <cstring>
#include <vector>

#include "cli/platform.h"
#include "viewer/base/file_system.h"
#include "viewer/base/little_endian.h"
#include "viewer/container/viewer_file.h"

namespace kelvora::cli {
namespace {

constexpr const char* XORRISO = "xorriso";

struct RootFile {
  std::string Name;
  std::uint64_t Size = 0;
};
constexpr const char* INSTALL_HINT =
    "the xorriso program is needed for ISO images: install the xorriso package "
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

// The regular files in the root of an image as xorriso lists them
// ("-rw-r--r--  1 0  0  289 Dec 10 04:42 '/NAME'"): the size and the name,
// unquoted.  Status lines and other entries are skipped.
std::vector<RootFile> parse_root_listing(const std::string& log_path) {
  std::vector<RootFile> files;
  FilePtr file = open_file(log_path, "rb");
  if (!file) return files;
  std::string line;
  const auto take = [&files](const std::string& text) {
    if (text.empty() || text[0] != '-') return;
    const std::size_t quote = text.find(" '/");
    if (quote == std::string::npos || text.back() != '\'') return;
    // Fields before the name: mode, links, owner, group, size, date (3).
    std::vector<std::string> fields;
    std::size_t at = 0;
    while (at < quote) {
      const std::size_t start = text.find_first_not_of(' ', at);
      if (start == std::string::npos || start >= quote) break;
      const std::size_t end = std::min(text.find(' ', start), quote);
      fields.push_back(text.substr(start, end - start));
      at = end;
    }
    if (fields.size() < 5) return;
    RootFile f;
    try {
      f.Size = std::stoull(fields[4]);
    } catch (const std::exception&) {
      return;
    }
    // '...' with each ' inside written as '"'"'.
    const std::string quoted = text.substr(quote + 3, text.size() - quote - 4);
    for (std::size_t i = 0; i < quoted.size(); ++i) {
      if (quoted.compare(i, 5, "'\"'\"'") == 0) {
        f.Name += '\'';
        i += 4;
      } else {
        f.Name += quoted[i];
      }
    }
    if (f.Name.empty() || f.Name.find('/') != std::string::npos) return;
    files.push_back(f);
  };
  for (int c = std::fgetc(file.get()); c != EOF; c = std::fgetc(file.get())) {
    if (c == '\n') {
      take(line);
      line.clear();
    } else {
      line += static_cast<char>(c);
    }
  }
  take(line);
  return files;
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

bool is_iso_image(const std::string& path) {
  if (!is_regular_file(path)) return false;
  FilePtr file = open_file(path, "rb");
  if (!file) return false;
  // The first volume descriptor lies at sector 16 of 2048 bytes.
  char id[6] = {};
  return seek_to(file.get(), 16 * 2048) && std::fread(id, 1, 6, file.get()) == 6 &&
         std::memcmp(id + 1, "CD001", 5) == 0;
}

std::optional<std::string> xorriso_missing() {
  if (!can_run_programs())
    return std::string("ISO images are not read or written on this system: mount the image "
                       "and give its drive, or build the image on Linux");
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

ImageCopy::~ImageCopy() { remove(); }

ImageCopy& ImageCopy::operator=(ImageCopy&& other) noexcept {
  if (this != &other) {
    remove();
    directory_ = std::move(other.directory_);
    other.directory_.clear();
  }
  return *this;
}

void ImageCopy::remove() {
  if (!directory_.empty()) remove_tree(directory_);
  directory_.clear();
}

std::string ImageCopy::open(const std::string& image, ImageNeeds needs) {
  remove();
  if (auto missing = xorriso_missing()) return *missing;
  std::string made = make_temp_directory("kelvora-image-");
  if (made.empty()) return "cannot make a temporary directory for the image's files";
  directory_ = made;
  const std::string source = absolute_path(image);
  if (needs == ImageNeeds::ViewerFile && copy_viewer_files(source)) return {};

  const std::string log = directory_ + "/xorriso.log";
  const int status =
      run_program({XORRISO, "-osirrox", "on", "-indev", source, "-extract", "/", files()}, log);
  if (status != 0) {
    std::string error = "xorriso could not read the image " + image;
    const std::string tail = log_tail(log);
    if (!tail.empty()) error += ": " + tail;
    return error;
  }
  remove_file(log);
  return {};
}

// The viewer file lies in the root of the CD and ends in its trailer's
// magic: the last four bytes of each file there are read first, and only
// the files that end so are copied.  False when that cannot be done; the
// caller then copies everything.
bool ImageCopy::copy_viewer_files(const std::string& image) {
  const std::string log = directory_ + "/list.log";
  if (run_program({XORRISO, "-indev", image, "-find", "/", "-maxdepth", "1", "-type", "f",
                   "-exec", "lsdl"},
                  log) != 0)
    return false;
  const std::vector<RootFile> root = parse_root_listing(log);
  remove_file(log);

  std::vector<std::string> cut{XORRISO, "-osirrox", "on", "-iso_rr_pattern", "off", "-indev",
                               image};
  std::vector<const RootFile*> candidates;
  for (const RootFile& file : root) {
    if (file.Size < TRAILER_SIZE) continue;
    candidates.push_back(&file);
    cut.insert(cut.end(), {"-extract_cut", "/" + file.Name, std::to_string(file.Size - 4), "4",
                           directory_ + "/tail" + std::to_string(candidates.size())});
  }
  if (candidates.empty() || run_program(cut, directory_ + "/cut.log") != 0) return false;
  remove_file(directory_ + "/cut.log");

  std::vector<std::string> copy{XORRISO, "-osirrox", "on", "-iso_rr_pattern", "off", "-indev",
                                image};
  for (std::size_t i = 0; i < candidates.size(); ++i) {
    const std::string tail_path = directory_ + "/tail" + std::to_string(i + 1);
    FilePtr tail = open_file(tail_path, "rb");
    std::uint8_t magic[4];
    const bool viewer = tail && std::fread(magic, 1, 4, tail.get()) == 4 &&
                        read_le32(magic) == TRAILER_MAGIC;
    tail.reset();
    remove_file(tail_path);
    if (viewer)
      copy.insert(copy.end(), {"-extract", "/" + candidates[i]->Name,
                               files() + "/" + candidates[i]->Name});
  }
  if (copy.size() == 7) return false;
  if (!make_directory(files()) || run_program(copy, directory_ + "/copy.log") != 0) {
    remove_tree(files());
    return false;
  }
  remove_file(directory_ + "/copy.log");
  return true;
}

}  // namespace kelvora::cli
