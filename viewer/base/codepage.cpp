#include "viewer/base/codepage.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <vector>

#if __has_include(<iconv.h>) && !defined(_WIN32)
#include <iconv.h>
#define KELVORA_HAVE_ICONV 1
#endif

namespace kelvora {
namespace {

// Code points of bytes 0x80 to 0x9F; the five unassigned bytes map to the
// C1 control of the same number, as the platform's own conversion does.
constexpr char32_t kHigh1252[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};


// Decodes one UTF-8 sequence at i; false on a malformed one.
bool next_code_point(std::string_view text, std::size_t& i, char32_t& c) {
  const unsigned char lead = static_cast<unsigned char>(text[i]);
  std::size_t extra;
  if (lead < 0x80) {
    c = lead;
    ++i;
    return true;
  } else if ((lead & 0xE0) == 0xC0) {
    extra = 1;
    c = lead & 0x1F;
  } else if ((lead & 0xF0) == 0xE0) {
    extra = 2;
    c = lead & 0x0F;
  } else if ((lead & 0xF8) == 0xF0) {
    extra = 3;
    c = lead & 0x07;
  } else {
    return false;
  }
  if (text.size() - i <= extra) return false;
  for (std::size_t k = 1; k <= extra; ++k) {
    const unsigned char cont = static_cast<unsigned char>(text[i + k]);
    if ((cont & 0xC0) != 0x80) return false;
    c = (c << 6) | (cont & 0x3F);
  }
  i += extra + 1;
  return true;
}

std::string lower(std::string_view s) {
  std::string out(s);
  std::transform(out.begin(), out.end(), out.begin(),
                 [](unsigned char ch) { return static_cast<char>(std::tolower(ch)); });
  return out;
}

#ifdef KELVORA_HAVE_ICONV
std::optional<std::string> iconv_convert(std::string_view text, const std::string& from,
                                         const std::string& to) {
  iconv_t cd = iconv_open(to.c_str(), from.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
  std::string input(text);
  std::vector<char> output(text.size() * 4 + 16);
  char* in = input.data();
  std::size_t in_left = input.size();
  char* out = output.data();
  std::size_t out_left = output.size();
  const std::size_t done = iconv(cd, &in, &in_left, &out, &out_left);
  iconv_close(cd);
  if (done == static_cast<std::size_t>(-1) || in_left != 0) return std::nullopt;
  return std::string(output.data(), output.size() - out_left);
}
#endif

// The length of the well-formed UTF-8 sequence at text[i] and its code
// point; 0 when it is not one.
std::size_t strict_sequence(std::string_view text, std::size_t i, char32_t& c) {
  const unsigned char lead = static_cast<unsigned char>(text[i]);
  std::size_t length;
  char32_t low = 0;  // the smallest code point of this length
  if (lead < 0x80) {
    c = lead;
    return 1;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    c = lead & 0x1F;
    low = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3;
    c = lead & 0x0F;
    low = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    c = lead & 0x07;
    low = 0x10000;
  } else {
    return 0;
  }
  if (text.size() - i < length) return 0;
  for (std::size_t k = 1; k < length; ++k) {
    const unsigned char cont = static_cast<unsigned char>(text[i + k]);
    if ((cont & 0xC0) != 0x80) return 0;
    c = (c << 6) | (cont & 0x3F);
  }
  if (c < low || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0;
  return length;
}

void append_utf16(std::u16string& out, char32_t c) {
  if (c < 0x10000) {
    out += static_cast<char16_t>(c);
  } else {
    out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
    out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
  }
}

char32_t windows_1252_code_point(unsigned char b) {
  return b >= 0x80 && b < 0xA0 ? kHigh1252[b - 0x80] : b;
}

void append_piece_utf16(std::u16string& out, std::string_view piece) {
  if (is_utf8(piece)) {
    char32_t c = 0;
    for (std::size_t i = 0; i < piece.size();) {
      const std::size_t length = strict_sequence(piece, i, c);
      append_utf16(out, c);
      i += length;
    }
    return;
  }
  for (unsigned char b : piece) append_utf16(out, windows_1252_code_point(b));
}

}  // namespace

void append_utf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

bool is_utf8(std::string_view text) {
  char32_t c = 0;
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t length = strict_sequence(text, i, c);
    if (length == 0) return false;
    i += length;
  }
  return true;
}

std::u16string utf8_path_to_utf16(std::string_view path) {
  std::u16string out;
  out.reserve(path.size());
  std::size_t start = 0;
  for (std::size_t i = 0; i <= path.size(); ++i) {
    if (i < path.size() && path[i] != '\\' && path[i] != '/') continue;
    append_piece_utf16(out, path.substr(start, i - start));
    if (i < path.size()) out += static_cast<char16_t>(path[i]);
    start = i + 1;
  }
  return out;
}

bool is_windows_1252(std::string_view codepage) {
  const std::string name = lower(codepage);
  return name == "1252" || name == "cp1252" || name == "windows-1252";
}

std::optional<std::string> to_utf8(std::string_view text, std::string_view codepage) {
  if (is_windows_1252(codepage)) {
    std::string out;
    out.reserve(text.size() + text.size() / 2);
    for (unsigned char b : text) {
      if (b < 0x80)
        out += static_cast<char>(b);
      else if (b < 0xA0)
        append_utf8(out, kHigh1252[b - 0x80]);
      else
        append_utf8(out, b);
    }
    return out;
  }
#ifdef KELVORA_HAVE_ICONV
  return iconv_convert(text, std::string(codepage), "UTF-8");
#else
  return std::nullopt;
#endif
}

std::optional<std::string> from_utf8(std::string_view text,
                                     std::string_view codepage) {
  if (is_windows_1252(codepage)) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
      char32_t c;
      if (!next_code_point(text, i, c)) return std::nullopt;
      if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
        out += static_cast<char>(c);
        continue;
      }
      const char32_t* hit = std::find(std::begin(kHigh1252), std::end(kHigh1252), c);
      if (hit == std::end(kHigh1252)) return std::nullopt;
      out += static_cast<char>(0x80 + (hit - std::begin(kHigh1252)));
    }
    return out;
  }
#ifdef KELVORA_HAVE_ICONV
  return iconv_convert(text, "UTF-8", std::string(codepage));
#else
  return std::nullopt;
#endif
}

}  // namespace kelvora
