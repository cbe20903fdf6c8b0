#include "writer/writer.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <system_error>

#include "viewer/base/little_endian.h"
#include "viewer/container/ciphers.h"
#include "viewer/base/file_system.h"
#include "viewer/container/password.h"
#include "viewer/container/stored_values.h"
#include "viewer/base/message_sink.h"
#include "viewer/base/codepage.h"

namespace kelvora {
namespace fs = std::filesystem;
namespace {

void put_text(std::vector<std::uint8_t>& block, std::size_t offset,
              std::size_t width, const std::string& text) {
  // Keeps a terminator inside the field.
  const std::size_t n = std::min(text.size(), width - 1);
  std::memcpy(block.data() + offset, text.data(), n);
}

void put_le32(std::vector<std::uint8_t>& out, std::uint32_t value) {
  std::uint8_t bytes[4];
  write_le32(bytes, value);
  out.insert(out.end(), bytes, bytes + 4);
}

// A data-file name as stored (backslashes) to a path below the CD folder.
fs::path local_path(const fs::path& root, const std::string& stored) {
  fs::path path = root;
  std::string piece;
  for (char c : stored) {
    if (c == '\\' || c == '/') {
      if (!piece.empty()) path /= piece;
      piece.clear();
    } else {
      piece += c;
    }
  }
  if (!piece.empty()) path /= piece;
  return path;
}

std::uint64_t content_size(const WriterItem& item) {
  if (item.SourcePath.empty()) return item.Contents.size();
  std::error_code error;
  const std::uintmax_t size = fs::file_size(item.SourcePath, error);
  if (error)
    throw WriterError("cannot read " + item.SourcePath.string() + ": " +
                      error.message());
  return size;
}

// Streams a file's contents into the data file, enciphered.
void write_contents(std::FILE* out, const WriterItem& item, std::uint8_t key_byte,
                    const fs::path& data_path) {
  std::vector<std::uint8_t> chunk;
  auto put = [&](std::uint8_t* bytes, std::size_t n) {
    if (n == 0) return;
    xor_bytes(key_byte, bytes, n);
    if (std::fwrite(bytes, 1, n, out) != n)
      throw WriterError("cannot write " + data_path.string());
  };
  if (item.SourcePath.empty()) {
    chunk = item.Contents;
    put(chunk.data(), chunk.size());
    return;
  }
  FilePtr in = open_file(item.SourcePath.string(), "rb");
  if (!in) throw WriterError("cannot open " + item.SourcePath.string());
  chunk.resize(COPY_CHUNK_SIZE);
  for (;;) {
    const std::size_t n = std::fread(chunk.data(), 1, chunk.size(), in.get());
    if (n > 0) put(chunk.data(), n);
    if (n < chunk.size()) break;
  }
  if (std::ferror(in.get()))
    throw WriterError("cannot read " + item.SourcePath.string());
}

void write_all(std::FILE* out, const std::vector<std::uint8_t>& bytes,
               const fs::path& path) {
  if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), out) != bytes.size())
    throw WriterError("cannot write " + path.string());
}

std::vector<std::uint8_t> enciphered(std::vector<std::uint8_t> bytes) {
  xor_all(ContainerKey.data(), bytes.data(), bytes.size());
  return bytes;
}

std::uint32_t size32(std::uint64_t size, const std::string& what) {
  if (size > UINT32_MAX) throw WriterError(what + " is 4 GiB or larger");
  return static_cast<std::uint32_t>(size);
}

}  // namespace

void set_content_key(VIEWER_SETTINGS& settings, std::string_view key) {
  settings.ContentKey.fill('\0');
  const std::size_t n = std::min(key.size(), CONTENT_KEY_FIELD - 1);
  std::memcpy(settings.ContentKey.data(), key.data(), n);
}

std::vector<std::uint8_t> encode_settings(const VIEWER_SETTINGS& s) {
  std::vector<std::uint8_t> block(SETTINGS_BLOCK_SIZE, 0);
  for (const SettingsWord& w : SETTINGS_WORDS) write_le32(block.data() + w.Offset, s.*w.Field);
  for (const SettingsSignedWord& w : SETTINGS_SIGNED_WORDS)
    write_le32(block.data() + w.Offset, static_cast<std::uint32_t>(s.*w.Field));
  for (const SettingsText& t : SETTINGS_TEXTS) put_text(block, t.Offset, t.Width, s.*t.Field);
  std::memcpy(block.data() + SETTINGS_CONTENT_KEY, s.ContentKey.data(), CONTENT_KEY_FIELD);
  return block;
}

std::array<std::uint8_t, TRAILER_SIZE> encode_trailer(const VIEWER_TRAILER& t) {
  std::array<std::uint8_t, TRAILER_SIZE> bytes{};
  const std::uint32_t fields[10] = {t.StubSize,     t.CatalogueSize,  t.ItemCount,
                                    t.LicenceSize,  t.SettingsSize,   t.BackgroundSize,
                                    t.LogoSize,     t.FontSize,       t.Unused,
                                    t.TrailerMagic};
  for (std::size_t i = 0; i < 10; ++i) write_le32(bytes.data() + 4 * i, fields[i]);
  return bytes;
}

void encode_record(std::vector<std::uint8_t>& out, const WriterItem& item,
                   std::uint32_t size, std::string_view data_file,
                   std::uint32_t data_offset) {
  put_le32(out, item.Id);
  put_le32(out, item.ParentId);
  put_le32(out, item.Kind);
  put_le32(out, size);
  put_le32(out, item.Reserved);
  put_le32(out, item.CryptFlags);
  put_le32(out, static_cast<std::uint32_t>(item.Name.size()));
  out.insert(out.end(), item.Name.begin(), item.Name.end());
  if (item.Kind != KIND_FILE) return;
  put_le32(out, static_cast<std::uint32_t>(data_file.size()));
  out.insert(out.end(), data_file.begin(), data_file.end());
  put_le32(out, data_offset);
}

namespace {

// The settings as stored, and the key the contents are enciphered with: a
// CD with a password stores the check block and enciphers with the
// password itself.
VIEWER_SETTINGS stored_settings(const CdDescription& cd, std::string& content_key) {
  VIEWER_SETTINGS settings = cd.Settings;
  if (cd.Password) {
    if (cd.Password->size() > MAX_PASSWORD_LENGTH)
      throw WriterError("the password is longer than 254 characters");
    content_key = *cd.Password;
    const auto block = password_check_block(*cd.Password);
    settings.ContentKey.fill('\0');
    std::memcpy(settings.ContentKey.data(), block.data(), block.size());
  } else {
    content_key = settings.content_key();
  }
  if (cd.AutoFlags) {
    if (cd.Licence) settings.Flags |= FLAG_LICENCE;
    if (!cd.Background.empty()) settings.Flags |= FLAG_BACKGROUND;
    if (!cd.Logo.empty()) settings.Flags |= FLAG_LOGO;
    if (!cd.Font.empty()) settings.TextFlags |= TEXT_CUSTOM_FONT;
    if (cd.Password) settings.Flags |= FLAG_PASSWORD;
  }
  return settings;
}

// Writes the files' contents into numbered data files, starting a new one
// where the next file would pass the limit, and returns the catalogue
// records that point into them.
std::vector<std::uint8_t> write_data_files(const CdDescription& cd, const fs::path& out_dir,
                                           std::uint8_t key_byte, WrittenCd& written) {
  std::vector<std::uint8_t> catalogue;
  FilePtr data;
  fs::path data_path;
  std::string data_name;
  std::uint64_t data_length = 0;
  unsigned data_number = 0;
  auto next_data_file = [&] {
    if (data && !close_checked(data)) throw WriterError("cannot write " + data_path.string());
    ++data_number;
    data_name = format_text(1024, cd.DataFileName.c_str(), data_number);
    data_path = local_path(out_dir, data_name);
    std::error_code error;
    fs::create_directories(data_path.parent_path(), error);
    data = open_file(data_path.string(), "wb");
    if (!data) throw WriterError("cannot create " + data_path.string());
    written.DataFiles.push_back(data_path);
    data_length = 0;
  };
  for (const WriterItem& item : cd.Items) {
    if (item.Kind != KIND_FILE) {
      encode_record(catalogue, item, item.Size.value_or(0), {}, 0);
      continue;
    }
    if (item.DataFile) {
      encode_record(catalogue, item, item.Size.value_or(size32(content_size(item), item.Name)),
                    *item.DataFile, item.DataOffset.value_or(0));
      continue;
    }
    const std::uint32_t size = size32(content_size(item), "file " + item.Name);
    const bool over_limit = cd.MaxDataFile != 0 && data_length + size > cd.MaxDataFile;
    if (!data || (data_length > 0 && (over_limit || data_length + size > UINT32_MAX)))
      next_data_file();
    const std::uint32_t offset = static_cast<std::uint32_t>(data_length);
    write_contents(data.get(), item, key_byte, data_path);
    data_length += size;
    encode_record(catalogue, item, item.Size.value_or(size), data_name,
                  item.DataOffset.value_or(offset));
  }
  if (data && !close_checked(data)) throw WriterError("cannot write " + data_path.string());
  return catalogue;
}

// The program image followed by the container: the enciphered regions in
// their order and the plain trailer.
void write_viewer_file(const CdDescription& cd, const VIEWER_SETTINGS& settings,
                       std::vector<std::uint8_t> catalogue, const fs::path& path,
                       WrittenCd& written) {
  VIEWER_TRAILER trailer;
  trailer.StubSize = size32(cd.Stub.size(), "the program image");
  trailer.CatalogueSize = size32(catalogue.size(), "the catalogue");
  trailer.ItemCount = static_cast<std::uint32_t>(cd.Items.size());
  std::vector<std::uint8_t> licence;
  if (cd.Licence) licence.assign(cd.Licence->begin(), cd.Licence->end());
  trailer.LicenceSize = size32(licence.size(), "the licence");
  std::vector<std::uint8_t> settings_region = encode_settings(settings);
  settings_region.resize(cd.SettingsSize, 0);
  trailer.SettingsSize = cd.SettingsSize;
  trailer.BackgroundSize = size32(cd.Background.size(), "the background");
  trailer.LogoSize = size32(cd.Logo.size(), "the logo");
  trailer.FontSize = size32(cd.Font.size(), "the font");
  trailer.TrailerMagic = TRAILER_MAGIC;

  written.ViewerPath = path;
  written.Trailer = trailer;
  FilePtr viewer = open_file(path.string(), "wb");
  if (!viewer) throw WriterError("cannot create " + path.string());
  write_all(viewer.get(), cd.Stub, path);
  write_all(viewer.get(), enciphered(std::move(catalogue)), path);
  write_all(viewer.get(), enciphered(std::move(licence)), path);
  write_all(viewer.get(), enciphered(std::move(settings_region)), path);
  write_all(viewer.get(), enciphered(cd.Background), path);
  write_all(viewer.get(), enciphered(cd.Logo), path);
  write_all(viewer.get(), enciphered(cd.Font), path);
  const auto trailer_bytes = encode_trailer(trailer);
  write_all(viewer.get(), {trailer_bytes.begin(), trailer_bytes.end()}, path);
  if (!close_checked(viewer)) throw WriterError("cannot write " + path.string());
}

}  // namespace

WrittenCd write_cd(const CdDescription& cd, const fs::path& out_dir) {
  unscramble_stored_values();
  std::error_code error;
  fs::create_directories(out_dir, error);
  if (error) throw WriterError("cannot create " + out_dir.string() + ": " + error.message());
  std::string content_key;
  const VIEWER_SETTINGS settings = stored_settings(cd, content_key);
  WrittenCd written;
  std::vector<std::uint8_t> catalogue =
      write_data_files(cd, out_dir, xor_all_key_byte(content_key.c_str()), written);
  write_viewer_file(cd, settings, std::move(catalogue), out_dir / cd.ViewerName, written);
  return written;
}

namespace {

std::string stored_name(const fs::path& path, std::string_view codepage) {
  const std::string utf8 = path.filename().string();
  auto name = from_utf8(utf8, codepage);
  if (!name)
    throw WriterError("the name " + path.string() + " has characters that code page " +
                      std::string(codepage) + " cannot hold");
  if (name->size() > MAX_NAME_LENGTH)
    throw WriterError("the name " + path.string() + " is longer than 255 bytes");
  return *name;
}

void describe_folder(CdDescription& cd, const fs::path& folder, std::uint32_t folder_id,
                     std::uint32_t& next_id, std::string_view codepage) {
  std::vector<fs::directory_entry> files, folders;
  std::error_code error;
  for (fs::directory_iterator it(folder, error), end; !error && it != end;
       it.increment(error)) {
    const fs::directory_entry& entry = *it;
    if (entry.is_symlink(error)) continue;  // never follow links out of the tree
    if (entry.is_directory(error))
      folders.push_back(entry);
    else if (entry.is_regular_file(error))
      files.push_back(entry);
  }
  if (error) throw WriterError("cannot read " + folder.string() + ": " + error.message());
  auto by_name = [](const fs::directory_entry& a, const fs::directory_entry& b) {
    return a.path().filename().string() < b.path().filename().string();
  };
  std::sort(files.begin(), files.end(), by_name);
  std::sort(folders.begin(), folders.end(), by_name);
  auto add_item = [&](const fs::path& path, std::uint32_t kind) -> WriterItem& {
    WriterItem item;
    item.Id = next_id++;
    item.ParentId = folder_id;
    item.Kind = kind;
    item.Name = stored_name(path, codepage);
    return cd.Items.emplace_back(std::move(item));
  };
  for (const auto& file : files) add_item(file.path(), KIND_FILE).SourcePath = file.path();
  for (const auto& sub : folders) {
    const std::uint32_t id = add_item(sub.path(), KIND_FOLDER).Id;
    describe_folder(cd, sub.path(), id, next_id, codepage);
  }
}

}  // namespace

CdDescription describe_directory(const fs::path& source, std::string_view codepage) {
  std::error_code error;
  if (!fs::is_directory(source, error))
    throw WriterError(source.string() + " is not a directory");
  CdDescription cd;
  WriterItem root;
  root.Id = 1;
  root.ParentId = 0;
  root.Kind = KIND_WHOLE_CD;
  root.CryptFlags = CRYPT_ENCRYPTED;
  const fs::path absolute = fs::absolute(source, error).lexically_normal();
  fs::path named = absolute.has_filename() ? absolute : absolute.parent_path();
  root.Name = named.filename().empty() ? std::string(ROOT_LABEL)
                                       : stored_name(named, codepage);
  cd.Items.push_back(std::move(root));
  std::uint32_t next_id = 2;
  describe_folder(cd, source, 1, next_id, codepage);
  return cd;
}

}  // namespace kelvora
