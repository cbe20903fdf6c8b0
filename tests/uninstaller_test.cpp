// The uninstaller's logic over real temporary directories, with an
// in-memory registry and recorded message boxes.  Windows paths ("C:\...")
// are mapped below a temporary directory, one folder per drive.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "tests/support/test_support.h"
#include "uninstaller/uninstall.h"

namespace kelvora::uninstall {
namespace {

namespace fs = std::filesystem;

// Shift-JIS (code page 932): a byte that starts a two-byte character.
bool lead_byte_932(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

class TestSystem final : public UninstallSystem {
 public:
  explicit TestSystem(const fs::path& root) : root_(root) {}

  bool Answer = true;
  std::optional<std::string> InstallDir;
  std::map<std::string, std::string> ShellFolders;
  bool KeyDeleted = false;
  std::vector<ProtectedFolder> Protected;
  std::vector<std::string> Boxes;   // "caption|text"
  std::vector<std::string> Events;  // the order of effects
  // 8.3 aliases: the short path of a folder and its long one.
  std::map<std::string, std::string> ShortNames;
  // Folders whose long name cannot be read (a folder above them cannot be
  // listed).
  std::set<std::string> NoLongName;
  bool CodePage932 = false;  // else a single-byte code page
  // Real files and folders that the system marks as reparse points with
  // these tags (OneDrive's placeholders, a mount point), by host path.
  std::map<fs::path, std::uint32_t> Tagged;

  // The Windows path with its 8.3 aliases expanded.
  std::string expanded(const std::string& path) const {
    for (const auto& [short_path, long_path] : ShortNames) {
      if (upper(path.substr(0, short_path.size())) != upper(short_path)) continue;
      if (path.size() == short_path.size() || path[short_path.size()] == '\\')
        return long_path + path.substr(short_path.size());
    }
    return path;
  }

  bool lead(unsigned char byte) const { return CodePage932 && lead_byte_932(byte); }
  // ASCII letters only, and never a trail byte.
  std::string upper(const std::string& text) const {
    std::string out = text;
    for (std::size_t i = 0; i < out.size(); ++i) {
      if (lead(static_cast<unsigned char>(out[i]))) ++i;
      else if (out[i] >= 'a' && out[i] <= 'z') out[i] = static_cast<char>(out[i] - 'a' + 'A');
    }
    return out;
  }

  // "C:\a\b" -> ROOT/C/a/b; the names keep their bytes, a trail byte 0x5C
  // included.
  fs::path host(const std::string& windows_path) const {
    const std::string p = expanded(windows_path);
    fs::path out = root_;
    std::size_t at = 0;
    if (p.size() >= 2 && p[1] == ':') {
      out /= std::string(1, static_cast<char>(std::toupper(static_cast<unsigned char>(p[0]))));
      at = 2;
    }
    std::string piece;
    for (std::size_t i = at; i <= p.size(); ++i) {
      if (i + 1 < p.size() && lead(static_cast<unsigned char>(p[i]))) {
        piece += p[i];
        piece += p[++i];
      } else if (i == p.size() || p[i] == '\\' || p[i] == '/') {
        if (!piece.empty()) out /= piece;
        piece.clear();
      } else {
        piece += p[i];
      }
    }
    return out;
  }

  bool ask_yes_no(const std::string& caption, const std::string& text) override {
    Boxes.push_back(caption + "|" + text);
    return Answer;
  }
  void show_ok(const std::string& caption, const std::string& text) override {
    Boxes.push_back(caption + "|" + text);
    Events.push_back("box " + text.substr(0, 20));
  }
  std::optional<std::string> install_directory() override { return InstallDir; }
  std::optional<std::string> shell_folder(const std::string& value) override {
    auto found = ShellFolders.find(value);
    if (found == ShellFolders.end()) return std::nullopt;
    return found->second;
  }
  void delete_uninstall_key() override {
    KeyDeleted = true;
    Events.push_back("delete key");
  }
  std::vector<ProtectedFolder> protected_folders() override { return Protected; }

  bool is_lead_byte(unsigned char byte) override { return lead(byte); }
  std::string upper_case(const std::string& text) override { return upper(text); }
  std::optional<std::string> full_path(const std::string& path) override { return path; }
  std::optional<std::string> long_path(const std::string& path) override {
    if (attributes_of(host(path)) == ATTRIBUTE_INVALID || NoLongName.count(path))
      return std::nullopt;
    return expanded(path);
  }

  std::optional<std::vector<DirEntry>> list_directory(const std::string& path) override {
    std::error_code error;
    const fs::path dir = host(path);
    if (!fs::is_directory(fs::symlink_status(dir, error))) return std::nullopt;
    std::vector<DirEntry> entries;
    for (const auto& e : fs::directory_iterator(dir, error))
      entries.push_back({e.path().filename().string(), attributes_of(e.path()), tag_of(e.path())});
    return entries;
  }
  std::uint32_t attributes(const std::string& path) override { return attributes_of(host(path)); }
  std::uint32_t reparse_tag(const std::string& path) override { return tag_of(host(path)); }
  bool delete_file(const std::string& path) override {
    Events.push_back("delete " + path);
    const fs::path p = host(path);
    const std::uint32_t a = attributes_of(p);
    // As on Windows: a read-only file, or a directory, is not deleted.
    if (a == ATTRIBUTE_INVALID || (a & ATTRIBUTE_READONLY) ||
        ((a & ATTRIBUTE_DIRECTORY) && !(a & ATTRIBUTE_REPARSE_POINT)))
      return false;
    std::error_code error;
    return fs::remove(p, error);
  }
  bool remove_directory(const std::string& path) override {
    Events.push_back("rmdir " + path);
    const fs::path p = host(path);
    const std::uint32_t a = attributes_of(p);
    if (a == ATTRIBUTE_INVALID || !(a & ATTRIBUTE_DIRECTORY) || (a & ATTRIBUTE_READONLY))
      return false;
    std::error_code error;
    if (!(a & ATTRIBUTE_REPARSE_POINT) && !fs::is_empty(p, error)) return false;
    return fs::remove(p, error);
  }
  void set_attributes_normal(const std::string& path) override {
    Events.push_back("normal " + path);
  }

  // Read-only is the owner's missing write bit; links and tagged files and
  // folders are reparse points.
  std::uint32_t attributes_of(const fs::path& p) const {
    std::error_code error;
    const fs::file_status s = fs::symlink_status(p, error);
    if (!fs::exists(s)) return ATTRIBUTE_INVALID;
    std::uint32_t a = Tagged.count(p) ? std::uint32_t{ATTRIBUTE_REPARSE_POINT} : 0u;
    if (fs::is_symlink(s)) {
      a |= ATTRIBUTE_REPARSE_POINT;
      if (fs::is_directory(fs::status(p, error))) a |= ATTRIBUTE_DIRECTORY;
      return a;
    }
    a |= fs::is_directory(s) ? ATTRIBUTE_DIRECTORY : ATTRIBUTE_ARCHIVE;
    if ((s.permissions() & fs::perms::owner_write) == fs::perms::none) a |= ATTRIBUTE_READONLY;
    return a;
  }
  std::uint32_t tag_of(const fs::path& p) const {
    std::error_code error;
    if (fs::is_symlink(fs::symlink_status(p, error))) return REPARSE_TAG_SYMLINK;
    const auto tagged = Tagged.find(p);
    return tagged == Tagged.end() ? REPARSE_TAG_UNREAD : tagged->second;
  }

 private:
  fs::path root_;
};

// A product as the builder's installer leaves it.
struct Installed {
  test::TempDir dir;
  TestSystem system{dir.path()};
  const std::string install = "C:\\Program Files\\Marrowby Software\\Kelvora3";
  const std::string desktop = "C:\\users\\me\\Desktop";
  const std::string start_menu = "C:\\users\\me\\Start Menu";

  Installed() {
    system.InstallDir = install;
    system.ShellFolders = {{"Desktop", desktop}, {"Start Menu", start_menu}};
    system.Protected = {{"C:\\windows", true},     {"C:\\windows\\system32", true},
                        {"C:\\Program Files"},     {"C:\\Program Files (x86)"},
                        {"C:\\ProgramData"},       {"C:\\users\\me"},
                        {desktop},                 {"C:\\users\\me\\Documents"},
                        {start_menu}};
    system.ShortNames = {{"C:\\PROGRA~1", "C:\\Program Files"},
                         {"C:\\PROGRA~2", "C:\\Program Files (x86)"}};
    file(install + "\\Kelvora3.exe");
    file(install + "\\data\\deep\\more\\x.dat");
    file(install + "\\.profile");
    file(install + "\\.git\\kept.txt");
    file(desktop + "\\Kelvora3.lnk");
    file(desktop + "\\other.lnk");
    file(start_menu + "\\Kelvora3.lnk");
    file(start_menu + "\\Marrowby Software\\Kelvora3.lnk");
    file(start_menu + "\\Marrowby Software\\Help\\help.lnk");
    file(start_menu + "\\beside the group.lnk");
  }
  void file(const std::string& windows_path, const std::string& text = "x") {
    test::write_file(system.host(windows_path), text);
  }
  bool exists(const std::string& windows_path) const {
    std::error_code error;
    return fs::exists(fs::symlink_status(system.host(windows_path), error));
  }
};

const std::vector<std::string> kNormalBoxes = {
    "Are you Sure?|Are you sure you want to remove Kelvora3 from your computer?",
    "INFO:|Please make sure Kelvora3 is not curently running",
    "INFO:|Kelvora3 has been removed from your computer"};

TEST(Uninstaller, NoLeavesEverythingUntouched) {
  Installed p;
  p.system.Answer = false;
  EXPECT_EQ(run_uninstaller(p.system), 0);
  EXPECT_EQ(p.system.Boxes, std::vector<std::string>{kNormalBoxes[0]});
  EXPECT_TRUE(p.system.Events.empty());
  EXPECT_FALSE(p.system.KeyDeleted);
  EXPECT_TRUE(p.exists(p.install + "\\Kelvora3.exe"));
}

TEST(Uninstaller, RemovesTheProductInItsOrder) {
  Installed p;
  EXPECT_EQ(run_uninstaller(p.system), 0);
  EXPECT_EQ(p.system.Boxes, kNormalBoxes);
  EXPECT_TRUE(p.system.KeyDeleted);
  // The dot-directory stays, and with it the installation directory.
  EXPECT_TRUE(p.exists(p.install + "\\.git\\kept.txt"));
  EXPECT_FALSE(p.exists(p.install + "\\.profile"));
  EXPECT_FALSE(p.exists(p.install + "\\Kelvora3.exe"));
  EXPECT_FALSE(p.exists(p.install + "\\data"));
  EXPECT_TRUE(p.exists("C:\\Program Files\\Marrowby Software"));
  EXPECT_FALSE(p.exists(p.desktop + "\\Kelvora3.lnk"));
  EXPECT_TRUE(p.exists(p.desktop + "\\other.lnk"));
  EXPECT_FALSE(p.exists(p.start_menu + "\\Kelvora3.lnk"));
  EXPECT_FALSE(p.exists(p.start_menu + "\\Marrowby Software"));
  EXPECT_TRUE(p.exists(p.start_menu + "\\beside the group.lnk"));

  // Order: install dir, maker's folder, key, Desktop shortcut, Start Menu
  // shortcut, group, final box.
  auto at = [&](const std::string& event) {
    const auto& e = p.system.Events;
    return std::find(e.begin(), e.end(), event) - e.begin();
  };
  EXPECT_LT(at("box Please make sure Kel"), at("delete " + p.install + "\\Kelvora3.exe"));
  EXPECT_LT(at("rmdir " + p.install), at("rmdir c:\\Program Files\\Marrowby Software"));
  EXPECT_LT(at("rmdir c:\\Program Files\\Marrowby Software"), at("delete key"));
  EXPECT_LT(at("delete key"), at("delete " + p.desktop + "\\Kelvora3.lnk"));
  EXPECT_LT(at("delete " + p.desktop + "\\Kelvora3.lnk"), at("delete " + p.start_menu + "\\Kelvora3.lnk"));
  EXPECT_LT(at("delete " + p.start_menu + "\\Kelvora3.lnk"),
            at("normal " + p.start_menu + "\\Marrowby Software"));
  EXPECT_LT(at("rmdir " + p.start_menu + "\\Marrowby Software"), at("box Kelvora3 has been remo"));
}

TEST(Uninstaller, TheMakersFolderGoesOnlyWhenEmpty) {
  Installed p;
  fs::remove_all(p.system.host(p.install + "\\.git"));
  EXPECT_EQ(run_uninstaller(p.system), 0);
  EXPECT_FALSE(p.exists(p.install));
  EXPECT_FALSE(p.exists("C:\\Program Files\\Marrowby Software"));

  Installed q;
  fs::remove_all(q.system.host(q.install + "\\.git"));
  q.file("C:\\Program Files\\Marrowby Software\\Other Product\\keep.exe");
  EXPECT_EQ(run_uninstaller(q.system), 0);
  EXPECT_FALSE(q.exists(q.install));
  EXPECT_TRUE(q.exists("C:\\Program Files\\Marrowby Software\\Other Product\\keep.exe"));
}

TEST(Uninstaller, ReadOnlyFilesStayAndDirectoriesWithMoreBitsAreStillEmptied) {
  Installed p;
  p.file(p.install + "\\locked\\ro.txt");
  fs::permissions(p.system.host(p.install + "\\locked\\ro.txt"), fs::perms::owner_write,
                  fs::perm_options::remove);
  p.file(p.install + "\\rodir\\inner.txt");
  fs::permissions(p.system.host(p.install + "\\rodir"), fs::perms::owner_write,
                  fs::perm_options::remove);
  EXPECT_EQ(run_uninstaller(p.system), 0);
  EXPECT_TRUE(p.exists(p.install + "\\locked\\ro.txt"));
  // A directory with its read-only bit is entered and emptied.
  EXPECT_FALSE(p.exists(p.install + "\\rodir\\inner.txt"));
  EXPECT_FALSE(p.exists(p.install + "\\Kelvora3.exe"));
}

TEST(Uninstaller, LinksAreRemovedNeverEntered) {
  Installed p;
  p.file("C:\\elsewhere\\precious.txt");
  fs::create_directory_symlink(p.system.host("C:\\elsewhere"), p.system.host(p.install + "\\link"));
  EXPECT_EQ(run_uninstaller(p.system), 0);
  EXPECT_TRUE(p.exists("C:\\elsewhere\\precious.txt"));
  EXPECT_FALSE(p.exists(p.install + "\\link"));

  // An installation directory that is itself a link is refused.
  Installed q;
  q.file("C:\\elsewhere\\precious.txt");
  fs::remove_all(q.system.host(q.install));
  fs::create_directory_symlink(q.system.host("C:\\elsewhere"), q.system.host(q.install));
  EXPECT_EQ(run_uninstaller(q.system), 0);
  EXPECT_TRUE(q.exists("C:\\elsewhere\\precious.txt"));
  EXPECT_EQ(q.system.Boxes[2], "WARNING (5101):|The folder " + q.install +
                                   " was not deleted: it is a link to another folder.");

  // So is a program group reached through a junction, as "Documents and
  // Settings" is one to the profiles; the shortcut beside it still goes.
  Installed r;
  fs::create_directory_symlink(r.system.host("C:\\users"),
                               r.system.host("C:\\Documents and Settings"));
  r.system.ShellFolders["Start Menu"] = "C:\\Documents and Settings\\me\\Start Menu";
  EXPECT_EQ(run_uninstaller(r.system), 0);
  EXPECT_TRUE(r.exists(r.start_menu + "\\Marrowby Software\\Help\\help.lnk"));
  EXPECT_FALSE(r.exists(r.start_menu + "\\Kelvora3.lnk"));
  EXPECT_EQ(r.system.Boxes[2],
            "WARNING (5101):|The folder C:\\Documents and Settings\\me\\Start Menu\\Marrowby "
            "Software was not deleted: a folder on the way to it is a link.");
}

TEST(Uninstaller, OnlyNameSurrogatesAreLinks) {
  const struct {
    const char* What;
    std::uint32_t Attributes;
    std::uint32_t Tag;
    bool Elsewhere;
  } cases[] = {
      {"junction or mount point", ATTRIBUTE_DIRECTORY | ATTRIBUTE_REPARSE_POINT, 0xA0000003, true},
      {"symbolic link", ATTRIBUTE_ARCHIVE | ATTRIBUTE_REPARSE_POINT, 0xA000000C, true},
      {"other name surrogate", ATTRIBUTE_DIRECTORY | ATTRIBUTE_REPARSE_POINT, 0x20000042, true},
      {"tag not readable", ATTRIBUTE_DIRECTORY | ATTRIBUTE_REPARSE_POINT, 0, true},
      {"OneDrive folder", ATTRIBUTE_DIRECTORY | ATTRIBUTE_REPARSE_POINT, 0x9000701A, false},
      {"deduplicated file", ATTRIBUTE_ARCHIVE | ATTRIBUTE_REPARSE_POINT, 0x80000013, false},
      {"Compact OS file", ATTRIBUTE_ARCHIVE | ATTRIBUTE_REPARSE_POINT, 0x80000017, false},
      {"App Execution Alias", ATTRIBUTE_ARCHIVE | ATTRIBUTE_REPARSE_POINT, 0x8000001B, false},
      {"third-party tag", ATTRIBUTE_ARCHIVE | ATTRIBUTE_REPARSE_POINT, 0x00000777, false},
      {"no reparse point", ATTRIBUTE_DIRECTORY, 0xA0000003, false},
      {"nothing there", ATTRIBUTE_INVALID, 0xA0000003, false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(leads_elsewhere(c.Attributes, c.Tag), c.Elsewhere) << c.What;
}

// The installation directory in a OneDrive folder, with on-demand files and
// folders inside it: all of it is the product's and goes.  A mount point
// inside it is removed itself and never entered.
TEST(Uninstaller, CloudFilesAndFoldersAreWhatTheyLookLike) {
  Installed p;
  const std::string onedrive = "C:\\users\\me\\OneDrive";
  p.system.InstallDir = onedrive + "\\Apps\\Kelvora3";
  p.file(onedrive + "\\Apps\\Kelvora3\\Kelvora3.exe");
  p.file(onedrive + "\\Apps\\Kelvora3\\cloud\\placeholder.dat");
  p.file(onedrive + "\\Apps\\Kelvora3\\dedup.dll");
  p.file(onedrive + "\\Apps\\Kelvora3\\volume\\other-disk.txt");
  p.file(onedrive + "\\beside.txt");
  for (const auto& [path, tag] : std::vector<std::pair<std::string, std::uint32_t>>{
           {onedrive, 0x9000701A},
           {onedrive + "\\Apps", 0x9000701A},
           {onedrive + "\\Apps\\Kelvora3", 0x9000701A},
           {onedrive + "\\Apps\\Kelvora3\\cloud", 0x9000701A},
           {onedrive + "\\Apps\\Kelvora3\\cloud\\placeholder.dat", 0x9000701A},
           {onedrive + "\\Apps\\Kelvora3\\dedup.dll", 0x80000013},
           {onedrive + "\\Apps\\Kelvora3\\volume", REPARSE_TAG_MOUNT_POINT}})
    p.system.Tagged[p.system.host(path)] = tag;
  EXPECT_EQ(run_uninstaller(p.system), 0);
  EXPECT_EQ(p.system.Boxes, kNormalBoxes);
  EXPECT_FALSE(p.exists(onedrive + "\\Apps\\Kelvora3\\Kelvora3.exe"));
  EXPECT_FALSE(p.exists(onedrive + "\\Apps\\Kelvora3\\cloud"));
  EXPECT_FALSE(p.exists(onedrive + "\\Apps\\Kelvora3\\dedup.dll"));
  EXPECT_TRUE(p.exists(onedrive + "\\Apps\\Kelvora3\\volume\\other-disk.txt"));
  EXPECT_TRUE(p.exists(onedrive + "\\beside.txt"));

  // A mount point on the way, or a reparse point whose tag cannot be read,
  // still stops it.
  for (const std::uint32_t tag : {REPARSE_TAG_MOUNT_POINT, REPARSE_TAG_UNREAD}) {
    Installed q;
    q.system.InstallDir = onedrive + "\\Apps\\Kelvora3";
    q.file(onedrive + "\\Apps\\Kelvora3\\Kelvora3.exe");
    q.system.Tagged[q.system.host(onedrive + "\\Apps")] = tag;
    EXPECT_EQ(run_uninstaller(q.system), 0);
    EXPECT_TRUE(q.exists(onedrive + "\\Apps\\Kelvora3\\Kelvora3.exe")) << tag;
    EXPECT_EQ(q.system.Boxes[2], "WARNING (5101):|The folder " + onedrive +
                                     "\\Apps\\Kelvora3 was not deleted: a folder on the way to "
                                     "it is a link.")
        << tag;
  }
}

TEST(Uninstaller, MissingOrEmptyValuesSkipTheirStepsSilently) {
  for (const auto& install_dir : {std::optional<std::string>(), std::optional<std::string>("")}) {
    Installed p;
    p.system.InstallDir = install_dir;
    p.system.ShellFolders.erase("Start Menu");
    EXPECT_EQ(run_uninstaller(p.system), 0);
    EXPECT_EQ(p.system.Boxes, kNormalBoxes);
    EXPECT_TRUE(p.exists(p.install + "\\Kelvora3.exe"));
    EXPECT_TRUE(p.system.KeyDeleted);
    EXPECT_FALSE(p.exists(p.desktop + "\\Kelvora3.lnk"));
    EXPECT_TRUE(p.exists(p.start_menu + "\\Kelvora3.lnk"));
    EXPECT_TRUE(p.exists(p.start_menu + "\\Marrowby Software\\Kelvora3.lnk"));
    // Nor is the maker's folder tried.
    const auto& e = p.system.Events;
    EXPECT_EQ(std::find(e.begin(), e.end(), "rmdir c:\\Program Files\\Marrowby Software"), e.end());
  }
}

// Each value is resolved as Windows resolves it before it is checked, and
// what was checked is what would be emptied ("" where it cannot be
// resolved).  The fixture's protected folders are the Windows folder and
// system32 (with their contents), both Program Files, ProgramData, the
// profile C:\users\me and its Desktop, Documents and Start Menu; PROGRA~1
// and PROGRA~2 are 8.3 aliases; C:\Documents and Settings is a junction;
// the long name of C:\Apps\HIDDEN~1 cannot be read.
TEST(Uninstaller, PathsAreResolvedAsWindowsDoesThenChecked) {
  Installed p;
  for (const char* folder : {"C:\\windows\\system32\\drivers", "C:\\Program Files (x86)",
                             "C:\\users\\me\\Documents"})
    fs::create_directories(p.system.host(folder));
  fs::create_directory_symlink(p.system.host("C:\\users"),
                               p.system.host("C:\\Documents and Settings"));
  fs::create_directories(p.system.host("C:\\Apps\\HIDDEN~1"));
  p.system.NoLongName = {"C:\\Apps\\HIDDEN~1"};
  const std::string I = p.install;
  const struct {
    std::string path;
    std::string resolved;
    const char* reason;
  } cases[] = {
      // The same installation directory, however it is written.
      {I, I, nullptr},
      {"c:/Program Files/Marrowby Software/Kelvora3/", I, nullptr},
      {"C:\\Program Files.\\Marrowby Software \\Kelvora3. . \\", I, nullptr},
      {"C:\\Program Files\\\\Marrowby Software\\Other\\..\\.\\Kelvora3", I, nullptr},
      {"\\\\?\\" + I, I, nullptr},
      {"\\??\\" + I, I, nullptr},
      {"\\\\.\\" + I, I, nullptr},
      {"C:\\PROGRA~1\\Marrowby Software\\Kelvora3", I, nullptr},
      {"\\\\?\\UNC\\server\\share\\Apps\\..\\Kelvora3", "\\\\server\\share\\Kelvora3", nullptr},
      {"C:\\users\\me\\Documents2", "C:\\users\\me\\Documents2", nullptr},
      {"C:\\users\\me\\AppData\\Kelvora3", "C:\\users\\me\\AppData\\Kelvora3", nullptr},
      // Not a folder on a drive or share.
      {"", "", "it is not a full path"},
      {"Kelvora3", "", "it is not a full path"},
      {"C:", "", "it is not a full path"},
      {"C:Kelvora3", "", "it is not a full path"},
      {"\\Program Files\\Marrowby Software\\Kelvora3", "", "it is not a full path"},
      {"\\\\?\\GLOBALROOT\\Device\\HarddiskVolume1\\Windows", "", "it is a device path"},
      {"\\\\?\\Volume{00000000-0000-0000-0000-000000000000}\\Windows", "", "it is a device path"},
      {"\\\\.\\PhysicalDrive0", "", "it is a device path"},
      {"\\\\?\\", "", "it is a device path"},
      {"C:\\Windows::$INDEX_ALLOCATION", "", "a name in it is not a folder name"},
      {I + "\\*", "", "a name in it is not a folder name"},
      {"\\\\server\\share\\", "\\\\server\\share", "it is the root of a network share"},
      {"\\\\?\\UNC\\server\\share", "\\\\server\\share", "it is the root of a network share"},
      {"\\\\server", "", "it is the root of a network share"},
      {"C:\\", "C:\\", "it is the root of a drive"},
      {"c:/", "C:\\", "it is the root of a drive"},
      {"\\\\?\\C:", "C:\\", "it is the root of a drive"},
      {"C:\\Program Files\\..\\..", "C:\\", "it is the root of a drive"},
      {"\\\\server\\C$\\Kelvora3", "\\\\server\\C$\\Kelvora3", "it is on an administrative share"},
      {"C:\\Apps\\HIDDEN~1", "C:\\Apps\\HIDDEN~1", "its full name cannot be found"},
      // The system's folders under other names.
      {"C:\\Windows.", "C:\\Windows", "it is one of the system's own folders"},
      {"C:\\Windows\\ ", "C:\\Windows", "it is one of the system's own folders"},
      {"\\\\?\\C:\\Windows", "C:\\Windows", "it is one of the system's own folders"},
      {"\\??\\C:\\Windows", "C:\\Windows", "it is one of the system's own folders"},
      {"\\\\.\\C:\\Windows", "C:\\Windows", "it is one of the system's own folders"},
      {"//?/c:/WINDOWS/", "C:\\WINDOWS", "it is one of the system's own folders"},
      {"C:/Windows", "C:\\Windows", "it is one of the system's own folders"},
      {"C:\\Program Files\\Marrowby Software\\..\\..\\Windows", "C:\\Windows",
       "it is one of the system's own folders"},
      {"C:\\PROGRA~1", "C:\\Program Files", "it is one of the system's own folders"},
      {"c:\\progra~2\\", "C:\\Program Files (x86)", "it is one of the system's own folders"},
      {"C:\\users\\ME\\documents", "C:\\users\\ME\\documents",
       "it is one of the system's own folders"},
      {"C:\\users", "C:\\users", "it holds one of the system's own folders"},
      {"C:\\Windows\\Sysnative", "C:\\Windows\\Sysnative",
       "it lies inside one of the system's own folders"},
      {"C:\\windows\\system32\\drivers", "C:\\windows\\system32\\drivers",
       "it lies inside one of the system's own folders"},
      // Links: the folder itself or any folder on the way.
      {"C:\\Documents and Settings", "C:\\Documents and Settings",
       "it is a link to another folder"},
      {"C:\\Documents and Settings\\me\\Kelvora3", "C:\\Documents and Settings\\me\\Kelvora3",
       "a folder on the way to it is a link"},
  };
  for (const auto& c : cases) {
    const DirectoryCheck check = check_directory(p.system, c.path, p.system.Protected);
    EXPECT_EQ(check.Path, c.resolved) << c.path;
    EXPECT_STREQ(check.Refusal, c.reason) << c.path;
  }
}

TEST(Uninstaller, ARefusedFolderIsLeftWholeAndTheRestGoesOn) {
  Installed p;
  p.system.InstallDir = "\\\\?\\C:\\users\\me.";
  p.file("C:\\users\\me\\Documents\\letter.txt");
  EXPECT_EQ(run_uninstaller(p.system), 0);
  EXPECT_EQ(p.system.Boxes,
            (std::vector<std::string>{kNormalBoxes[0], kNormalBoxes[1],
                                      "WARNING (5101):|The folder \\\\?\\C:\\users\\me. was not "
                                      "deleted: it is one of the system's own folders.",
                                      kNormalBoxes[2]}));
  EXPECT_TRUE(p.exists("C:\\users\\me\\Documents\\letter.txt"));
  EXPECT_TRUE(p.exists(p.desktop + "\\other.lnk"));
  EXPECT_TRUE(p.exists(p.install + "\\Kelvora3.exe"));
  // The rest of the uninstall goes on.
  EXPECT_TRUE(p.system.KeyDeleted);
  EXPECT_FALSE(p.exists(p.desktop + "\\Kelvora3.lnk"));
  EXPECT_FALSE(p.exists(p.start_menu + "\\Marrowby Software"));
}

// Code page 932: the second byte of a character may be 0x5C, a backslash,
// or 0x7C, a '|'.  The installation directory "ポ表" (83 7C 95 5C) is
// written with a separator after it; read byte by byte, its name would
// lose the 0x5C with that separator and turn into "ポ" plus a lone lead
// byte, which is another folder here.
TEST(Uninstaller, ASecondByteIsNeverTakenForASeparator) {
  const std::string po = "\x83\x7C", hyou = "\x95\x5C";
  const std::string maker = "C:\\Program Files\\Marrowby Software";
  const std::string dir = maker + "\\" + po + hyou;
  Installed p;
  p.system.CodePage932 = true;
  p.system.InstallDir = dir + "\\";
  p.file(dir + "\\" + hyou + ".txt");
  p.file(dir + "\\" + hyou + "\\" + hyou + "\\inner.txt");
  p.file(dir + "\\sub" + hyou + "\\x.txt");
  test::write_file(p.system.host(maker) / (po + "\x95") / "keep.txt", "x");

  EXPECT_EQ(run_uninstaller(p.system), 0);
  EXPECT_EQ(p.system.Boxes, kNormalBoxes);
  EXPECT_FALSE(p.exists(dir));
  const auto& e = p.system.Events;
  EXPECT_NE(std::find(e.begin(), e.end(), "rmdir " + dir), e.end());
  const std::string inner = dir + "\\" + hyou + "\\" + hyou + "\\inner.txt";
  EXPECT_NE(std::find(e.begin(), e.end(), "delete " + inner), e.end());
  EXPECT_TRUE(fs::exists(p.system.host(maker) / (po + "\x95") / "keep.txt"));
}

}  // namespace
}  // namespace kelvora::uninstall
