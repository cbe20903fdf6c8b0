// Message sink: the two message boxes through which the whole viewer reports
// errors and asks questions.  The core never talks to a window system; each
// front end installs a handler (message boxes on Windows, stderr in the
// command-line tool, a recorder in tests) and every report goes through it.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

#if defined(__GNUC__) || defined(__clang__)
#define KELVORA_PRINTF(fmt_index, first_arg) \
  __attribute__((format(printf, fmt_index, first_arg)))
#else
#define KELVORA_PRINTF(fmt_index, first_arg)
#endif

namespace kelvora {

// What kind of box a report asks for.
enum class MessageKind {
  Error,  // OK button, question-mark icon, system-modal (show_error)
  YesNo,  // Yes and No buttons, question-mark icon, system-modal (ask_yes_no)
  Plain,  // OK button only, no icon, not system-modal (the two direct boxes)
};

// Button codes, as the platform's message box returns them.
constexpr int ANSWER_OK = 1;
constexpr int ANSWER_YES = 6;
constexpr int ANSWER_NO = 7;

// Capacity of the formatting buffer, terminator included.
constexpr std::size_t MESSAGE_BUFFER = 1024;

// A handler shows one box and returns the button pressed.
using MessageHandler =
    std::function<int(MessageKind kind, const std::string& caption,
                      const std::string& text)>;

// Installs the handler for the whole process and returns the previous one.
// An empty handler restores the default, which writes "caption text" to
// stderr and answers OK (or No to a question).
MessageHandler set_message_handler(MessageHandler handler);

// Formats printf-style into a buffer of MESSAGE_BUFFER characters (a longer
// text is cut) and shows it with one OK button.  Returns the button pressed.
int show_error(const char* caption, const char* format, ...)
    KELVORA_PRINTF(2, 3);

// The same box with Yes and No; returns ANSWER_YES (6) or ANSWER_NO (7).
int ask_yes_no(const char* caption, const char* format, ...)
    KELVORA_PRINTF(2, 3);

// A plain OK box without icon, for the reports that do not go through
// show_error (a directory that cannot be made, a picture that cannot load).
int show_plain_message(const char* caption, const char* text);

// printf-style formatting into a std::string of at most capacity - 1
// characters, as the fixed buffers of the viewer hold them.
std::string format_text(std::size_t capacity, const char* format, ...)
    KELVORA_PRINTF(2, 3);

}  // namespace kelvora
