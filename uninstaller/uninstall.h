// The uninstaller's logic: the order of its effects, the walk that empties
// the installation directory, and the checks that keep it from deleting what
// is not the product's: a path is first resolved the way Windows resolves
// it, and what was checked is what is emptied.  Every call to the outside
// (message boxes, registry, shell folders, file system, the code page) goes
// through UninstallSystem, which the Windows program implements with the
// real calls and the tests with an in-memory registry over real temporary
// directories.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kelvora::uninstall {

// File attribute bits, as the platform reports them.
enum : std::uint32_t {
  ATTRIBUTE_READONLY = 0x01,
  ATTRIBUTE_HIDDEN = 0x02,
  ATTRIBUTE_SYSTEM = 0x04,
  ATTRIBUTE_DIRECTORY = 0x10,
  ATTRIBUTE_ARCHIVE = 0x20,
  ATTRIBUTE_NORMAL = 0x80,
  ATTRIBUTE_REPARSE_POINT = 0x400,  // a reparse point: see leads_elsewhere
  ATTRIBUTE_INVALID = 0xFFFFFFFF,   // nothing at that path
};

// Reparse tags, as the platform documents them.  Most reparse points on
// Windows 10 and 11 are no links: OneDrive's files and folders (0x9000xxxA),
// deduplicated files (0x80000013), Compact OS files (0x80000017), App
// Execution Aliases (0x8000001B).  Only a name surrogate, a tag with bit
// 0x20000000 (symbolic links 0xA000000C, junctions and mount points
// 0xA0000003), leads to another place.
enum : std::uint32_t {
  REPARSE_TAG_NAME_SURROGATE = 0x20000000,
  REPARSE_TAG_MOUNT_POINT = 0xA0000003,
  REPARSE_TAG_SYMLINK = 0xA000000C,
  REPARSE_TAG_UNREAD = 0,  // none, or the tag could not be read
};

// Whether a name with these attributes and tag leads to another place: a
// reparse point with a name-surrogate tag, or one whose tag could not be
// read (what might be a link is never entered or emptied).  A cloud folder
// is a folder, a deduplicated file a file.
bool leads_elsewhere(std::uint32_t attributes, std::uint32_t reparse_tag);

// The fixed texts and names.
// The product's installer is 32-bit: its uninstall key is in the 32-bit
// registry view, which a 64-bit build must ask for.
constexpr const char* UNINSTALL_PARENT = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr const char* PRODUCT_KEY = "Kelvora3";
constexpr const char* UNINSTALL_KEY = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Kelvora3";
constexpr const char* INSTALL_DIR_VALUE = "RootInstallDir";
constexpr const char* SHELL_FOLDERS_KEY =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr const char* DESKTOP_VALUE = "Desktop";
constexpr const char* START_MENU_VALUE = "Start Menu";
constexpr const char* SHORTCUT_FORMAT = "%s\\Kelvora3.lnk";
constexpr const char* GROUP_FORMAT = "%s\\Marrowby Software";
constexpr const char* MAKER_FOLDER = "c:\\Program Files\\Marrowby Software";
constexpr std::size_t PATH_BUFFER = 255;  // terminator included

constexpr const char* CONFIRM_CAPTION = "Are you Sure?";
constexpr const char* CONFIRM_TEXT = "Are you sure you want to remove Kelvora3 from your computer?";
constexpr const char* INFO_CAPTION = "INFO:";
constexpr const char* RUNNING_TEXT = "Please make sure Kelvora3 is not curently running";
constexpr const char* REMOVED_TEXT = "Kelvora3 has been removed from your computer";
constexpr const char* REFUSED_CAPTION = "WARNING (5101):";

struct DirEntry {
  std::string Name;
  std::uint32_t Attributes = 0;
  std::uint32_t ReparseTag = REPARSE_TAG_UNREAD;  // with ATTRIBUTE_REPARSE_POINT
};

// A folder of the system's own that nothing may empty, nor any folder that
// holds it.
struct ProtectedFolder {
  std::string Path;
  // Nothing inside it may be emptied either: the Windows and system
  // folders, where aliases such as a 32-bit program's "Sysnative" live.
  bool WithContents = false;
};

class UninstallSystem {
 public:
  virtual ~UninstallSystem() = default;

  // Message boxes: Yes/No without icon (true for Yes), and OK.
  virtual bool ask_yes_no(const std::string& caption, const std::string& text) = 0;
  virtual void show_ok(const std::string& caption, const std::string& text) = 0;

  // "RootInstallDir" of the uninstall key, and a value of the user's shell
  // folders; none when the key or value is missing or does not fit 255 bytes.
  virtual std::optional<std::string> install_directory() = 0;
  virtual std::optional<std::string> shell_folder(const std::string& value) = 0;
  // Deletes the uninstall key with all its sub-keys and values.
  virtual void delete_uninstall_key() = 0;
  // The system's own folders: the Windows folder and both system folders,
  // both Program Files folders, ProgramData, Users, the user's profile,
  // Desktop, Documents and Start Menu.
  virtual std::vector<ProtectedFolder> protected_folders() = 0;

  // The ANSI code page: whether a byte starts a double-byte character (code
  // pages 932, 936, 949, 950), whose second byte may be 0x5C, a backslash;
  // and a text in upper case, for comparing names without regard to case.
  virtual bool is_lead_byte(unsigned char byte) = 0;
  virtual std::string upper_case(const std::string& text) = 0;
  // What only Windows knows of a path: the full path it resolves it to
  // (device names, its own trimming), and the path with its 8.3 names
  // expanded; none when it cannot tell (for long names: nothing there).
  virtual std::optional<std::string> full_path(const std::string& path) = 0;
  virtual std::optional<std::string> long_path(const std::string& path) = 0;

  // File system.  Paths are full paths; a directory listing leaves out "."
  // and "..".
  virtual std::optional<std::vector<DirEntry>> list_directory(const std::string& path) = 0;
  virtual std::uint32_t attributes(const std::string& path) = 0;
  // The tag of the reparse point at path itself (never of what it leads
  // to); REPARSE_TAG_UNREAD when there is none or it cannot be read.
  virtual std::uint32_t reparse_tag(const std::string& path) = 0;
  virtual bool delete_file(const std::string& path) = 0;
  virtual bool remove_directory(const std::string& path) = 0;
  virtual void set_attributes_normal(const std::string& path) = 0;
};

// A directory of the product, resolved and checked.
struct DirectoryCheck {
  // The path as Windows resolves it: "X:\a\b" or "\\server\share\a",
  // one backslash between names, none at the end, no "." or "..", no
  // trailing dots or blanks, 8.3 names expanded.  It is what may be emptied;
  // empty when it is not a path on a drive or share.
  std::string Path;
  // Why it must not be emptied, or nullptr when it may be.
  const char* Refusal = nullptr;
};

// Resolves path as Windows would (the prefixes \\?\, \\.\, \??\ and
// \\?\UNC\ taken off, any other device path refused; mixed separators,
// ".", "..", trailing dots and blanks of every name; then the full path and
// the long names from the system), and refuses it when it is not a full
// path, is a drive or share root or an administrative share, is, holds or
// lies inside a protected folder as the WithContents rule says (compared
// without regard to case), or when it or any folder on the way to it is a
// link (a reparse point that leads elsewhere).
DirectoryCheck check_directory(UninstallSystem& system, const std::string& path,
                               const std::vector<ProtectedFolder>& protected_folders);

// Deletes every file and sub-directory below path, leaving path itself.  A
// sub-directory is recognised by its directory bit; a junction or link is
// removed itself, never entered (a cloud folder is entered as a folder); a sub-directory whose name starts with '.'
// is kept; a file that cannot be deleted stays (and so do its parents).
// path is a checked path: it never ends in a separator, so that a name is
// joined with one backslash and never read back out of a path.
void empty_directory_tree(UninstallSystem& system, const std::string& path);

// The whole program: confirmation, warning, installation directory and
// maker's folder, uninstall key, shortcuts, program group, final message.
// Returns the exit code, 0.
int run_uninstaller(UninstallSystem& system);

}  // namespace kelvora::uninstall
