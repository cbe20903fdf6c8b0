// ISO 9660 images read where they lie: the volume descriptors, the
// directories and the files' extents, with Rock Ridge names (the NM entries
// of the primary tree) where the image has them, else the Joliet tree's
// names (UCS-2, big-endian), else the primary names without their ";1".
// Every file opens as a byte range of the image (CdFiles), so a CD given as
// an image is read as fast as its folder and nothing is copied out.
//
// What the reader refuses, each with its reason: an image without an ISO
// 9660 file system (a UDF-only image among them), logical blocks of other
// than 2048 bytes, files recorded in several extents (4 GiB or more) or
// interleaved, extents and directories that reach past the end of the
// image, directories larger than MAX_ISO_DIRECTORY, a path that runs round
// a loop of directories.  Names that cannot be a file name (empty, "." or
// "..", or holding "/", "\" or a zero byte) are left out of every listing
// and are never found.  Files that share bytes with each other are read as
// they are: nothing is ever written to an image.
//
// No state changes after load: every call opens the image anew, so one
// image may be read by several threads at once.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "viewer/container/cd_files.h"

namespace kelvora {

constexpr std::uint64_t ISO_SECTOR = 2048;
// A directory's recorded length is read whole; larger ones are refused
// (32 MiB holds some 300,000 names).
constexpr std::uint64_t MAX_ISO_DIRECTORY = 32ull << 20;
// Paths deeper than this are refused; the deepest Rock Ridge trees of real
// discs are far shallower.
constexpr std::size_t MAX_ISO_DEPTH = 255;

// Which names the image's directories are read with.
enum class IsoNames { RockRidge, Joliet, Primary };

enum class IsoKind { File, Directory, Other };  // Other: a link, a device, ...

struct IsoEntry {
  std::string Name;          // UTF-8 for Joliet names; bytes as recorded otherwise
  IsoKind Kind = IsoKind::File;
  std::uint64_t Start = 0;   // byte offset of the contents in the image
  std::uint64_t Length = 0;  // their length in bytes
  // Why the contents cannot be read (several extents, interleaved, past the
  // end of the image), or empty.
  std::string Refusal;
};

// True when the file at path is a disc image, to be read as an IsoImage
// rather than as a viewer file: its first volume descriptor says CD001
// (ISO 9660) or begins UDF's recognition sequence (which load then names).
bool is_disc_image(const std::string& path);

class IsoImage final : public CdFiles {
 public:
  // Reads the volume descriptors of the image at path and chooses its
  // names.  Empty on success, else why the image cannot be read.
  std::string load(const std::string& path);

  const std::string& path() const { return path_; }
  std::uint64_t size() const { return size_; }
  IsoNames names() const { return names_; }

  // The entries of the directory at path ("" is the root), in recorded
  // order.  Nothing, with the reason in why, when the path is no directory
  // of the image or the directory is damaged.
  std::optional<std::vector<IsoEntry>> list(const std::string& directory,
                                            std::string* why = nullptr) const;
  // The entry at path; nothing, with the reason in why, when there is none.
  std::optional<IsoEntry> find(const std::string& path, std::string* why = nullptr) const;
  // A file entry's contents as a range of the image.
  FileRange open_entry(const IsoEntry& entry, std::string* why = nullptr) const;

  FileRange open(const std::string& path, std::string* why = nullptr) const override;
  std::string shown_name(const std::string& path) const override;

 private:
  struct Directory {
    std::uint64_t Start = 0;
    std::uint64_t Length = 0;
  };
  std::optional<std::vector<IsoEntry>> read_directory(std::FILE* image, const Directory& dir,
                                                      std::string& why) const;
  // The directory at the end of the pieces, every step checked.
  std::optional<Directory> walk(std::FILE* image, const std::vector<std::string>& pieces,
                                std::string& why) const;

  std::string path_;
  std::uint64_t size_ = 0;
  IsoNames names_ = IsoNames::Primary;
  Directory root_;
  std::size_t susp_skip_ = 0;  // bytes before each record's Rock Ridge entries
};

}  // namespace kelvora
