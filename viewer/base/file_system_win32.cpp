// The file layer on Windows.  Names are 8-bit text in the names' code page
// (the system's ANSI code page unless a front end set another): each path is
// converted once to UTF-16 and handed to the wide calls.  Converting here,
// and nowhere else, keeps one meaning for every byte: a narrow path given to
// another library would be read in another code page.
#include <windows.h>

#include <io.h>

#include <cwchar>
#include <memory>
#include <type_traits>

#include "viewer/base/codepage.h"
#include "viewer/base/file_system.h"
#include "viewer/base/long_path.h"
#include "viewer/base/path_text.h"
#include "viewer/base/reparse_points.h"
#include "viewer/base/wide_path_win32.h"

namespace kelvora {
namespace {

unsigned NameCodePage = 0;  // 0: the system's ANSI code page

// Bytes to UTF-16 in a code page, and back, or empty.  Flags the code page
// does not take (a few of them take none) are dropped and the call is
// made again.
std::wstring to_wide(UINT code_page, DWORD flags, const std::string& text) {
  const int length = static_cast<int>(text.size());
  int size = MultiByteToWideChar(code_page, flags, text.data(), length, nullptr, 0);
  if (size <= 0 && flags && GetLastError() == ERROR_INVALID_FLAGS) {
    flags = 0;
    size = MultiByteToWideChar(code_page, flags, text.data(), length, nullptr, 0);
  }
  if (size <= 0) return {};
  std::wstring wide(static_cast<std::size_t>(size), L'\0');
  MultiByteToWideChar(code_page, flags, text.data(), length, wide.data(), size);
  return wide;
}

std::string to_bytes(UINT code_page, const std::wstring& wide) {
  const int length = static_cast<int>(wide.size());
  const bool utf8 = code_page == CP_UTF8;
  DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
  int size = WideCharToMultiByte(code_page, flags, wide.data(), length, nullptr, 0, nullptr,
                                 nullptr);
  if (size <= 0 && flags && GetLastError() == ERROR_INVALID_FLAGS) {
    flags = 0;
    size = WideCharToMultiByte(code_page, flags, wide.data(), length, nullptr, 0, nullptr,
                               nullptr);
  }
  if (size <= 0) return {};
  std::string out(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(code_page, flags, wide.data(), length, out.data(), size, nullptr, nullptr);
  return out;
}

std::wstring system_full_path(const std::wstring& path, std::wstring& full) {
  DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  for (int attempt = 0; attempt < 2 && size > 0; ++attempt) {
    full.assign(size, L'\0');
    const DWORD written = GetFullPathNameW(path.c_str(), size, full.data(), nullptr);
    if (written > 0 && written < size) {
      full.resize(written);
      return full;
    }
    size = written;
  }
  full.clear();
  return full;
}

}  // namespace

// A name is only converted when it comes back to the same bytes: a byte
// that the code page does not define, or a lead byte without its trail
// byte, would otherwise become the code page's default character, and two
// names of one folder one file.  Such a name is refused (empty), and every
// call on it fails; the caller reports the file.  Under UTF-8 (65001) a
// CD's 8-bit names are read piece by piece (see utf8_path_to_utf16).
std::wstring widen(const std::string& text) {
  if (text.empty()) return {};
  const UINT code_page = name_code_page();
  if (code_page == CP_UTF8) {
    const std::u16string wide = utf8_path_to_utf16(text);
    return std::wstring(wide.begin(), wide.end());
  }
  std::wstring wide = to_wide(code_page, MB_ERR_INVALID_CHARS, text);
  if (wide.empty() || to_bytes(code_page, wide) != text) return {};
  return wide;
}

std::string narrow(const wchar_t* text) {
  const std::wstring wide = text;
  return wide.empty() ? std::string() : to_bytes(name_code_page(), wide);
}

std::wstring system_path(const std::string& path) {
  return long_form_path(widen(path), [](const std::wstring& wide) -> std::optional<std::wstring> {
    std::wstring full;
    if (system_full_path(wide, full).empty()) return std::nullopt;
    return full;
  });
}

namespace {

DWORD attributes_of(const std::wstring& wide) {
  return wide.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(wide.c_str());
}

DWORD attributes_of(const std::string& path) { return attributes_of(system_path(path)); }

struct FindCloser {
  void operator()(HANDLE find) const noexcept {
    if (find != INVALID_HANDLE_VALUE) FindClose(find);
  }
};
using FindHandle = std::unique_ptr<std::remove_pointer_t<HANDLE>, FindCloser>;

struct HandleCloser {
  void operator()(HANDLE handle) const noexcept {
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  }
};
using OpenHandle = std::unique_ptr<std::remove_pointer_t<HANDLE>, HandleCloser>;

// The reparse tag of the reparse point itself (never of what it leads to),
// or 0 when it cannot be read.  Opening with FILE_FLAG_OPEN_REPARSE_POINT
// and no data access neither follows a link nor fetches a cloud file.
DWORD reparse_tag_of(const std::wstring& wide) {
  OpenHandle handle(CreateFileW(wide.c_str(), FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING,
                                FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS,
                                nullptr));
  if (handle.get() == INVALID_HANDLE_VALUE) return 0;
  FILE_ATTRIBUTE_TAG_INFO info = {};
  if (!GetFileInformationByHandleEx(handle.get(), FileAttributeTagInfo, &info, sizeof info))
    return 0;
  return (info.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ? info.ReparseTag : 0;
}

// Whether what is at the path leads somewhere else (a name surrogate).
bool leads_elsewhere(const std::wstring& wide, DWORD attributes) {
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
    return false;
  return reparse_leads_elsewhere(attributes, reparse_tag_of(wide));
}

}  // namespace

unsigned name_code_page() { return NameCodePage ? NameCodePage : GetACP(); }
void set_name_code_page(unsigned code_page) { NameCodePage = code_page; }

const char* unwritable_name_reason(const std::string& name) {
  if (name.empty() || !widen(name).empty()) return nullptr;
  return "its name is no text in the system's code page";
}

// Only a name surrogate is a link: OneDrive's files and folders, and the
// system's deduplicated or compressed files, carry the reparse-point
// attribute too, and are what they look like.
PathKind path_kind(const std::string& path) {
  const std::wstring wide = system_path(path);
  const DWORD attributes = attributes_of(wide);
  if (attributes == INVALID_FILE_ATTRIBUTES) return PathKind::Missing;
  if (leads_elsewhere(wide, attributes)) return PathKind::Link;
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return PathKind::Directory;
  if (attributes & FILE_ATTRIBUTE_DEVICE) return PathKind::Other;
  return PathKind::File;
}

bool is_regular_file(const std::string& path) {
  const DWORD attributes = attributes_of(path);
  return attributes != INVALID_FILE_ATTRIBUTES &&
         !(attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE));
}

FilePtr open_file(const std::string& path, const char* mode) {
  const std::wstring wide = system_path(path);
  if (wide.empty()) return nullptr;
  std::wstring wide_mode;
  for (const char* m = mode; *m; ++m) wide_mode += static_cast<wchar_t>(*m);
  return FilePtr(_wfopen(wide.c_str(), wide_mode.c_str()));
}

FilePtr create_file_no_follow(const std::string& path) {
  const std::wstring wide = system_path(path);
  if (wide.empty()) return nullptr;
  const DWORD attributes = attributes_of(wide);
  if (leads_elsewhere(wide, attributes)) {
    // A link to a file goes; a junction or a link to a directory stays and
    // the file cannot be made.  Any other reparse point (a cloud file) is
    // overwritten as the file it is.
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) || !remove_file(path)) return nullptr;
  }
  return open_file(path, "wb");
}

bool make_directory(const std::string& path) {
  const std::wstring wide = system_path(path);
  return !wide.empty() && CreateDirectoryW(wide.c_str(), nullptr) != 0;
}

bool remove_file(const std::string& path) {
  const std::wstring wide = system_path(path);
  return !wide.empty() && DeleteFileW(wide.c_str()) != 0;
}

bool change_directory(const std::string& path) {
  const std::wstring wide = widen(path);
  return !wide.empty() && SetCurrentDirectoryW(wide.c_str()) != 0;
}

std::optional<std::vector<std::string>> list_directory(const std::string& path) {
  // The pattern is made on the wide path: the last byte of a narrow one may
  // be the second byte of a character.
  std::wstring pattern = system_path(path);
  if (pattern.empty()) return std::nullopt;
  if (!is_wide_separator(pattern.back())) pattern += L'\\';
  pattern += L'*';
  WIN32_FIND_DATAW found;
  FindHandle find(FindFirstFileW(pattern.c_str(), &found));
  if (find.get() == INVALID_HANDLE_VALUE) return std::nullopt;
  std::vector<std::string> names;
  do {
    if (std::wcscmp(found.cFileName, L".") == 0 || std::wcscmp(found.cFileName, L"..") == 0)
      continue;
    names.push_back(narrow(found.cFileName));
  } while (FindNextFileW(find.get(), &found));
  return names;
}

// Large unbuffered reads and writes do the copy on Windows.
KernelCopy::KernelCopy(std::FILE* destination, std::FILE* source)
    : destination_(destination), source_(source) {}
KernelCopy::~KernelCopy() = default;
std::uint64_t KernelCopy::copy(std::uint64_t) { return 0; }

std::string system_temp_directory() {
  wchar_t buffer[MAX_PATH + 1] = {};
  const DWORD length = GetTempPathW(MAX_PATH + 1, buffer);
  if (length == 0 || length > MAX_PATH) return ".";
  std::wstring path = buffer;
  if (path.size() > 3 && is_wide_separator(path.back())) path.pop_back();
  return narrow(path.c_str());
}

}  // namespace kelvora
