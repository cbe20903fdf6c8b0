// Shared by the fuzz targets: a quiet message sink and a private
// temporary directory per process.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include <unistd.h>

#include "viewer/container/stored_values.h"
#include "viewer/base/message_sink.h"

namespace kelvora::fuzz {

inline void quiet_setup() {
  static bool done = false;
  if (done) return;
  done = true;
  unscramble_stored_values();
  set_message_handler([](MessageKind kind, const std::string&, const std::string&) {
    return kind == MessageKind::YesNo ? ANSWER_NO : ANSWER_OK;
  });
}

// A directory of this process's own, emptied by the caller as it likes and
// removed when the fuzzer ends.  In memory where the machine has /dev/shm:
// a target writes thousands of small files a second.
inline const std::filesystem::path& scratch() {
  struct Scratch {
    std::filesystem::path path;
    static std::filesystem::path base() {
      std::error_code error;
      if (std::filesystem::is_directory("/dev/shm", error)) return "/dev/shm";
      return std::filesystem::temp_directory_path();
    }
    Scratch()
        : path(base() / ("kelvora-fuzz-" + std::to_string(static_cast<long long>(::getpid())))) {
      std::filesystem::create_directories(path);
    }
    ~Scratch() {
      std::error_code error;
      std::filesystem::remove_all(path, error);
    }
  };
  static const Scratch dir;
  return dir.path;
}

inline void write_bytes(const std::filesystem::path& path, const std::uint8_t* data,
                        std::size_t size) {
  std::FILE* file = std::fopen(path.string().c_str(), "wb");
  if (!file) return;
  if (size) std::fwrite(data, 1, size, file);
  std::fclose(file);
}

}  // namespace kelvora::fuzz
