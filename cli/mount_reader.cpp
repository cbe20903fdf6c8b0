#include "cli/mount_reader.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unordered_map>

#include "viewer/base/message_sink.h"
#include "viewer/container/ciphers.h"
#include "viewer/extract/engine.h"

namespace kelvora::cli {

MountReader::MountReader(const ViewerFile& viewer, const Catalogue& catalogue,
                         const MountTree& tree, const char* key)
    : viewer_(viewer), cat_(catalogue), tree_(tree), key_(key) {
  sources_.resize(tree.Nodes.size());
  std::unordered_map<std::string, std::uint32_t> by_name;
  std::vector<std::uint32_t> unopened_files;  // by data file
  for (MountNodeIndex n = 0; n < tree.Nodes.size(); ++n) {
    const MountNode& node = tree.Nodes[n];
    if (node.Folder || node.Entry == NO_ENTRY) continue;
    const CryptItem& item = cat_.Entries[node.Entry];
    Source& source = sources_[n];
    source.Size = item.Size;
    source.Offset = item.DataOffset;
    // An empty file reads nothing: it needs no data file.
    if (item.Size == 0) continue;
    auto [found, fresh] = by_name.try_emplace(item.DataFile, 0);
    if (fresh) {
      found->second = static_cast<std::uint32_t>(data_.size());
      auto data = std::make_unique<DataFile>();
      data->Name = item.DataFile;
      // Reports a refused or missing one.  In an image the data file is a
      // range of the image's stream.
      FileRange range = open_data_file(viewer_, item);
      if (range) {
        data->File = std::move(range.File);
        data->Descriptor = fileno(data->File.get());
        data->Start = range.Start;
        data->Length = static_cast<std::int64_t>(range.Length);
      }
      data_.push_back(std::move(data));
      unopened_files.push_back(0);
    }
    source.Data = found->second;
    DataFile& data = *data_[source.Data];
    if (!data.File) {
      unopened_files[source.Data] += 1;
      faulty_files_ += 1;
      continue;
    }
    source.Offset = data.Start + item.DataOffset;
    // The engine's length check and its report of a data file too short.
    if (seek_entry(data.File.get(), data.Start, data.Length, item)) {
      source.Available = item.Size;
    } else {
      const std::int64_t held = data.Length - static_cast<std::int64_t>(item.DataOffset);
      source.Available = static_cast<std::uint32_t>(
          std::clamp<std::int64_t>(held, 0, static_cast<std::int64_t>(item.Size)));
      faulty_files_ += 1;
    }
  }
  for (std::uint32_t d = 0; d < data_.size(); ++d)
    if (unopened_files[d])
      show_error("Error:(345634)",
                 "The data file %s cannot be opened: reads of its %u %s fail.",
                 data_[d]->Name.empty() ? "(no name)" : data_[d]->Name.c_str(),
                 unopened_files[d], unopened_files[d] == 1 ? "file" : "files");
}

long MountReader::read(MountNodeIndex node, std::uint64_t offset, std::size_t size,
                       char* out) const {
  if (node >= sources_.size()) return -EIO;
  const Source& source = sources_[node];
  if (offset >= source.Size || size == 0) return 0;
  const std::size_t count =
      static_cast<std::size_t>(std::min<std::uint64_t>(size, source.Size - offset));
  if (offset + count > source.Available) return -EIO;
  const DataFile& data = *data_[source.Data];
  const CryptItem& item = cat_.Entries[tree_.Nodes[node].Entry];
  for (std::size_t done = 0; done < count;) {
    const ssize_t got = ::pread(data.Descriptor, out + done, count - done,
                                static_cast<off_t>(source.Offset + offset + done));
    if (got > 0) {
      done += static_cast<std::size_t>(got);
    } else if (got < 0 && errno == EINTR) {
      continue;
    } else {
      // The data file shrank or failed after it was checked.
      report_read_fault(data, item, got < 0 ? errno : 0);
      return -EIO;
    }
  }
  decrypt_at(key_, offset, out, count);
  return static_cast<long>(count);
}

void MountReader::report_read_fault(const DataFile& data, const CryptItem& item,
                                    int error) const {
  if (data.FaultReported.exchange(true)) return;
  if (error)
    show_error("Error:(345634)", "The data file %s cannot be read for [%s]: %s.",
               data.Name.c_str(), item.Name.c_str(), std::strerror(error));
  else
    show_error("Error:(345638)", "The data file %s is too short for [%s].", data.Name.c_str(),
               item.Name.c_str());
}

}  // namespace kelvora::cli
