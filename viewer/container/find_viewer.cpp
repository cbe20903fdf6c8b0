#include "viewer/container/find_viewer.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "viewer/base/directory.h"
#include "viewer/base/file_system.h"
#include "viewer/base/little_endian.h"
#include "viewer/base/path_text.h"
#include "viewer/container/iso_image.h"
#include "viewer/container/viewer_file.h"

namespace kelvora {

TrailerCheck check_trailer(const std::string& path) {
  FilePtr file = open_file(path, "rb");
  if (!file) return TrailerCheck::ReadFailed;
  const std::int64_t length = file_length(file.get());
  if (length < 0) return TrailerCheck::ReadFailed;
  if (length < static_cast<std::int64_t>(TRAILER_SIZE)) return TrailerCheck::None;
  std::uint8_t magic[4];
  if (!seek_to(file.get(), static_cast<std::uint64_t>(length) - 4)) return TrailerCheck::ReadFailed;
  if (std::fread(magic, 1, 4, file.get()) != 4)
    return std::ferror(file.get()) ? TrailerCheck::ReadFailed : TrailerCheck::None;
  return read_le32(magic) == TRAILER_MAGIC ? TrailerCheck::Found : TrailerCheck::None;
}

bool ends_in_trailer(const std::string& path) { return check_trailer(path) == TrailerCheck::Found; }

std::vector<std::string> find_viewer_files(const std::string& directory,
                                           std::vector<std::string>* unreadable) {
  std::vector<std::string> found;
  for (const std::string& name : list_directory(directory).value_or(std::vector<std::string>{})) {
    std::string path = directory;
    // A whole-character look at the end: the last byte may be the second
    // byte of a double-byte character.
    if (!path.empty() && last_separator(path) != path.size() - 1) path += PATH_SEPARATOR;
    path += name;
    if (!is_regular_file(path)) continue;
    switch (check_trailer(path)) {
      case TrailerCheck::Found:
        found.push_back(std::move(path));
        break;
      case TrailerCheck::ReadFailed:
        if (unreadable) unreadable->push_back(path + ": " + last_error_text());
        break;
      case TrailerCheck::None:
        break;
    }
  }
  std::sort(found.begin(), found.end());
  return found;
}

std::vector<std::string> find_viewer_files(const IsoImage& image) {
  std::vector<std::string> found;
  const FilePtr file = open_file(image.path(), "rb");
  if (!file) return found;
  for (const IsoEntry& entry : image.list("").value_or(std::vector<IsoEntry>{})) {
    if (entry.Kind != IsoKind::File || !entry.Refusal.empty() || entry.Length < TRAILER_SIZE)
      continue;
    std::uint8_t magic[4];
    if (seek_to(file.get(), entry.Start + entry.Length - 4) &&
        std::fread(magic, 1, 4, file.get()) == 4 && read_le32(magic) == TRAILER_MAGIC)
      found.push_back(entry.Name);
  }
  std::sort(found.begin(), found.end());
  return found;
}

}  // namespace kelvora
