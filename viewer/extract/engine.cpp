#include "viewer/extract/engine.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <memory>
#include <optional>

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

// Creates the directories of path that are missing; the target the user
// chose is trusted, links on its way included.  Returns false after the
// plain box naming the directory that could not be made.
bool make_dirs(const std::string& path) {
  const std::vector<std::string> pieces = split_path(path);
  if (pieces.empty()) return true;

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
    if (path_kind(result) == PathKind::Missing && !make_directory(result) && !exists_at(result)) {
      show_plain_message("Error Making Dir...(4311)", result.c_str());
      return false;
    }
  }
  return true;
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

namespace {

bool is_name_separator(char c) { return c == '/' || c == '\\'; }

// Why one piece of a name cannot be written, or nullptr.
const char* unsafe_piece_reason(const std::string& piece) {
  if (piece == "..") return "the name would leave the target directory";
  if (piece.empty() || piece == ".") return "the name has an empty or \".\" part";
  // A device name counts with any extension and trailing blanks.
  std::string base = piece.substr(0, piece.find('.'));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  if (is_device_name(base)) return "the name is a device name";
  return unwritable_name_reason(piece);
}

}  // namespace

std::vector<std::string> name_pieces(const std::string& name, bool converted,
                                     const char** reason) {
  auto refuse = [reason](const char* why) {
    if (reason) *reason = why;
    return std::vector<std::string>{};
  };
  if (name.empty()) return refuse("the name is empty");
  if (is_name_separator(name[0])) return refuse("the name is an absolute path");
  // No byte of a colon is ever the second byte of a double-byte character.
  if (name.find(':') != std::string::npos) return refuse("the name holds a drive or a colon");
  std::vector<std::string> pieces(1);
  // Converted text (UTF-8) is split byte by byte: its bytes are not
  // characters of the names' code page.
  for (std::size_t i = 0; i < name.size();) {
    const std::size_t size = converted ? 1 : char_size(name, i);
    if (size == 1 && is_name_separator(name[i]))
      pieces.emplace_back();
    else
      pieces.back().append(name, i, size);
    i += size;
  }
  for (const std::string& piece : pieces)
    if (const char* why = unsafe_piece_reason(piece)) return refuse(why);
  return pieces;
}

const char* unsafe_name_reason(const std::string& name) {
  const char* reason = nullptr;
  if (name_pieces(name, false, &reason).empty()) return reason;
  return nullptr;
}

std::string numbered_name(const std::string& name, unsigned k) {
  // The extension is what follows the last dot, unless the name starts
  // with it; no byte of a dot is the second byte of a character.
  std::size_t dot = name.rfind('.');
  if (dot == 0 || dot == std::string::npos) dot = name.size();
  return name.substr(0, dot) + " (" + std::to_string(k) + ")" + name.substr(dot);
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
  return make_dirs(path) ? 1 : 0;
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

// A directory of the export: the handle everything below it goes through
// (closed when it could not be made or opened, and then why), its path, and
// its place below the target in stored names ("Kelvora/Docs"), for messages.
struct OutDir {
  Directory Dir;
  std::string Path;
  std::string Shown;
  std::string Why;
};

std::string shown_path(const std::string& parent, const std::string& name) {
  return parent.empty() ? name : parent + "/" + name;
}

// What the tool adds to a message: where, and the system's reason.
std::string detail(const Extractor& x, const std::string& where, const std::string& why) {
  if (!x.Detailed) return {};
  std::string text = " (" + where;
  if (!why.empty()) text += ": " + why;
  return text + ")";
}

void report_create_failed(const Extractor& x, const std::string& where, const std::string& why) {
  show_error("Error:(34565)", "Cannot create new export file.%s", detail(x, where, why).c_str());
}

void report_link(const std::string& path) {
  show_error("Error:(4312)", "Cannot export into %s: it is a link.", path.c_str());
}

// The name an entry is written under on this platform, in pieces, or empty
// after its refusal was reported.
std::vector<std::string> written_pieces(const Extractor& x, const CryptItem& item) {
  const bool converted = static_cast<bool>(x.LocalText);
  const std::string name = converted ? x.LocalText(item.Name) : item.Name;
  const char* reason = nullptr;
  std::vector<std::string> pieces = name_pieces(name, converted, &reason);
  if (pieces.empty()) report_refused(item.Name, reason ? reason : "the name cannot be written");
  return pieces;
}

std::string joined(const std::string& directory, const std::vector<std::string>& pieces) {
  std::string path = directory;
  for (const std::string& piece : pieces) path = join(path, piece);
  return path;
}

// Finishes one entry that was not written because a file of its name was
// kept.
int file_skipped(Extractor& x) {
  x.Progress.FilesDone += 1;
  x.Result.FilesSkipped += 1;
  report_progress(x);
  return 0;
}

enum class Placement { Write, Skip, Fail };

// Where an entry's file goes in dir: its own name, or the next free
// "name (k).ext" when this export wrote a file of that name already (or the
// user asked to keep existing files that way).  Never the name of a file
// that this export did not write, unless existing files are replaced.
struct FinalName {
  std::string Name;
  bool Replacing = false;
  bool Renamed = false;
  const char* Why = nullptr;  // why it was renamed
};

Placement choose_name(Extractor& x, const Directory& dir, const std::string& wanted,
                      FinalName& final_name, std::string& why) {
  constexpr unsigned MOST_NUMBERS = 10000;
  final_name = FinalName{wanted};
  for (unsigned k = 2; k <= MOST_NUMBERS; ++k) {
    FileIdentity identity;
    const NameResult at = dir.look_up(final_name.Name, &identity);
    if (at == NameResult::Missing) return Placement::Write;
    if (at == NameResult::Failed || at == NameResult::BadName) {
      why = last_error_text();
      return Placement::Fail;
    }
    const bool ours = x.Written.count(identity) != 0;
    if (!ours && !final_name.Renamed) {
      if (x.Existing == ExistingFiles::Skip) return Placement::Skip;
      if (x.Existing == ExistingFiles::Replace) {
        if (at == NameResult::IsDirectory) {
          why = "a folder of that name is in the way";
          return Placement::Fail;
        }
        final_name.Replacing = true;
        return Placement::Write;
      }
    }
    if (!final_name.Renamed)
      final_name.Why = ours ? "another entry of this export has its name"
                            : "a file of its name is there already";
    final_name.Name = numbered_name(wanted, k);
    final_name.Renamed = true;
  }
  why = "no free name for it";
  return Placement::Fail;
}

// Says why a copy that did not come out whole failed.
void report_copy_failure(Extractor& x, const CryptItem& item, CopyResult copied,
                         const std::string& where, const std::string& why) {
  switch (copied) {
    case CopyResult::Done:  // read whole, but not written whole
    case CopyResult::WriteFailed:
      show_error("Error:(34567)", "Cannot write export file [%s]; the part written was removed.%s",
                 item.Name.c_str(), detail(x, where, why).c_str());
      break;
    case CopyResult::ShortRead:
      x.OpenData.reset();  // its length has changed under us
      show_error("Error:(345638)", "The data file %s is too short for [%s].",
                 item.DataFile.c_str(), item.Name.c_str());
      break;
    case CopyResult::ReadFailed:
      x.OpenData.reset();
      show_error("Error:(345640)", "Cannot read the data file %s for [%s].%s",
                 item.DataFile.c_str(), item.Name.c_str(), detail(x, where, why).c_str());
      break;
    case CopyResult::Aborted:
      x.Result.Aborted = true;
      break;
    case CopyResult::NoMemory:  // reported by the copy
    case CopyResult::NoKey:
      break;
  }
}

CopyResult copy_contents(Extractor& x, const CryptItem& item, std::FILE* data,
                         std::FILE* out) {
  return copy_decrypt_observed(x.ContentKey, out, data, item.Size, [&](std::uint32_t chunk) {
    x.Progress.BytesDone += chunk;
    report_progress(x);
    return !aborted(x);
  });
}

// Writes the entry into dir under a temporary name, then puts it under its
// final name.  On any failure the temporary file goes and whatever had the
// final name before is left as it was.
bool write_entry(Extractor& x, const CryptItem& item, std::FILE* data, const Directory& dir,
                 const FinalName& final_name, const std::string& where) {
  PendingFile pending;
  if (dir.create_pending(pending) != NameResult::Done) {
    report_create_failed(x, where, last_error_text());
    return false;
  }
  std::setvbuf(pending.File.get(), nullptr, _IONBF, 0);
  const CopyResult copied = copy_contents(x, item, data, pending.File.get());
  std::string why = last_error_text();
  const bool closed = close_checked(pending.File);
  if (!closed && copied == CopyResult::Done) why = last_error_text();
  if (copied == CopyResult::Done && closed) {
    // Replacing what another program put there meanwhile is what replacing
    // existing files means; a name of its own (numbered) never replaces.
    const bool replace = final_name.Replacing ||
                         (x.Existing == ExistingFiles::Replace && !final_name.Renamed);
    const NameResult placed = dir.place(pending.TemporaryName, final_name.Name, replace);
    if (placed == NameResult::Done) {
      x.Written.insert(pending.Identity);
      return true;
    }
    why = placed == NameResult::Exists ? "another program made a file of that name meanwhile"
          : placed == NameResult::IsDirectory ? "a folder of that name is in the way"
                                              : last_error_text();
    dir.remove(pending.TemporaryName);
    report_create_failed(x, where, why);
    return false;
  }
  dir.remove(pending.TemporaryName);
  report_copy_failure(x, item, copied, where, why);
  return false;
}

// Reads the entry whole without writing it (verifying a CD).
bool check_entry(Extractor& x, const CryptItem& item, std::FILE* data, const std::string& where) {
  const CopyResult copied = copy_contents(x, item, data, nullptr);
  if (copied == CopyResult::Done) return true;
  report_copy_failure(x, item, copied, where, last_error_text());
  return false;
}

// Opens the directories named inside an entry's name ("Docs\x"); they must
// be there already.  Null after the report.
const Directory* inner_directory(const Extractor& x, const OutDir& out,
                                 const std::vector<std::string>& pieces,
                                 std::vector<Directory>& chain, const std::string& where) {
  chain.reserve(pieces.size());
  const Directory* at = &out.Dir;
  for (std::size_t i = 0; i + 1 < pieces.size(); ++i) {
    Directory next;
    const NameResult opened = at->open_child(pieces[i], false, next);
    if (opened == NameResult::Link) {
      report_link(join(at->path(), pieces[i]));
      return nullptr;
    }
    if (opened != NameResult::Done) {
      report_create_failed(x, where,
                           opened == NameResult::Failed ? last_error_text()
                                                        : "no folder " + pieces[i] + " there");
      return nullptr;
    }
    chain.push_back(std::move(next));
    at = &chain.back();
  }
  return at;
}

int extract_entry(Extractor& x, EntryIndex entry, const OutDir& out) {
  const CryptItem& item = x.Cat.Entries[entry];
  x.Progress.CurrentName = item.Name;
  report_progress(x);
  const std::string where = shown_path(out.Shown, item.Name);

  const std::vector<std::string> pieces = written_pieces(x, item);
  if (pieces.empty()) return file_done(x, false, 0);
  if (joined(out.Path, pieces).size() > MAX_BUILT_PATH) {
    report_too_long(item.Name);
    return file_done(x, false, 0);
  }
  const std::string viewer_dir = viewer_directory(x.Viewer);
  if (x.LimitViewerDirectory && viewer_dir.size() > MAX_VIEWER_DIRECTORY) {
    show_error("Error:(345639)", "The CD's directory is longer than 254 characters.");
    return file_done(x, false, 0);
  }
  enter_directory(x, viewer_dir);
  std::FILE* data = open_cached_entry_data(x, item);
  if (!data) return file_done(x, false, 0);
  if (x.DryRun) {
    const bool read = check_entry(x, item, data, where);
    return file_done(x, read, read ? item.Size : 0);
  }
  if (!out.Dir.is_open()) {
    report_create_failed(x, where, out.Why);
    return file_done(x, false, 0);
  }
  std::vector<Directory> chain;
  const Directory* dir = inner_directory(x, out, pieces, chain, where);
  if (!dir) return file_done(x, false, 0);

  FinalName final_name;
  std::string why;
  switch (choose_name(x, *dir, pieces.back(), final_name, why)) {
    case Placement::Skip:
      return file_skipped(x);
    case Placement::Fail:
      report_create_failed(x, where, why);
      return file_done(x, false, 0);
    case Placement::Write:
      break;
  }
  if (!write_entry(x, item, data, *dir, final_name, where)) return file_done(x, false, 0);
  if (final_name.Replacing) x.Result.FilesReplaced += 1;
  if (final_name.Renamed) {
    x.Result.FilesRenamed += 1;
    show_error("WARNING (345642):", "[%s] is exported as [%s]: %s.", item.Name.c_str(),
               final_name.Name.c_str(), final_name.Why);
  }
  return file_done(x, true, item.Size);
}

void write_files(Extractor& x, EntryIndex folder, const OutDir& out) {
  for (EntryIndex file : folder_files(x.Cat, folder)) {
    if (aborted(x)) {
      x.Result.Aborted = true;
      return;
    }
    extract_entry(x, file, out);
  }
}

// The target the user chose, made when it is missing and opened.  It is
// trusted: a link on its way is followed.
OutDir open_target(const Extractor& x, const std::string& target) {
  OutDir out;
  out.Path = target;
  if (x.DryRun) return out;
  make_dir_path(target);
  out.Dir = Directory::open_trusted(target);
  if (!out.Dir.is_open()) out.Why = last_error_text();
  return out;
}

// Opens (making it) one directory below parent for an export; a closed one
// says why when it cannot be had, so that the files bound for it fail one
// by one.  False after refusing it: nothing is written below it.
bool open_below(Extractor& x, const OutDir& parent, const std::string& name, OutDir& sub) {
  sub.Path = join(parent.Path, name);
  if (x.DryRun) return true;
  if (!parent.Dir.is_open()) {
    show_plain_message("Error Making Dir...(4311)", sub.Path.c_str());
    sub.Why = parent.Why;
    return true;
  }
  const NameResult opened = parent.Dir.open_child(name, true, sub.Dir);
  switch (opened) {
    case NameResult::Done:
      return true;
    case NameResult::Link:
      report_link(sub.Path);
      return false;
    case NameResult::NotDirectory:  // a file of that name: its files fail one by one
      sub.Why = "a file of that name is in the way";
      return true;
    default:
      sub.Why = last_error_text();
      show_plain_message("Error Making Dir...(4311)", sub.Path.c_str());
      return true;
  }
}

// Builds and makes the directory of a folder below parent; false when the
// folder cannot be written (reported).  A second folder of this export that
// would land in the directory of another is written as "name (2)".
bool folder_directory(Extractor& x, const CryptItem& folder, const OutDir& parent, OutDir& sub) {
  const std::vector<std::string> pieces = written_pieces(x, folder);
  if (pieces.empty() || joined(parent.Path, pieces).size() > MAX_BUILT_PATH) {
    if (!pieces.empty()) report_too_long(folder.Name);
    x.Result.FoldersFailed += 1;
    return false;
  }
  sub.Shown = shown_path(parent.Shown, folder.Name);
  OutDir at;
  const OutDir* above = &parent;
  for (std::size_t i = 0; i + 1 < pieces.size(); ++i) {
    OutDir next;
    if (!open_below(x, *above, pieces[i], next)) {
      x.Result.FoldersFailed += 1;
      return false;
    }
    at = std::move(next);
    above = &at;
  }
  const std::string& own = pieces.back();
  std::string name = own;
  for (unsigned k = 2;; ++k) {
    OutDir made;
    if (!open_below(x, *above, name, made)) {
      x.Result.FoldersFailed += 1;
      return false;
    }
    if (!made.Dir.is_open() || !x.Claimed.count(made.Dir.identity()) || k > 10000) {
      if (!made.Dir.is_open() && !x.DryRun) x.Result.FoldersFailed += 1;
      if (made.Dir.is_open()) x.Claimed.insert(made.Dir.identity());
      if (name != own) {
        x.Result.FoldersRenamed += 1;
        show_error("WARNING (345642):", "[%s] is exported as [%s]: another entry of this export has its name.",
                   folder.Name.c_str(), name.c_str());
      }
      made.Shown = sub.Shown;
      sub = std::move(made);
      return true;
    }
    name = numbered_name(own, k);
  }
}

// The sub-folders of a tree node, depth first and pre-order, each folder's
// own files before its sub-folders.  Only the chain of directories down to
// the folder being written is held open.
void walk_subfolders(Extractor& x, TreeNodeIndex node, const OutDir& base) {
  if (node == NO_NODE) return;
  struct Frame {
    TreeNodeIndex Next;
    std::unique_ptr<OutDir> Own;
    const OutDir* Dir;
  };
  std::vector<Frame> stack;
  stack.push_back({tree_first_child(x.Cat, node), nullptr, &base});
  while (!stack.empty()) {
    if (aborted(x)) {
      x.Result.Aborted = true;
      return;
    }
    Frame& top = stack.back();
    const TreeNodeIndex child = top.Next;
    if (child == NO_NODE) {
      stack.pop_back();
      continue;
    }
    top.Next = tree_next_sibling(x.Cat, child);
    const EntryIndex entry = tree_item_entry(x.Cat, child);
    if (entry == NO_ENTRY) continue;
    enter_directory(x, top.Dir->Path);
    auto sub = std::make_unique<OutDir>();
    if (!folder_directory(x, x.Cat.Entries[entry], *top.Dir, *sub)) continue;
    write_files(x, entry, *sub);
    const TreeNodeIndex first = tree_first_child(x.Cat, child);
    if (first == NO_NODE) continue;
    const OutDir* dir = sub.get();
    stack.push_back({first, std::move(sub), dir});
  }
}

// A folder (or CD root) as parent/Name with its files and sub-folders.
void export_tree(Extractor& x, EntryIndex folder, const OutDir& parent) {
  const CryptItem& item = x.Cat.Entries[folder];
  OutDir dir;
  if (!folder_directory(x, item, parent, dir)) return;
  write_files(x, folder, dir);
  walk_subfolders(x, item.TreeItem, dir);
}

OutDir open_trusted_out(const Extractor& x, const std::string& directory) {
  OutDir out;
  out.Path = directory;
  if (x.DryRun) return out;
  out.Dir = Directory::open_trusted(directory);
  if (!out.Dir.is_open()) out.Why = last_error_text();
  return out;
}

void add_totals(const Extractor& x, EntryIndex entry, ExportProgress& totals) {
  if (entry >= x.Cat.Entries.size()) return;
  const CryptItem& item = x.Cat.Entries[entry];
  if (item.is_file()) {
    totals.FilesTotal += 1;
    totals.BytesTotal += item.Size;
  } else {
    count_folder(x.Cat, entry, totals);
  }
}

}  // namespace

int extract_file(Extractor& x, EntryIndex entry, const std::string& directory) {
  if (entry >= x.Cat.Entries.size()) return 0;
  Silence silence(x.Silent);
  return extract_entry(x, entry, open_trusted_out(x, directory));
}

void extract_folder_files(Extractor& x, EntryIndex folder, const std::string& directory) {
  if (folder >= x.Cat.Entries.size()) return;
  write_files(x, folder, open_trusted_out(x, directory));
}

int export_folder(Extractor& x, EntryIndex folder, const std::string& target) {
  if (folder >= x.Cat.Entries.size()) return 1;
  if (x.CountTotals) count_folder(x.Cat, folder, x.Progress);
  enter_directory(x, target);
  export_tree(x, folder, open_target(x, target));
  return 1;
}

void export_subfolders(Extractor& x, TreeNodeIndex node, const std::string& directory) {
  walk_subfolders(x, node, open_trusted_out(x, directory));
}

void export_selection(Extractor& x, const std::vector<EntryIndex>& entries,
                      const std::string& target) {
  if (x.CountTotals)
    for (EntryIndex entry : entries) add_totals(x, entry, x.Progress);
  std::optional<OutDir> out;
  for (EntryIndex entry : entries) {
    if (aborted(x)) {
      x.Result.Aborted = true;
      break;
    }
    if (entry >= x.Cat.Entries.size()) continue;
    if (!x.Cat.Entries[entry].is_file()) enter_directory(x, target);
    if (!out) out = open_target(x, target);
    if (x.Cat.Entries[entry].is_file())
      extract_entry(x, entry, *out);
    else
      export_tree(x, entry, *out);
  }
}

void export_whole_cd(Extractor& x, const std::string& target) {
  const Catalogue& c = x.Cat;
  if (x.CountTotals)
    for (TreeNodeIndex n = c.FirstTopLevel; n != NO_NODE; n = tree_next_sibling(c, n))
      add_totals(x, c.Nodes[n].Entry, x.Progress);
  enter_directory(x, target);
  const OutDir out = open_target(x, target);
  OutDir root;
  root.Shown = ROOT_LABEL;
  if (!open_below(x, out, ROOT_LABEL, root)) {
    x.Result.FoldersFailed += 1;
    return;
  }
  if (root.Dir.is_open()) x.Claimed.insert(root.Dir.identity());
  for (TreeNodeIndex n = c.FirstTopLevel; n != NO_NODE; n = tree_next_sibling(c, n)) {
    if (aborted(x)) {
      x.Result.Aborted = true;
      return;
    }
    const EntryIndex entry = c.Nodes[n].Entry;
    if (entry >= c.Entries.size()) continue;
    if (c.Entries[entry].is_root()) {
      write_files(x, entry, root);
      walk_subfolders(x, n, root);
      continue;
    }
    // A folder whose parent is no entry of the CD goes below Kelvora too.
    show_error("WARNING (345641):",
               "The folder [%s] has no parent folder on the CD; it is exported into %s.",
               c.Entries[entry].Name.c_str(), ROOT_LABEL);
    export_tree(x, entry, root);
  }
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
