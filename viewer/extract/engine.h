// The extraction engine: writes the decrypted contents of file entries into
// directories, a folder's own files first and then its sub-folders in the
// tree's order, creating the directory tree as it goes.
//
// Paths are joined with the platform's separator ("\" on Windows, "/"
// elsewhere); on other platforms a backslash inside a stored name or data
// file name is a directory separator too.  Entry names are used as stored,
// except that a name which would leave the target (a "..", "." or empty
// component, an absolute path, a drive letter or ":", a device name such as
// CON or NUL) is refused and skipped, and no built path grows past the
// capacities below.  Names are checked as they are written, after any
// conversion of their code page.
//
// Everything below the target goes through viewer/base/directory.h: each
// directory is opened relative to its parent and held open while its
// children are made, no link below the target is ever followed, and each
// file is written under a temporary name and put under its own only when it
// is complete, so that a failed or stopped entry leaves an earlier file of
// that name exactly as it was.  Two entries of one export never land on one
// file: the later one is written as "name (2).ext" and said.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "viewer/base/directory.h"
#include "viewer/base/file_system.h"
#include "viewer/catalogue/catalogue.h"
#include "viewer/container/viewer_file.h"

namespace kelvora {

// Capacities of the texts the engine builds, terminator excluded.
constexpr std::size_t MAX_BUILT_PATH = 1023;    // directories and output paths
constexpr std::size_t MAX_VIEWER_DIRECTORY = 254;

// What an export has done so far; handed to the progress callback.
struct ExportProgress {
  std::uint32_t FilesDone = 0;   // files finished, written or failed
  std::uint32_t FilesTotal = 0;  // files the export will try
  std::uint64_t BytesDone = 0;
  std::uint64_t BytesTotal = 0;
  std::string CurrentName;       // entry being written
};

// What an export does with a file of an entry's name that was there before
// it started.
enum class ExistingFiles {
  Replace,  // replaced once the new file is complete (the viewer's way)
  Skip,     // kept; the entry is not written
  Rename,   // kept; the entry is written as "name (2).ext"
};

// What an export did.
struct ExportResult {
  std::uint32_t FilesWritten = 0;
  std::uint32_t FilesFailed = 0;    // each reported with its message
  std::uint32_t FoldersFailed = 0;  // directories not made or names refused
  std::uint32_t FilesReplaced = 0;  // written over a file that was there before
  std::uint32_t FilesSkipped = 0;   // not written: a file of the name was there
  std::uint32_t FilesRenamed = 0;   // written under another name (each said)
  std::uint32_t FoldersRenamed = 0; // made under another name (each said)
  std::uint64_t BytesWritten = 0;
  bool Aborted = false;             // stopped through ExportAborted

  bool all_done() const { return FilesFailed == 0 && FoldersFailed == 0 && !Aborted; }
};

// Everything one export reads.  The catalogue, viewer file and key must
// outlive it.
struct Extractor {
  const ViewerFile& Viewer;
  const Catalogue& Cat;
  const char* ContentKey;  // after the password gate: the password

  // Called after each file and each 1 MiB chunk; may be empty.
  std::function<void(const ExportProgress&)> OnProgress;
  // Set by another thread to stop the export between files or chunks.
  const std::atomic<bool>* ExportAborted = nullptr;
  // Make the viewer's drive and directory, and the export's directories,
  // the process's current ones as the viewer does (its folder picker starts
  // there).  Off in tools that must not change their working directory.
  bool ChangeCurrentDirectory = false;
  // Add what an export will try to Progress's totals when it starts; off
  // when the caller counted a larger selection itself.
  bool CountTotals = true;
  // Read data files but write nothing (verifying a CD).
  bool DryRun = false;
  // Report nothing through the message sink (opening a file for viewing
  // fails silently).
  bool Silent = false;
  // Turns a stored 8-bit name into the name written on this platform's file
  // system (a code-page conversion); empty keeps the stored bytes.  The
  // checks run on what it returns.
  std::function<std::string(const std::string&)> LocalText;
  // A file of an entry's name that is there already.
  ExistingFiles Existing = ExistingFiles::Replace;
  // Add the entry's path and the system's reason to each message (the
  // tool); the viewer's boxes keep their texts.
  bool Detailed = false;
  // The viewer's limit of 254 characters on the CD's directory.
  bool LimitViewerDirectory = true;

  ExportProgress Progress;
  ExportResult Result;

  // What this export has made: the files written and the directories of
  // its folders, known by identity so that names the file system folds into
  // one (letter case) are caught as well as equal ones.
  std::set<FileIdentity> Written;
  std::set<FileIdentity> Claimed;

  // The data file the last entry was read from, kept open while the next
  // entries name it too: its stream, and where in it the data file lies
  // (all of it in a folder, its extent in an image).
  std::string OpenDataName;
  FilePtr OpenData;
  std::uint64_t OpenDataStart = 0;
  std::int64_t OpenDataLength = -1;

  Extractor(const ViewerFile& viewer, const Catalogue& catalogue, const char* key)
      : Viewer(viewer), Cat(catalogue), ContentKey(key) {}
};

// Creates every directory of path that does not exist yet.  The first piece
// (a drive such as C: on Windows, the root elsewhere) is taken as it is.
// Returns 1, or 0 after the plain "Error Making Dir...(4311)" box naming the
// directory that could not be made; earlier directories stay.
int make_dir_path(const std::string& path);

// Makes the drive of a letter the process's current drive (nothing to do
// where there are no drives).
void set_current_drive(char letter);

// The viewer file's directory (ViewerPath cut at its last separator).
std::string viewer_directory(const ViewerFile& viewer);

// Writes one file entry into directory under its name.  Returns 1 when the
// file was written whole, 0 after its message.
int extract_file(Extractor& x, EntryIndex entry, const std::string& directory);

// Writes every file entry whose ParentId is the folder's Id, in catalogue
// order, into directory.
void extract_folder_files(Extractor& x, EntryIndex folder, const std::string& directory);

// Writes a folder (or the whole CD) as target/Name with all its sub-folders.
// Returns 1 always, as the viewer does; the outcome is in x.Result.
int export_folder(Extractor& x, EntryIndex folder, const std::string& target);

// Writes the sub-folders of a tree node, depth-first, into directory.
void export_subfolders(Extractor& x, TreeNodeIndex node, const std::string& directory);

// Exports the whole CD as target/Kelvora: the files and sub-folders of every
// CD root, and any folder that has no parent on the CD (reported), so that
// nothing is written beside Kelvora whatever the catalogue says.
void export_whole_cd(Extractor& x, const std::string& target);

// Exports a selection in the given order: a folder (or the CD's root) as
// target/Name with all its sub-folders, a file into target itself.  The one
// export of the tree's folder, the list's rows and the tool's paths: one
// progress total, one abort check between entries.  The outcome is in
// x.Result.
void export_selection(Extractor& x, const std::vector<EntryIndex>& entries,
                      const std::string& target);

// Counts the files and bytes an export of a folder will try, for progress.
void count_folder(const Catalogue& catalogue, EntryIndex folder, ExportProgress& totals);

// Why a name cannot be used as a path below a target, or nullptr when it
// can.  Its separators make pieces, each checked.
const char* unsafe_name_reason(const std::string& name);

// The stored name as a relative path on this platform (backslashes become
// separators elsewhere than on Windows).
std::string local_name(const std::string& name);

// The pieces of a name as written on this platform (its separators split
// it), or empty after a refusal reason was given.  converted says the name
// is no longer in the names' code page (the tool's UTF-8), so that its
// bytes are not read as double-byte characters.
std::vector<std::string> name_pieces(const std::string& name, bool converted,
                                     const char** reason);

// "name (k).ext": the name an entry is written under when another of the
// export took its own.
std::string numbered_name(const std::string& name, unsigned k);

// An entry's data file, opened for large unbuffered reads, with an export's
// checks and reports: no data file, a refused name, one that is missing or
// no regular file.  A file beside the viewer file is its whole stream; on a
// CD read through the viewer's Files (an image) it is the range of the
// image that holds it, opened in place.  Null after the report.
FileRange open_data_file(const ViewerFile& viewer, const CryptItem& item);

// Moves an open data file, which lies at start in its stream and is length
// bytes long, to the entry's contents; false after reporting a data file
// too short for the entry.
bool seek_entry(std::FILE* data, std::uint64_t start, std::int64_t length,
                const CryptItem& item);

// Both: the entry's data file, at its contents, or null after the report.
FilePtr open_entry_data(const ViewerFile& viewer, const CryptItem& item);

// The path of an entry's data file in a folder: the viewer's directory and
// DataFile.  Found case-insensitively where the exact name does not exist.
std::string data_file_path(const ViewerFile& viewer, const std::string& data_file);

}  // namespace kelvora
