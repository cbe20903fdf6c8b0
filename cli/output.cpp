#include "cli/output.h"

#include <algorithm>

#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

namespace kelvora::cli {

std::string json_string(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
          out += escaped;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  out += '"';
  return out;
}

namespace {

// The length of the UTF-8 character at text[at], or 0 when it is none.
std::size_t utf8_length(const std::string& text, std::size_t at) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  std::size_t length = lead < 0x80 ? 1 : lead >= 0xC2 && lead < 0xE0 ? 2
                       : lead >= 0xE0 && lead < 0xF0                ? 3
                       : lead >= 0xF0 && lead < 0xF5                ? 4
                                                                     : 0;
  if (length == 0 || at + length > text.size()) return 0;
  for (std::size_t i = 1; i < length; ++i)
    if ((byte(at + i) & 0xC0) != 0x80) return 0;
  return length;
}

void escape_byte(std::string& out, unsigned char c) {
  switch (c) {
    case '\a': out += "\\a"; return;
    case '\b': out += "\\b"; return;
    case '\t': out += "\\t"; return;
    case '\n': out += "\\n"; return;
    case '\v': out += "\\v"; return;
    case '\f': out += "\\f"; return;
    case '\r': out += "\\r"; return;
    default: {
      char octal[8];
      std::snprintf(octal, sizeof octal, "\\%03o", c);
      out += octal;
    }
  }
}

}  // namespace

std::string terminal_text(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    const std::size_t length = utf8_length(text, i);
    // U+0080 to U+009F, the C1 controls, are C2 80 to C2 9F.
    const bool c1 = length == 2 && c == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0;
    if (length == 0 || c < 0x20 || c == 0x7F || c1) {
      const std::size_t bytes = c1 ? 2 : 1;
      for (std::size_t b = 0; b < bytes; ++b)
        escape_byte(out, static_cast<unsigned char>(text[i + b]));
      i += bytes;
      continue;
    }
    out.append(text, i, length);
    i += length;
  }
  return out;
}

std::string human_bytes(std::uint64_t bytes) {
  if (bytes < 1024) return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
  const char* units[] = {"KiB", "MiB", "GiB", "TiB"};
  double value = static_cast<double>(bytes) / 1024.0;
  std::size_t unit = 0;
  while (value >= 1024.0 && unit + 1 < std::size(units)) {
    value /= 1024.0;
    ++unit;
  }
  char text[32];
  std::snprintf(text, sizeof text, "%.1f %s", value, units[unit]);
  return text;
}

bool is_terminal(std::FILE* stream) {
#if defined(_WIN32)
  return _isatty(_fileno(stream)) != 0;
#else
  return isatty(fileno(stream)) != 0;
#endif
}

void ProgressBar::update(const ExportProgress& p, const std::string& current_name) {
  if (!enabled_) return;
  const auto now = std::chrono::steady_clock::now();
  if (drawn_ && now - last_ < std::chrono::milliseconds(100)) return;
  last_ = now;
  drawn_ = true;
  const double seconds = std::chrono::duration<double>(now - start_).count();
  const double fraction =
      p.BytesTotal ? static_cast<double>(p.BytesDone) / static_cast<double>(p.BytesTotal)
                   : (p.FilesTotal ? static_cast<double>(p.FilesDone) / static_cast<double>(p.FilesTotal) : 1.0);
  const int width = 24;
  const int filled = std::clamp(static_cast<int>(fraction * width), 0, width);
  const std::string bar = std::string(static_cast<std::size_t>(filled), '#') +
                          std::string(static_cast<std::size_t>(width - filled), '.');
  const std::string rate =
      seconds > 0.05 ? human_bytes(static_cast<std::uint64_t>(static_cast<double>(p.BytesDone) / seconds)) + "/s"
                     : "";
  std::string name = terminal_text(current_name);
  if (name.size() > 30) {
    // Cut at a character's start, not inside an escape's bytes.
    std::size_t cut = name.size() - 27;
    while (cut < name.size() && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) ++cut;
    name = "..." + name.substr(cut);
  }
  std::fprintf(stderr, "\r[%s] %u/%u files, %s of %s %s %s\x1b[K", bar.c_str(), p.FilesDone,
               p.FilesTotal, human_bytes(p.BytesDone).c_str(),
               human_bytes(p.BytesTotal).c_str(), rate.c_str(), name.c_str());
  std::fflush(stderr);
}

void ProgressBar::finish() {
  if (enabled_ && drawn_) {
    std::fprintf(stderr, "\r\x1b[K");
    std::fflush(stderr);
    drawn_ = false;
  }
}

}  // namespace kelvora::cli
