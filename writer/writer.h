// The CD writer: builds a viewer file (program image, catalogue, licence,
// settings, pictures, font, trailer) and the data files beside it, from an
// in-memory description or from a directory tree.  Tests use it to build odd
// catalogues; the command-line tool's build command uses it for real CDs.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "viewer/catalogue/catalogue.h"
#include "viewer/container/viewer_file.h"

namespace kelvora {

// Thrown when a CD cannot be written (a source unreadable, a target not
// writable, a name or size the format cannot hold).
struct WriterError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// One catalogue record and, for a file, where its contents come from.
struct WriterItem {
  std::uint32_t Id = 0;
  std::uint32_t ParentId = 0;
  std::uint32_t Kind = KIND_FILE;
  std::uint32_t Reserved = 0;
  std::uint32_t CryptFlags = CRYPT_ENCRYPTED;
  std::string Name;  // stored bytes, in the CD's code page; any length

  // A file's contents: Contents, or streamed from SourcePath when it is set.
  std::vector<std::uint8_t> Contents;
  std::filesystem::path SourcePath;

  // Overrides for odd catalogues.  With DataFile set the record names that
  // place and nothing is written for it; Size replaces the stored size.
  std::optional<std::string> DataFile;
  std::optional<std::uint32_t> DataOffset;
  std::optional<std::uint32_t> Size;
};

struct CdDescription {
  std::vector<std::uint8_t> Stub;  // the program image; empty allowed
  std::vector<WriterItem> Items;   // catalogue order
  std::optional<std::string> Licence;
  VIEWER_SETTINGS Settings;        // every field settable
  std::vector<std::uint8_t> Background;
  std::vector<std::uint8_t> Logo;
  std::vector<std::uint8_t> Font;
  // With a password the check block goes into ContentKey and the contents
  // are enciphered with the password; without, with Settings.ContentKey
  // (empty: stored in plain).
  std::optional<std::string> Password;
  // Set the presence bits (licence, background, logo, font, password) from
  // what is given; off to build contradictory CDs.
  bool AutoFlags = true;
  // A new data file starts when the next file would pass this many bytes
  // (0: only the 4 GiB limit of a 32-bit offset).
  std::uint64_t MaxDataFile = 0;
  // Name of data file n (from 1), printf-style; a backslash makes a
  // sub-directory beside the viewer file.
  std::string DataFileName = "KELVORA%u.DAT";
  std::uint32_t SettingsSize = static_cast<std::uint32_t>(SETTINGS_BLOCK_SIZE);
  std::string ViewerName = "viewer.exe";
};

struct WrittenCd {
  std::filesystem::path ViewerPath;
  std::vector<std::filesystem::path> DataFiles;
  VIEWER_TRAILER Trailer;
};

// Writes the viewer file and its data files into out_dir (created when
// missing).  Throws WriterError.
WrittenCd write_cd(const CdDescription& cd, const std::filesystem::path& out_dir);

// The encoded blocks, before enciphering.
std::vector<std::uint8_t> encode_settings(const VIEWER_SETTINGS& settings);
std::array<std::uint8_t, TRAILER_SIZE> encode_trailer(const VIEWER_TRAILER& trailer);
void encode_record(std::vector<std::uint8_t>& out, const WriterItem& item,
                   std::uint32_t size, std::string_view data_file,
                   std::uint32_t data_offset);

// Describes a directory tree: a CD root (Id 1), then for each folder its
// files and then its sub-folders, by name, every file with its SourcePath.
// Names are converted from UTF-8 to codepage.  Throws WriterError.
CdDescription describe_directory(const std::filesystem::path& source,
                                 std::string_view codepage = "windows-1252");

// Sets a fixed text field of the settings, for callers that build settings
// by hand (ContentKey takes at most 254 characters).
void set_content_key(VIEWER_SETTINGS& settings, std::string_view key);

}  // namespace kelvora
