// The rules the Windows file layer follows where Wine behaves otherwise than
// Windows 10 and 11: what a reparse point is, how a long path is formed,
// and how a CD's 8-bit names are decoded when the system's code page is
// UTF-8.  Wine makes no cloud files, takes \\?\ paths as it takes any other
// path and may not run in code page 65001, so the rules are tested here.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "viewer/base/codepage.h"
#include "viewer/base/long_path.h"
#include "viewer/base/reparse_points.h"

namespace kelvora {
namespace {

constexpr std::uint32_t DIRECTORY = 0x10;
constexpr std::uint32_t ARCHIVE = 0x20;
constexpr std::uint32_t REPARSE = REPARSE_POINT_ATTRIBUTE;

TEST(ReparsePoints, OnlyNameSurrogatesLeadElsewhere) {
  const struct {
    const char* What;
    std::uint32_t Attributes;
    std::uint32_t Tag;
    ReparseKind Kind;
    bool Elsewhere;
  } cases[] = {
      {"symbolic link to a folder", DIRECTORY | REPARSE, 0xA000000C, ReparseKind::SymbolicLink, true},
      {"symbolic link to a file", ARCHIVE | REPARSE, 0xA000000C, ReparseKind::SymbolicLink, true},
      {"junction", DIRECTORY | REPARSE, 0xA0000003, ReparseKind::MountPoint, true},
      {"volume mount point", DIRECTORY | REPARSE, 0xA0000003, ReparseKind::MountPoint, true},
      {"WSL symbolic link", ARCHIVE | REPARSE, 0xA000001D, ReparseKind::OtherSurrogate, true},
      {"third-party name surrogate", DIRECTORY | REPARSE, 0x20000123, ReparseKind::OtherSurrogate, true},
      {"OneDrive folder", DIRECTORY | REPARSE, 0x9000701A, ReparseKind::Cloud, false},
      {"OneDrive file", ARCHIVE | REPARSE, 0x9000001A, ReparseKind::Cloud, false},
      {"cloud file, last provider", ARCHIVE | REPARSE, 0x9000F01A, ReparseKind::Cloud, false},
      {"deduplicated file", ARCHIVE | REPARSE, 0x80000013, ReparseKind::Dedup, false},
      {"Compact OS file", ARCHIVE | REPARSE, 0x80000017, ReparseKind::Wof, false},
      {"App Execution Alias", ARCHIVE | REPARSE, 0x8000001B, ReparseKind::AppExecLink, false},
      {"unknown Microsoft tag", ARCHIVE | REPARSE, 0x80000099, ReparseKind::OtherMicrosoft, false},
      {"unknown third-party tag", DIRECTORY | REPARSE, 0x00001234, ReparseKind::OtherThirdParty, false},
      {"tag not readable", DIRECTORY | REPARSE, 0, ReparseKind::Unread, true},
      {"no reparse point, stale tag", DIRECTORY, 0xA000000C, ReparseKind::SymbolicLink, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(classify_reparse_tag(c.Tag), c.Kind) << c.What;
    EXPECT_EQ(reparse_leads_elsewhere(c.Attributes, c.Tag), c.Elsewhere) << c.What;
  }
}

// A model of the system's full-path call on the inputs below, as Windows
// documents it: one backslash between names, "." and ".." resolved, the
// last name without trailing dots and blanks; relative paths below C:\cwd.
std::optional<std::wstring> documented_full_path(const std::wstring& path) {
  const auto separator = [](wchar_t c) { return c == L'\\' || c == L'/'; };
  std::wstring root;
  std::size_t at = 0;
  if (path.size() > 2 && separator(path[0]) && separator(path[1])) {
    std::size_t names = 0;
    at = 2;
    root = L"\\\\";
    while (at < path.size() && names < 2) {
      if (separator(path[at])) {
        if (!separator(root.back())) root += L'\\', ++names;
      } else {
        root += path[at];
      }
      ++at;
    }
  } else if (path.size() > 2 && path[1] == L':' && separator(path[2])) {
    root = path.substr(0, 2) + L"\\";
    at = 3;
  } else {
    root = L"C:\\cwd\\";
  }
  std::vector<std::wstring> names{L""};
  for (; at <= path.size(); ++at) {
    if (at < path.size() && !separator(path[at])) {
      names.back() += path[at];
      continue;
    }
    if (names.back() == L"." || names.back().empty()) {
      names.back().clear();
    } else if (names.back() == L"..") {
      names.pop_back();
      if (!names.empty()) names.pop_back();
      names.emplace_back();
    } else {
      names.emplace_back();
    }
  }
  names.pop_back();
  if (!names.empty())
    while (!names.back().empty() && (names.back().back() == L'.' || names.back().back() == L' '))
      names.back().pop_back();
  std::wstring full = root;
  for (std::size_t i = 0; i < names.size(); ++i) full += (i ? L"\\" : L"") + names[i];
  return full;
}

// Names of 20 characters until the path is n characters long.
std::wstring names_to(std::wstring path, std::size_t n) {
  while (path.size() + 1 < n)
    path += L'\\' + std::wstring(std::min<std::size_t>(20, n - path.size() - 1), L'n');
  return path;
}

TEST(LongPaths, AreNormalisedByTheSystemBeforeThePrefix) {
  const std::wstring deep = names_to(L"C:\\Export", 260);  // no separator at its end
  const std::wstring deep_name = deep.substr(3);           // the same without "C:\"
  const struct {
    const char* What;
    std::wstring Path;
    std::wstring Expected;
  } cases[] = {
      {"short: the system normalises it itself", L"C:\\\\Kelvora\\.\\a. ", L"C:\\\\Kelvora\\.\\a. "},
      {"247 characters: plain", names_to(L"C:\\x", 247), names_to(L"C:\\x", 247)},
      {"248 characters: prefixed", names_to(L"C:\\x", 248), L"\\\\?\\" + names_to(L"C:\\x", 248)},
      {"drive-root target: the doubled separator collapsed", L"C:\\\\" + deep_name,
       L"\\\\?\\C:\\" + deep_name},
      {"share", L"\\\\server\\share\\" + deep_name,
       L"\\\\?\\UNC\\server\\share\\" + deep_name},
      {"share, doubled separators", L"\\\\server\\\\share\\\\" + deep_name,
       L"\\\\?\\UNC\\server\\share\\" + deep_name},
      {"forward slashes", L"C:/" + deep_name, L"\\\\?\\" + deep},
      {"'.' and '..' resolved", deep + L"\\.\\gone\\..\\file.txt",
       L"\\\\?\\" + deep + L"\\file.txt"},
      {"trailing dots and blanks of the last name", deep + L"\\file.txt. .",
       L"\\\\?\\" + deep + L"\\file.txt"},
      {"1023 characters", names_to(L"C:\\x", 1023), L"\\\\?\\" + names_to(L"C:\\x", 1023)},
      {"relative: made full", deep_name, L"\\\\?\\C:\\cwd\\" + deep_name},
      {"already a device path: literal", L"\\\\?\\" + deep + L"\\.\\x. ",
       L"\\\\?\\" + deep + L"\\.\\x. "},
  };
  for (const auto& c : cases)
    EXPECT_EQ(long_form_path(c.Path, documented_full_path), c.Expected) << c.What;
}

TEST(LongPaths, StayAsTheyAreWhenTheSystemCannotMakeThemFull) {
  const std::wstring deep = names_to(L"C:\\Export", 300);
  EXPECT_EQ(long_form_path(deep, [](const std::wstring&) { return std::nullopt; }), deep);
}

std::u16string utf16(const char16_t* text) { return text; }

TEST(Utf8CodePage, EachPieceThatIsNoUtf8IsReadAsWindows1252) {
  const struct {
    const char* What;
    std::string Path;
    std::u16string Expected;
  } cases[] = {
      {"UTF-8 from the system", "C:\\Users\\Jos\xC3\xA9" "e\\\xE8\xA1\xA8", u"C:\\Users\\Jos\u00E9e\\\u8868"},
      {"a CD's 1252 name below a UTF-8 folder", "C:\\Jos\xC3\xA9" "e\\Caf\xE9.txt",
       u"C:\\Jos\u00E9e\\Caf\u00E9.txt"},
      {"the 1252 row 0x80 to 0x9F", "x\\\x80\x92\x9F", u"x\\\u20AC\u2019\u0178"},
      {"bytes 1252 leaves undefined keep their own number", "\x81\x8D\x8F\x90\x9D",
       u"\u0081\u008D\u008F\u0090\u009D"},
      {"an overlong form is no UTF-8", "a\xC0\xAF", u"a\u00C0\u00AF"},
      {"a surrogate is no UTF-8", "\xED\xA0\x80", u"\u00ED\u00A0\u20AC"},
      {"a truncated sequence is no UTF-8", "x/\xE8\xA1", u"x/\u00E8\u00A1"},
      {"four bytes", "\xF0\x9F\x98\x80", u"\U0001F600"},
      {"slashes and empty pieces kept", "a//b\\", u"a//b\\"},
  };
  for (const auto& c : cases) EXPECT_EQ(utf8_path_to_utf16(c.Path), c.Expected) << c.What;
}

TEST(Utf8CodePage, NamesThatDifferStayApart) {
  // "Café.txt" and "Cafè.txt" of one folder, from a 1252 CD: the system's own
  // conversion makes both "Caf\uFFFD.txt".
  const std::vector<std::string> names = {"Caf\xE9.txt", "Caf\xE8.txt", "Caf\x81.txt",
                                          "Caf\x8D.txt", "Cafe.txt"};
  std::vector<std::u16string> wide;
  for (const std::string& name : names) wide.push_back(utf8_path_to_utf16("D:\\out\\" + name));
  for (std::size_t i = 0; i < wide.size(); ++i)
    for (std::size_t j = i + 1; j < wide.size(); ++j)
      EXPECT_NE(wide[i], wide[j]) << names[i] << " and " << names[j];
  EXPECT_EQ(wide[0], utf16(u"D:\\out\\Caf\u00E9.txt"));
}

TEST(Utf8CodePage, WellFormedUtf8IsTold) {
  EXPECT_TRUE(is_utf8(""));
  EXPECT_TRUE(is_utf8("plain"));
  EXPECT_TRUE(is_utf8("\xC3\xA9\xE8\xA1\xA8\xF4\x8F\xBF\xBF"));
  EXPECT_FALSE(is_utf8("\xE9"));
  EXPECT_FALSE(is_utf8("\xF4\x90\x80\x80"));  // past U+10FFFF
  EXPECT_FALSE(is_utf8("\xE0\x80\x80"));      // overlong
  EXPECT_FALSE(is_utf8("\x80"));
}

}  // namespace
}  // namespace kelvora
