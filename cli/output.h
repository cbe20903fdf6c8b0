// Output helpers of the tool: JSON strings, byte counts, the progress bar.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

#include "viewer/extract/engine.h"

namespace kelvora::cli {

// A UTF-8 text as a JSON string literal, quotes included.
std::string json_string(const std::string& text);

// A UTF-8 text as it may reach a terminal: control characters (C0, DEL and
// C1) and bytes that are not UTF-8 written as escapes, as ls does ("\n",
// "\033"), so that no name can move the cursor, rewrite earlier lines or
// set the window's title.
std::string terminal_text(const std::string& text);

// "1.5 MiB", "12 bytes".
std::string human_bytes(std::uint64_t bytes);

// A one-line progress bar on a terminal: files, bytes, rate, current name.
// Redrawn at most ten times a second; silent when not enabled.
class ProgressBar {
 public:
  explicit ProgressBar(bool enabled) : enabled_(enabled) {}
  ~ProgressBar() { finish(); }
  void update(const ExportProgress& progress, const std::string& current_name);
  void finish();

 private:
  bool enabled_;
  bool drawn_ = false;
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  std::chrono::steady_clock::time_point last_{};
};

// True when the stream is a terminal.
bool is_terminal(std::FILE* stream);

}  // namespace kelvora::cli
