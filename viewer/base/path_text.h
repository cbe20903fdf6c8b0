// Paths as 8-bit text.  Names on a CD are bytes in a code page; in the
// double-byte code pages (932, 936, 949, 950) the second byte of a character
// may be 0x5C or 0x2F, the bytes of "\" and "/".  Every scan for separators
// goes through these helpers, which step over whole characters.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kelvora {

// Whether byte starts a two-byte character in the code page (932, 936, 949
// and 950 have them; single-byte code pages never do).
bool is_dbcs_lead_byte(unsigned code_page, unsigned char byte);

// The code page of the 8-bit names the file layer and the path helpers
// take: on Windows the system's ANSI code page unless a front end set
// another; elsewhere Windows-1252 unless set (names there are bytes).
unsigned name_code_page();
void set_name_code_page(unsigned code_page);

// The size in bytes of the character at text[at]: 2 for a lead byte with a
// byte after it in the names' code page, else 1.
std::size_t char_size(std::string_view text, std::size_t at);

// Whether c separates path pieces on this platform.  Elsewhere than on
// Windows a backslash inside a stored name is a separator too.
bool is_separator(char c);

// The position of the last separator of path that is a whole character, or
// npos.  With backslash_only, only "\" counts (stored names).
std::size_t last_separator(std::string_view path, bool backslash_only = false);

// The non-empty pieces of path between separators.
std::vector<std::string> split_path(std::string_view path);

// The part of path behind its last backslash, or none without backslash.
std::optional<std::string_view> path_file_part(std::string_view path);

// Cuts path at its last backslash; a path without backslash stays unchanged.
void path_strip_file(std::string& path);

}  // namespace kelvora
