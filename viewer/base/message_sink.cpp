#include "viewer/base/message_sink.h"

#include <cstdarg>
#include <cstdio>
#include <utility>
#include <vector>

namespace kelvora {
namespace {

int default_handler(MessageKind kind, const std::string& caption,
                    const std::string& text) {
  std::fprintf(stderr, "%s %s\n", caption.c_str(), text.c_str());
  return kind == MessageKind::YesNo ? ANSWER_NO : ANSWER_OK;
}

MessageHandler& current_handler() {
  static MessageHandler handler;
  return handler;
}

int dispatch(MessageKind kind, const char* caption, const std::string& text) {
  const MessageHandler& handler = current_handler();
  const std::string cap = caption ? caption : "";
  return handler ? handler(kind, cap, text) : default_handler(kind, cap, text);
}

std::string vformat(std::size_t capacity, const char* format, va_list args) {
  if (capacity == 0 || format == nullptr) return {};
  std::vector<char> buffer(capacity, '\0');
  int n = std::vsnprintf(buffer.data(), capacity, format, args);
  if (n < 0) return {};
  return std::string(buffer.data());
}

}  // namespace

MessageHandler set_message_handler(MessageHandler handler) {
  return std::exchange(current_handler(), std::move(handler));
}

int show_error(const char* caption, const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = vformat(MESSAGE_BUFFER, format, args);
  va_end(args);
  return dispatch(MessageKind::Error, caption, text);
}

int ask_yes_no(const char* caption, const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = vformat(MESSAGE_BUFFER, format, args);
  va_end(args);
  int answer = dispatch(MessageKind::YesNo, caption, text);
  return answer == ANSWER_YES ? ANSWER_YES : ANSWER_NO;
}

int show_plain_message(const char* caption, const char* text) {
  return dispatch(MessageKind::Plain, caption, text ? text : "");
}

std::string format_text(std::size_t capacity, const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = vformat(capacity, format, args);
  va_end(args);
  return text;
}

}  // namespace kelvora
