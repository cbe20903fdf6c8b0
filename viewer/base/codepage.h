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

// Appends one code point as UTF-8.
void append_utf8(std::string& out, char32_t c);

// UTF-8 to 8-bit text in codepage; none when the code page is unknown or a
// character has no byte there.
std::optional<std::string> from_utf8(std::string_view text,
                                     std::string_view codepage);

// Whether text is well-formed UTF-8: no stray or missing continuation
// bytes, no overlong forms, no surrogates, nothing past U+10FFFF.
bool is_utf8(std::string_view text);

// A path's UTF-16 when the names' code page is UTF-8 (65001, which Windows
// can use as its ANSI code page).  The system's own names arrive as UTF-8,
// but a CD's names are bytes of an 8-bit code page, mostly invalid as
// UTF-8; the system's conversion would make every such byte U+FFFD, and
// "Caf\xE9.txt" and "Caf\xE8.txt" one file.  So each piece between
// separators that is not well-formed UTF-8 is read as windows-1252, the
// Western default, where every byte is a character of its own: no two
// pieces that differ become one.
std::u16string utf8_path_to_utf16(std::string_view path);

}  // namespace kelvora
