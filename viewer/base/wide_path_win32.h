// The names of the file layer as the system's wide calls take them, for the
// Windows parts of the file layer.  Names are 8-bit text in the names' code
// page (name_code_page()).
#pragma once

#include <string>

namespace kelvora {

// 8-bit text in the names' code page as UTF-16; empty when it cannot be
// converted.
std::wstring widen(const std::string& text);

// UTF-16 as 8-bit text in the names' code page.
std::string narrow(const wchar_t* text);

inline bool is_wide_separator(wchar_t c) { return c == L'\\' || c == L'/'; }

// The wide path for the system's calls: a long absolute path gets the
// prefix that lifts the length limit (and then needs backslashes only).
std::wstring system_path(const std::string& path);

}  // namespace kelvora
