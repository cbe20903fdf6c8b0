#include "viewer/container/viewer_file.h"

#include <cstdint>
#include <cstring>
#include <exception>
#include <new>

#include "viewer/base/little_endian.h"
#include "viewer/container/ciphers.h"
#include "viewer/base/file_system.h"
#include "viewer/base/path_text.h"
#include "viewer/container/stored_values.h"
#include "viewer/base/message_sink.h"

namespace kelvora {
namespace {

// A text field ends at its first zero byte or at the end of the field.
std::string field_text(const std::uint8_t* field, std::size_t width) {
  const void* zero = std::memchr(field, 0, width);
  std::size_t length =
      zero ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(zero) -
                                      field)
           : width;
  return std::string(reinterpret_cast<const char*>(field), length);
}

std::int32_t read_le32s(const std::uint8_t* p) {
  return static_cast<std::int32_t>(read_le32(p));
}

bool region_in_file(const ViewerFile& viewer, const RegionSpan& span) {
  const std::uint64_t limit = viewer.trailer_offset();
  return span.Offset <= limit && span.Size <= limit - span.Offset;
}

void report_region_past_end(Region region) {
  show_error("Error: (53673225)",
             "Corrupt! - the %s region runs past the end of the viewer file.",
             region_name(region));
}

void report_read_failure() {
  show_error("Error: (522524)", "Cannot read the viewer file. Aborting.");
}

// Offsets are within the viewer file, which may lie inside an image.
bool read_exact(const FileRange& file, std::uint64_t offset, void* buffer,
                std::size_t count) {
  return offset <= file.Length && count <= file.Length - offset &&
         seek_to(file.File.get(), file.Start + offset) &&
         std::fread(buffer, 1, count, file.File.get()) == count;
}

std::vector<std::string> names_of(std::uint32_t flags, std::span<const FlagName> table,
                                   const char* unnamed_format) {
  std::vector<std::string> names;
  for (int bit = 0; bit < 32; ++bit) {
    const std::uint32_t value = 1u << bit;
    if (!(flags & value)) continue;
    const char* name = nullptr;
    for (const FlagName& entry : table)
      if (entry.Bit == value) name = entry.Name;
    names.push_back(name ? name : format_text(32, unnamed_format, value));
  }
  return names;
}

}  // namespace

std::vector<std::string> flag_names(std::uint32_t flags) {
  return names_of(flags, FLAG_NAMES, "bit-0x%08x");
}

std::vector<std::string> text_flag_names(std::uint32_t text_flags) {
  return names_of(text_flags, TEXT_FLAG_NAMES, "bit-0x%02x");
}

VIEWER_TRAILER decode_trailer(std::span<const std::uint8_t, TRAILER_SIZE> b) {
  VIEWER_TRAILER t;
  t.StubSize = read_le32(&b[0]);
  t.CatalogueSize = read_le32(&b[4]);
  t.ItemCount = read_le32(&b[8]);
  t.LicenceSize = read_le32(&b[12]);
  t.SettingsSize = read_le32(&b[16]);
  t.BackgroundSize = read_le32(&b[20]);
  t.LogoSize = read_le32(&b[24]);
  t.FontSize = read_le32(&b[28]);
  t.Unused = read_le32(&b[32]);
  t.TrailerMagic = read_le32(&b[36]);
  return t;
}

VIEWER_SETTINGS decode_settings(
    std::span<const std::uint8_t, SETTINGS_BLOCK_SIZE> block) {
  const std::uint8_t* b = block.data();
  VIEWER_SETTINGS s;
  for (const SettingsWord& w : SETTINGS_WORDS) s.*w.Field = read_le32(b + w.Offset);
  for (const SettingsSignedWord& w : SETTINGS_SIGNED_WORDS)
    s.*w.Field = read_le32s(b + w.Offset);
  for (const SettingsText& t : SETTINGS_TEXTS) s.*t.Field = field_text(b + t.Offset, t.Width);
  std::memcpy(s.FontFileField.data(), b + SETTINGS_FONT_FILE, SETTINGS_NAME_FIELD);
  std::memcpy(s.ContentKey.data(), b + SETTINGS_CONTENT_KEY, CONTENT_KEY_FIELD);
  s.ContentKey[CONTENT_KEY_FIELD] = '\0';
  return s;
}

const char* region_name(Region region) {
  switch (region) {
    case Region::Catalogue: return "catalogue";
    case Region::Licence: return "licence";
    case Region::Settings: return "settings";
    case Region::Background: return "background picture";
    case Region::Logo: return "logo picture";
    case Region::Font: return "font";
  }
  return "unknown";
}

RegionSpan region_span(const VIEWER_TRAILER& t, Region region) {
  // Each offset adds the sizes of every region before it, used or not.
  const std::uint64_t catalogue = t.StubSize;
  const std::uint64_t licence = catalogue + t.CatalogueSize;
  const std::uint64_t settings = licence + t.LicenceSize;
  const std::uint64_t background = settings + t.SettingsSize;
  const std::uint64_t logo = background + t.BackgroundSize;
  const std::uint64_t font = logo + t.LogoSize;
  switch (region) {
    case Region::Catalogue: return {catalogue, t.CatalogueSize};
    case Region::Licence: return {licence, t.LicenceSize};
    // Only the settings block proper is read, whatever SettingsSize says.
    case Region::Settings: return {settings, SETTINGS_BLOCK_SIZE};
    case Region::Background: return {background, t.BackgroundSize};
    case Region::Logo: return {logo, t.LogoSize};
    case Region::Font: return {font, t.FontSize};
  }
  return {};
}

namespace {

// Finds and decodes the trailer at the end of the file, and checks that the
// regions every CD uses lie before it.
bool load_trailer(const FileRange& file, ViewerFile& out) {
  // A file too short to hold a trailer cannot carry the magic either.
  const std::int64_t length = static_cast<std::int64_t>(file.Length);
  std::array<std::uint8_t, TRAILER_SIZE> trailer_bytes{};
  if (length < static_cast<std::int64_t>(TRAILER_SIZE) ||
      !read_exact(file, static_cast<std::uint64_t>(length) - TRAILER_SIZE,
                  trailer_bytes.data(), TRAILER_SIZE) ||
      read_le32(&trailer_bytes[36]) != TRAILER_MAGIC) {
    show_error("Error: (53673224)", "Corrupt! - re-build your Kelvora.");
    return false;
  }
  out.FileLength = static_cast<std::uint64_t>(length);
  out.Trailer = decode_trailer(trailer_bytes);
  for (Region region : {Region::Catalogue, Region::Settings}) {
    if (!region_in_file(out, region_span(out.Trailer, region))) {
      report_region_past_end(region);
      return false;
    }
  }
  return true;
}

// Deciphers the settings block, then checks the optional regions that its
// flags ask for.
bool load_settings(const FileRange& file, ViewerFile& out) {
  std::array<std::uint8_t, SETTINGS_BUFFER_SIZE> settings{};
  if (!read_exact(file, region_span(out.Trailer, Region::Settings).Offset, settings.data(),
                  SETTINGS_BLOCK_SIZE)) {
    report_read_failure();
    return false;
  }
  xor_all(ContainerKey.data(), settings.data(), SETTINGS_BLOCK_SIZE);
  out.Settings = decode_settings(
      std::span<const std::uint8_t, SETTINGS_BLOCK_SIZE>(settings.data(), SETTINGS_BLOCK_SIZE));
  const struct {
    bool used;
    Region region;
  } optional_regions[] = {
      {(out.Settings.Flags & FLAG_LICENCE) != 0, Region::Licence},
      {(out.Settings.Flags & FLAG_BACKGROUND) != 0, Region::Background},
      {(out.Settings.Flags & FLAG_LOGO) != 0, Region::Logo},
      {(out.Settings.TextFlags & TEXT_CUSTOM_FONT) != 0, Region::Font},
  };
  for (const auto& entry : optional_regions) {
    if (entry.used && !region_in_file(out, region_span(out.Trailer, entry.region))) {
      report_region_past_end(entry.region);
      return false;
    }
  }
  return true;
}

// Deciphers the licence text into a zeroed buffer with a margin, so that
// the text is terminated whatever it holds.
bool load_licence(const FileRange& file, ViewerFile& out) {
  const RegionSpan span = region_span(out.Trailer, Region::Licence);
  std::vector<std::uint8_t> text;
  try {
    // In a 32-bit build a size near 4 GiB would wrap round to a small buffer.
    if (span.Size > SIZE_MAX - 50) throw std::bad_alloc();
    text.assign(static_cast<std::size_t>(span.Size) + 50, 0);
  } catch (const std::exception&) {  // no memory, or more than a vector holds
    show_error("Error: (135235)", "Cannot Allocate EULA.");
    return false;
  }
  if (!read_exact(file, span.Offset, text.data(), static_cast<std::size_t>(span.Size))) {
    report_read_failure();
    return false;
  }
  xor_all(ContainerKey.data(), text.data(), static_cast<std::size_t>(span.Size));
  out.LicenceText = std::string(reinterpret_cast<const char*>(text.data()));
  return true;
}

}  // namespace

FileRange open_viewer_range(const ViewerFile& viewer) {
  if (viewer.Files) return viewer.Files->open(viewer.ViewerPath);
  FileRange range;
  range.File = open_file(viewer.ViewerPath, "rb");
  const std::int64_t length = range ? file_length(range.File.get()) : -1;
  if (length < 0) return FileRange{};
  range.Length = static_cast<std::uint64_t>(length);
  return range;
}

std::string shown_viewer_path(const ViewerFile& viewer) {
  return viewer.Files ? viewer.Files->shown_name(viewer.ViewerPath) : viewer.ViewerPath;
}

bool load_viewer_file(std::shared_ptr<const CdFiles> files, const std::string& path,
                      ViewerFile& out) {
  out = ViewerFile{};
  out.ViewerPath = path;
  out.Files = std::move(files);
  const FileRange file = open_viewer_range(out);
  if (!file) {
    show_error("Error: (522523)", "Cannot open viewer file for reading. Aborting.");
    return false;
  }
  if (!load_trailer(file, out) || !load_settings(file, out)) return false;
  return !(out.Settings.Flags & FLAG_LICENCE) || load_licence(file, out);
}

bool load_viewer_file(const std::string& path, ViewerFile& out) {
  return load_viewer_file(nullptr, path, out);
}

bool read_region(const ViewerFile& viewer, Region region,
                 std::vector<std::uint8_t>& out) {
  const RegionSpan span = region_span(viewer.Trailer, region);
  if (!region_in_file(viewer, span)) {
    report_region_past_end(region);
    return false;
  }
  const FileRange file = open_viewer_range(viewer);
  if (!file) {
    if (region == Region::Catalogue)
      show_error("Error: 14301", "Cannot open viewer file to decrypt tree items...");
    else
      show_error("Error: (522523)", "Cannot open viewer file for reading. Aborting.");
    return false;
  }
  try {
    out.assign(static_cast<std::size_t>(span.Size), 0);
  } catch (const std::exception&) {
    // Out of memory, or (in a 32-bit build) more than a vector can hold.
    if (region == Region::Catalogue)
      show_error("Error: 14302", "Cannot allocate viewer tree items...");
    else if (region == Region::Font)
      show_error("Error: (135235)", "Cannot Allocate Custom Font.");
    else
      show_error("Error: (135235)", "Cannot allocate the %s.", region_name(region));
    return false;
  }
  if (!read_exact(file, span.Offset, out.data(), out.size())) {
    report_read_failure();
    return false;
  }
  xor_all(ContainerKey.data(), out.data(), out.size());
  return true;
}

RegionWrite decipher_region_to_file(const ViewerFile& viewer, Region region,
                                    const std::string& destination) {
  const RegionSpan span = region_span(viewer.Trailer, region);
  if (!region_in_file(viewer, span)) {
    report_region_past_end(region);
    return RegionWrite::Failed;
  }
  const FileRange source = open_viewer_range(viewer);
  if (!source) {
    show_error("Error: (522523)",
               "Cannot open viewer file for reading. Aborting.");
    return RegionWrite::Failed;
  }
  if (!seek_to(source.File.get(), source.Start + span.Offset)) {
    report_read_failure();
    return RegionWrite::Failed;
  }
  FilePtr target = open_file(destination, "wb");
  if (!target) return RegionWrite::CannotCreate;
  // Region sizes are 32-bit trailer fields, so one copy covers any region.
  const int copied = copy_decrypt(ContainerKey.data(), target.get(), source.File.get(),
                                  static_cast<std::uint32_t>(span.Size));
  const bool closed = close_checked(target);
  // A copy that fails has said so itself (it runs out of memory) or fails
  // silently (a short read or write): the picture is then not drawn and
  // start-up goes on, so no second box may claim that it ends.
  return copied && closed ? RegionWrite::Written : RegionWrite::Failed;
}

}  // namespace kelvora
