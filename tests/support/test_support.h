// Shared helpers of the native tests: a message recorder, temporary
// directories, small CD builders.
#pragma once

#include <cstdint>
#include <deque>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "viewer/base/message_sink.h"
#include "writer/writer.h"

namespace kelvora::test {

struct Message {
  MessageKind Kind;
  std::string Caption;
  std::string Text;
  bool operator==(const Message&) const = default;
};

// Installs itself as the message handler for its lifetime and records every
// box; questions take their answers from Answers (No when it runs out).
class MessageRecorder {
 public:
  MessageRecorder();
  ~MessageRecorder();
  MessageRecorder(const MessageRecorder&) = delete;
  MessageRecorder& operator=(const MessageRecorder&) = delete;

  std::vector<Message> Messages;
  std::deque<int> Answers;

  // "caption|text" of every message, for compact assertions.
  std::vector<std::string> lines() const;

 private:
  MessageHandler previous_;
};

// A fresh directory under the system's temporary directory, removed with
// everything in it when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

std::vector<std::uint8_t> read_file(const std::filesystem::path& path);
void write_file(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes);
void write_file(const std::filesystem::path& path, const std::string& text);
std::vector<std::uint8_t> bytes_of(const std::string& text);
// Deterministic pseudo-random bytes.
std::vector<std::uint8_t> pattern_bytes(std::size_t count, std::uint32_t seed);

// Item builders for in-memory catalogues.
WriterItem root_item(std::uint32_t id = 1, std::string name = "CD");
WriterItem folder_item(std::uint32_t id, std::uint32_t parent, std::string name);
WriterItem file_item(std::uint32_t id, std::uint32_t parent, std::string name,
                     std::vector<std::uint8_t> contents = {});
WriterItem file_item(std::uint32_t id, std::uint32_t parent, std::string name,
                     const std::string& contents);

// Encoded (plain) catalogue records of items, and the catalogue parsed from
// them with ItemCount = items.size().
std::vector<std::uint8_t> records_of(const std::vector<WriterItem>& items);
Catalogue catalogue_of(const std::vector<WriterItem>& items);

// The entry index of the first entry with that Id (fails the test if none).
EntryIndex entry_of(const Catalogue& catalogue, std::uint32_t id);

}  // namespace kelvora::test
