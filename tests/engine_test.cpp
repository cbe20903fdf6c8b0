#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <string>
#include <vector>

#include "tests/support/test_support.h"
#include "viewer/base/path_text.h"
#include "viewer/catalogue/catalogue.h"
#include "viewer/extract/engine.h"
#include "viewer/extract/temp_files.h"
#include "writer/writer.h"

namespace kelvora {
namespace {

namespace fs = std::filesystem;
using test::file_item;
using test::folder_item;
using test::MessageRecorder;
using test::root_item;
using test::TempDir;

// Every regular file below a directory as relative path -> contents.
std::map<std::string, std::string> tree_of(const fs::path& root) {
  std::map<std::string, std::string> files;
  if (!fs::exists(root)) return files;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    const std::string relative = fs::relative(entry.path(), root).generic_string();
    if (entry.is_symlink())
      files[relative] = "<link>";
    else if (entry.is_directory())
      files[relative + "/"] = "";
    else {
      const auto bytes = test::read_file(entry.path());
      files[relative] = std::string(bytes.begin(), bytes.end());
    }
  }
  return files;
}

// A CD written by the writer and loaded as the viewer loads it.
struct Cd {
  TempDir dir;
  ViewerFile viewer;
  Catalogue catalogue;
  fs::path cd_dir() const { return dir / "cd"; }
  fs::path out() const { return dir / "out"; }

  explicit Cd(CdDescription description) {
    set_content_key(description.Settings, "content key");
    const WrittenCd written = write_cd(description, cd_dir());
    EXPECT_TRUE(load_viewer_file(written.ViewerPath.string(), viewer));
    EXPECT_TRUE(load_catalogue(viewer, catalogue));
  }
  explicit Cd(std::vector<WriterItem> items) : Cd(with_items(std::move(items))) {}
  static CdDescription with_items(std::vector<WriterItem> items) {
    CdDescription d;
    d.Items = std::move(items);
    return d;
  }
  ExportResult export_all(const std::string& target) {
    Extractor x(viewer, catalogue, viewer.Settings.content_key());
    export_folder(x, 0, target);
    return x.Result;
  }
  ExportResult export_all() { return export_all(out().string()); }
};

TEST(Engine, ExportsTheWholeCdFolderFilesFirstThenSubFolders) {
  Cd cd({root_item(), file_item(2, 1, "top.txt", "top"), folder_item(3, 1, "A"),
         file_item(4, 3, "a1.txt", "a1"), folder_item(5, 3, "B"), folder_item(6, 5, "C"),
         file_item(7, 6, "deep.txt", "three levels"), file_item(8, 3, "a2.txt", "a2"),
         folder_item(9, 1, "Empty"), file_item(10, 1, "zero.bin", "")});
  std::vector<std::string> order;
  Extractor x(cd.viewer, cd.catalogue, cd.viewer.Settings.content_key());
  x.OnProgress = [&](const ExportProgress& p) {
    if (order.empty() || order.back() != p.CurrentName) order.push_back(p.CurrentName);
  };
  MessageRecorder recorder;
  export_folder(x, 0, cd.out().string());
  EXPECT_TRUE(recorder.Messages.empty()) << recorder.lines()[0];
  EXPECT_TRUE(x.Result.all_done());
  EXPECT_EQ(x.Result.FilesWritten, 5u);
  EXPECT_EQ(x.Progress.FilesTotal, 5u);
  EXPECT_EQ(x.Progress.FilesDone, 5u);
  EXPECT_EQ(x.Progress.BytesDone, x.Progress.BytesTotal);
  EXPECT_EQ(order, (std::vector<std::string>{"top.txt", "zero.bin", "a1.txt", "a2.txt",
                                             "deep.txt"}));
  EXPECT_EQ(tree_of(cd.out()), (std::map<std::string, std::string>{
                                   {"Kelvora/", ""},
                                   {"Kelvora/top.txt", "top"},
                                   {"Kelvora/zero.bin", ""},
                                   {"Kelvora/A/", ""},
                                   {"Kelvora/A/a1.txt", "a1"},
                                   {"Kelvora/A/a2.txt", "a2"},
                                   {"Kelvora/A/B/", ""},
                                   {"Kelvora/A/B/C/", ""},
                                   {"Kelvora/A/B/C/deep.txt", "three levels"},
                                   {"Kelvora/Empty/", ""}}));
}

TEST(Engine, ChunkBoundariesAndDataFileSplitsComeBackByteForByte) {
  const auto mib = test::pattern_bytes(1048576, 1);
  const auto mib_plus = test::pattern_bytes(1048577, 2);
  const auto odd = test::pattern_bytes(3 * 1048576 + 17, 3);
  CdDescription d = Cd::with_items({root_item(), file_item(2, 1, "mib", mib),
                                    file_item(3, 1, "mib+1", mib_plus),
                                    file_item(4, 1, "odd", odd)});
  d.MaxDataFile = 2 * 1048576;
  Cd cd(std::move(d));
  EXPECT_TRUE(cd.export_all().all_done());
  EXPECT_EQ(test::read_file(cd.out() / "Kelvora" / "mib"), mib);
  EXPECT_EQ(test::read_file(cd.out() / "Kelvora" / "mib+1"), mib_plus);
  EXPECT_EQ(test::read_file(cd.out() / "Kelvora" / "odd"), odd);
}

TEST(Engine, ASecondEntryOfOneNameIsRenamedVisiblyAndExistingFilesAreReplaced) {
  Cd cd({root_item(), file_item(2, 1, "same.txt", "first"),
         file_item(3, 1, "same.txt", "second"), file_item(4, 1, "same.txt", "third")});
  test::write_file(cd.out() / "Kelvora" / "same.txt", "old contents, longer than both");
  MessageRecorder boxes;
  const ExportResult r = cd.export_all();
  EXPECT_TRUE(r.all_done());
  EXPECT_EQ(r.FilesWritten, 3u);
  EXPECT_EQ(r.FilesReplaced, 1u);
  EXPECT_EQ(r.FilesRenamed, 2u);
  const auto files = tree_of(cd.out() / "Kelvora");
  EXPECT_EQ(files.at("same.txt"), "first");
  EXPECT_EQ(files.at("same (2).txt"), "second");
  EXPECT_EQ(files.at("same (3).txt"), "third");
  EXPECT_EQ(boxes.lines(), (std::vector<std::string>{
                               "WARNING (345642):|[same.txt] is exported as [same (2).txt]: "
                               "another entry of this export has its name.",
                               "WARNING (345642):|[same.txt] is exported as [same (3).txt]: "
                               "another entry of this export has its name."}));
}

TEST(Engine, AMissingDataFileIsReportedOnceAndTheExportGoesOn) {
  WriterItem ghost = file_item(2, 1, "ghost.txt");
  ghost.DataFile = "MISSING.DAT";
  ghost.Size = 10;
  Cd cd({root_item(), ghost, file_item(3, 1, "real.txt", "real")});
  MessageRecorder recorder;
  const ExportResult r = cd.export_all();
  EXPECT_EQ(recorder.lines(), std::vector<std::string>{"Error:(345634)|Cannot open .dat file."});
  EXPECT_EQ(r.FilesFailed, 1u);
  EXPECT_EQ(r.FilesWritten, 1u);
  EXPECT_FALSE(fs::exists(cd.out() / "Kelvora" / "ghost.txt"));
  EXPECT_TRUE(fs::exists(cd.out() / "Kelvora" / "real.txt"));
}

TEST(Engine, AShortDataFileIsReportedAndLeavesNoOutput) {
  WriterItem lying = file_item(2, 1, "lying.bin", std::string(100, 'x'));
  lying.Size = 5000;  // more than the data file holds
  Cd cd({root_item(), lying});
  MessageRecorder recorder;
  const ExportResult r = cd.export_all();
  EXPECT_EQ(recorder.lines(), std::vector<std::string>{
                                  "Error:(345638)|The data file KELVORA1.DAT is too short "
                                  "for [lying.bin]."});
  EXPECT_EQ(r.FilesFailed, 1u);
  EXPECT_FALSE(fs::exists(cd.out() / "Kelvora" / "lying.bin"));
}

TEST(Engine, DataFilesAreFoundInOtherLetterCaseAndThroughBackslashes) {
  CdDescription d = Cd::with_items({root_item(), file_item(2, 1, "f.txt", "found")});
  d.DataFileName = "Data\\Part%u.dat";
  Cd cd(std::move(d));
  fs::rename(cd.cd_dir() / "Data", cd.cd_dir() / "DATA");
  fs::rename(cd.cd_dir() / "DATA" / "Part1.dat", cd.cd_dir() / "DATA" / "PART1.DAT");
  EXPECT_TRUE(cd.export_all().all_done());
  EXPECT_EQ(tree_of(cd.out())["Kelvora/f.txt"], "found");
}

TEST(Engine, ANameWithABackslashNeedsItsSubDirectory) {
  Cd cd({root_item(), folder_item(2, 1, "F"), file_item(3, 2, "sub\\inner.txt", "in"),
         folder_item(4, 2, "sub"), file_item(5, 2, "sub\\later.txt", "x")});
  MessageRecorder recorder;
  const ExportResult r = cd.export_all();
  // The sub-directory does not exist yet while F's own files are written.
  EXPECT_EQ(recorder.lines(),
            (std::vector<std::string>{"Error:(34565)|Cannot create new export file.",
                                      "Error:(34565)|Cannot create new export file."}));
  EXPECT_EQ(r.FilesFailed, 2u);
  EXPECT_TRUE(fs::is_directory(cd.out() / "Kelvora" / "F" / "sub"));
}

TEST(Engine, HostileNamesAreRefusedAndNothingLandsOutsideTheTarget) {
  const struct {
    const char* name;
    const char* reason;
  } cases[] = {
      {"..", "the name would leave the target directory"},
      {"..\\..\\escape.txt", "the name would leave the target directory"},
      {"../escape.txt", "the name would leave the target directory"},
      {"a\\..\\..\\escape.txt", "the name would leave the target directory"},
      {"/tmp/escape.txt", "the name is an absolute path"},
      {"\\escape.txt", "the name is an absolute path"},
      {"C:\\escape.txt", "the name holds a drive or a colon"},
      {"C:escape.txt", "the name holds a drive or a colon"},
      {"file.txt:stream", "the name holds a drive or a colon"},
      {"CON", "the name is a device name"},
      {"nul.txt", "the name is a device name"},
      {"Lpt1 .log", "the name is a device name"},
      {"sub\\COM9", "the name is a device name"},
      {"COM0", "the name is a device name"},
      {"lpt0.txt", "the name is a device name"},
      {"COM\xB9", "the name is a device name"},       // COM with superscript one
      {"Lpt\xB2 .txt", "the name is a device name"},  // superscript two
      {"sub\\com\xB3.log", "the name is a device name"},
  };
  for (const auto& c : cases) {
    for (std::uint32_t kind : {KIND_FILE, KIND_FOLDER}) {
      std::vector<WriterItem> items{root_item(), folder_item(2, 1, "In")};
      WriterItem hostile = kind == KIND_FILE ? file_item(3, 2, c.name, "bad")
                                             : folder_item(3, 2, c.name);
      items.push_back(hostile);
      items.push_back(file_item(4, 3, "inside-hostile.txt", "bad"));
      items.push_back(file_item(5, 2, "good.txt", "good"));
      Cd cd(std::move(items));
      MessageRecorder recorder;
      const ExportResult r = cd.export_all((cd.out() / "target").string());
      EXPECT_EQ(recorder.lines(),
                std::vector<std::string>{std::string("Error:(345636)|Cannot export [") +
                                         c.name + "]: " + c.reason + "."})
          << c.name;
      EXPECT_FALSE(r.all_done());
      // Outside the target there is nothing but the target itself.
      EXPECT_EQ(tree_of(cd.out()).count("escape.txt"), 0u);
      for (const auto& [path, contents] : tree_of(cd.out()))
        EXPECT_EQ(path.rfind("target/", 0), 0u) << c.name << ": " << path;
      EXPECT_EQ(tree_of(cd.out())["target/Kelvora/In/good.txt"], "good") << c.name;
      EXPECT_FALSE(fs::exists(cd.dir / "escape.txt"));
      EXPECT_FALSE(fs::exists("/tmp/escape.txt"));
    }
  }
}

// Sets the code page of the names for one test.
class NameCodePage {
 public:
  explicit NameCodePage(unsigned code_page) { set_name_code_page(code_page); }
  ~NameCodePage() { set_name_code_page(1252); }
  NameCodePage(const NameCodePage&) = delete;
  NameCodePage& operator=(const NameCodePage&) = delete;
};

TEST(Engine, DeviceNamesFollowTheCodePageOfTheNames) {
  const struct {
    unsigned code_page;
    const char* name;
    bool device;
  } cases[] = {
      {1252, "COM\xB9.txt", true},   // superscript one
      {1251, "COM\xB9.txt", false},  // the numero sign
      {1253, "LPT\xB3", true},       // Greek has superscript three
      {1253, "LPT\xB9", false},
      {932, "COM\xB2", false},       // a half-width katakana
      {1252, "COM10", false},
      {1252, "COMX.txt", false},
      {1252, "CONSOLE", false},
  };
  for (const auto& c : cases) {
    NameCodePage code_page(c.code_page);
    EXPECT_EQ(unsafe_name_reason(c.name) != nullptr, c.device) << c.code_page << " " << c.name;
  }
}

// In code page 932 the second byte of many characters is the byte of a
// backslash: "\x95\x5C" is one character (a kanji), not a separator.
TEST(Engine, DoubleByteNamesKeepTheirSecondBytes) {
  NameCodePage code_page(932);
  const std::string kanji = "\x95\x5C";
  Cd cd({root_item(), folder_item(2, 1, kanji), file_item(3, 2, kanji + ".txt", "inside"),
         folder_item(4, 1, "a"), file_item(5, 4, kanji, "beside")});
  MessageRecorder recorder;
  const ExportResult r = cd.export_all();
  EXPECT_TRUE(recorder.Messages.empty());
  EXPECT_TRUE(r.all_done());
  EXPECT_EQ(tree_of(cd.out()),
            (std::map<std::string, std::string>{
                {"Kelvora/", ""},
                {"Kelvora/" + kanji + "/", ""},
                {"Kelvora/" + kanji + "/" + kanji + ".txt", "inside"},
                {"Kelvora/a/", ""},
                {"Kelvora/a/" + kanji, "beside"}}));
}

TEST(Engine, LinksPlantedInTheTargetAreNeverFollowed) {
  Cd cd({root_item(), folder_item(2, 1, "F"), file_item(3, 2, "f.txt", "new"),
         file_item(4, 1, "top.txt", "top")});
  const fs::path outside = cd.dir / "outside";
  fs::create_directories(outside);
  test::write_file(outside / "victim.txt", "untouched");
  fs::create_directories(cd.out() / "Kelvora");
  // A file link and a directory link where the export writes.
  fs::create_symlink(outside / "victim.txt", cd.out() / "Kelvora" / "top.txt");
  fs::create_directory_symlink(outside, cd.out() / "Kelvora" / "F");
  MessageRecorder recorder;
  const ExportResult r = cd.export_all();
  EXPECT_EQ(tree_of(outside), (std::map<std::string, std::string>{{"victim.txt", "untouched"}}));
  EXPECT_EQ(test::read_file(cd.out() / "Kelvora" / "top.txt"), test::bytes_of("top"));
  EXPECT_FALSE(fs::is_symlink(cd.out() / "Kelvora" / "top.txt"));
  EXPECT_EQ(r.FoldersFailed, 1u);
  ASSERT_EQ(recorder.Messages.size(), 1u);
  EXPECT_EQ(recorder.Messages[0].Caption, "Error:(4312)");
}

TEST(Engine, TooLongPathsAreRefusedNotTruncated) {
  const std::string long_name(200, 'n');
  std::vector<WriterItem> items{root_item()};
  std::uint32_t parent = 1;
  for (std::uint32_t id = 2; id < 8; ++id) {
    items.push_back(folder_item(id, parent, long_name));
    parent = id;
  }
  items.push_back(file_item(100, parent, "deep.txt", "x"));
  Cd cd(std::move(items));
  MessageRecorder recorder;
  const ExportResult r = cd.export_all();
  ASSERT_FALSE(recorder.Messages.empty());
  EXPECT_EQ(recorder.Messages[0].Caption, "Error:(345637)");
  EXPECT_EQ(r.FoldersFailed, 1u);
  EXPECT_EQ(r.FilesWritten, 0u);
}

TEST(Engine, AbortStopsAfterTheChunkInProgressAndRemovesThePartialFile) {
  Cd cd({root_item(), file_item(2, 1, "big.bin", test::pattern_bytes(3 * 1048576, 5)),
         file_item(3, 1, "next.txt", "never")});
  std::atomic<bool> abort_flag{false};
  Extractor x(cd.viewer, cd.catalogue, cd.viewer.Settings.content_key());
  x.ExportAborted = &abort_flag;
  x.OnProgress = [&](const ExportProgress& p) {
    if (p.BytesDone >= 1048576) abort_flag = true;
  };
  export_folder(x, 0, cd.out().string());
  EXPECT_TRUE(x.Result.Aborted);
  EXPECT_EQ(x.Result.FilesFailed, 0u) << "an abort is not a failure";
  EXPECT_EQ(tree_of(cd.out()), (std::map<std::string, std::string>{{"Kelvora/", ""}}));
}

TEST(Engine, ExportsListRowsIntoTheTarget) {
  Cd cd({root_item(), folder_item(2, 1, "F"), file_item(3, 2, "a", "A"),
         file_item(4, 2, "b", "B")});
  Extractor x(cd.viewer, cd.catalogue, cd.viewer.Settings.content_key());
  fs::create_directories(cd.out());
  export_selection(x, {3, 2}, cd.out().string());
  EXPECT_TRUE(x.Result.all_done());
  EXPECT_EQ(tree_of(cd.out()), (std::map<std::string, std::string>{{"a", "A"}, {"b", "B"}}));
}

TEST(Engine, ASelectionOfFoldersAndFilesIsOneExportInItsOrder) {
  Cd cd({root_item(), folder_item(2, 1, "F"), file_item(3, 2, "a", "A"),
         folder_item(4, 2, "G"), file_item(5, 4, "g", "GG"), file_item(6, 1, "top", "TOP")});
  Extractor x(cd.viewer, cd.catalogue, cd.viewer.Settings.content_key());
  std::vector<std::string> order;
  x.OnProgress = [&](const ExportProgress& p) {
    if (!p.CurrentName.empty() && (order.empty() || order.back() != p.CurrentName))
      order.push_back(p.CurrentName);
    EXPECT_EQ(p.FilesTotal, 3u);
    EXPECT_EQ(p.BytesTotal, 6u);
  };
  export_selection(x, {test::entry_of(cd.catalogue, 6), test::entry_of(cd.catalogue, 2)},
                   (cd.out() / "new").string());
  EXPECT_TRUE(x.Result.all_done());
  EXPECT_EQ(order, (std::vector<std::string>{"top", "a", "g"}));
  EXPECT_EQ(tree_of(cd.out() / "new"),
            (std::map<std::string, std::string>{
                {"top", "TOP"}, {"F/", ""}, {"F/a", "A"}, {"F/G/", ""}, {"F/G/g", "GG"}}));
}

TEST(Engine, ADryRunReadsEverythingAndWritesNothing) {
  Cd cd({root_item(), folder_item(2, 1, "F"), file_item(3, 2, "a", "A")});
  Extractor x(cd.viewer, cd.catalogue, cd.viewer.Settings.content_key());
  x.DryRun = true;
  export_folder(x, 0, cd.out().string());
  EXPECT_EQ(x.Result.FilesWritten, 1u);
  EXPECT_FALSE(fs::exists(cd.out()));
}

TEST(MakeDirPath, CreatesEveryMissingLevel) {
  TempDir dir;
  MessageRecorder recorder;
  const std::string base = dir.path().string();
  EXPECT_EQ(make_dir_path(base + "/a/b/c"), 1);
  EXPECT_TRUE(fs::is_directory(dir / "a" / "b" / "c"));
  EXPECT_EQ(make_dir_path(base + "//x\\\\y/"), 1) << "doubled separators count once";
  EXPECT_TRUE(fs::is_directory(dir / "x" / "y"));
  EXPECT_EQ(make_dir_path("/"), 1);
  test::write_file(dir / "file", "f");
  EXPECT_EQ(make_dir_path(base + "/file"), 1) << "an existing file counts as existing";
  EXPECT_TRUE(recorder.Messages.empty());
  EXPECT_EQ(make_dir_path(base + "/file/below"), 0);
  ASSERT_EQ(recorder.Messages.size(), 1u);
  EXPECT_EQ(recorder.Messages[0].Kind, MessageKind::Plain);
  EXPECT_EQ(recorder.Messages[0].Caption, "Error Making Dir...(4311)");
  EXPECT_EQ(recorder.Messages[0].Text, base + "/file/below");
}

TEST(Engine, ATargetWithATrailingSeparatorWorksAsASingleOne) {
  Cd cd({root_item(), file_item(2, 1, "f", "F")});
  EXPECT_TRUE(cd.export_all(cd.out().string() + "/").all_done());
  EXPECT_EQ(tree_of(cd.out())["Kelvora/f"], "F");
}

TEST(TempFiles, EveryRememberedCopyIsDeletedOnce) {
  TempDir dir;
  TempFileList list;
  test::write_file(dir / "one", "1");
  test::write_file(dir / "two", "2");
  remember_temp_file(list, (dir / "one").string());
  remember_temp_file(list, (dir / "one").string());
  remember_temp_file(list, (dir / "two").string());
  remember_temp_file(list, (dir / "never-made").string());
  remember_temp_file(list, "");
  EXPECT_EQ(list.TempFiles.size(), 4u);
  EXPECT_EQ(delete_temp_files(list), 2);
  EXPECT_TRUE(list.TempFiles.empty());
  EXPECT_TRUE(fs::is_empty(dir.path()));
  EXPECT_EQ(temp_directory("C:\\WINDOWS"), std::string("C:\\WINDOWS") + PATH_SEPARATOR + "Temp");
}

}  // namespace
}  // namespace kelvora
