// The parts of the file layer that are the C library's on every platform.
#include "viewer/base/file_system.h"

namespace kelvora {

bool seek_to(std::FILE* file, std::uint64_t offset) {
  if (!file || offset > static_cast<std::uint64_t>(INT64_MAX)) return false;
#if defined(_WIN32)
  return _fseeki64(file, static_cast<__int64>(offset), SEEK_SET) == 0;
#else
  return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
#endif
}

std::int64_t file_length(std::FILE* file) {
  if (!file) return -1;
#if defined(_WIN32)
  if (_fseeki64(file, 0, SEEK_END) != 0) return -1;
  std::int64_t length = _ftelli64(file);
  _fseeki64(file, 0, SEEK_SET);
#else
  if (fseeko(file, 0, SEEK_END) != 0) return -1;
  std::int64_t length = ftello(file);
  fseeko(file, 0, SEEK_SET);
#endif
  return length;
}

bool close_checked(FilePtr& file) {
  if (!file) return false;
  std::FILE* raw = file.release();
  bool flushed = std::fflush(raw) == 0 && !std::ferror(raw);
  bool closed = std::fclose(raw) == 0;
  return flushed && closed;
}

}  // namespace kelvora
