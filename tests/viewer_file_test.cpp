#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "viewer/base/little_endian.h"
#include "tests/support/test_support.h"
#include "viewer/base/path_text.h"
#include "viewer/container/find_viewer.h"
#include "viewer/container/viewer_file.h"
#include "writer/writer.h"

namespace kelvora {
namespace {

using test::bytes_of;
using test::MessageRecorder;
using test::TempDir;

CdDescription small_cd() {
  CdDescription cd;
  cd.Stub = bytes_of("MZ-stub-bytes");
  cd.Items.push_back(test::root_item());
  cd.Items.push_back(test::file_item(2, 1, "a.txt", "alpha"));
  return cd;
}

// A CD folder is searched by content: only files that end in the trailer's
// magic count, whatever their names, and the data files, a file shorter
// than a trailer, a web page and sub-folders are passed over.
TEST(ViewerFile, TheViewerFileIsFoundByItsTrailerAlone) {
  TempDir dir;
  const WrittenCd written = write_cd(small_cd(), dir / "cd");
  std::vector<std::uint8_t> magic_only(4);
  write_le32(magic_only.data(), TRAILER_MAGIC);
  test::write_file(dir / "cd" / "short.bin", magic_only);
  test::write_file(dir / "cd" / "kelvora-viewer.html", "<!DOCTYPE html>");
  std::filesystem::create_directories(dir / "cd" / "viewer.exe.d");
  EXPECT_EQ(find_viewer_files((dir / "cd").string()),
            std::vector<std::string>{written.ViewerPath.string()});
  EXPECT_TRUE(ends_in_trailer(written.ViewerPath.string()));
  EXPECT_FALSE(ends_in_trailer((dir / "cd" / "short.bin").string()));

  // A second copy under another name makes two, in name order.
  std::filesystem::copy_file(written.ViewerPath, dir / "cd" / "a-copy.exe");
  EXPECT_EQ(find_viewer_files((dir / "cd").string()),
            (std::vector<std::string>{(dir / "cd" / "a-copy.exe").string(),
                                      written.ViewerPath.string()}));
  EXPECT_TRUE(find_viewer_files((dir / "nowhere").string()).empty());
}

TEST(ViewerFile, RoundTripsEverySettingsField) {
  TempDir dir;
  CdDescription cd = small_cd();
  VIEWER_SETTINGS& s = cd.Settings;
  s.Flags = FLAG_TEXT | FLAG_TEXT_SHADOW | FLAG_LOGO_AT_XY | FLAG_NO_EXPORT;
  s.TextFlags = TEXT_CENTRED;
  s.BackColour = 0x00112233;
  s.LogoKeyColour = 0x00FF00FF;
  s.TextColour = 0x00ABCDEF;
  s.ShadowColour = 0x00010203;
  s.FontHeight = -24;
  s.ShadowX = -3;
  s.ShadowY = 4;
  s.TextX = -100;
  s.TextY = 2000000000;
  s.LogoX = 70000;
  s.LogoY = -70000;
  s.FontFile = "face.ttf";
  s.FontFace = "Face Name";
  s.BackgroundFile = "C:\\pics\\sun.bmp";
  s.LogoFile = "C:\\pics\\logo.jpg";
  s.ScreenText = "Line one\r\nLine \xE9 two";
  set_content_key(s, "content-key");
  const WrittenCd written = write_cd(cd, dir.path());

  MessageRecorder recorder;
  ViewerFile viewer;
  ASSERT_TRUE(load_viewer_file(written.ViewerPath.string(), viewer));
  EXPECT_TRUE(recorder.Messages.empty());
  const VIEWER_SETTINGS& r = viewer.Settings;
  EXPECT_EQ(r.Flags, s.Flags);
  EXPECT_EQ(r.TextFlags, s.TextFlags);
  EXPECT_EQ(r.BackColour, s.BackColour);
  EXPECT_EQ(r.LogoKeyColour, s.LogoKeyColour);
  EXPECT_EQ(r.TextColour, s.TextColour);
  EXPECT_EQ(r.ShadowColour, s.ShadowColour);
  EXPECT_EQ(r.FontHeight, s.FontHeight);
  EXPECT_EQ(r.ShadowX, s.ShadowX);
  EXPECT_EQ(r.ShadowY, s.ShadowY);
  EXPECT_EQ(r.TextX, s.TextX);
  EXPECT_EQ(r.TextY, s.TextY);
  EXPECT_EQ(r.LogoX, s.LogoX);
  EXPECT_EQ(r.LogoY, s.LogoY);
  EXPECT_EQ(r.FontFile, s.FontFile);
  EXPECT_EQ(r.FontFace, s.FontFace);
  EXPECT_EQ(r.BackgroundFile, s.BackgroundFile);
  EXPECT_EQ(r.LogoFile, s.LogoFile);
  EXPECT_EQ(r.ScreenText, s.ScreenText);
  EXPECT_STREQ(r.content_key(), "content-key");
  EXPECT_EQ(r.FontFileField[8], '\0');
  EXPECT_FALSE(viewer.LicenceText);
  EXPECT_EQ(viewer.Trailer.StubSize, 13u);
  EXPECT_EQ(viewer.Trailer.ItemCount, 2u);
  EXPECT_EQ(viewer.Trailer.TrailerMagic, TRAILER_MAGIC);
}

TEST(ViewerFile, SettingsFieldsAreDecodedAtTheirOffsets) {
  std::vector<std::uint8_t> block(SETTINGS_BLOCK_SIZE, 0);
  write_le32(&block[0], 0x02000001);
  write_le32(&block[24], 0xFFFFFFF0);  // FontHeight -16
  write_le32(&block[48], 7);           // LogoY
  std::memcpy(&block[60], "f.ttf", 5);
  std::memcpy(&block[315], "Face", 4);
  std::memcpy(&block[570], "bg", 2);
  std::memcpy(&block[825], "lg", 2);
  std::memcpy(&block[1080], "text", 4);
  std::memcpy(&block[3869], "key", 3);
  // A field without terminator ends at its own last byte.
  std::memset(&block[825], 'L', 255);
  const VIEWER_SETTINGS s = decode_settings(
      std::span<const std::uint8_t, SETTINGS_BLOCK_SIZE>(block.data(), SETTINGS_BLOCK_SIZE));
  EXPECT_EQ(s.Flags, 0x02000001u);
  EXPECT_EQ(s.FontHeight, -16);
  EXPECT_EQ(s.LogoY, 7);
  EXPECT_EQ(s.FontFile, "f.ttf");
  EXPECT_EQ(s.FontFace, "Face");
  EXPECT_EQ(s.BackgroundFile, "bg");
  EXPECT_EQ(s.LogoFile, std::string(255, 'L'));
  EXPECT_EQ(s.ScreenText, "text");
  EXPECT_STREQ(s.content_key(), "key");
}

TEST(ViewerFile, RegionsAreFoundAcrossFlagCombinations) {
  struct Case {
    bool licence, background, logo, font;
  } cases[] = {{false, false, false, false}, {true, false, false, false},
               {false, true, false, false},  {false, false, true, false},
               {false, false, false, true},  {true, true, true, true},
               {true, false, true, false}};
  for (const Case& c : cases) {
    TempDir dir;
    CdDescription cd = small_cd();
    if (c.licence) cd.Licence = "Licence text\r\nsecond line";
    if (c.background) cd.Background = test::pattern_bytes(3000, 1);
    if (c.logo) cd.Logo = test::pattern_bytes(200, 2);
    if (c.font) cd.Font = test::pattern_bytes(777, 3);
    const WrittenCd written = write_cd(cd, dir.path());
    MessageRecorder recorder;
    ViewerFile viewer;
    ASSERT_TRUE(load_viewer_file(written.ViewerPath.string(), viewer));
    EXPECT_EQ((viewer.Settings.Flags & FLAG_LICENCE) != 0, c.licence);
    EXPECT_EQ(viewer.LicenceText.has_value(), c.licence);
    if (c.licence) {
      EXPECT_EQ(*viewer.LicenceText, *cd.Licence);
    }
    const struct {
      Region region;
      const std::vector<std::uint8_t>& bytes;
    } regions[] = {{Region::Background, cd.Background},
                   {Region::Logo, cd.Logo},
                   {Region::Font, cd.Font}};
    for (const auto& r : regions) {
      std::vector<std::uint8_t> read;
      ASSERT_TRUE(read_region(viewer, r.region, read));
      EXPECT_EQ(read, r.bytes) << region_name(r.region);
    }
    if (c.logo) {
      const auto out = dir / "logo.out";
      EXPECT_EQ(decipher_region_to_file(viewer, Region::Logo, out.string()),
                RegionWrite::Written);
      EXPECT_EQ(test::read_file(out), cd.Logo);
    }
    EXPECT_TRUE(recorder.Messages.empty());
  }
}

// A start-up picture whose copy fails part way (the viewer file was cut
// short after it was read) is simply not drawn: start-up goes on, so no box
// may say that it aborts.
TEST(ViewerFile, APictureCopyThatFailsShowsNoBoxOfItsOwn) {
  TempDir dir;
  CdDescription cd = small_cd();
  cd.Logo = test::pattern_bytes(5000, 6);
  const WrittenCd written = write_cd(cd, dir.path());
  MessageRecorder recorder;
  ViewerFile viewer;
  ASSERT_TRUE(load_viewer_file(written.ViewerPath.string(), viewer));
  const RegionSpan logo = region_span(viewer.Trailer, Region::Logo);
  std::filesystem::resize_file(written.ViewerPath, logo.Offset + 100);
  EXPECT_EQ(decipher_region_to_file(viewer, Region::Logo, (dir / "logo.out").string()),
            RegionWrite::Failed);
  EXPECT_EQ(recorder.lines(), std::vector<std::string>{});
}

TEST(ViewerFile, UnusedRegionsStillCountTowardsLaterOffsets) {
  // A logo but no background: the background's bytes are still skipped.
  TempDir dir;
  CdDescription cd = small_cd();
  cd.AutoFlags = false;
  cd.Background = test::pattern_bytes(999, 4);
  cd.Logo = test::pattern_bytes(50, 5);
  cd.Settings.Flags = FLAG_LOGO;
  const WrittenCd written = write_cd(cd, dir.path());
  ViewerFile viewer;
  ASSERT_TRUE(load_viewer_file(written.ViewerPath.string(), viewer));
  std::vector<std::uint8_t> logo;
  ASSERT_TRUE(read_region(viewer, Region::Logo, logo));
  EXPECT_EQ(logo, cd.Logo);
  const RegionSpan span = region_span(viewer.Trailer, Region::Logo);
  EXPECT_EQ(span.Offset, 13u + viewer.Trailer.CatalogueSize + 4636u + 999u);
}

TEST(ViewerFile, UnusedRegionsAreNotCheckedEvenWhenTheirSizesAreWrong) {
  TempDir dir;
  const WrittenCd written = write_cd(small_cd(), dir.path());
  auto bytes = test::read_file(written.ViewerPath);
  const std::size_t trailer = bytes.size() - TRAILER_SIZE;
  write_le32(&bytes[trailer + 20], 0xFFFFFFFF);  // BackgroundSize, flag clear
  write_le32(&bytes[trailer + 28], 0x7FFFFFFF);  // FontSize, flag clear
  test::write_file(written.ViewerPath, bytes);
  MessageRecorder recorder;
  ViewerFile viewer;
  EXPECT_TRUE(load_viewer_file(written.ViewerPath.string(), viewer));
  EXPECT_TRUE(recorder.Messages.empty());
}

// Damaged viewer files: each is refused with its message before anything
// past the file is read (the sanitizer build proves the second half).
TEST(ViewerFile, DamagedFilesAreRefusedWithTheirMessage) {
  const std::string corrupt = "Error: (53673224)|Corrupt! - re-build your Kelvora.";
  auto past = [](const char* region) {
    return std::string("Error: (53673225)|Corrupt! - the ") + region +
           " region runs past the end of the viewer file.";
  };
  struct Case {
    const char* name;
    std::function<void(std::vector<std::uint8_t>&)> damage;
    std::string message;
  };
  auto patch = [](std::size_t field, std::uint32_t value) {
    return [=](std::vector<std::uint8_t>& b) {
      write_le32(&b[b.size() - TRAILER_SIZE + field], value);
    };
  };
  const Case cases[] = {
      {"wrong magic", [](auto& b) { b.back() = 0x01; }, corrupt},
      {"magic one off", patch(36, TRAILER_MAGIC + 1), corrupt},
      {"shorter than a trailer", [](auto& b) { b.resize(39); }, corrupt},
      {"empty", [](auto& b) { b.clear(); }, corrupt},
      {"catalogue past the end", patch(4, 0x00100000), past("catalogue")},
      {"stub past the end", patch(0, 0x7FFFFFFF), past("catalogue")},
      {"sizes overflow 32 bits", [](auto& b) {
         write_le32(&b[b.size() - 40 + 0], 0xFFFFFFF0);
         write_le32(&b[b.size() - 40 + 4], 0x00000020);
       }, past("catalogue")},
      {"settings past the end", patch(12, 0x00010000), past("settings")},
      {"background past the end", [](auto& b) {
         // The fixture sets the background flag; this makes it too long.
         write_le32(&b[b.size() - 40 + 20], 0xFFFFFF00);
       }, past("background picture")},
  };
  for (const Case& c : cases) {
    TempDir dir;
    CdDescription cd = small_cd();
    cd.AutoFlags = false;
    cd.Settings.Flags = FLAG_BACKGROUND;
    cd.Background = test::pattern_bytes(10, 1);
    const WrittenCd written = write_cd(cd, dir.path());
    auto bytes = test::read_file(written.ViewerPath);
    c.damage(bytes);
    test::write_file(written.ViewerPath, bytes);
    MessageRecorder recorder;
    ViewerFile viewer;
    EXPECT_FALSE(load_viewer_file(written.ViewerPath.string(), viewer)) << c.name;
    EXPECT_EQ(recorder.lines(), std::vector<std::string>{c.message}) << c.name;
  }
}

TEST(ViewerFile, AMissingFileCannotBeOpened) {
  TempDir dir;
  MessageRecorder recorder;
  ViewerFile viewer;
  EXPECT_FALSE(load_viewer_file((dir / "nothing.exe").string(), viewer));
  EXPECT_EQ(recorder.lines(),
            std::vector<std::string>{
                "Error: (522523)|Cannot open viewer file for reading. Aborting."});
  EXPECT_EQ(recorder.Messages[0].Kind, MessageKind::Error);
}

TEST(PathHelpers, FilePartAndStrip) {
  struct Case {
    std::string path;
    std::optional<std::string> file_part;
    std::string stripped;
  } cases[] = {
      {"C:\\pics\\sun.bmp", "sun.bmp", "C:\\pics"},
      {"C:\\dir\\", "", "C:\\dir"},
      {"\\a", "a", ""},
      {"sun.bmp", std::nullopt, "sun.bmp"},
      {"", std::nullopt, ""},
      {"a\\b\\c", "c", "a\\b"},
  };
  for (const Case& c : cases) {
    const auto part = path_file_part(c.path);
    EXPECT_EQ(part.has_value(), c.file_part.has_value()) << c.path;
    if (part && c.file_part) {
      EXPECT_EQ(std::string(*part), *c.file_part);
    }
    std::string path = c.path;
    path_strip_file(path);
    EXPECT_EQ(path, c.stripped) << c.path;
  }
}

TEST(PathHelpers, SecondBytesOfDoubleByteCharactersAreNoSeparators) {
  // "\x95\x5C" is one kanji in code page 932; in 1252 it is two characters,
  // the second a backslash.
  const struct {
    unsigned code_page;
    std::string path;
    std::optional<std::string> file_part;
    std::vector<std::string> pieces;
  } cases[] = {
      {932, "C:\\\x95\x5C\\\x95\x5C.bmp", "\x95\x5C.bmp", {"C:", "\x95\x5C", "\x95\x5C.bmp"}},
      {932, "\x95\x5C", std::nullopt, {"\x95\x5C"}},
      {936, "a\\\x81\x5C", "\x81\x5C", {"a", "\x81\x5C"}},
      {1252, "C:\\\x95\x5C.bmp", ".bmp", {"C:", "\x95", ".bmp"}},
      {932, "\x95", std::nullopt, {"\x95"}},  // a lead byte at the end stays one byte
  };
  for (const auto& c : cases) {
    set_name_code_page(c.code_page);
    const auto part = path_file_part(c.path);
    EXPECT_EQ(part ? std::optional<std::string>(std::string(*part)) : std::nullopt, c.file_part)
        << c.code_page << " " << c.path;
    EXPECT_EQ(split_path(c.path), c.pieces) << c.code_page << " " << c.path;
  }
  set_name_code_page(1252);
}

TEST(FlagNames, NameEverySetBit) {
  EXPECT_EQ(flag_names(FLAG_PASSWORD | FLAG_LICENCE | FLAG_BACKGROUND),
            (std::vector<std::string>{"background", "password", "licence"}));
  EXPECT_EQ(flag_names(0x00000008), std::vector<std::string>{"bit-0x00000008"});
  EXPECT_EQ(text_flag_names(TEXT_CUSTOM_FONT | TEXT_TOP),
            (std::vector<std::string>{"text-top", "custom-font"}));
}

}  // namespace
}  // namespace kelvora
