// Small RAII and 64-bit helpers over the C library's buffered binary files,
// which the ciphers and the extraction engine stream through.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace kelvora {

struct FileCloser {
  void operator()(std::FILE* file) const noexcept {
    if (file) std::fclose(file);
  }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// Opens a file; mode as for fopen ("rb", "wb").
FilePtr open_file(const std::string& path, const char* mode);

// Seeks to an absolute 64-bit offset; false when the platform refuses.
bool seek_to(std::FILE* file, std::uint64_t offset);

// Length of an open file in bytes, or -1 when it cannot be told.  The
// position is left at the start.
std::int64_t file_length(std::FILE* file);

// Closes the file and reports whether everything buffered reached the disk.
bool close_checked(FilePtr& file);

}  // namespace kelvora
