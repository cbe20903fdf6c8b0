// Writing below a directory on Windows.  Each directory of the chain is held
// open without FILE_SHARE_DELETE while its children are made: nobody can
// rename, delete or replace it with a junction meanwhile, so a path built on
// it keeps meaning that directory.  Each child is opened without following a
// reparse point and checked by its handle; only a reparse point that leads
// elsewhere (a symbolic link, a junction, a mount point) is refused, not the
// placeholders of cloud folders and the like.
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>

#include "viewer/base/directory.h"
#include "viewer/base/path_text.h"
#include "viewer/base/reparse_points.h"
#include "viewer/base/wide_path_win32.h"

namespace kelvora {

struct Directory::Handle {
  HANDLE Value = INVALID_HANDLE_VALUE;
  explicit Handle(HANDLE value) : Value(value) {}
  ~Handle() {
    if (Value != INVALID_HANDLE_VALUE) CloseHandle(Value);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
};

namespace {


FileIdentity identity_of(HANDLE handle) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(handle, &info)) return {};
  return {info.dwVolumeSerialNumber,
          (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

struct Attributes {
  DWORD Value = 0;
  DWORD Tag = 0;
};

// The attributes of what a handle holds, with the reparse-point bit that
// the path shows too: Wine shows it by path only, and then its tag cannot
// be read (0), which counts as a link.
bool attributes_of(HANDLE handle, Attributes& out, DWORD by_path = 0) {
  FILE_ATTRIBUTE_TAG_INFO info{};
  if (GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &info, sizeof info)) {
    const bool tagged = info.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT;
    out = {info.FileAttributes | (by_path & FILE_ATTRIBUTE_REPARSE_POINT),
           tagged ? info.ReparseTag : 0};
    return true;
  }
  BY_HANDLE_FILE_INFORMATION basic{};
  if (!GetFileInformationByHandle(handle, &basic)) return false;
  out = {basic.dwFileAttributes | (by_path & FILE_ATTRIBUTE_REPARSE_POINT), 0};
  return true;
}

// Opens whatever is at a path itself, never what a reparse point there
// leads to.
HANDLE open_itself(const std::wstring& path, DWORD share) {
  return CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES | SYNCHRONIZE, share, nullptr,
                     OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                     nullptr);
}

bool is_missing_error(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// The path of a name in a directory, with one separator between them also
// where the directory ends in one (a drive root): \\?\ paths take a doubled
// one literally.  The last byte may be the second byte of a character.
std::string child_path(const std::string& directory, const std::string& name) {
  const std::size_t last = last_separator(directory);
  if (!directory.empty() && last == directory.size() - 1) return directory + name;
  return directory + "\\" + name;
}

std::string temporary_name() {
  thread_local std::minstd_rand random(std::random_device{}() ^ GetCurrentProcessId());
  char name[32];
  std::snprintf(name, sizeof name, ".kelvora-%08x.part", static_cast<unsigned>(random()));
  return name;
}

}  // namespace

std::string last_error_text() {
  const DWORD error = GetLastError();
  // The C library's failures (a short fwrite) may leave only errno.
  if (error == 0 && errno != 0) return std::strerror(errno);
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring wide = length && text ? std::wstring(text, length) : std::wstring();
  if (text) LocalFree(text);
  while (!wide.empty() && (wide.back() == L'\r' || wide.back() == L'\n' || wide.back() == L'.' ||
                           wide.back() == L' '))
    wide.pop_back();
  if (wide.empty()) return "system error " + std::to_string(error);
  return narrow(wide.c_str());
}

bool is_plain_name(const std::string& name) {
  // Checked as the system will see it: the UTF-16 of the name.
  const std::wstring wide = widen(name);
  if (wide.empty() || wide == L"." || wide == L"..") return false;
  return wide.find_first_of(L"\\/:", 0, 3) == std::wstring::npos &&
         wide.find(L'\0') == std::wstring::npos;
}

Directory::Directory() = default;
Directory::~Directory() = default;
Directory::Directory(Directory&&) noexcept = default;
Directory& Directory::operator=(Directory&&) noexcept = default;

bool Directory::is_open() const { return handle_ != nullptr; }

Directory Directory::open_trusted(const std::string& path) {
  Directory dir;
  const std::wstring wide = system_path(path);
  if (wide.empty()) return dir;
  // Followed, as the user chose it.  A folder that this user may write in
  // but not read (the Windows directory's Temp) cannot be held; it is used
  // by its path.
  HANDLE handle = CreateFileW(wide.c_str(), FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
      return dir;
  } else {
    Attributes attributes;
    if (!attributes_of(handle, attributes) || !(attributes.Value & FILE_ATTRIBUTE_DIRECTORY)) {
      CloseHandle(handle);
      SetLastError(ERROR_DIRECTORY);
      return dir;
    }
    dir.identity_ = identity_of(handle);
  }
  dir.handle_ = std::make_unique<Handle>(handle);
  dir.path_ = path;
  return dir;
}

NameResult Directory::look_up(const std::string& name, FileIdentity* identity) const {
  if (!is_open()) return NameResult::Failed;
  if (!is_plain_name(name)) return NameResult::BadName;
  const std::wstring wide = system_path(child_path(path_, name));
  const DWORD plain = GetFileAttributesW(wide.c_str());
  if (plain == INVALID_FILE_ATTRIBUTES)
    return is_missing_error(GetLastError()) ? NameResult::Missing : NameResult::Failed;
  Attributes attributes{plain, 0};
  HANDLE handle = open_itself(wide, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
  if (handle != INVALID_HANDLE_VALUE) {
    attributes_of(handle, attributes, plain);
    if (identity) *identity = identity_of(handle);
    CloseHandle(handle);
  }
  if (reparse_leads_elsewhere(attributes.Value, attributes.Tag)) return NameResult::Link;
  if (attributes.Value & FILE_ATTRIBUTE_DIRECTORY) return NameResult::IsDirectory;
  return NameResult::Exists;
}

NameResult Directory::open_child(const std::string& name, bool make, Directory& child) const {
  if (!is_open()) return NameResult::Failed;
  if (!is_plain_name(name)) return NameResult::BadName;
  const std::string path = child_path(path_, name);
  const std::wstring wide = system_path(path);
  // Held without FILE_SHARE_DELETE: from now on nobody renames it away.
  constexpr DWORD HOLD = FILE_SHARE_READ | FILE_SHARE_WRITE;
  HANDLE handle = open_itself(wide, HOLD);
  if (handle == INVALID_HANDLE_VALUE && is_missing_error(GetLastError()) && make) {
    if (!CreateDirectoryW(wide.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
      return NameResult::Failed;
    handle = open_itself(wide, HOLD);
  }
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    const NameResult there = look_up(name);
    SetLastError(error);
    return failed_child(there);
  }
  Attributes attributes;
  const bool known = attributes_of(handle, attributes, GetFileAttributesW(wide.c_str()));
  if (!known || reparse_leads_elsewhere(attributes.Value, attributes.Tag)) {
    CloseHandle(handle);
    return NameResult::Link;
  }
  if (!(attributes.Value & FILE_ATTRIBUTE_DIRECTORY)) {
    CloseHandle(handle);
    return NameResult::NotDirectory;
  }
  child.handle_ = std::make_unique<Handle>(handle);
  child.path_ = path;
  child.identity_ = identity_of(handle);
  return NameResult::Done;
}

NameResult Directory::create_pending(PendingFile& pending) const {
  if (!is_open()) return NameResult::Failed;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string name = temporary_name();
    const std::wstring wide = system_path(child_path(path_, name));
    // CREATE_NEW fails on anything already there, a link included.
    HANDLE handle = CreateFileW(wide.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      if (GetLastError() == ERROR_FILE_EXISTS) continue;
      return NameResult::Failed;
    }
    const FileIdentity identity = identity_of(handle);
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_BINARY);
    if (fd < 0) {
      CloseHandle(handle);
      DeleteFileW(wide.c_str());
      return NameResult::Failed;
    }
    std::FILE* file = _fdopen(fd, "wb");
    if (!file) {
      _close(fd);
      DeleteFileW(wide.c_str());
      return NameResult::Failed;
    }
    pending.File.reset(file);
    pending.TemporaryName = name;
    pending.Identity = identity;
    return NameResult::Done;
  }
  SetLastError(ERROR_FILE_EXISTS);
  return NameResult::Failed;
}

NameResult Directory::place(const std::string& temporary, const std::string& name,
                            bool replace) const {
  if (!is_open()) return NameResult::Failed;
  if (!is_plain_name(name) || !is_plain_name(temporary)) return NameResult::BadName;
  const std::wstring from = system_path(child_path(path_, temporary));
  const std::wstring to = system_path(child_path(path_, name));
  if (MoveFileExW(from.c_str(), to.c_str(), replace ? MOVEFILE_REPLACE_EXISTING : 0))
    return NameResult::Done;
  const DWORD error = GetLastError();
  const NameResult there = look_up(name);
  SetLastError(error);
  if (there == NameResult::IsDirectory) return NameResult::IsDirectory;
  if (!replace && (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS))
    return NameResult::Exists;
  return NameResult::Failed;
}

bool Directory::remove(const std::string& name) const {
  if (!is_open() || !is_plain_name(name)) return false;
  const std::wstring wide = system_path(child_path(path_, name));
  return DeleteFileW(wide.c_str()) != 0;
}

}  // namespace kelvora
