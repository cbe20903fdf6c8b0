// The reads of a mounted CD: any piece of any file, deciphered, from data
// files that are opened once when the CD is mounted and then shared by
// every reading thread (each read is one positioned read, which leaves no
// shared position to race on).  A file whose data file is missing or too
// short is reported once, when the CD is mounted; its reads that reach the
// bytes that are not there fail with EIO rather than showing other bytes.
// POSIX only, like the mount itself.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "cli/mount_tree.h"
#include "viewer/base/file_system.h"
#include "viewer/catalogue/catalogue.h"
#include "viewer/container/viewer_file.h"

namespace kelvora::cli {

class MountReader {
 public:
  // Opens the data file of every file in the tree, with the engine's
  // checks and reports (a refused or missing data file, one too short for
  // an entry).  The catalogue, viewer file and key must outlive the reader.
  MountReader(const ViewerFile& viewer, const Catalogue& catalogue, const MountTree& tree,
              const char* key);

  // Reads and deciphers up to size bytes of a file node from offset into
  // out.  Returns the bytes given (fewer at the end of the file, 0 from
  // there on), or -EIO when the data file cannot give them all.  Safe to
  // call from many threads at once.
  long read(MountNodeIndex node, std::uint64_t offset, std::size_t size, char* out) const;

  // The files whose contents cannot all be read.
  std::uint32_t faulty_files() const { return faulty_files_; }

 private:
  struct DataFile {
    std::string Name;  // as the catalogue stores it
    FilePtr File;      // null when it could not be opened
    int Descriptor = -1;
    std::uint64_t Start = 0;  // of the data file in its stream (an image)
    std::int64_t Length = -1;
    mutable std::atomic<bool> FaultReported{false};
  };
  static constexpr std::uint32_t NO_DATA = UINT32_MAX;
  struct Source {
    std::uint32_t Data = NO_DATA;   // index into data_
    std::uint64_t Offset = 0;       // of the contents in the data file's stream
    std::uint32_t Size = 0;
    std::uint32_t Available = 0;    // bytes of the contents the data file holds
  };

  std::uint32_t data_file(const CryptItem& item);
  // Once per data file: a read failed (error, an errno value) or found the
  // file shorter than when it was checked (error 0).
  void report_read_fault(const DataFile& data, const CryptItem& item, int error) const;

  const ViewerFile& viewer_;
  const Catalogue& cat_;
  const MountTree& tree_;
  const char* key_;
  std::vector<std::unique_ptr<DataFile>> data_;
  std::vector<Source> sources_;  // by node
  std::uint32_t faulty_files_ = 0;
};

}  // namespace kelvora::cli
