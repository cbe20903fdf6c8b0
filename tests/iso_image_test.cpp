// The ISO 9660 reader: images made by xorriso and genisoimage with every mix
// of Joliet and Rock Ridge read back file for file, and hand-laid hostile
// images refused with their reason or read safely.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "tests/support/iso_bytes.h"
#include "tests/support/test_support.h"
#include "viewer/container/iso_image.h"

namespace kelvora {
namespace {

namespace fs = std::filesystem;
using test::Bytes;
using test::IsoBytes;
using test::iso_dot;
using test::iso_dotdot;
using test::iso_name;
using test::iso_record;
using test::iso_ucs2;
using test::TempDir;
using test::operator+;

std::string contents_of(const IsoImage& image, const IsoEntry& entry) {
  std::string why;
  FileRange range = image.open_entry(entry, &why);
  EXPECT_TRUE(range) << entry.Name << ": " << why;
  if (!range) return {};
  std::string bytes(static_cast<std::size_t>(entry.Length), '\0');
  EXPECT_TRUE(seek_to(range.File.get(), range.Start));
  EXPECT_EQ(std::fread(bytes.data(), 1, bytes.size(), range.File.get()), bytes.size());
  return bytes;
}

// Every regular file of the image as path -> contents, read through list
// and open_entry.
void files_of(const IsoImage& image, const std::string& folder,
              std::map<std::string, std::string>& files, int depth = 0) {
  ASSERT_LT(depth, 40);
  std::string why;
  const auto entries = image.list(folder, &why);
  ASSERT_TRUE(entries) << folder << ": " << why;
  for (const IsoEntry& e : *entries) {
    const std::string path = folder.empty() ? e.Name : folder + "/" + e.Name;
    if (e.Kind == IsoKind::Directory)
      files_of(image, path, files, depth + 1);
    else if (e.Kind == IsoKind::File)
      files[path] = contents_of(image, e);
  }
}

std::map<std::string, std::string> files_below(const fs::path& root) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(root))
    if (entry.is_regular_file()) {
      const auto bytes = test::read_file(entry.path());
      files[fs::relative(entry.path(), root).generic_string()] =
          std::string(bytes.begin(), bytes.end());
    }
  return files;
}

std::multiset<std::string> contents(const std::map<std::string, std::string>& files) {
  std::multiset<std::string> all;
  for (const auto& [path, bytes] : files) all.insert(bytes);
  return all;
}

bool have(const char* program) {
  return std::system((std::string("command -v ") + program + " >/dev/null 2>&1").c_str()) == 0;
}

TEST(IsoImage, ReadsImagesOfXorrisoAndGenisoimageWithEveryMixOfNames) {
#if defined(_WIN32)
  GTEST_SKIP() << "the images are made by Linux programs";
#else
  for (const char* program : {"xorriso", "genisoimage"})
    if (!have(program)) GTEST_FAIL() << program << " is not installed (apt install " << program
                                     << ")";
  TempDir dir;
  const fs::path src = dir / "src";
  test::write_file(src / "viewer.exe", "viewer");
  test::write_file(src / "KELVORA1.DAT", test::pattern_bytes(3 * 1048576 + 17, 3));
  test::write_file(src / "empty.txt", "");
  test::write_file(src / "Caf\xC3\xA9 with a rather long name of forty-odd letters.txt",
                   "coffee");
  test::write_file(src / "Docs" / "Deep" / "deep.txt", "deep");
  test::write_file(src / "Docs" / "notes.txt", "notes");
  const auto expected = files_below(src);

  const struct {
    std::string command;  // the image's path and the source follow
    IsoNames names;
  } cases[] = {
      {"xorriso -as mkisofs -quiet -J -joliet-long -r", IsoNames::RockRidge},
      {"xorriso -as mkisofs -quiet -r", IsoNames::RockRidge},
      // xorriso writes Rock Ridge unless told not to.
      {"xorriso -as mkisofs -quiet -J -joliet-long --norock", IsoNames::Joliet},
      {"xorriso -as mkisofs -quiet --norock", IsoNames::Primary},
      {"genisoimage -quiet -input-charset utf-8 -J -joliet-long -R", IsoNames::RockRidge},
      {"genisoimage -quiet -input-charset utf-8 -R", IsoNames::RockRidge},
      {"genisoimage -quiet -input-charset utf-8 -J -joliet-long", IsoNames::Joliet},
      {"genisoimage -quiet -input-charset utf-8", IsoNames::Primary},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command);
    const fs::path image = dir / "cd.iso";
    fs::remove(image);
    ASSERT_EQ(std::system((c.command + " -o '" + image.string() + "' '" + src.string() +
                           "' >/dev/null 2>&1")
                              .c_str()),
              0);
    IsoImage iso;
    ASSERT_EQ(iso.load(image.string()), "");
    EXPECT_EQ(iso.names(), c.names);
    std::map<std::string, std::string> read;
    files_of(iso, "", read);
    // Primary names are cut to the image's rules: the contents must all be
    // there; with Joliet or Rock Ridge the names too.
    if (c.names == IsoNames::Primary)
      EXPECT_EQ(contents(read), contents(expected));
    else
      EXPECT_EQ(read, expected);
    // Found as the engine looks data files up: either separator, any case.
    EXPECT_TRUE(iso.open("kelvora1.dat"));
    std::string why;
    EXPECT_FALSE(iso.open("Docs\\..\\KELVORA1.DAT", &why));
    EXPECT_EQ(why, "the path leaves the image");
  }
#endif
}

TEST(IsoImage, DeepFoldersMovedByRockRidgeAreReadWhereTheyBelong) {
#if defined(_WIN32)
  GTEST_SKIP() << "the images are made by Linux programs";
#else
  if (!have("genisoimage")) GTEST_FAIL() << "genisoimage is not installed";
  TempDir dir;
  fs::path deep = dir / "src";
  for (int i = 1; i <= 10; ++i) deep /= "level" + std::to_string(i);
  test::write_file(deep / "bottom.txt", "bottom");
  const fs::path image = dir / "deep.iso";
  // Rock Ridge without -D moves folders below level 8 to rr_moved.
  ASSERT_EQ(std::system(("genisoimage -quiet -R -o '" + image.string() + "' '" +
                         (dir / "src").string() + "' >/dev/null 2>&1")
                            .c_str()),
            0);
  IsoImage iso;
  ASSERT_EQ(iso.load(image.string()), "");
  std::map<std::string, std::string> read;
  files_of(iso, "", read);
  EXPECT_EQ(read, files_below(dir / "src"));
#endif
}

// A root with a file at sector 30, in each naming.
struct Laid {
  TempDir dir;
  IsoBytes iso{40};
  fs::path write() {
    test::write_file(dir / "laid.iso", iso.bytes());
    return dir / "laid.iso";
  }
};

TEST(IsoImage, NamesComeFromRockRidgeThenJolietThenThePrimaryTree) {
  struct Case {
    const char* what;
    bool joliet, rock_ridge;
    IsoNames names;
    std::string name;
  } cases[] = {
      {"primary", false, false, IsoNames::Primary, "README"},
      {"joliet", true, false, IsoNames::Joliet, "Read me \xC3\xA9.txt"},
      {"rock ridge", true, true, IsoNames::RockRidge, "read me (rr).txt"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Laid l;
    const Bytes sp = c.rock_ridge ? test::rr_sp() : Bytes{};
    l.iso.primary(20, 2048);
    l.iso.directory(20, {iso_record(20, 2048, 2, iso_dot(), sp), iso_record(20, 2048, 2, iso_dotdot()),
                         iso_record(30, 5, 0, iso_name("README.;1"),
                                    c.rock_ridge ? test::rr_nm("read me (rr).txt") : Bytes{})});
    if (c.joliet) {
      l.iso.joliet(21, 2048);
      l.iso.directory(21, {iso_record(21, 2048, 2, iso_dot()), iso_record(21, 2048, 2, iso_dotdot()),
                           iso_record(30, 5, 0, iso_ucs2(u"Read me \u00e9.txt;1"))});
    }
    l.iso.text(30, "hello");
    IsoImage image;
    ASSERT_EQ(image.load(l.write().string()), "");
    EXPECT_EQ(image.names(), c.names);
    const auto entries = image.list("");
    ASSERT_TRUE(entries);
    ASSERT_EQ(entries->size(), 1u);
    EXPECT_EQ((*entries)[0].Name, c.name);
    EXPECT_EQ(contents_of(image, (*entries)[0]), "hello");
  }
}

TEST(IsoImage, HostileImagesAreRefusedWithTheirReasonNeverFollowed) {
  const Bytes rr_root = test::rr_sp();
  struct Case {
    const char* what;
    std::function<void(IsoBytes&)> lay;
    std::string load_error;   // what load says, or empty
    std::string path;         // then: what opening path says
    std::string open_error;
  } cases[] = {
      {"not an image", [](IsoBytes&) {}, "it is not an ISO 9660 image", "", ""},
      {"UDF only",
       [](IsoBytes& b) {
         b.put(16 * 2048 + 1, iso_name("BEA01"));
         b.put(17 * 2048 + 1, iso_name("NSR02"));
         b.put(18 * 2048 + 1, iso_name("TEA01"));
       },
       "it holds a UDF file system only", "", ""},
      {"blocks of 512 bytes", [](IsoBytes& b) { b.primary(20, 2048, 512); },
       "its logical blocks are 512 bytes long", "", ""},
      {"a huge root", [](IsoBytes& b) { b.primary(20, 0x7FFFFFFF); },
       "a directory of the image is larger than 32 MiB", "", ""},
      {"a root past the end", [](IsoBytes& b) { b.primary(39, 4096); },
       "a directory of the image reaches past its end", "", ""},
      {"a damaged record",
       [](IsoBytes& b) {
         b.primary(20, 2048);
         b.put(20 * 2048, Bytes{20});
       },
       "a directory record of the image is damaged", "", ""},
      {"a record longer than its directory",
       [](IsoBytes& b) {
         b.primary(20, 50);
         b.directory(20, {iso_record(20, 50, 2, iso_dot()), iso_record(30, 1, 0, iso_name("A"))});
       },
       "a directory record of the image is damaged", "", ""},
      {"a folder that is its own parent",
       [](IsoBytes& b) {
         b.primary(20, 2048);
         b.directory(20, {iso_record(20, 2048, 2, iso_dot()),
                          iso_record(20, 2048, 2, iso_name("LOOP"))});
       },
       "", "LOOP/LOOP/x", "the image's folders form a loop at LOOP"},
      {"a file past the end",
       [](IsoBytes& b) {
         b.primary(20, 2048);
         b.directory(20, {iso_record(20, 2048, 2, iso_dot()),
                          iso_record(39, 4096, 0, iso_name("FAR"))});
       },
       "", "FAR", "FAR: it reaches past the end of the image"},
      {"a file in several extents",
       [](IsoBytes& b) {
         b.primary(20, 2048);
         b.directory(20, {iso_record(20, 2048, 2, iso_dot()),
                          iso_record(30, 2048, 0x80, iso_name("BIG")),
                          iso_record(31, 10, 0, iso_name("BIG"))});
       },
       "", "BIG", "BIG: it is recorded in several extents"},
      {"a name with a slash (Joliet)",
       [](IsoBytes& b) {
         b.primary(20, 2048);
         b.joliet(21, 2048);
         b.directory(21, {iso_record(21, 2048, 2, iso_dot()),
                          iso_record(30, 4, 0, iso_ucs2(u"..\\/etc"))});
       },
       "", "etc", "the image has no file etc"},
      {"a Rock Ridge name of ..",
       [rr_root](IsoBytes& b) {
         b.primary(20, 2048);
         b.directory(20, {iso_record(20, 2048, 2, iso_dot(), rr_root),
                          iso_record(22, 2048, 2, iso_name("UP"), test::rr_nm(".."))});
       },
       "", "UP", "the image has no file UP"},
      {"a path climbing out", [](IsoBytes& b) { b.primary(20, 2048); }, "", "../x",
       "the path leaves the image"},
      {"a folder that is a file",
       [](IsoBytes& b) {
         b.primary(20, 2048);
         b.directory(20, {iso_record(20, 2048, 2, iso_dot()),
                          iso_record(30, 2, 0, iso_name("F"))});
       },
       "", "F/x", "the image has no folder F"},
      {"a folder opened as a file",
       [](IsoBytes& b) {
         b.primary(20, 2048);
         b.directory(20, {iso_record(20, 2048, 2, iso_dot()),
                          iso_record(22, 2048, 2, iso_name("D"))});
       },
       "", "D", "D is not a regular file of the image"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Laid l;
    c.lay(l.iso);
    IsoImage image;
    const std::string loaded = image.load(l.write().string());
    if (!c.load_error.empty()) {
      EXPECT_NE(loaded.find(c.load_error), std::string::npos) << loaded;
      continue;
    }
    ASSERT_EQ(loaded, "");
    std::string why;
    EXPECT_FALSE(image.open(c.path, &why));
    EXPECT_NE(why.find(c.open_error), std::string::npos) << why;
  }
}

TEST(IsoImage, FilesSharingBytesAreEachReadWhole) {
  Laid l;
  l.iso.primary(20, 2048);
  l.iso.directory(20, {iso_record(20, 2048, 2, iso_dot()), iso_record(30, 5, 0, iso_name("A")),
                       iso_record(30, 3, 0, iso_name("B")),
                       iso_record(20, 34, 0, iso_name("ROOT"))});
  l.iso.text(30, "hello");
  IsoImage image;
  ASSERT_EQ(image.load(l.write().string()), "");
  const auto entries = image.list("");
  ASSERT_TRUE(entries);
  ASSERT_EQ(entries->size(), 3u);
  EXPECT_EQ(contents_of(image, (*entries)[0]), "hello");
  EXPECT_EQ(contents_of(image, (*entries)[1]), "hel");
  EXPECT_EQ(contents_of(image, (*entries)[2]).size(), 34u);
}

TEST(IsoImage, ContinuationAreasThatLoopEndAfterAFewHops) {
  Laid l;
  l.iso.primary(20, 2048);
  // The name goes on (flag 1) into a continuation area that points at
  // itself.
  const Bytes area = test::rr_nm("ab", 1) + test::rr_ce(25, 0, 40);
  l.iso.put(25 * 2048, area);
  l.iso.directory(20, {iso_record(20, 2048, 2, iso_dot(), test::rr_sp()),
                       iso_record(30, 1, 0, iso_name("X"), test::rr_ce(25, 0, 40))});
  IsoImage image;
  ASSERT_EQ(image.load(l.write().string()), "");
  const auto entries = image.list("");
  ASSERT_TRUE(entries);
  ASSERT_EQ(entries->size(), 1u);
  EXPECT_EQ((*entries)[0].Name.substr(0, 4), "abab");
  EXPECT_LE((*entries)[0].Name.size(), 2u * 9);
}

}  // namespace
}  // namespace kelvora
