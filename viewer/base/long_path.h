// How a long path is handed to the system.  A path of more than 247
// characters only works with the \\?\ prefix, and a \\?\ path is taken
// literally: no doubled separator collapsed, no "." or ".." resolved, no
// trailing dot or blank of a name dropped.  So a long path first goes
// through the system's own normalisation (the full-path call), which is
// the one a short path gets inside every call: a name then reaches the disk
// the same way whatever the length of the path it is in.
//
// Portable, and the full-path call handed in, so that the rule is tested on
// every platform; the Windows file layer gives it GetFullPathNameW.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>

namespace kelvora {

// Up to this length the system takes a plain path (directories are limited
// to 248 characters with their terminator).
constexpr std::size_t PLAIN_PATH_LIMIT = 247;

// The system's full path of a path: absolute, one backslash between names,
// "." and ".." resolved, the names trimmed as the system trims them; none
// when it cannot make one.
using FullPathCall = std::function<std::optional<std::wstring>(const std::wstring&)>;

// The path as the system's wide calls take it: a short one as it is (the
// system normalises it itself); a long one normalised by full_path and
// given the prefix of its form: \\?\C:\... for a drive, \\?\UNC\server\...
// for a share.  A path that already is a device path (\\?\, \\.\) is meant
// literally and stays as it is; so does one that full_path cannot make
// full, which then fails in the call as too long.
std::wstring long_form_path(const std::wstring& path, const FullPathCall& full_path);

}  // namespace kelvora
