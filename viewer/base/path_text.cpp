#include "viewer/base/path_text.h"

namespace kelvora {

bool is_dbcs_lead_byte(unsigned code_page, unsigned char byte) {
  switch (code_page) {
    case 932:  // Shift JIS
      return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
    case 936:  // GBK
    case 949:  // Unified Hangul
    case 950:  // Big5
      return byte >= 0x81 && byte <= 0xFE;
    default:
      return false;
  }
}

std::size_t char_size(std::string_view text, std::size_t at) {
  if (at + 1 < text.size() &&
      is_dbcs_lead_byte(name_code_page(), static_cast<unsigned char>(text[at])))
    return 2;
  return 1;
}

bool is_separator(char c) { return c == '\\' || c == '/'; }

std::size_t last_separator(std::string_view path, bool backslash_only) {
  std::size_t found = std::string_view::npos;
  for (std::size_t i = 0; i < path.size(); i += char_size(path, i)) {
    if (path[i] == '\\' || (!backslash_only && is_separator(path[i]))) found = i;
  }
  return found;
}

std::vector<std::string> split_path(std::string_view path) {
  std::vector<std::string> pieces;
  std::string piece;
  for (std::size_t i = 0; i < path.size();) {
    const std::size_t size = char_size(path, i);
    if (size == 1 && is_separator(path[i])) {
      if (!piece.empty()) pieces.push_back(piece);
      piece.clear();
    } else {
      piece.append(path.substr(i, size));
    }
    i += size;
  }
  if (!piece.empty()) pieces.push_back(piece);
  return pieces;
}

std::optional<std::string_view> path_file_part(std::string_view path) {
  const std::size_t slash = last_separator(path, true);
  if (slash == std::string_view::npos) return std::nullopt;
  return path.substr(slash + 1);
}

void path_strip_file(std::string& path) {
  const std::size_t slash = last_separator(path, true);
  if (slash != std::string::npos) path.resize(slash);
}

}  // namespace kelvora
