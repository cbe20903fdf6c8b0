// The web page's C API over the portable core, compiled to WebAssembly and
// called from the page's worker (web/src/worker.js).
//
// The worker mounts the CD folder the user chose (read lazily through
// Blob.slice) and calls these functions.  Every function that returns
// text returns JSON in a buffer owned here, valid until the next call;
// kv_result_length gives its length.  Names on a CD are 8-bit text in its
// code page; they go into the JSON byte for byte (see json_text) and the
// worker decodes each string with the code page the user chose.  Every report of the core (the
// message sink) is collected and handed back in "messages".
#include <emscripten/emscripten.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "viewer/catalogue/catalogue.h"
#include "viewer/catalogue/file_list.h"
#include "viewer/catalogue/properties.h"
#include "viewer/container/ciphers.h"
#include "viewer/base/file_system.h"
#include "viewer/container/find_viewer.h"
#include "viewer/container/password.h"
#include "viewer/container/stored_values.h"
#include "viewer/container/viewer_file.h"
#include "viewer/extract/engine.h"
#include "viewer/shell/start_screen_layout.h"
#include "viewer/base/message_sink.h"

namespace kelvora::web {
namespace {

struct Message {
  std::string Caption;
  std::string Text;
};

// The open CD; one at a time.
struct Session {
  ViewerFile Viewer;
  Catalogue Cat;
  bool Damaged = false;
  bool Unlocked = false;
};

// A file being read: its data file, positioned, and what is left.
struct Reader {
  FilePtr Data;
  std::uint32_t Left = 0;
  std::uint8_t KeyByte = 0;
  std::string DataFile, Name;  // for the report of a short data file
  bool Failed = false;          // reported once; later reads fail quietly
};

std::unique_ptr<Session> Open;
std::map<int, Reader> Readers;
int NextReader = 1;
std::vector<Message> Messages;
std::string Result;

void collect_messages() {
  set_message_handler([](MessageKind kind, const std::string& caption, const std::string& text) {
    Messages.push_back({caption, text});
    return kind == MessageKind::YesNo ? ANSWER_NO : ANSWER_OK;
  });
}

// JSON text of 8-bit bytes: every byte outside printable ASCII becomes
// \u00XX, so that the JSON is ASCII and each string holds one character
// per stored byte for the worker to decode in the CD's code page (a
// multi-byte code page may use any byte from 0x40 up inside a character).
std::string json_text(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte < 0x20 || byte >= 0x7f) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", byte);
      out += escape;
    } else {
      out += c;
    }
  }
  out += '"';
  return out;
}

std::string number(std::uint64_t value) { return std::to_string(value); }

// Finishes a result: the body's fields plus the collected messages.
const char* finish(const std::string& fields) {
  Result = "{" + fields;
  if (!fields.empty()) Result += ',';
  Result += "\"messages\":[";
  for (std::size_t i = 0; i < Messages.size(); ++i) {
    if (i) Result += ',';
    Result += "{\"caption\":" + json_text(Messages[i].Caption) +
              ",\"text\":" + json_text(Messages[i].Text) + "}";
  }
  Result += "]}";
  Messages.clear();
  return Result.c_str();
}

const char* fail(const std::string& caption, const std::string& text) {
  Messages.push_back({caption, text});
  return finish("\"ok\":false");
}

std::string settings_json(const VIEWER_SETTINGS& s) {
  return "{\"flags\":" + number(s.Flags) + ",\"textFlags\":" + number(s.TextFlags) +
         ",\"backColour\":" + number(s.BackColour) +
         ",\"logoKeyColour\":" + number(s.LogoKeyColour) +
         ",\"textColour\":" + number(s.TextColour) +
         ",\"shadowColour\":" + number(s.ShadowColour) +
         ",\"fontHeight\":" + std::to_string(s.FontHeight) +
         ",\"shadowX\":" + std::to_string(s.ShadowX) + ",\"shadowY\":" + std::to_string(s.ShadowY) +
         ",\"textX\":" + std::to_string(s.TextX) + ",\"textY\":" + std::to_string(s.TextY) +
         ",\"logoX\":" + std::to_string(s.LogoX) + ",\"logoY\":" + std::to_string(s.LogoY) +
         ",\"fontFace\":" + json_text(s.FontFace) + ",\"screenText\":" + json_text(s.ScreenText) + "}";
}

std::string lines_json(const PropertiesLines& lines) {
  return "\"type\":" + json_text(lines.Type) + ",\"size\":" + json_text(lines.Size) +
         ",\"name\":" + json_text(lines.Name) + ",\"encryption\":" + json_text(lines.Encryption);
}

bool ready() { return Open && Open->Unlocked; }

// The shown name of an entry in a report, as the engine writes it.
std::string shown(const std::string& name) { return name.empty() ? "(no name)" : name; }

// A path component below the export target, or false after the engine's
// message for a refused name.
bool safe_component(const std::string& name) {
  if (const char* reason = unsafe_name_reason(name)) {
    show_error("Error:(345636)", "Cannot export [%s]: %s.", shown(name).c_str(), reason);
    return false;
  }
  return true;
}

// Paths are joined with "/", which no code page uses inside a character;
// a backslash in a stored name is turned into a separator by the page only
// after decoding, as a double-byte character may hold the byte 0x5C.
std::string join(const std::string& left, const std::string& name) {
  return left.empty() ? name : left + "/" + name;
}

struct PlanFile {
  EntryIndex Entry;
  std::string Path;
};

// The files of a folder export in the engine's order (a folder's own files
// in catalogue order, then its sub-folders depth-first in the tree's order)
// with their paths below the target ("Kelvora/Docs/a.txt"), and every
// directory to make, parents first.  Refused names are reported and
// skipped with what lies below them.
void plan_folder(const Catalogue& c, EntryIndex folder, std::vector<std::string>& directories,
                 std::vector<PlanFile>& files) {
  struct Pending {
    EntryIndex Entry;
    std::string Parent;
  };
  std::vector<Pending> pending{{folder, ""}};
  while (!pending.empty()) {
    const Pending next = pending.back();
    pending.pop_back();
    const CryptItem& item = c.Entries[next.Entry];
    if (!safe_component(item.Name)) continue;
    const std::string directory = join(next.Parent, item.Name);
    directories.push_back(directory);
    for (EntryIndex file : folder_files(c, next.Entry))
      if (safe_component(c.Entries[file].Name))
        files.push_back({file, join(directory, c.Entries[file].Name)});
    if (item.TreeItem == NO_NODE) continue;
    std::vector<Pending> children;
    for (TreeNodeIndex child = tree_first_child(c, item.TreeItem); child != NO_NODE;
         child = tree_next_sibling(c, child)) {
      const EntryIndex entry = tree_item_entry(c, child);
      if (entry != NO_ENTRY) children.push_back({entry, directory});
    }
    for (auto it = children.rbegin(); it != children.rend(); ++it) pending.push_back(*it);
  }
}

}  // namespace
}  // namespace kelvora::web

using namespace kelvora;
using namespace kelvora::web;

extern "C" {

EMSCRIPTEN_KEEPALIVE int kv_result_length() { return static_cast<int>(Result.size()); }

// Installs the collecting message handler once, before any other call.
EMSCRIPTEN_KEEPALIVE void kv_init() {
  unscramble_stored_values();
  collect_messages();
}

// The viewer files of the CD in directory (found by their trailers), for
// the page to hand over whole before kv_open reads them: {"viewers":[names]}.
EMSCRIPTEN_KEEPALIVE const char* kv_find(const char* directory) {
  collect_messages();
  std::string names;
  for (const std::string& path : find_viewer_files(directory)) {
    if (!names.empty()) names += ',';
    names += json_text(std::filesystem::path(path).filename().string());
  }
  return finish("\"viewers\":[" + names + "]");
}

// Opens the CD in directory: finds its one viewer file by the trailer,
// loads it and its catalogue.  {"ok", "viewerName", "password", "licence",
// "noExport", "damaged", "settings", "pictures"} and the messages.
EMSCRIPTEN_KEEPALIVE const char* kv_open(const char* directory) {
  collect_messages();
  Readers.clear();
  Open.reset();
  const std::vector<std::string> found = find_viewer_files(directory);
  if (found.empty()) return fail("Error:", "No viewer file in the chosen folder.");
  if (found.size() > 1)
    return fail("Error:", "The chosen folder holds " + std::to_string(found.size()) +
                              " viewer files; choose the folder of one CD.");
  auto session = std::make_unique<Session>();
  if (!load_viewer_file(found[0], session->Viewer)) return finish("\"ok\":false");
  if (!load_catalogue(session->Viewer, session->Cat)) return finish("\"ok\":false");
  Session& s = *session;
  s.Damaged = s.Cat.Entries.size() < s.Viewer.Trailer.ItemCount;
  const VIEWER_SETTINGS& settings = s.Viewer.Settings;
  s.Unlocked = (settings.Flags & FLAG_PASSWORD) == 0;
  const std::string name = std::filesystem::path(found[0]).filename().string();
  const VIEWER_TRAILER& t = s.Viewer.Trailer;
  std::string fields = "\"ok\":true,\"viewerName\":" + json_text(name) +
                       ",\"password\":" + (s.Unlocked ? "false" : "true") + ",\"licence\":" +
                       (s.Viewer.LicenceText ? json_text(*s.Viewer.LicenceText) : "null") +
                       ",\"noExport\":" + ((settings.Flags & FLAG_NO_EXPORT) ? "true" : "false") +
                       ",\"damaged\":" + (s.Damaged ? "true" : "false") +
                       ",\"settings\":" + settings_json(settings) +
                       ",\"pictures\":{\"background\":" + number(t.BackgroundSize) +
                       ",\"logo\":" + number(t.LogoSize) + ",\"font\":" + number(t.FontSize) + "}";
  Open = std::move(session);
  return finish(fields);
}

// Deciphers a picture or the font: 0 background, 1 logo, 2 font.  Returns a
// buffer the caller frees with kv_free, its size in *size; null without one.
EMSCRIPTEN_KEEPALIVE std::uint8_t* kv_region(int which, std::uint32_t* size) {
  *size = 0;
  if (!Open) return nullptr;
  const Region region = which == 0 ? Region::Background : which == 1 ? Region::Logo : Region::Font;
  if (region_span(Open->Viewer.Trailer, region).Size == 0) return nullptr;
  std::vector<std::uint8_t> bytes;
  if (!read_region(Open->Viewer, region, bytes) || bytes.empty()) return nullptr;
  auto* out = static_cast<std::uint8_t*>(std::malloc(bytes.size()));
  if (!out) return nullptr;
  std::memcpy(out, bytes.data(), bytes.size());
  *size = static_cast<std::uint32_t>(bytes.size());
  return out;
}

EMSCRIPTEN_KEEPALIVE void kv_free(void* pointer) { std::free(pointer); }

// Where the start screen draws on a screen of width x height: the copies of
// a background of bw x bh, the logo of lw x lh, and the text's lines for a
// font of cell height and average width.  {"background":[{x,y,w,h}],
// "logo":{x,y,transparent},"lines":[{text,x,y}]}.
EMSCRIPTEN_KEEPALIVE const char* kv_start_screen(int width, int height, int bw, int bh, int lw,
                                                 int lh, int cell_height, int average_width) {
  collect_messages();
  if (!Open) return fail("Error:", "No CD is open.");
  const VIEWER_SETTINGS& s = Open->Viewer.Settings;
  const auto w = static_cast<std::uint32_t>(std::max(width, 0));
  const auto h = static_cast<std::uint32_t>(std::max(height, 0));
  std::string copies;
  for (const ScreenRect& r : background_copies(s.Flags, w, h, bw, bh)) {
    if (!copies.empty()) copies += ',';
    copies += "{\"x\":" + std::to_string(r.X) + ",\"y\":" + std::to_string(r.Y) +
              ",\"w\":" + std::to_string(r.Width) + ",\"h\":" + std::to_string(r.Height) + "}";
  }
  const LogoPlacement logo = logo_placement(s.Flags, w, h, lw, lh, s.LogoX, s.LogoY);
  std::string lines;
  for (const ScreenTextLine& line : layout_screen_text(s.ScreenText, s.TextFlags, width, height,
                                                       cell_height, average_width, s.TextX,
                                                       s.TextY)) {
    if (!lines.empty()) lines += ',';
    lines += "{\"text\":" + json_text(line.Text) + ",\"x\":" + std::to_string(line.X) +
             ",\"y\":" + std::to_string(line.Y) + "}";
  }
  return finish("\"background\":[" + copies + "],\"logo\":{\"x\":" + std::to_string(logo.X) +
                ",\"y\":" + std::to_string(logo.Y) +
                ",\"transparent\":" + (logo.Transparent ? "true" : "false") + "},\"lines\":[" +
                lines + "]");
}

// Checks a password given as bytes in the CD's code page.  {"result":
// "correct"|"incorrect"|"too-long", and the texts of the box to show}.
EMSCRIPTEN_KEEPALIVE const char* kv_unlock(const char* entered) {
  collect_messages();
  if (!Open) return fail("Error:", "No CD is open.");
  switch (check_password(Open->Viewer.Settings, entered)) {
    case PasswordResult::Correct:
      Open->Unlocked = true;
      return finish("\"result\":\"correct\"");
    case PasswordResult::TooLong:
      return finish("\"result\":\"too-long\",\"caption\":" + json_text(PASSWORD_TOO_LONG_CAPTION) +
                    ",\"text\":" + json_text(PASSWORD_TOO_LONG_TEXT));
    case PasswordResult::Incorrect:
      break;
  }
  return finish("\"result\":\"incorrect\",\"caption\":" + json_text(PASSWORD_RETRY_CAPTION) +
                ",\"text\":" + json_text(PASSWORD_RETRY_TEXT));
}

// The folder tree in pre-order: [{"node","parent","label","expanded",
// "hasChildren"}], and the status bar's totals text.
EMSCRIPTEN_KEEPALIVE const char* kv_tree() {
  collect_messages();
  if (!ready()) return fail("Error:", "The CD is locked.");
  const Catalogue& c = Open->Cat;
  std::string nodes;
  std::vector<TreeNodeIndex> pending;
  std::vector<TreeNodeIndex> top;
  for (TreeNodeIndex n = c.FirstTopLevel; n != NO_NODE; n = tree_next_sibling(c, n))
    top.push_back(n);
  pending.assign(top.rbegin(), top.rend());
  while (!pending.empty()) {
    const TreeNodeIndex node = pending.back();
    pending.pop_back();
    const TreeNode& t = c.Nodes[node];
    if (!nodes.empty()) nodes += ',';
    nodes += "{\"node\":" + number(node) + ",\"parent\":" +
             (t.Parent == NO_NODE ? std::string("-1") : number(t.Parent)) +
             ",\"label\":" + json_text(t.Label) + ",\"expanded\":" + (t.Expanded ? "true" : "false") +
             ",\"hasChildren\":" + (t.FirstChild != NO_NODE ? "true" : "false") + "}";
    std::vector<TreeNodeIndex> children;
    for (TreeNodeIndex ch = tree_first_child(c, node); ch != NO_NODE; ch = tree_next_sibling(c, ch))
      children.push_back(ch);
    pending.insert(pending.end(), children.rbegin(), children.rend());
  }
  return finish("\"nodes\":[" + nodes + "],\"totals\":" + json_text(show_totals(c.Totals)) +
                ",\"damaged\":" + (Open->Damaged ? "true" : "false"));
}

// The file list of a tree node, in the list's order: [{"entry","name",
// "sizeText","size"}].
EMSCRIPTEN_KEEPALIVE const char* kv_list(int node) {
  collect_messages();
  if (!ready()) return fail("Error:", "The CD is locked.");
  const Catalogue& c = Open->Cat;
  const EntryIndex folder = tree_item_entry(c, static_cast<TreeNodeIndex>(node));
  std::string rows;
  if (folder != NO_ENTRY) {
    for (const LIST_ITEM& row : build_file_list(c, folder)) {
      if (!rows.empty()) rows += ',';
      rows += "{\"entry\":" + number(row.Item) + ",\"name\":" + json_text(list_item_text(&row, 0)) +
              ",\"sizeText\":" + json_text(list_item_text(&row, 1)) + ",\"size\":" + number(row.Size) +
              "}";
    }
  }
  return finish("\"rows\":[" + rows + "]");
}

// The Properties lines of a tree node (entry < 0) or of a file entry.
EMSCRIPTEN_KEEPALIVE const char* kv_properties(int node, int entry) {
  collect_messages();
  if (!ready()) return fail("Error:", "The CD is locked.");
  const Catalogue& c = Open->Cat;
  std::optional<PropertiesLines> lines;
  if (entry < 0) {
    lines = tree_properties(c, static_cast<TreeNodeIndex>(node));
  } else if (static_cast<std::size_t>(entry) < c.Entries.size()) {
    const EntryIndex folder = tree_item_entry(c, static_cast<TreeNodeIndex>(node));
    if (folder != NO_ENTRY)
      for (const LIST_ITEM& row : build_file_list(c, folder))
        if (row.Item == static_cast<EntryIndex>(entry)) lines = list_properties(c, &row);
  }
  return finish(lines_json(lines ? *lines : properties_template()));
}

// What an export of a tree node (entry < 0) or of one file entry writes:
// {"directories":[paths], "files":[{"entry","path","name","size"}]}.
// Paths are relative to the chosen target and joined with "/".
EMSCRIPTEN_KEEPALIVE const char* kv_plan(int node, int entry) {
  collect_messages();
  if (!ready()) return fail("Error:", "The CD is locked.");
  const Catalogue& c = Open->Cat;
  std::vector<std::string> directories;
  std::vector<PlanFile> files;
  if (entry < 0) {
    const EntryIndex folder = tree_item_entry(c, static_cast<TreeNodeIndex>(node));
    if (folder == NO_ENTRY) {
      show_error("INFO:", "You must select a folder to export it.");
      return finish("\"directories\":[],\"files\":[]");
    }
    plan_folder(c, folder, directories, files);
  } else if (static_cast<std::size_t>(entry) < c.Entries.size() &&
             c.Entries[static_cast<std::size_t>(entry)].is_file()) {
    const CryptItem& item = c.Entries[static_cast<std::size_t>(entry)];
    if (safe_component(item.Name))
      files.push_back({static_cast<EntryIndex>(entry), item.Name});
  }
  std::string fields = "\"directories\":[";
  for (std::size_t i = 0; i < directories.size(); ++i)
    fields += (i ? "," : "") + json_text(directories[i]);
  fields += "],\"files\":[";
  for (std::size_t i = 0; i < files.size(); ++i)
    fields += std::string(i ? "," : "") + "{\"entry\":" + number(files[i].Entry) +
              ",\"path\":" + json_text(files[i].Path) +
              ",\"name\":" + json_text(c.Entries[files[i].Entry].Name) +
              ",\"size\":" + number(c.Entries[files[i].Entry].Size) + "}";
  fields += "]";
  return finish(fields);
}

// Opens a file entry for reading its decrypted contents, with the engine's
// checks and messages (no data file, a refused or missing one, one too
// short for the entry).  {"reader": id or 0, "size", "fd", "offset"}: the
// open data file's descriptor and where the entry's bytes start in it, so
// that the page can hand over each chunk's bytes before they are read.
EMSCRIPTEN_KEEPALIVE const char* kv_read_open(int entry) {
  collect_messages();
  if (!ready()) return fail("Error:", "The CD is locked.");
  const Catalogue& c = Open->Cat;
  if (entry < 0 || static_cast<std::size_t>(entry) >= c.Entries.size() ||
      !c.Entries[static_cast<std::size_t>(entry)].is_file())
    return finish("\"reader\":0");
  const CryptItem& item = c.Entries[static_cast<std::size_t>(entry)];
  Reader reader;
  reader.Data = open_entry_data(Open->Viewer, item);
  if (!reader.Data) return finish("\"reader\":0");
  reader.Left = item.Size;
  reader.KeyByte = xor_all_key_byte(Open->Viewer.Settings.content_key());
  reader.DataFile = item.DataFile;
  reader.Name = item.Name;
  const int fd = fileno(reader.Data.get());
  const int id = NextReader++;
  Readers.emplace(id, std::move(reader));
  return finish("\"reader\":" + std::to_string(id) + ",\"size\":" + number(item.Size) +
                ",\"fd\":" + std::to_string(fd) + ",\"offset\":" + number(item.DataOffset));
}

// Reads and deciphers up to capacity bytes of an open file into buffer.
// Returns the bytes read (0 at the end), or -1 when the data file ended or
// failed early; its message then waits for kv_messages.
EMSCRIPTEN_KEEPALIVE int kv_read(int id, std::uint8_t* buffer, int capacity) {
  auto found = Readers.find(id);
  if (found == Readers.end() || capacity <= 0) return -1;
  Reader& r = found->second;
  if (r.Failed) return -1;
  const auto want =
      static_cast<std::size_t>(std::min<std::uint32_t>(r.Left, static_cast<std::uint32_t>(capacity)));
  if (want == 0) return 0;
  const std::size_t got = std::fread(buffer, 1, want, r.Data.get());
  if (got != want) {
    r.Failed = true;
    show_error("Error:(345638)", "The data file %s is too short for [%s].", r.DataFile.c_str(),
               r.Name.c_str());
    return -1;
  }
  xor_bytes(r.KeyByte, buffer, got);
  r.Left -= static_cast<std::uint32_t>(got);
  return static_cast<int>(got);
}

EMSCRIPTEN_KEEPALIVE void kv_read_close(int id) { Readers.erase(id); }

// The reports collected since the last result.
EMSCRIPTEN_KEEPALIVE const char* kv_messages() { return finish(""); }

}  // extern "C"
