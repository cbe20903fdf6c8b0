// The file layer on Windows.  Names are 8-bit text in the names' code page
// (the system's ANSI code page unless a front end set another): each path is
// converted once to UTF-16 and handed to the wide calls.  Converting here,
// and nowhere else, keeps one meaning for every byte: a narrow path given to
// another library would be read in another code page.
#include <windows.h>

#include <io.h>

#include <cwchar>

#include "viewer/base/file_system.h"
#include "viewer/base/path_text.h"
#include "viewer/base/wide_path_win32.h"

namespace kelvora {
namespace {

unsigned NameCodePage = 0;  // 0: the system's ANSI code page

// Past this length a path only works with the \\?\ prefix (directories are
// limited to 248 characters).
constexpr std::size_t PLAIN_PATH_LIMIT = 247;

}  // namespace

std::wstring widen(const std::string& text) {
  if (text.empty()) return {};
  const UINT code_page = name_code_page();
  const int size = MultiByteToWideChar(code_page, 0, text.data(), static_cast<int>(text.size()),
                                       nullptr, 0);
  if (size <= 0) return {};
  std::wstring wide(static_cast<std::size_t>(size), L'\0');
  MultiByteToWideChar(code_page, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                      size);
  return wide;
}

std::string narrow(const wchar_t* text) {
  const int length = static_cast<int>(std::wcslen(text));
  if (length == 0) return {};
  const UINT code_page = name_code_page();
  const int size = WideCharToMultiByte(code_page, 0, text, length, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return {};
  std::string out(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(code_page, 0, text, length, out.data(), size, nullptr, nullptr);
  return out;
}

std::wstring system_path(const std::string& path) {
  std::wstring wide = widen(path);
  if (wide.size() <= PLAIN_PATH_LIMIT) return wide;
  const bool drive = wide.size() > 2 && wide[1] == L':' && is_wide_separator(wide[2]);
  const bool share = wide.size() > 2 && is_wide_separator(wide[0]) &&
                     is_wide_separator(wide[1]) && wide[2] != L'?' && wide[2] != L'.';
  if (!drive && !share) return wide;
  for (wchar_t& c : wide)
    if (c == L'/') c = L'\\';
  return drive ? L"\\\\?\\" + wide : L"\\\\?\\UNC" + wide.substr(1);
}

namespace {

DWORD attributes_of(const std::string& path) {
  const std::wstring wide = system_path(path);
  return wide.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(wide.c_str());
}

struct FindCloser {
  void operator()(HANDLE find) const noexcept {
    if (find != INVALID_HANDLE_VALUE) FindClose(find);
  }
};
using FindHandle = std::unique_ptr<std::remove_pointer_t<HANDLE>, FindCloser>;

}  // namespace

unsigned name_code_page() { return NameCodePage ? NameCodePage : GetACP(); }
void set_name_code_page(unsigned code_page) { NameCodePage = code_page; }

PathKind path_kind(const std::string& path) {
  const DWORD attributes = attributes_of(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) return PathKind::Missing;
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return PathKind::Link;
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
  const DWORD attributes = attributes_of(path);
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    // A link to a file goes; a junction or a link to a directory stays and
    // the file cannot be made.
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
