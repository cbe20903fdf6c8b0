#include "tests/support/test_support.h"

#include <cstdlib>
#include <random>
#include <stdexcept>
#include <system_error>

#if !defined(_WIN32)
#include <unistd.h>
#endif

namespace kelvora::test {
namespace fs = std::filesystem;

MessageRecorder::MessageRecorder() {
  previous_ = set_message_handler(
      [this](MessageKind kind, const std::string& caption, const std::string& text) {
        Messages.push_back({kind, caption, text});
        if (kind != MessageKind::YesNo) return ANSWER_OK;
        if (Answers.empty()) return ANSWER_NO;
        int answer = Answers.front();
        Answers.pop_front();
        return answer;
      });
}

MessageRecorder::~MessageRecorder() { set_message_handler(std::move(previous_)); }

std::vector<std::string> MessageRecorder::lines() const {
  std::vector<std::string> out;
  for (const Message& m : Messages) out.push_back(m.Caption + "|" + m.Text);
  return out;
}

TempDir::TempDir() {
  static std::mt19937_64 random{std::random_device{}()};
  const fs::path base = fs::temp_directory_path();
  for (int attempt = 0; attempt < 100; ++attempt) {
    fs::path candidate = base / ("kelvora-test-" + std::to_string(random()));
    std::error_code error;
    if (fs::create_directory(candidate, error)) {
      path_ = candidate;
      return;
    }
  }
  throw std::runtime_error("cannot create a temporary directory");
}

TempDir::~TempDir() {
  std::error_code error;
  // Restore rights a test took away, so that everything can go.
  for (fs::recursive_directory_iterator it(path_, error), end; !error && it != end;
       it.increment(error)) {
    std::error_code ignore;
    if (!it->is_symlink(ignore))
      fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignore);
  }
  fs::remove_all(path_, error);
}

std::vector<std::uint8_t> read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void write_file(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
  if (path.has_parent_path()) fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

void write_file(const fs::path& path, const std::string& text) {
  write_file(path, bytes_of(text));
}

std::vector<std::uint8_t> bytes_of(const std::string& text) {
  return std::vector<std::uint8_t>(text.begin(), text.end());
}

std::vector<std::uint8_t> pattern_bytes(std::size_t count, std::uint32_t seed) {
  std::vector<std::uint8_t> bytes(count);
  std::uint32_t state = seed * 2654435761u + 1;
  for (auto& b : bytes) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    b = static_cast<std::uint8_t>(state);
  }
  return bytes;
}

WriterItem root_item(std::uint32_t id, std::string name) {
  WriterItem item;
  item.Id = id;
  item.ParentId = 0;
  item.Kind = KIND_WHOLE_CD;
  item.Name = std::move(name);
  return item;
}

WriterItem folder_item(std::uint32_t id, std::uint32_t parent, std::string name) {
  WriterItem item;
  item.Id = id;
  item.ParentId = parent;
  item.Kind = KIND_FOLDER;
  item.Name = std::move(name);
  return item;
}

WriterItem file_item(std::uint32_t id, std::uint32_t parent, std::string name,
                     std::vector<std::uint8_t> contents) {
  WriterItem item;
  item.Id = id;
  item.ParentId = parent;
  item.Kind = KIND_FILE;
  item.Name = std::move(name);
  item.Contents = std::move(contents);
  return item;
}

WriterItem file_item(std::uint32_t id, std::uint32_t parent, std::string name,
                     const std::string& contents) {
  return file_item(id, parent, std::move(name), bytes_of(contents));
}

std::vector<std::uint8_t> records_of(const std::vector<WriterItem>& items) {
  std::vector<std::uint8_t> out;
  for (const WriterItem& item : items)
    encode_record(out, item,
                  item.Size.value_or(static_cast<std::uint32_t>(item.Contents.size())),
                  item.DataFile.value_or(item.Kind == KIND_FILE ? "KELVORA1.DAT" : ""),
                  item.DataOffset.value_or(0));
  return out;
}

Catalogue catalogue_of(const std::vector<WriterItem>& items) {
  Catalogue catalogue;
  parse_catalogue(records_of(items), static_cast<std::uint32_t>(items.size()), catalogue);
  return catalogue;
}

EntryIndex entry_of(const Catalogue& catalogue, std::uint32_t id) {
  auto found = catalogue.FirstById.find(id);
  if (found == catalogue.FirstById.end())
    throw std::runtime_error("no entry " + std::to_string(id));
  return found->second;
}

}  // namespace kelvora::test
