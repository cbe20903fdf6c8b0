#include "viewer/extract/engine.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "viewer/base/file_system.h"
#include "viewer/base/path_text.h"
#include "viewer/container/ciphers.h"
#include "viewer/base/message_sink.h"

#if defined(_WIN32)
#include <direct.h>
#endif

namespace kelvora {
namespace {

bool exists_at(const std::string& path) { return path_kind(path) != PathKind::Missing; }

std::string join(const std::string& left, const std::string& right) {
  std::string path = left;
  path += PATH_SEPARATOR;
  path += right;
  return path;
}

bool aborted(const Extractor& x) {
  return x.ExportAborted && x.ExportAborted->load(std::memory_order_relaxed);
}

void report_progress(Extractor& x) {
  if (x.OnProgress) x.OnProgress(x.Progress);
}

void enter_directory(const Extractor& x, const std::string& directory) {
  if (!x.ChangeCurrentDirectory || directory.empty()) return;
  set_current_drive(directory[0]);
  change_directory(directory);
}

std::string shown(const std::string& name) { return name.empty() ? "(no name)" : name; }

void report_refused(const std::string& name, const char* reason) {
  show_error("Error:(345636)", "Cannot export [%s]: %s.", shown(name).c_str(), reason);
}

void report_too_long(const std::string& name) {
  show_error("Error:(345637)",
             "Cannot export [%s]: its path would be longer than 1023 characters.",
             shown(name).c_str());
}

// Creates the directories of path.  The pieces of trusted (the target the
// user chose, which may well pass through links) are taken as they are; any
// later piece must not be a link (a symbolic link, or on Windows a junction
// or any other reparse point).  Returns 1, 0 after a failure to create, -1
// after refusing a link.
int make_dir_below(const std::string& path, const std::string* trusted) {
  const std::vector<std::string> pieces = split_path(path);
  const std::size_t trusted_pieces =
      trusted ? split_path(*trusted).size() : pieces.size();
  if (pieces.empty()) return 1;

  std::string result;
  std::size_t first = 0;
#if defined(_WIN32)
  // The drive (C:) or the share (\\server\share) is neither tested nor
  // created.
  if (path.size() > 1 && is_separator(path[0]) && is_separator(path[1]) && pieces.size() > 1) {
    result = std::string(2, PATH_SEPARATOR) + pieces[0] + PATH_SEPARATOR + pieces[1];
    first = 2;
  } else {
    result = pieces[0];
    first = 1;
  }
#endif
  for (std::size_t i = first; i < pieces.size(); ++i) {
#if defined(_WIN32)
    result += PATH_SEPARATOR;
#else
    // An absolute path starts at the root; a relative one at its first piece.
    if (i > 0 || is_separator(path[0])) result += PATH_SEPARATOR;
#endif
    result += pieces[i];
    const PathKind kind = path_kind(result);
    if (i >= trusted_pieces && kind == PathKind::Link) {
      show_error("Error:(4312)", "Cannot export into %s: it is a link.", result.c_str());
      return -1;
    }
    if (kind == PathKind::Missing && !make_directory(result) && !exists_at(result)) {
      show_plain_message("Error Making Dir...(4311)", result.c_str());
      return 0;
    }
  }
  return 1;
}

bool iequal_ascii(const std::string& a, const std::string& b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char l, char r) {
           return std::toupper(static_cast<unsigned char>(l)) ==
                  std::toupper(static_cast<unsigned char>(r));
         });
}

// Finishes one file in the progress and the result.
int file_done(Extractor& x, bool written, std::uint32_t size) {
  x.Progress.FilesDone += 1;
  if (written) {
    x.Result.FilesWritten += 1;
    x.Result.BytesWritten += size;
  } else if (!x.Result.Aborted) {
    x.Result.FilesFailed += 1;
  }
  report_progress(x);
  return written ? 1 : 0;
}

}  // namespace

namespace {

// COM and LPT with one digit are devices; so are they with a superscript
// one, two or three, whose bytes depend on the code page of the names.
bool is_port_digit(unsigned char c) {
  if (c >= '0' && c <= '9') return true;
  switch (name_code_page()) {
    case 1252: case 1254: case 1255: case 1256: case 1257: case 1258: case 28591:
      return c == 0xB9 || c == 0xB2 || c == 0xB3;
    case 1253:  // Greek has superscript two and three only
      return c == 0xB2 || c == 0xB3;
    default:
      return false;
  }
}

bool is_device_name(const std::string& base) {
  static const char* const devices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
  for (const char* device : devices)
    if (iequal_ascii(base, device)) return true;
  if (base.size() != 4) return false;
  const std::string port = base.substr(0, 3);
  return (iequal_ascii(port, "COM") || iequal_ascii(port, "LPT")) &&
         is_port_digit(static_cast<unsigned char>(base[3]));
}

}  // namespace

const char* unsafe_name_reason(const std::string& name) {
  if (!name.empty() && is_separator(name[0])) return "the name is an absolute path";
  if (name.find(':') != std::string::npos) return "the name holds a drive or a colon";
  for (const std::string& piece : split_path(name)) {
    if (piece == "..") return "the name would leave the target directory";
    // A device name counts with any extension and trailing blanks.
    std::string base = piece.substr(0, piece.find('.'));
    while (!base.empty() && base.back() == ' ') base.pop_back();
    if (is_device_name(base)) return "the name is a device name";
  }
  return nullptr;
}

std::string local_name(const std::string& name) {
  std::string local = name;
#if !defined(_WIN32)
  // Whole characters only: a second byte of a double-byte character may be
  // the byte of a backslash.
  for (std::size_t i = 0; i < local.size(); i += char_size(local, i))
    if (local[i] == '\\') local[i] = '/';
#endif
  return local;
}

int make_dir_path(const std::string& path) {
  return make_dir_below(path, nullptr) == 1 ? 1 : 0;
}

void set_current_drive(char letter) {
#if defined(_WIN32)
  const int upper = std::toupper(static_cast<unsigned char>(letter));
  if (upper >= 'A' && upper <= 'Z') _chdrive(upper - 'A' + 1);
#else
  (void)letter;  // no drives
#endif
}

std::string viewer_directory(const ViewerFile& viewer) {
  const std::string& path = viewer.ViewerPath;
  const std::size_t cut = last_separator(path);
  if (cut == std::string::npos) return ".";
  if (cut == 0) return path.substr(0, 1);
  return path.substr(0, cut);
}

std::string data_file_path(const ViewerFile& viewer, const std::string& data_file) {
  const std::string directory = viewer_directory(viewer);
  const std::string exact = join(directory, local_name(data_file));
  if (exists_at(exact)) return exact;
#if defined(_WIN32)
  return exact;  // the file system ignores letter case already
#else
  // CDs are often mounted with other letter case: look each piece up.
  std::string path = directory;
  for (const std::string& piece : split_path(local_name(data_file))) {
    std::string next = join(path, piece);
    if (!exists_at(next)) {
      for (const std::string& candidate : list_directory(path).value_or(std::vector<std::string>{}))
        if (iequal_ascii(candidate, piece)) {
          next = join(path, candidate);
          break;
        }
    }
    path = next;
  }
  return path;
#endif
}

namespace {

// Swallows the reports of a silent extraction for its lifetime.
class Silence {
 public:
  explicit Silence(bool on) : on_(on) {
    if (on_)
      previous_ = set_message_handler([](MessageKind kind, const std::string&, const std::string&) {
        return kind == MessageKind::YesNo ? ANSWER_NO : ANSWER_OK;
      });
  }
  ~Silence() {
    if (on_) set_message_handler(std::move(previous_));
  }
  Silence(const Silence&) = delete;
  Silence& operator=(const Silence&) = delete;

 private:
  bool on_;
  MessageHandler previous_;
};

}  // namespace

FileRange open_data_file(const ViewerFile& viewer, const CryptItem& item) {
  if (item.DataFile.empty()) {
    show_error("Error:(345634)", "Cannot open .dat file.");
    return {};
  }
  if (const char* reason = unsafe_name_reason(item.DataFile)) {
    show_error("Error:(345635)", "Cannot open the data file [%s]: %s.",
               item.DataFile.c_str(), reason);
    return {};
  }
  FileRange data;
  if (viewer.Files) {
    // In an image the reason is the image's (a file in several extents,
    // one past the image's end): said, as no other tool can tell it.
    std::string why;
    data = viewer.Files->open(local_name(item.DataFile), &why);
    if (!data) {
      show_error("Error:(345634)", "Cannot open the data file %s: %s.",
                 viewer.Files->shown_name(item.DataFile).c_str(), why.c_str());
      return data;
    }
  } else {
    const std::string path = data_file_path(viewer, item.DataFile);
    if (is_regular_file(path)) data.File = open_file(path, "rb");
    const std::int64_t length = data ? file_length(data.File.get()) : -1;
    if (length < 0) data.File.reset();
    data.Length = static_cast<std::uint64_t>(length);
  }
  if (!data) {
    show_error("Error:(345634)", "Cannot open .dat file.");
    return data;
  }
  // Reads are of large pieces: the stream's own small buffer would only
  // split them into more system calls.
  std::setvbuf(data.File.get(), nullptr, _IONBF, 0);
  return data;
}

bool seek_entry(std::FILE* data, std::uint64_t start, std::int64_t length,
                const CryptItem& item) {
  // A data file too short for the entry is reported before anything is made.
  if (length < 0 || static_cast<std::uint64_t>(item.DataOffset) + item.Size >
                        static_cast<std::uint64_t>(length)) {
    show_error("Error:(345638)", "The data file %s is too short for [%s].",
               item.DataFile.c_str(), item.Name.c_str());
    return false;
  }
  if (!seek_to(data, start + item.DataOffset)) {
    show_error("Error:(345634)", "Cannot open .dat file.");
    return false;
  }
  return true;
}

FilePtr open_entry_data(const ViewerFile& viewer, const CryptItem& item) {
  FileRange data = open_data_file(viewer, item);
  if (!data ||
      !seek_entry(data.File.get(), data.Start, static_cast<std::int64_t>(data.Length), item))
    return nullptr;
  return std::move(data.File);
}

namespace {

// The path an entry is written to below directory, or empty after the
// entry was refused and reported.
std::string output_path(Extractor& x, const CryptItem& item, const std::string& directory) {
  if (const char* reason = unsafe_name_reason(item.Name)) {
    report_refused(item.Name, reason);
    return {};
  }
  const std::string name = x.LocalText ? x.LocalText(item.Name) : item.Name;
  std::string output = join(directory, local_name(name));
  if (output.size() > MAX_BUILT_PATH) {
    report_too_long(item.Name);
    return {};
  }
  return output;
}

// The entry's data file, open and at the entry's offset, or null after the
// report.  Consecutive entries mostly share a data file: it stays open
// while they do.
std::FILE* open_cached_entry_data(Extractor& x, const CryptItem& item) {
  if (!x.OpenData || x.OpenDataName != item.DataFile) {
    FileRange data = open_data_file(x.Viewer, item);
    x.OpenData = std::move(data.File);
    if (!x.OpenData) return nullptr;
    x.OpenDataStart = data.Start;
    x.OpenDataLength = static_cast<std::int64_t>(data.Length);
    x.OpenDataName = item.DataFile;
  }
  if (seek_entry(x.OpenData.get(), x.OpenDataStart, x.OpenDataLength, item))
    return x.OpenData.get();
  x.OpenData.reset();
  return nullptr;
}

// Copies the entry from its data file into output (in a dry run only reads
// it).  An output that did not come out whole is removed and reported.
bool copy_entry(Extractor& x, const CryptItem& item, std::FILE* data,
                const std::string& output) {
  FilePtr out;
  if (!x.DryRun) {
    out = create_file_no_follow(output);
    if (!out) {
      show_error("Error:(34565)", "Cannot create new export file.");
      return false;
    }
    std::setvbuf(out.get(), nullptr, _IONBF, 0);
  }
  const CopyResult copied = copy_decrypt_observed(
      x.ContentKey, out.get(), data, item.Size, [&](std::uint32_t chunk) {
        x.Progress.BytesDone += chunk;
        report_progress(x);
        return !aborted(x);
      });
  const bool closed = x.DryRun || close_checked(out);
  if (copied == CopyResult::Done && closed) return true;
  if (!x.DryRun) remove_file(output);
  switch (copied) {
    case CopyResult::Done:  // written, but not closed whole
    case CopyResult::WriteFailed:
      show_error("Error:(34567)", "Cannot write export file [%s]; it was removed.",
                 item.Name.c_str());
      break;
    case CopyResult::ShortRead:
      x.OpenData.reset();  // its length has changed under us
      show_error("Error:(345638)", "The data file %s is too short for [%s].",
                 item.DataFile.c_str(), item.Name.c_str());
      break;
    case CopyResult::Aborted:
      x.Result.Aborted = true;
      break;
    case CopyResult::NoMemory:  // reported by the copy
    case CopyResult::NoKey:
      break;
  }
  return false;
}

}  // namespace

int extract_file(Extractor& x, EntryIndex entry, const std::string& directory) {
  if (entry >= x.Cat.Entries.size()) return 0;
  Silence silence(x.Silent);
  const CryptItem& item = x.Cat.Entries[entry];
  x.Progress.CurrentName = item.Name;
  report_progress(x);

  const std::string output = output_path(x, item, directory);
  if (output.empty()) return file_done(x, false, 0);
  const std::string viewer_dir = viewer_directory(x.Viewer);
  if (viewer_dir.size() > MAX_VIEWER_DIRECTORY) {
    show_error("Error:(345639)", "The CD's directory is longer than 254 characters.");
    return file_done(x, false, 0);
  }
  enter_directory(x, viewer_dir);
  std::FILE* data = open_cached_entry_data(x, item);
  if (!data) return file_done(x, false, 0);
  const bool written = copy_entry(x, item, data, output);
  return file_done(x, written, written ? item.Size : 0);
}

void extract_folder_files(Extractor& x, EntryIndex folder, const std::string& directory) {
  for (EntryIndex file : folder_files(x.Cat, folder)) {
    if (aborted(x)) {
      x.Result.Aborted = true;
      return;
    }
    extract_file(x, file, directory);
  }
}

namespace {

// Builds and makes the directory of a folder below parent; empty when the
// folder cannot be written (reported).
bool folder_directory(Extractor& x, const CryptItem& folder, const std::string& parent,
                      std::string& directory) {
  if (const char* reason = unsafe_name_reason(folder.Name)) {
    report_refused(folder.Name, reason);
    x.Result.FoldersFailed += 1;
    return false;
  }
  const std::string name = x.LocalText ? x.LocalText(folder.Name) : folder.Name;
  directory = join(parent, local_name(name));
  if (directory.size() > MAX_BUILT_PATH) {
    report_too_long(folder.Name);
    x.Result.FoldersFailed += 1;
    return false;
  }
  if (x.DryRun) return true;
  const int made = make_dir_below(directory, &parent);
  if (made == 1) return true;
  x.Result.FoldersFailed += 1;
  // A directory that could not be made lets its files fail one by one; a
  // link in its place is never written through.
  return made == 0;
}

}  // namespace

int export_folder(Extractor& x, EntryIndex folder, const std::string& target) {
  if (folder >= x.Cat.Entries.size()) return 1;
  if (x.CountTotals) count_folder(x.Cat, folder, x.Progress);
  enter_directory(x, target);
  if (!x.DryRun) make_dir_path(target);
  const CryptItem& item = x.Cat.Entries[folder];
  std::string directory;
  if (folder_directory(x, item, target, directory)) {
    extract_folder_files(x, folder, directory);
    if (item.TreeItem != NO_NODE && tree_first_child(x.Cat, item.TreeItem) != NO_NODE)
      export_subfolders(x, item.TreeItem, directory);
  }
  return 1;
}

void export_subfolders(Extractor& x, TreeNodeIndex node, const std::string& directory) {
  for (TreeNodeIndex child = tree_first_child(x.Cat, node); child != NO_NODE;
       child = tree_next_sibling(x.Cat, child)) {
    if (aborted(x)) {
      x.Result.Aborted = true;
      return;
    }
    const EntryIndex entry = tree_item_entry(x.Cat, child);
    if (entry == NO_ENTRY) continue;
    enter_directory(x, directory);
    std::string sub;
    if (!folder_directory(x, x.Cat.Entries[entry], directory, sub)) continue;
    extract_folder_files(x, entry, sub);
    if (tree_first_child(x.Cat, child) != NO_NODE) export_subfolders(x, child, sub);
  }
}

void export_selection(Extractor& x, const std::vector<EntryIndex>& entries,
                      const std::string& target) {
  const bool count = x.CountTotals;
  for (EntryIndex entry : entries) {
    if (!count || entry >= x.Cat.Entries.size()) continue;
    if (x.Cat.Entries[entry].is_file()) {
      x.Progress.FilesTotal += 1;
      x.Progress.BytesTotal += x.Cat.Entries[entry].Size;
    } else {
      count_folder(x.Cat, entry, x.Progress);
    }
  }
  x.CountTotals = false;
  bool target_made = false;
  for (EntryIndex entry : entries) {
    if (aborted(x)) {
      x.Result.Aborted = true;
      break;
    }
    if (entry >= x.Cat.Entries.size()) continue;
    if (!x.Cat.Entries[entry].is_file()) {
      export_folder(x, entry, target);
      continue;
    }
    if (!target_made && !x.DryRun) {
      if (!make_dir_path(target)) {
        x.Result.FilesFailed += 1;
        continue;
      }
      target_made = true;
    }
    extract_file(x, entry, target);
  }
  x.CountTotals = count;
}

void count_folder(const Catalogue& catalogue, EntryIndex folder, ExportProgress& totals) {
  if (folder >= catalogue.Entries.size()) return;
  auto add_files = [&](EntryIndex entry) {
    for (EntryIndex file : folder_files(catalogue, entry)) {
      totals.FilesTotal += 1;
      totals.BytesTotal += catalogue.Entries[file].Size;
    }
  };
  add_files(folder);
  const TreeNodeIndex top = catalogue.Entries[folder].TreeItem;
  if (top == NO_NODE) return;
  // Depth-first over the sub-tree without recursion: a hostile catalogue
  // may nest folders as deep as it has records.
  std::vector<TreeNodeIndex> pending;
  for (TreeNodeIndex c = tree_first_child(catalogue, top); c != NO_NODE;
       c = tree_next_sibling(catalogue, c))
    pending.push_back(c);
  while (!pending.empty()) {
    const TreeNodeIndex node = pending.back();
    pending.pop_back();
    const EntryIndex entry = tree_item_entry(catalogue, node);
    if (entry != NO_ENTRY) add_files(entry);
    for (TreeNodeIndex c = tree_first_child(catalogue, node); c != NO_NODE;
         c = tree_next_sibling(catalogue, c))
      pending.push_back(c);
  }
}

}  // namespace kelvora
