#include "viewer/shell/about.h"

#include <cstdlib>
#include <cstring>

#include "viewer/base/message_sink.h"

namespace kelvora {
namespace {

int two_digits(const char* text, std::size_t at) {
  if (!text || std::strlen(text) < at + 2) return 0;
  const char digits[3] = {text[at], text[at + 1], '\0'};
  return std::atoi(digits);
}

}  // namespace

std::string build_time_text(const char* build_time) {
  int hour = two_digits(build_time, 0);
  const int minutes = two_digits(build_time, 3);
  const int seconds = two_digits(build_time, 6);
  const char* suffix = "AM";
  if (hour >= 13) {
    hour -= 12;
    suffix = "PM";
  }
  return format_text(256, "%d:%.2d:%.2d %s", hour, minutes, seconds, suffix);
}

std::string build_stamp(const char* build_date, const char* build_time) {
  return format_text(256, "Build: %s %s", build_time_text(build_time).c_str(),
                     build_date ? build_date : "");
}

}  // namespace kelvora
