#include "cli/commands.h"

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <string>

#include "cli/exit_codes.h"
#include "cli/output.h"
#include "cli/platform.h"
#include "viewer/catalogue/file_list.h"
#include "viewer/catalogue/properties.h"
#include "viewer/extract/engine.h"
#include "viewer/base/codepage.h"

namespace kelvora::cli {
namespace {

const char* kind_name(const CryptItem& item) {
  return item.is_root() ? "root" : item.is_folder() ? "folder" : "file";
}

std::string flags_text(std::uint32_t value, const std::vector<std::string>& names, int digits) {
  char hex[16];
  std::snprintf(hex, sizeof hex, "0x%0*x", digits, value);
  std::string text = hex;
  for (const std::string& n : names) text += " " + n;
  return text;
}

// The catalogue's outcome folded into an exit code: a damaged catalogue
// outweighs single failures.
int outcome(const CdSession& session, bool failures) {
  if (session.Damaged) return EXIT_DAMAGED;
  return failures ? EXIT_SOME_FAILED : EXIT_ALL_DONE;
}

// Levels of the text listing shown by indenting.
constexpr int MAX_INDENT = 16;

std::atomic<bool> Interrupted{false};
extern "C" void on_interrupt(int) { Interrupted = true; }

// Interrupt, termination and a closed terminal all stop an extraction the
// same way: between two chunks, the file in progress removed.
void stop_on_signals() {
  for (int signal : {SIGINT, SIGTERM
#if defined(SIGHUP)
                     , SIGHUP
#endif
       })
    std::signal(signal, on_interrupt);
}

// The entry at a path as kelvora list names it ("Kelvora/Docs/a.txt"),
// found by walking down the tree from the top: each level looks at the
// children of one folder only.
EntryIndex find_entry(const CdSession& s, const std::string& wanted) {
  const Catalogue& c = s.Cat;
  std::vector<std::string> labels;
  for (std::size_t start = 0;;) {
    const std::size_t slash = wanted.find('/', start);
    labels.push_back(wanted.substr(start, slash == std::string::npos ? slash : slash - start));
    if (slash == std::string::npos) break;
    start = slash + 1;
  }
  TreeNodeIndex parent = NO_NODE;
  EntryIndex found = NO_ENTRY;
  for (std::size_t level = 0; level < labels.size(); ++level) {
    const bool last = level + 1 == labels.size();
    found = NO_ENTRY;
    TreeNodeIndex next = NO_NODE;
    for (TreeNodeIndex n = tree_first_child(c, parent); n != NO_NODE; n = tree_next_sibling(c, n))
      if (s.utf8(c.Nodes[n].Label) == labels[level]) {
        next = n;
        found = c.Nodes[n].Entry;
        break;
      }
    if (last && parent != NO_NODE) {
      // A file of that name counts when it comes first in the catalogue.
      for (EntryIndex file : folder_files(c, c.Nodes[parent].Entry))
        if (s.utf8(c.Entries[file].Name) == labels[level]) {
          if (found == NO_ENTRY || file < found) found = file;
          break;
        }
    }
    if (last) return found;
    if (next == NO_NODE) return NO_ENTRY;
    parent = next;
  }
  return found;
}

// "; 2 existing files replaced" and the like, for the closing line.
std::string count_text(std::uint32_t count, const char* one, const char* many, const char* what) {
  if (count == 0) return {};
  return "; " + std::to_string(count) + " " + (count == 1 ? one : many) + " " + what;
}

}  // namespace

std::string entry_path(const CdSession& session, EntryIndex entry) {
  const Catalogue& c = session.Cat;
  if (entry >= c.Entries.size()) return {};
  const CryptItem& item = c.Entries[entry];
  TreeNodeIndex node = item.is_file() ? find_tree_item(c, item.ParentId) : item.TreeItem;
  if (node == NO_NODE) return {};
  // Up the tree, giving up once the path is longer than any that extract
  // writes: a chain of folders as deep as the catalogue is long costs no
  // more than that per entry.
  std::vector<const std::string*> labels;
  std::size_t length = 0;
  if (item.is_file()) {
    labels.push_back(&item.Name);
    length += item.Name.size() + 1;
  }
  for (; node != NO_NODE; node = c.Nodes[node].Parent) {
    labels.push_back(&c.Nodes[node].Label);
    length += c.Nodes[node].Label.size() + 1;
    if (length > MAX_BUILT_PATH) return {};
  }
  std::string path;
  for (auto it = labels.rbegin(); it != labels.rend(); ++it) {
    if (!path.empty()) path += '/';
    path += session.utf8(**it);
  }
  return path;
}

int run_info(const CdOptions& options) {
  CdSession s;
  // The totals are shown only once the password gate is passed.
  const bool has_password_option = options.Password || options.PasswordFile;
  int code = open_cd(options, false, s);
  if (code) return code;
  const bool has_password = (s.Viewer.Settings.Flags & FLAG_PASSWORD) != 0;
  if (has_password && has_password_option) {
    CdSession unlocked;
    code = open_cd(options, true, unlocked);
    if (code) return code;
    s.Unlocked = true;
  }
  const VIEWER_TRAILER& t = s.Viewer.Trailer;
  const VIEWER_SETTINGS& st = s.Viewer.Settings;
  // A viewer file in an image is named by the image.
  const std::string viewer_path = shown_viewer_path(s.Viewer);
  std::printf("viewer file:    %s (%llu bytes)\n", viewer_path.c_str(),
              static_cast<unsigned long long>(s.Viewer.FileLength));
  std::printf("program image:  %u bytes\n", t.StubSize);
  std::printf("catalogue:      %u bytes, %u records\n", t.CatalogueSize, t.ItemCount);
  std::printf("licence:        %u bytes\n", t.LicenceSize);
  std::printf("settings:       %u bytes\n", t.SettingsSize);
  std::printf("background:     %u bytes\n", t.BackgroundSize);
  std::printf("logo:           %u bytes\n", t.LogoSize);
  std::printf("font:           %u bytes\n", t.FontSize);
  std::printf("flags:          %s\n", flags_text(st.Flags, flag_names(st.Flags), 8).c_str());
  std::printf("text flags:     %s\n",
              flags_text(st.TextFlags, text_flag_names(st.TextFlags), 2).c_str());
  std::printf("password:       %s\n", has_password ? "yes" : "no");
  std::printf("licence text:   %s\n", s.Viewer.LicenceText ? "yes" : "no");
  if (s.Unlocked)
    std::printf("totals:         %s\n", show_totals(s.Cat.Totals).c_str());
  else
    std::printf("totals:         (give the password to see them)\n");
  return outcome(s, false);
}

int run_list(const CdOptions& options, bool json) {
  CdSession s;
  if (int code = open_cd(options, true, s)) return code;
  const Catalogue& c = s.Cat;
  if (json) {
    // Written entry by entry: the whole text of a large catalogue is never
    // held at once.
    std::printf("{\"totals\":{\"bytes\":%u,\"folders\":%u,\"files\":%u},\"entries\":[",
                c.Totals.CdBytes, c.Totals.CdFolders, c.Totals.CdFiles);
    std::string out;
    for (EntryIndex e = 0; e < c.Entries.size(); ++e) {
      const CryptItem& item = c.Entries[e];
      const std::string path = entry_path(s, e);
      out.clear();
      if (e) out += ',';
      out += "{\"id\":" + std::to_string(item.Id) +
             ",\"parent_id\":" + std::to_string(item.ParentId) + ",\"kind\":\"" +
             kind_name(item) + "\",\"name\":" + json_string(s.utf8(item.Name)) +
             ",\"path\":" + (path.empty() ? std::string("null") : json_string(path)) +
             ",\"size\":" + std::to_string(item.Size) +
             ",\"crypt_flags\":" + std::to_string(item.CryptFlags) + ",\"data_file\":" +
             (item.is_file() && !item.DataFile.empty() ? json_string(s.utf8(item.DataFile))
                                                       : std::string("null")) +
             ",\"data_offset\":" + std::to_string(item.DataOffset) + "}";
      std::fwrite(out.data(), 1, out.size(), stdout);
    }
    std::fputs("]}\n", stdout);
    return outcome(s, false);
  }

  // The tree as the viewer shows it: each folder's files in the list's
  // order, then its sub-folders; an explicit stack keeps deep trees safe.
  std::vector<std::pair<TreeNodeIndex, int>> pending;
  std::vector<TreeNodeIndex> top;
  for (TreeNodeIndex n = c.FirstTopLevel; n != NO_NODE; n = tree_next_sibling(c, n))
    top.push_back(n);
  for (auto it = top.rbegin(); it != top.rend(); ++it) pending.push_back({*it, 0});
  while (!pending.empty()) {
    const auto [node, depth] = pending.back();
    pending.pop_back();
    // Past a few levels the depth is a number before the line instead of
    // ever more blanks, so that the listing grows with the catalogue alone.
    std::string indent(static_cast<std::size_t>(std::min(depth, MAX_INDENT)) * 2, ' ');
    if (depth > MAX_INDENT) indent += "[level " + std::to_string(depth) + "] ";
    std::printf("%s%s/\n", indent.c_str(), terminal_text(s.utf8(c.Nodes[node].Label)).c_str());
    for (const LIST_ITEM& row : build_file_list(c, c.Nodes[node].Entry))
      std::printf("%s  %s  %s\n", indent.c_str(), terminal_text(s.utf8(row.FileName)).c_str(),
                  list_item_text(&row, 1).c_str());
    std::vector<TreeNodeIndex> children;
    for (TreeNodeIndex ch = tree_first_child(c, node); ch != NO_NODE;
         ch = tree_next_sibling(c, ch))
      children.push_back(ch);
    for (auto it = children.rbegin(); it != children.rend(); ++it)
      pending.push_back({*it, depth + 1});
  }
  std::printf("%s\n", show_totals(c.Totals).c_str());
  return outcome(s, false);
}

int run_extract(const CdOptions& options, const ExtractOptions& extract) {
  CdSession s;
  if (int code = open_cd(options, true, s)) return code;
  const Catalogue& c = s.Cat;

  // What to export: the named entries, or the whole CD.
  std::vector<EntryIndex> selected;
  for (std::string wanted : extract.Paths) {
    while (wanted.size() > 1 && wanted.back() == '/') wanted.pop_back();
    const EntryIndex found = find_entry(s, wanted);
    if (found == NO_ENTRY) {
      std::fprintf(stderr, "kelvora: no entry at %s (see kelvora list)\n",
                   terminal_text(wanted).c_str());
      return EXIT_USAGE;
    }
    selected.push_back(found);
  }

  const std::string target = absolute_path(extract.Directory);
  Extractor x(s.Viewer, c, s.Viewer.Settings.content_key());
  x.LocalText = [&s](const std::string& text) { return s.utf8(text); };
  x.Existing = extract.Existing;
  x.Detailed = true;
#if !defined(_WIN32)
  x.LimitViewerDirectory = false;  // the viewer's own limit, not this system's
#endif
  x.ExportAborted = &Interrupted;
  stop_on_signals();
  ProgressBar bar(!extract.Quiet && is_terminal(stderr));
  x.OnProgress = [&](const ExportProgress& p) { bar.update(p, s.utf8(p.CurrentName)); };
  if (selected.empty())
    export_whole_cd(x, target);
  else
    export_selection(x, selected, target);
  bar.finish();
  if (Interrupted) x.Result.Aborted = true;
  const ExportResult& r = x.Result;
  std::printf("%s %u %s (%s) to %s", r.Aborted ? "Stopped after" : "Exported", r.FilesWritten,
              r.FilesWritten == 1 ? "file" : "files", human_bytes(r.BytesWritten).c_str(),
              terminal_text(target).c_str());
  std::string counts =
      count_text(r.FilesReplaced, "existing file", "existing files", "replaced") +
      count_text(r.FilesSkipped, "existing file", "existing files", "kept (not extracted)") +
      count_text(r.FilesRenamed, "file", "files", "written under another name") +
      count_text(r.FoldersRenamed, "folder", "folders", "made under another name") +
      (r.FilesFailed ? "; " + std::to_string(r.FilesFailed) + " failed" : std::string()) +
      count_text(r.FoldersFailed, "folder", "folders", "not made");
  std::printf("%s.\n", counts.c_str());
  return outcome(s, !r.all_done());
}

int run_test(const CdOptions& options) {
  CdSession s;
  if (int code = open_cd(options, true, s)) return code;
  Extractor x(s.Viewer, s.Cat, s.Viewer.Settings.content_key());
  x.DryRun = true;
  // Every file entry, shown in a folder or not.
  for (EntryIndex e = 0; e < s.Cat.Entries.size(); ++e)
    if (s.Cat.Entries[e].is_file()) extract_file(x, e, ".");
  const ExportResult& r = x.Result;
  std::printf("%u %s checked, %s; %u %s.\n", r.FilesWritten + r.FilesFailed,
              r.FilesWritten + r.FilesFailed == 1 ? "file" : "files",
              human_bytes(r.BytesWritten).c_str(), r.FilesFailed,
              r.FilesFailed == 1 ? "fault" : "faults");
  if (s.Damaged) std::printf("The catalogue is damaged: it ends before its last record.\n");
  return outcome(s, r.FilesFailed != 0);
}

}  // namespace kelvora::cli
