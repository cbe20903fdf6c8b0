// Conversion between the 8-bit names a CD stores and UTF-8.  Windows-1252
// is built in (every byte maps, so names round-trip); other code pages go
// through iconv where the platform has it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kelvora {

// True for the names of the built-in code page ("1252", "cp1252",
// "windows-1252", any letter case).
bool is_windows_1252(std::string_view codepage);

// 8-bit text in codepage to UTF-8; none when the code page is unknown.
std::optional<std::string> to_utf8(std::string_view text, std::string_view codepage);

// UTF-8 to 8-bit text in codepage; none when the code page is unknown or a
// character has no byte there.
std::optional<std::string> from_utf8(std::string_view text,
                                     std::string_view codepage);

}  // namespace kelvora
