// The files of a CD that is not a folder on disk, such as an ISO image: the
// viewer-file loader and the extraction engine open the viewer file and the
// data files through this interface, each as a byte range of an open stream,
// so that an image is read where it lies and nothing is copied out of it.
// A CD that is a folder has no CdFiles; its files are opened by path.
#pragma once

#include <cstdint>
#include <string>

#include "viewer/base/file_system.h"

namespace kelvora {

// One file of a CD, open for reading: the stream and where in it the file
// lies.  A file of a folder is its whole stream (Start 0).
struct FileRange {
  FilePtr File;               // null when the file could not be opened
  std::uint64_t Start = 0;    // offset of the file's first byte in the stream
  std::uint64_t Length = 0;   // the file's length in bytes

  explicit operator bool() const { return File != nullptr; }
};

class CdFiles {
 public:
  virtual ~CdFiles() = default;

  // Opens the regular file at path below the CD's root (pieces separated
  // by "/" or "\", looked up without regard to ASCII letter case where the
  // exact name is missing, as a CD mounted on another system may show it).
  // A null File when there is no such file or it cannot be read; the
  // reason is then in why.
  virtual FileRange open(const std::string& path, std::string* why = nullptr) const = 0;

  // How a file of the CD is named to the user ("photos.iso, viewer.exe").
  virtual std::string shown_name(const std::string& path) const = 0;
};

}  // namespace kelvora
