#include "cli/commands.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <string>
#include <unordered_map>

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

std::atomic<bool> Interrupted{false};
extern "C" void on_interrupt(int) { Interrupted = true; }

}  // namespace

std::string entry_path(const CdSession& session, EntryIndex entry) {
  std::string path;
  for (const std::string& label : entry_tree_path(session.Cat, entry)) {
    if (!path.empty()) path += '/';
    path += session.utf8(label);
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
    std::string out = "{\"totals\":{\"bytes\":" + std::to_string(c.Totals.CdBytes) +
                      ",\"folders\":" + std::to_string(c.Totals.CdFolders) +
                      ",\"files\":" + std::to_string(c.Totals.CdFiles) + "},\"entries\":[";
    for (EntryIndex e = 0; e < c.Entries.size(); ++e) {
      const CryptItem& item = c.Entries[e];
      const std::string path = entry_path(s, e);
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
    }
    out += "]}\n";
    std::fputs(out.c_str(), stdout);
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
    const std::string indent(static_cast<std::size_t>(depth) * 2, ' ');
    std::printf("%s%s/\n", indent.c_str(), s.utf8(c.Nodes[node].Label).c_str());
    for (const LIST_ITEM& row : build_file_list(c, c.Nodes[node].Entry))
      std::printf("%s  %s  %s\n", indent.c_str(), s.utf8(row.FileName).c_str(),
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

int run_extract(const CdOptions& options, const std::string& directory,
                const std::vector<std::string>& paths, bool quiet) {
  CdSession s;
  if (int code = open_cd(options, true, s)) return code;
  const Catalogue& c = s.Cat;

  // What to export: the named entries, or every top-level node.
  std::vector<EntryIndex> selected;
  if (paths.empty()) {
    for (TreeNodeIndex n = c.FirstTopLevel; n != NO_NODE; n = tree_next_sibling(c, n))
      selected.push_back(c.Nodes[n].Entry);
  } else {
    std::unordered_map<std::string, EntryIndex> by_path;
    for (EntryIndex e = 0; e < c.Entries.size(); ++e) {
      const std::string p = entry_path(s, e);
      if (!p.empty()) by_path.try_emplace(p, e);
    }
    for (std::string wanted : paths) {
      while (wanted.size() > 1 && wanted.back() == '/') wanted.pop_back();
      auto found = by_path.find(wanted);
      if (found == by_path.end()) {
        std::fprintf(stderr, "kelvora: no entry at %s (see kelvora list)\n", wanted.c_str());
        return EXIT_USAGE;
      }
      selected.push_back(found->second);
    }
  }

  const std::string target = absolute_path(directory);
  Extractor x(s.Viewer, c, s.Viewer.Settings.content_key());
  x.LocalText = [&s](const std::string& text) { return s.utf8(text); };
  x.ExportAborted = &Interrupted;
  std::signal(SIGINT, on_interrupt);
  ProgressBar bar(!quiet && is_terminal(stderr));
  x.OnProgress = [&](const ExportProgress& p) { bar.update(p, s.utf8(p.CurrentName)); };
  export_selection(x, selected, target);
  bar.finish();
  if (Interrupted) x.Result.Aborted = true;
  const ExportResult& r = x.Result;
  std::printf("%s %u %s (%s) to %s", r.Aborted ? "Stopped after" : "Exported", r.FilesWritten,
              r.FilesWritten == 1 ? "file" : "files", human_bytes(r.BytesWritten).c_str(),
              target.c_str());
  if (r.FilesFailed) std::printf("; %u failed", r.FilesFailed);
  if (r.FoldersFailed) std::printf("; %u %s not made", r.FoldersFailed,
                                   r.FoldersFailed == 1 ? "folder" : "folders");
  std::printf(".\n");
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
