#include "viewer/base/long_path.h"

namespace kelvora {
namespace {

bool separator(wchar_t c) { return c == L'\\' || c == L'/'; }

// \\?\ or \\.\ (and the \??\ of the native calls): the caller's own device
// path, which no normalisation may touch.
bool is_device_path(const std::wstring& path) {
  if (path.size() < 4) return false;
  if (path.compare(0, 4, L"\\??\\") == 0) return true;
  return separator(path[0]) && separator(path[1]) && (path[2] == L'?' || path[2] == L'.') &&
         separator(path[3]);
}

bool is_drive_path(const std::wstring& path) {
  return path.size() >= 3 && path[1] == L':' && separator(path[2]);
}

bool is_share_path(const std::wstring& path) {
  return path.size() > 2 && separator(path[0]) && separator(path[1]) && !separator(path[2]);
}

}  // namespace

std::wstring long_form_path(const std::wstring& path, const FullPathCall& full_path) {
  if (path.size() <= PLAIN_PATH_LIMIT || is_device_path(path)) return path;
  const std::optional<std::wstring> full = full_path(path);
  if (!full || full->empty()) return path;
  if (full->size() <= PLAIN_PATH_LIMIT || is_device_path(*full)) return *full;
  if (is_drive_path(*full)) return L"\\\\?\\" + *full;
  if (is_share_path(*full)) return L"\\\\?\\UNC" + full->substr(1);
  return *full;
}

}  // namespace kelvora
