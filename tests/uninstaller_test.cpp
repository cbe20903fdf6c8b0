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

class TestSystem final : public UninstallSystem {
 public:
  explicit TestSystem(const fs::path& root) : root_(root) {}

  bool Answer = true;
  std::optional<std::string> InstallDir;
  std::map<std::string, std::string> ShellFolders;
  bool KeyDeleted = false;
  std::vector<std::string> Protected;
  std::vector<std::string> Boxes;   // "caption|text"
  std::vector<std::string> Events;  // the order of effects

  fs::path host(const std::string& windows_path) const {
    std::string p = windows_path;
    fs::path out = root_;
    std::size_t at = 0;
    if (p.size() >= 2 && p[1] == ':') {
      out /= std::string(1, static_cast<char>(std::toupper(static_cast<unsigned char>(p[0]))));
      at = 2;
    }
    std::string piece;
    for (std::size_t i = at; i <= p.size(); ++i) {
      if (i == p.size() || p[i] == '\\' || p[i] == '/') {
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
  std::vector<std::string> protected_folders() override { return Protected; }

  std::optional<std::vector<DirEntry>> list_directory(const std::string& path) override {
    std::error_code error;
    const fs::path dir = host(path);
    if (!fs::is_directory(fs::symlink_status(dir, error))) return std::nullopt;
    std::vector<DirEntry> entries;
    for (const auto& e : fs::directory_iterator(dir, error))
      entries.push_back({e.path().filename().string(), attributes_of(e.path())});
    return entries;
  }
  std::uint32_t attributes(const std::string& path) override { return attributes_of(host(path)); }
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

  // Read-only is the owner's missing write bit; links are reparse points.
  static std::uint32_t attributes_of(const fs::path& p) {
    std::error_code error;
    const fs::file_status s = fs::symlink_status(p, error);
    if (!fs::exists(s)) return ATTRIBUTE_INVALID;
    std::uint32_t a = 0;
    if (fs::is_symlink(s)) {
      a = ATTRIBUTE_REPARSE_POINT;
      if (fs::is_directory(fs::status(p, error))) a |= ATTRIBUTE_DIRECTORY;
      return a;
    }
    a = fs::is_directory(s) ? ATTRIBUTE_DIRECTORY : ATTRIBUTE_ARCHIVE;
    if ((s.permissions() & fs::perms::owner_write) == fs::perms::none) a |= ATTRIBUTE_READONLY;
    return a;
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
    system.Protected = {"C:\\windows",          "C:\\windows\\system32", "C:\\Program Files",
                        "C:\\Program Files (x86)", "C:\\ProgramData",     "C:\\users",
                        "C:\\users\\me",         desktop,                 "C:\\users\\me\\Documents",
                        start_menu};
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
}

TEST(Uninstaller, MissingValuesSkipTheirStepsSilently) {
  Installed p;
  p.system.InstallDir.reset();
  p.system.ShellFolders.erase("Start Menu");
  EXPECT_EQ(run_uninstaller(p.system), 0);
  EXPECT_EQ(p.system.Boxes, kNormalBoxes);
  EXPECT_TRUE(p.exists(p.install + "\\Kelvora3.exe"));
  EXPECT_TRUE(p.system.KeyDeleted);
  EXPECT_FALSE(p.exists(p.desktop + "\\Kelvora3.lnk"));
  EXPECT_TRUE(p.exists(p.start_menu + "\\Kelvora3.lnk"));
  EXPECT_TRUE(p.exists(p.start_menu + "\\Marrowby Software\\Kelvora3.lnk"));
}

TEST(Uninstaller, DangerousInstallDirectoriesAreRefusedAndNothingUnderThemGoes) {
  const struct {
    const char* path;
    const char* reason;
  } cases[] = {
      {"", "the installation directory in the registry is empty"},
      {"Kelvora3", "it is not a full path"},
      {"Program Files\\Marrowby Software", "it is not a full path"},
      {"C:", "it is not a full path"},
      {"C:\\", "it is the root of a drive"},
      {"c:/", "it is the root of a drive"},
      {"\\\\server\\share", "it is the root of a network share"},
      {"\\\\server\\share\\", "it is the root of a network share"},
      {"C:\\Windows", "it is one of the system's own folders"},
      {"c:\\WINDOWS\\", "it is one of the system's own folders"},
      {"C:\\windows\\System32", "it is one of the system's own folders"},
      {"C:\\Program Files", "it is one of the system's own folders"},
      {"C:\\Program Files (x86)", "it is one of the system's own folders"},
      {"C:\\ProgramData", "it is one of the system's own folders"},
      {"C:\\users", "it is one of the system's own folders"},
      {"C:\\users\\me", "it is one of the system's own folders"},
      {"C:\\users\\me\\Desktop", "it is one of the system's own folders"},
      {"C:\\users\\me\\Documents", "it is one of the system's own folders"},
      {"C:\\users\\me\\Start Menu", "it is one of the system's own folders"},
      {"C:\\users\\..", "it is not a full path"},
      {"C:\\Program Files\\..\\windows", "it is not a full path"},
  };
  for (const auto& c : cases) {
    Installed p;
    p.system.InstallDir = c.path;
    p.file("C:\\windows\\system32\\kernel32.dll");
    p.file("C:\\users\\me\\Documents\\letter.txt");
    p.file("C:\\sentinel.txt");
    const auto before = p.exists("C:\\users\\me\\Desktop\\other.lnk");
    EXPECT_EQ(run_uninstaller(p.system), 0);
    ASSERT_EQ(p.system.Boxes.size(), 4u) << c.path;
    EXPECT_EQ(p.system.Boxes[2],
              std::string("WARNING (5101):|The folder ") + (*c.path ? c.path : "(none)") +
                  " was not deleted: " + c.reason + ".")
        << c.path;
    EXPECT_EQ(p.system.Boxes[3], kNormalBoxes[2]);
    EXPECT_TRUE(p.exists("C:\\windows\\system32\\kernel32.dll")) << c.path;
    EXPECT_TRUE(p.exists("C:\\users\\me\\Documents\\letter.txt")) << c.path;
    EXPECT_TRUE(p.exists("C:\\sentinel.txt")) << c.path;
    EXPECT_TRUE(p.exists(p.install + "\\Kelvora3.exe")) << c.path;
    EXPECT_EQ(p.exists("C:\\users\\me\\Desktop\\other.lnk"), before);
    // The rest of the uninstall goes on.
    EXPECT_TRUE(p.system.KeyDeleted);
    EXPECT_FALSE(p.exists(p.desktop + "\\Kelvora3.lnk"));
  }
}

TEST(Uninstaller, AFolderThatHoldsASystemFolderIsRefused) {
  const std::vector<std::string> system = {"C:\\users\\me\\Documents"};
  EXPECT_STREQ(unsafe_directory_reason("C:\\users\\me", system),
               "it holds one of the system's own folders");
  EXPECT_STREQ(unsafe_directory_reason("C:\\USERS", system),
               "it holds one of the system's own folders");
  EXPECT_EQ(unsafe_directory_reason("C:\\users\\me\\Doc", system), nullptr);
  EXPECT_EQ(unsafe_directory_reason("C:\\users\\me\\Documents2", system), nullptr);
  EXPECT_EQ(unsafe_directory_reason("D:\\Apps\\Kelvora3", system), nullptr);
  EXPECT_EQ(unsafe_directory_reason("\\\\server\\share\\Kelvora3", system), nullptr);
}

}  // namespace
}  // namespace kelvora::uninstall
