// The viewer file: the container appended to the viewer program.
//
//   offset 0              program image             StubSize bytes, plain
//   StubSize              catalogue                 CatalogueSize, xor_all
//   + CatalogueSize       licence text              LicenceSize, xor_all
//   + LicenceSize         settings (VIEWER_SETTINGS) SettingsSize, xor_all
//   + SettingsSize        background picture        BackgroundSize, xor_all
//   + BackgroundSize      logo picture              LogoSize, xor_all
//   + LogoSize            custom font               FontSize, xor_all
//   file length - 40      trailer (VIEWER_TRAILER)  40 bytes, plain
//
// Every region starts where the one before it ends, used or not, and every
// key is ContainerKey.  Records are decoded field by field from little-endian
// bytes, never by laying a struct over the buffer.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "viewer/container/cd_files.h"

namespace kelvora {

constexpr std::uint32_t TRAILER_MAGIC = 7654322;  // 0x0074CBB2
constexpr std::size_t TRAILER_SIZE = 40;
constexpr std::size_t SETTINGS_BLOCK_SIZE = 4636;   // bytes read and deciphered
constexpr std::size_t SETTINGS_BUFFER_SIZE = 4640;  // zeroed buffer around them
constexpr std::size_t VIEWER_PATH_CAPACITY = 255;   // terminator included

// Flags bits of VIEWER_SETTINGS.  Bits not named have no meaning.
enum : std::uint32_t {
  FLAG_BACKGROUND = 0x00000001,           // background picture present
  FLAG_BACKGROUND_TILED = 0x00000002,     // tiled over the screen
  FLAG_BACKGROUND_QUARTERS = 0x00000004,  // stretched into each quarter
  FLAG_BACKGROUND_TOP_LEFT = 0x00000010,  // natural size, top-left
  FLAG_BACKGROUND_TOP = 0x00000020,       // natural size, top, centred across
  FLAG_BACKGROUND_BOTTOM_LEFT = 0x00000040,
  FLAG_BACKGROUND_BOTTOM = 0x00000080,    // bottom edge, centred across
  FLAG_BACKGROUND_CENTRED = 0x00000100,
  FLAG_LOGO = 0x00000200,                 // logo picture present
  FLAG_LOGO_TOP_LEFT = 0x00000400,
  FLAG_LOGO_TOP = 0x00000800,
  FLAG_LOGO_BOTTOM_LEFT = 0x00001000,
  FLAG_LOGO_BOTTOM = 0x00002000,
  FLAG_LOGO_CENTRED = 0x00004000,
  FLAG_LOGO_AT_XY = 0x00008000,           // at (LogoX, LogoY)
  FLAG_LOGO_TRANSPARENT = 0x00010000,     // LogoKeyColour drawn transparent
  FLAG_TEXT = 0x00020000,                 // start-screen text shown
  FLAG_TEXT_SHADOW = 0x00040000,          // text drawn with a shadow
  FLAG_NO_EXPORT = 0x00400000,            // export menu greyed, command ignored
  FLAG_CLEAR_RECENT = 0x00800000,         // clear recent documents at exit
  FLAG_PASSWORD = 0x01000000,             // ask for the password
  FLAG_LICENCE = 0x02000000,              // licence text present
};

// TextFlags bits.  With none of 0x02 to 0x20 the text starts at (TextX, TextY).
enum : std::uint32_t {
  TEXT_TOP_LEFT = 0x02,
  TEXT_TOP = 0x04,
  TEXT_BOTTOM_LEFT = 0x08,
  TEXT_BOTTOM = 0x10,
  TEXT_CENTRED = 0x20,
  TEXT_CUSTOM_FONT = 0x40,  // install the font and draw in FontFace
};

// The name of each bit, for reports and options: the one table of them.
struct FlagName {
  std::uint32_t Bit;
  const char* Name;
};
inline constexpr FlagName FLAG_NAMES[] = {
    {FLAG_BACKGROUND, "background"},
    {FLAG_BACKGROUND_TILED, "background-tiled"},
    {FLAG_BACKGROUND_QUARTERS, "background-quarters"},
    {FLAG_BACKGROUND_TOP_LEFT, "background-top-left"},
    {FLAG_BACKGROUND_TOP, "background-top"},
    {FLAG_BACKGROUND_BOTTOM_LEFT, "background-bottom-left"},
    {FLAG_BACKGROUND_BOTTOM, "background-bottom"},
    {FLAG_BACKGROUND_CENTRED, "background-centred"},
    {FLAG_LOGO, "logo"},
    {FLAG_LOGO_TOP_LEFT, "logo-top-left"},
    {FLAG_LOGO_TOP, "logo-top"},
    {FLAG_LOGO_BOTTOM_LEFT, "logo-bottom-left"},
    {FLAG_LOGO_BOTTOM, "logo-bottom"},
    {FLAG_LOGO_CENTRED, "logo-centred"},
    {FLAG_LOGO_AT_XY, "logo-at-xy"},
    {FLAG_LOGO_TRANSPARENT, "logo-transparent"},
    {FLAG_TEXT, "text"},
    {FLAG_TEXT_SHADOW, "text-shadow"},
    {FLAG_NO_EXPORT, "no-export"},
    {FLAG_CLEAR_RECENT, "clear-recent"},
    {FLAG_PASSWORD, "password"},
    {FLAG_LICENCE, "licence"},
};
inline constexpr FlagName TEXT_FLAG_NAMES[] = {
    {TEXT_TOP_LEFT, "text-top-left"},   {TEXT_TOP, "text-top"},
    {TEXT_BOTTOM_LEFT, "text-bottom-left"}, {TEXT_BOTTOM, "text-bottom"},
    {TEXT_CENTRED, "text-centred"},     {TEXT_CUSTOM_FONT, "custom-font"},
};

// Names of the set bits, in bit order, for reports ("background", ...); a
// bit without a name shows as its value.
std::vector<std::string> flag_names(std::uint32_t flags);
std::vector<std::string> text_flag_names(std::uint32_t text_flags);

// The 40-byte trailer at the very end of the file, stored in plain: ten
// 32-bit little-endian unsigned integers.
struct VIEWER_TRAILER {
  std::uint32_t StubSize = 0;        // +0: program image = catalogue offset
  std::uint32_t CatalogueSize = 0;   // +4: enciphered catalogue
  std::uint32_t ItemCount = 0;       // +8: catalogue records
  std::uint32_t LicenceSize = 0;     // +12: licence text (0 when none)
  std::uint32_t SettingsSize = 0;    // +16: settings region; 4636 bytes read
  std::uint32_t BackgroundSize = 0;  // +20: background picture (0 when none)
  std::uint32_t LogoSize = 0;        // +24: logo picture (0 when none)
  std::uint32_t FontSize = 0;        // +28: custom font file (0 when none)
  std::uint32_t Unused = 0;          // +32: not read by the viewer
  std::uint32_t TrailerMagic = 0;    // +36: must be TRAILER_MAGIC
};

VIEWER_TRAILER decode_trailer(std::span<const std::uint8_t, TRAILER_SIZE> bytes);

// Field widths of the settings block's texts, terminator included.
constexpr std::size_t SETTINGS_NAME_FIELD = 255;
constexpr std::size_t SCREEN_TEXT_FIELD = 2789;
constexpr std::size_t CONTENT_KEY_FIELD = 255;

// The deciphered settings block (4636 bytes).  Integers are 32-bit
// little-endian; colours are 0x00BBGGRR; texts are 8-bit and terminated
// within their fields (a field without terminator ends at its last byte).
struct VIEWER_SETTINGS {
  std::uint32_t Flags = 0;          // +0: FLAG_* bits
  std::uint32_t TextFlags = 0;      // +4: TEXT_* bits
  std::uint32_t BackColour = 0;     // +8: start screen and text background
  std::uint32_t LogoKeyColour = 0;  // +12: logo colour drawn transparent
  std::uint32_t TextColour = 0;     // +16: start-screen text
  std::uint32_t ShadowColour = 0;   // +20: text shadow
  std::int32_t FontHeight = 0;      // +24: as passed to font creation
  std::int32_t ShadowX = 0;         // +28: shadow offset from the text
  std::int32_t ShadowY = 0;         // +32
  std::int32_t TextX = 0;           // +36: text origin without placement bit
  std::int32_t TextY = 0;           // +40
  std::int32_t LogoX = 0;           // +44: logo origin with FLAG_LOGO_AT_XY
  std::int32_t LogoY = 0;           // +48
  // +52: 8 bytes not read by the viewer
  std::string FontFile;        // +60, 255: font's file name in the Fonts folder
  std::string FontFace;        // +315, 255: face name, and its registry value
  std::string BackgroundFile;  // +570, 255: builder's name of the background
  std::string LogoFile;        // +825, 255: builder's name of the logo
  std::string ScreenText;      // +1080, 2789: start-screen text, CR LF lines
  // +3869, 255: key of the files' contents; on a CD with a password the
  // check block until the password gate puts the password here.  Kept as raw
  // bytes (the check block may hold any byte); element 255 is always 0, so
  // ContentKey.data() is a terminated text.
  std::array<char, CONTENT_KEY_FIELD + 1> ContentKey{};
  // +4124: 512 bytes not read by the viewer
  // The raw 255 bytes of FontFile, which the font installation writes to
  // the registry whole.
  std::array<char, SETTINGS_NAME_FIELD> FontFileField{};

  const char* content_key() const { return ContentKey.data(); }
};

// Where each field lies in the settings block: the one layout that the
// reader decodes and the writer encodes.
struct SettingsWord {
  std::size_t Offset;
  std::uint32_t VIEWER_SETTINGS::*Field;
};
struct SettingsSignedWord {
  std::size_t Offset;
  std::int32_t VIEWER_SETTINGS::*Field;
};
struct SettingsText {
  std::size_t Offset;
  std::size_t Width;  // terminator included
  std::string VIEWER_SETTINGS::*Field;
};
inline constexpr SettingsWord SETTINGS_WORDS[] = {
    {0, &VIEWER_SETTINGS::Flags},         {4, &VIEWER_SETTINGS::TextFlags},
    {8, &VIEWER_SETTINGS::BackColour},    {12, &VIEWER_SETTINGS::LogoKeyColour},
    {16, &VIEWER_SETTINGS::TextColour},   {20, &VIEWER_SETTINGS::ShadowColour},
};
inline constexpr SettingsSignedWord SETTINGS_SIGNED_WORDS[] = {
    {24, &VIEWER_SETTINGS::FontHeight}, {28, &VIEWER_SETTINGS::ShadowX},
    {32, &VIEWER_SETTINGS::ShadowY},    {36, &VIEWER_SETTINGS::TextX},
    {40, &VIEWER_SETTINGS::TextY},      {44, &VIEWER_SETTINGS::LogoX},
    {48, &VIEWER_SETTINGS::LogoY},
};
constexpr std::size_t SETTINGS_FONT_FILE = 60;  // also kept whole in FontFileField
constexpr std::size_t SETTINGS_CONTENT_KEY = 3869;
inline constexpr SettingsText SETTINGS_TEXTS[] = {
    {SETTINGS_FONT_FILE, SETTINGS_NAME_FIELD, &VIEWER_SETTINGS::FontFile},
    {315, SETTINGS_NAME_FIELD, &VIEWER_SETTINGS::FontFace},
    {570, SETTINGS_NAME_FIELD, &VIEWER_SETTINGS::BackgroundFile},
    {825, SETTINGS_NAME_FIELD, &VIEWER_SETTINGS::LogoFile},
    {1080, SCREEN_TEXT_FIELD, &VIEWER_SETTINGS::ScreenText},
};

VIEWER_SETTINGS decode_settings(
    std::span<const std::uint8_t, SETTINGS_BLOCK_SIZE> block);

// The regions of the container, in file order.
enum class Region { Catalogue, Licence, Settings, Background, Logo, Font };
const char* region_name(Region region);

// Where a region lies, computed in 64 bits from the trailer's sizes.
struct RegionSpan {
  std::uint64_t Offset = 0;
  std::uint64_t Size = 0;
};
RegionSpan region_span(const VIEWER_TRAILER& trailer, Region region);

// What load_viewer_file leaves for the rest of the program.
struct ViewerFile {
  // Full path of the viewer file; on a CD read through Files, its path
  // below the CD's root.
  std::string ViewerPath;
  // The files of a CD that is not a folder (an ISO image); null for a
  // folder, whose files are opened by their paths.
  std::shared_ptr<const CdFiles> Files;
  std::uint64_t FileLength = 0;            // its length in bytes
  VIEWER_TRAILER Trailer;                  // as read
  VIEWER_SETTINGS Settings;                // deciphered
  std::optional<std::string> LicenceText;  // with FLAG_LICENCE only

  // Offset of the trailer: no region may reach past it.
  std::uint64_t trailer_offset() const { return FileLength - TRAILER_SIZE; }
};

// Reads the trailer, the settings block and the licence text of the viewer
// file at path.  On failure it has reported through show_error and returns
// false; out is then unspecified.
bool load_viewer_file(const std::string& path, ViewerFile& out);
// The same for the viewer file at path below the root of files.
bool load_viewer_file(std::shared_ptr<const CdFiles> files, const std::string& path,
                      ViewerFile& out);

// The viewer file as named to the user: its path, or the CD's name for it.
std::string shown_viewer_path(const ViewerFile& viewer);

// Opens the viewer file: a file of its folder, or a range of its image.
// Null when it cannot be opened (not reported).
FileRange open_viewer_range(const ViewerFile& viewer);

// Reads one region and deciphers it with ContainerKey.  The region must lie
// before the trailer (load_viewer_file checked the regions in use; this
// checks again for any other).  Reports and returns false on failure.
bool read_region(const ViewerFile& viewer, Region region,
                 std::vector<std::uint8_t>& out);

// Deciphers a region into a new file at destination, streaming through
// copy_decrypt.  CannotCreate is not reported (the caller names the file in
// its own message).  Failed has been reported when the viewer file could not
// be opened or read; a copy that failed reported itself (no memory) or
// nothing (a short read or write), and the caller goes on.
enum class RegionWrite { Written, CannotCreate, Failed };
RegionWrite decipher_region_to_file(const ViewerFile& viewer, Region region,
                                    const std::string& destination);


}  // namespace kelvora
