#include "viewer/container/iso_image.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>

#include "viewer/base/codepage.h"
#include "viewer/base/little_endian.h"

namespace kelvora {
namespace {

// The volume descriptors start at sector 16; a real image has a handful.
constexpr std::uint64_t FIRST_DESCRIPTOR = 16;
constexpr int MAX_DESCRIPTORS = 64;
// A directory record: 33 fixed bytes and at least one of name.
constexpr std::size_t RECORD_FIXED = 33;
// Rock Ridge continuation areas: each within one sector, a few per record.
constexpr int MAX_CONTINUATIONS = 8;

// Directory record flags.
constexpr std::uint8_t RECORD_DIRECTORY = 0x02;
constexpr std::uint8_t RECORD_ASSOCIATED = 0x04;
constexpr std::uint8_t RECORD_MULTI_EXTENT = 0x80;

// File types of a Rock Ridge PX mode.
constexpr std::uint32_t MODE_TYPE = 0170000;
constexpr std::uint32_t MODE_DIRECTORY = 0040000;
constexpr std::uint32_t MODE_REGULAR = 0100000;

constexpr const char* SEVERAL_EXTENTS =
    "it is recorded in several extents (a file of 4 GiB or more), which this reader does "
    "not read";
constexpr const char* INTERLEAVED = "it is recorded interleaved, which this reader does not read";
constexpr const char* PAST_END = "it reaches past the end of the image";

std::uint32_t le16(const std::uint8_t* p) { return p[0] | (std::uint32_t{p[1]} << 8); }

bool read_at(std::FILE* file, std::uint64_t offset, void* buffer, std::size_t count) {
  return seek_to(file, offset) && std::fread(buffer, 1, count, file) == count;
}

bool fits(std::uint64_t start, std::uint64_t length, std::uint64_t size) {
  return start <= size && length <= size - start;
}


// A Joliet name: UCS-2 big-endian, surrogate pairs taken as such (some
// writers store UTF-16), a lone surrogate as U+FFFD.
std::string utf8_of_ucs2(const std::uint8_t* p, std::size_t count) {
  std::string out;
  for (std::size_t i = 0; i + 1 < count; i += 2) {
    std::uint32_t c = (std::uint32_t{p[i]} << 8) | p[i + 1];
    if (c >= 0xD800 && c < 0xDC00 && i + 3 < count) {
      const std::uint32_t low = (std::uint32_t{p[i + 2]} << 8) | p[i + 3];
      if (low >= 0xDC00 && low < 0xE000) {
        c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
        i += 2;
      } else {
        c = 0xFFFD;
      }
    } else if (c >= 0xD800 && c < 0xE000) {
      c = 0xFFFD;
    }
    append_utf8(out, static_cast<char32_t>(c));
  }
  return out;
}

// A primary or Joliet name without its version (";1") and without the dot
// that ends a name with no extension ("README.").
std::string without_version(std::string name) {
  const std::size_t semi = name.rfind(';');
  if (semi != std::string::npos && semi + 1 < name.size() &&
      std::all_of(name.begin() + static_cast<std::ptrdiff_t>(semi) + 1, name.end(),
                  [](char c) { return c >= '0' && c <= '9'; }))
    name.resize(semi);
  if (name.size() > 1 && name.back() == '.' && name != "..") name.pop_back();
  return name;
}

// Whether a name read from an image can stand as one piece of a path.
bool usable_name(const std::string& name) {
  return !name.empty() && name != "." && name != ".." &&
         name.find_first_of(std::string("/\\\0", 3)) == std::string::npos;
}

bool iequal_ascii(const std::string& a, const std::string& b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char l, char r) {
           return std::toupper(static_cast<unsigned char>(l)) ==
                  std::toupper(static_cast<unsigned char>(r));
         });
}

// The entry named piece: the exact name, else the same letters in another
// case.
const IsoEntry* match(const std::vector<IsoEntry>& entries, const std::string& piece) {
  for (const IsoEntry& e : entries)
    if (e.Name == piece) return &e;
  for (const IsoEntry& e : entries)
    if (iequal_ascii(e.Name, piece)) return &e;
  return nullptr;
}

// A path's pieces; false when one of them would climb out of the root.
bool split_pieces(const std::string& path, std::vector<std::string>& pieces) {
  std::string piece;
  const auto take = [&] {
    if (piece == "..") return false;
    if (!piece.empty() && piece != ".") pieces.push_back(piece);
    piece.clear();
    return true;
  };
  for (char c : path) {
    if (c == '/' || c == '\\') {
      if (!take()) return false;
    } else {
      piece += c;
    }
  }
  return take();
}

// What the Rock Ridge entries of one record say.
struct RockRidge {
  std::string Name;
  bool HasName = false;
  bool HasMode = false;
  std::uint32_t Mode = 0;
  bool HasChildLink = false;
  std::uint32_t ChildLink = 0;  // CL: the block of a relocated directory
  bool Relocated = false;       // RE: shown where its CL entry is instead
};

// Reads the System Use entries of a record, following continuation areas
// (CE) a bounded number of times and only inside the image.
void parse_rock_ridge(std::FILE* image, std::uint64_t image_size, const std::uint8_t* area,
                      std::size_t size, RockRidge& rr) {
  std::vector<std::uint8_t> continuation;
  bool name_complete = false;
  for (int hop = 0;; ++hop) {
    bool more = false;
    std::uint64_t next_at = 0;
    std::uint64_t next_length = 0;
    for (std::size_t at = 0; at + 4 <= size;) {
      const std::uint8_t* e = area + at;
      const std::size_t length = e[2];
      if (length < 4 || length > size - at) break;
      const auto is = [e](const char* sig) { return e[0] == sig[0] && e[1] == sig[1]; };
      if (is("ST")) break;
      if (is("NM") && length >= 5) {
        // Flags 2 and 4 name "." and ".."; flag 1 says the name goes on.
        if (!(e[4] & 0x06) && !name_complete) {
          rr.Name.append(reinterpret_cast<const char*>(e + 5), length - 5);
          rr.HasName = true;
          if (!(e[4] & 0x01)) name_complete = true;
        }
      } else if (is("PX") && length >= 12) {
        rr.HasMode = true;
        rr.Mode = read_le32(e + 4);
      } else if (is("CL") && length >= 12) {
        rr.HasChildLink = true;
        rr.ChildLink = read_le32(e + 4);
      } else if (is("RE")) {
        rr.Relocated = true;
      } else if (is("CE") && length >= 28) {
        more = true;
        next_at = std::uint64_t{read_le32(e + 4)} * ISO_SECTOR + read_le32(e + 12);
        next_length = read_le32(e + 20);
      }
      at += length;
    }
    if (!more || hop >= MAX_CONTINUATIONS || next_length == 0 || next_length > ISO_SECTOR ||
        !fits(next_at, next_length, image_size))
      return;
    continuation.resize(static_cast<std::size_t>(next_length));
    if (!read_at(image, next_at, continuation.data(), continuation.size())) return;
    area = continuation.data();
    size = continuation.size();
  }
}

}  // namespace

bool is_disc_image(const std::string& path) {
  if (!is_regular_file(path)) return false;
  FilePtr file = open_file(path, "rb");
  char id[6] = {};
  if (!file || !read_at(file.get(), FIRST_DESCRIPTOR * ISO_SECTOR, id, sizeof id)) return false;
  for (const char* known : {"CD001", "BEA01", "NSR02", "NSR03"})
    if (std::memcmp(id + 1, known, 5) == 0) return true;
  return false;
}

std::string IsoImage::load(const std::string& path) {
  path_ = path;
  FilePtr image = open_file(path, "rb");
  if (!image) return "it cannot be opened";
  const std::int64_t length = file_length(image.get());
  if (length < 0) return "its length cannot be told";
  size_ = static_cast<std::uint64_t>(length);

  std::optional<Directory> primary;
  std::optional<Directory> joliet;
  bool udf = false;
  const auto root_of = [](const std::uint8_t* d) {
    const std::uint8_t* r = d + 156;
    return Directory{(std::uint64_t{read_le32(r + 2)} + r[1]) * ISO_SECTOR, read_le32(r + 10)};
  };
  for (int i = 0; i < MAX_DESCRIPTORS; ++i) {
    std::array<std::uint8_t, ISO_SECTOR> d{};
    if (!read_at(image.get(), (FIRST_DESCRIPTOR + i) * ISO_SECTOR, d.data(), d.size())) break;
    if (std::memcmp(d.data() + 1, "CD001", 5) != 0) {
      // The volume recognition sequence of UDF: go on past its markers.
      const char* id = reinterpret_cast<const char*>(d.data() + 1);
      if (std::memcmp(id, "NSR02", 5) == 0 || std::memcmp(id, "NSR03", 5) == 0) udf = true;
      if (udf || std::memcmp(id, "BEA01", 5) == 0 || std::memcmp(id, "TEA01", 5) == 0 ||
          std::memcmp(id, "BOOT2", 5) == 0)
        continue;
      break;
    }
    if (d[0] == 255) break;
    const bool joliet_escape = d[88] == '%' && d[89] == '/' &&
                               (d[90] == '@' || d[90] == 'C' || d[90] == 'E');
    if ((d[0] == 1 && !primary) || (d[0] == 2 && joliet_escape && !joliet)) {
      const std::uint32_t block = le16(d.data() + 128);
      if (block != ISO_SECTOR)
        return "its logical blocks are " + std::to_string(block) +
               " bytes long; only images of 2048-byte blocks are read";
      (d[0] == 1 ? primary : joliet) = root_of(d.data());
    }
  }
  if (!primary)
    return udf ? "it holds a UDF file system only, which this reader does not read (it reads "
                 "ISO 9660 images)"
               : "it is not an ISO 9660 image";

  names_ = IsoNames::Primary;
  root_ = *primary;
  // Rock Ridge starts with an SP entry in the root's own record ("."),
  // which also says how many bytes precede every record's entries.
  std::array<std::uint8_t, 64> first{};
  if (fits(root_.Start, first.size(), size_) &&
      read_at(image.get(), root_.Start, first.data(), first.size()) &&
      first[0] >= RECORD_FIXED + 1 + 7 && first[32] == 1) {
    const std::uint8_t* sp = first.data() + RECORD_FIXED + 1;
    if (sp[0] == 'S' && sp[1] == 'P' && sp[2] >= 7 && sp[4] == 0xBE && sp[5] == 0xEF) {
      names_ = IsoNames::RockRidge;
      susp_skip_ = sp[6];
    }
  }
  if (names_ == IsoNames::Primary && joliet) {
    names_ = IsoNames::Joliet;
    root_ = *joliet;
  }
  std::string why;
  if (!read_directory(image.get(), root_, why)) return why;
  return {};
}

std::optional<std::vector<IsoEntry>> IsoImage::read_directory(std::FILE* image,
                                                              const Directory& dir,
                                                              std::string& why) const {
  if (dir.Length > MAX_ISO_DIRECTORY) {
    why = "a directory of the image is larger than 32 MiB";
    return std::nullopt;
  }
  if (!fits(dir.Start, dir.Length, size_)) {
    why = "a directory of the image reaches past its end";
    return std::nullopt;
  }
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(dir.Length));
  if (!bytes.empty() && !read_at(image, dir.Start, bytes.data(), bytes.size())) {
    why = "a directory of the image cannot be read";
    return std::nullopt;
  }
  std::vector<IsoEntry> entries;
  // The name of a file in several extents whose next section is due.
  std::optional<std::string> continuing;
  for (std::size_t at = 0; at < bytes.size();) {
    // Records never cross a sector; a zero length pads to the next one.
    constexpr std::size_t sector = ISO_SECTOR;
    const std::size_t sector_end = std::min(bytes.size(), (at / sector + 1) * sector);
    const std::size_t length = bytes[at];
    if (length == 0) {
      at = sector_end;
      continue;
    }
    const std::uint8_t* r = bytes.data() + at;
    if (length < RECORD_FIXED + 1 || length > sector_end - at ||
        RECORD_FIXED + r[32] > length) {
      why = "a directory record of the image is damaged";
      return std::nullopt;
    }
    at += length;
    const std::size_t name_length = r[32];
    const std::uint8_t flags = r[25];
    if (flags & RECORD_ASSOCIATED) continue;
    if (name_length == 1 && (r[33] == 0 || r[33] == 1)) continue;  // "." and ".."

    IsoEntry e;
    e.Kind = (flags & RECORD_DIRECTORY) ? IsoKind::Directory : IsoKind::File;
    e.Start = (std::uint64_t{read_le32(r + 2)} + r[1]) * ISO_SECTOR;
    e.Length = read_le32(r + 10);
    const std::uint8_t* name = r + RECORD_FIXED;
    e.Name = names_ == IsoNames::Joliet
                 ? without_version(utf8_of_ucs2(name, name_length))
                 : without_version(std::string(reinterpret_cast<const char*>(name), name_length));
    if (names_ == IsoNames::RockRidge) {
      const std::size_t su = RECORD_FIXED + name_length + (name_length % 2 == 0 ? 1 : 0) +
                             susp_skip_;
      RockRidge rr;
      if (su < length) parse_rock_ridge(image, size_, r + su, length - su, rr);
      if (rr.Relocated) continue;
      if (rr.HasName) e.Name = rr.Name;
      if (rr.HasChildLink) {
        // A deep directory moved elsewhere: its length is in its own "."
        // record.
        e.Kind = IsoKind::Directory;
        e.Start = std::uint64_t{rr.ChildLink} * ISO_SECTOR;
        std::array<std::uint8_t, RECORD_FIXED + 1> dot{};
        e.Length = fits(e.Start, dot.size(), size_) &&
                           read_at(image, e.Start, dot.data(), dot.size())
                       ? read_le32(dot.data() + 10)
                       : 0;
      } else if (rr.HasMode) {
        const std::uint32_t type = rr.Mode & MODE_TYPE;
        const std::uint32_t expected =
            e.Kind == IsoKind::Directory ? MODE_DIRECTORY : MODE_REGULAR;
        if (type != expected) e.Kind = IsoKind::Other;
      }
    }
    // The further sections of a file in several extents follow it under
    // the same name: the file is listed once, and refused when opened.
    const bool further = continuing && *continuing == e.Name;
    if (flags & RECORD_MULTI_EXTENT)
      continuing = e.Name;
    else
      continuing.reset();
    if (further || !usable_name(e.Name)) continue;
    if (e.Kind == IsoKind::File) {
      if (continuing)
        e.Refusal = SEVERAL_EXTENTS;
      else if (r[26] != 0 || r[27] != 0)
        e.Refusal = INTERLEAVED;
      else if (!fits(e.Start, e.Length, size_))
        e.Refusal = PAST_END;
    }
    entries.push_back(std::move(e));
  }
  return entries;
}

std::optional<IsoImage::Directory> IsoImage::walk(std::FILE* image,
                                                  const std::vector<std::string>& pieces,
                                                  std::string& why) const {
  if (pieces.size() > MAX_ISO_DEPTH) {
    why = "the path is deeper than " + std::to_string(MAX_ISO_DEPTH) + " folders";
    return std::nullopt;
  }
  Directory dir = root_;
  std::vector<std::uint64_t> chain{root_.Start};
  for (const std::string& piece : pieces) {
    const auto entries = read_directory(image, dir, why);
    if (!entries) return std::nullopt;
    const IsoEntry* found = match(*entries, piece);
    if (!found || found->Kind != IsoKind::Directory) {
      why = "the image has no folder " + piece;
      return std::nullopt;
    }
    if (std::find(chain.begin(), chain.end(), found->Start) != chain.end()) {
      why = "the image's folders form a loop at " + piece;
      return std::nullopt;
    }
    chain.push_back(found->Start);
    dir = Directory{found->Start, found->Length};
  }
  return dir;
}

std::optional<std::vector<IsoEntry>> IsoImage::list(const std::string& directory,
                                                    std::string* why) const {
  std::string reason;
  std::vector<std::string> pieces;
  FilePtr image = open_file(path_, "rb");
  std::optional<std::vector<IsoEntry>> entries;
  if (!image) {
    reason = "the image cannot be opened";
  } else if (!split_pieces(directory, pieces)) {
    reason = "the path leaves the image";
  } else if (const auto dir = walk(image.get(), pieces, reason)) {
    entries = read_directory(image.get(), *dir, reason);
  }
  if (!entries && why) *why = reason;
  return entries;
}

std::optional<IsoEntry> IsoImage::find(const std::string& path, std::string* why) const {
  std::vector<std::string> pieces;
  std::string reason = "the path leaves the image";
  if (split_pieces(path, pieces)) {
    if (pieces.empty()) return IsoEntry{"", IsoKind::Directory, root_.Start, root_.Length, {}};
    const std::string last = pieces.back();
    pieces.pop_back();
    std::string folder;
    for (const std::string& p : pieces) folder += p + "/";
    if (const auto entries = list(folder, &reason)) {
      if (const IsoEntry* found = match(*entries, last)) return *found;
      reason = "the image has no file " + path;
    }
  }
  if (why) *why = reason;
  return std::nullopt;
}

FileRange IsoImage::open_entry(const IsoEntry& entry, std::string* why) const {
  std::string reason;
  if (entry.Kind != IsoKind::File)
    reason = entry.Name + " is not a regular file of the image";
  else if (!entry.Refusal.empty())
    reason = entry.Name + ": " + entry.Refusal;
  FileRange range;
  if (reason.empty()) {
    range.File = open_file(path_, "rb");
    range.Start = entry.Start;
    range.Length = entry.Length;
    if (!range.File) reason = "the image cannot be opened";
  }
  if (!range && why) *why = reason;
  return range;
}

FileRange IsoImage::open(const std::string& path, std::string* why) const {
  const std::optional<IsoEntry> entry = find(path, why);
  return entry ? open_entry(*entry, why) : FileRange{};
}

std::string IsoImage::shown_name(const std::string& path) const { return path_ + ", " + path; }

}  // namespace kelvora
