// kelvora build: a CD from a directory tree, through the writer.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>

#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "cli/iso_image.h"
#include "cli/output.h"
#include "cli/platform.h"
#include "viewer/container/password.h"
#include "viewer/base/codepage.h"
#include "writer/writer.h"

namespace kelvora::cli {
namespace fs = std::filesystem;
namespace {

struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

std::vector<std::uint8_t> read_all(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw UsageError("cannot read " + path);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

std::string read_text(const std::string& path) {
  const auto bytes = read_all(path);
  return std::string(bytes.begin(), bytes.end());
}

// "#RRGGBB" or "R,G,B" as a colour value 0x00BBGGRR.
std::uint32_t parse_colour(const std::string& text) {
  unsigned r = 0, g = 0, b = 0;
  char end = 0;
  if (text.size() == 7 && text[0] == '#' &&
      std::sscanf(text.c_str() + 1, "%2x%2x%2x%c", &r, &g, &b, &end) == 3)
    return r | (g << 8) | (b << 16);
  if (std::sscanf(text.c_str(), "%u,%u,%u%c", &r, &g, &b, &end) == 3 && r < 256 && g < 256 &&
      b < 256)
    return r | (g << 8) | (b << 16);
  throw UsageError("not a colour (#RRGGBB or R,G,B): " + text);
}

bool parse_point(const std::string& text, std::int32_t& x, std::int32_t& y) {
  long a = 0, b = 0;
  char end = 0;
  if (std::sscanf(text.c_str(), "%ld,%ld%c", &a, &b, &end) != 2) return false;
  x = static_cast<std::int32_t>(a);
  y = static_cast<std::int32_t>(b);
  return true;
}

// The bit of a placement option: the names are those of the flag table with
// their prefix taken off ("top-left" for "background-top-left"), among the
// bits that place; "stretched" stands for none of them.
std::uint32_t placement(const std::string& value, std::span<const FlagName> table,
                        const std::string& prefix, std::uint32_t bits, const char* what,
                        bool stretched = false) {
  std::vector<std::pair<std::string, std::uint32_t>> choices;
  if (stretched) choices.emplace_back("stretched", 0);
  for (const FlagName& flag : table)
    if ((flag.Bit & bits) && std::string_view(flag.Name).starts_with(prefix))
      choices.emplace_back(flag.Name + prefix.size(), flag.Bit);
  std::string names;
  for (const auto& [name, bit] : choices) {
    if (value == name) return bit;
    names += (names.empty() ? "" : ", ") + name;
  }
  throw UsageError(std::string("unknown ") + what + " '" + value + "' (one of: " + names + ")");
}

constexpr std::uint32_t BACKGROUND_PLACES =
    FLAG_BACKGROUND_TILED | FLAG_BACKGROUND_QUARTERS | FLAG_BACKGROUND_TOP_LEFT |
    FLAG_BACKGROUND_TOP | FLAG_BACKGROUND_BOTTOM_LEFT | FLAG_BACKGROUND_BOTTOM |
    FLAG_BACKGROUND_CENTRED;
constexpr std::uint32_t LOGO_PLACES = FLAG_LOGO_TOP_LEFT | FLAG_LOGO_TOP |
                                      FLAG_LOGO_BOTTOM_LEFT | FLAG_LOGO_BOTTOM |
                                      FLAG_LOGO_CENTRED;
constexpr std::uint32_t TEXT_PLACES =
    TEXT_TOP_LEFT | TEXT_TOP | TEXT_BOTTOM_LEFT | TEXT_BOTTOM | TEXT_CENTRED;

std::string stored(const std::string& utf8, const std::string& codepage, const char* what) {
  auto text = from_utf8(utf8, codepage);
  if (!text) throw UsageError(std::string("the ") + what + " has characters code page " +
                              codepage + " cannot hold");
  return *text;
}

// Lines end in CR LF on the CD.
std::string crlf(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) out += '\r';
    out += text[i];
  }
  return out;
}

std::string random_key() {
  static const char alphabet[] =
      "ABCDEFGHJKLMNPQRSTUVWXYZabcdefghijkmnopqrstuvwxyz23456789";
  std::random_device random;
  std::string key;
  while (key.size() < 24) key += alphabet[random() % (sizeof alphabet - 1)];
  return key;
}

// The program image, and the password or the content key.
void describe_stub_and_key(const BuildOptions& o, const std::string& default_stub,
                           CdDescription& cd) {
  if (o.Stub) {
    cd.Stub = read_all(*o.Stub);
  } else if (!default_stub.empty() && fs::exists(default_stub)) {
    cd.Stub = read_all(default_stub);
  } else {
    std::fprintf(stderr,
                 "kelvora: no Windows viewer is built; the CD gets an empty program image "
                 "(it can be read with kelvora, not run on Windows)\n");
  }
  if (o.Password || o.PasswordFile) {
    std::string password = o.Password ? *o.Password : "";
    if (o.PasswordFile) {
      password = read_text(*o.PasswordFile);
      while (!password.empty() && (password.back() == '\n' || password.back() == '\r'))
        password.pop_back();
    }
    cd.Password = stored(password, o.Codepage, "password");
    if (cd.Password->size() > MAX_PASSWORD_LENGTH)
      throw UsageError("the password is longer than 254 characters");
  } else {
    set_content_key(cd.Settings, o.ContentKey ? stored(*o.ContentKey, o.Codepage, "content key")
                                              : random_key());
  }
}

// The background and logo pictures with their placements, and the font.
void describe_pictures(const BuildOptions& o, CdDescription& cd) {
  VIEWER_SETTINGS& s = cd.Settings;
  if (o.Background) {
    cd.Background = read_all(*o.Background);
    s.BackgroundFile = ".\\" + stored(fs::path(*o.Background).filename().string(), o.Codepage,
                                      "background's name");
    s.Flags |= placement(o.BackgroundMode, FLAG_NAMES, "background-", BACKGROUND_PLACES,
                         "background mode", true);
  }
  if (o.Logo) {
    cd.Logo = read_all(*o.Logo);
    s.LogoFile =
        ".\\" + stored(fs::path(*o.Logo).filename().string(), o.Codepage, "logo's name");
    if (parse_point(o.LogoPosition, s.LogoX, s.LogoY))
      s.Flags |= FLAG_LOGO_AT_XY;
    else
      s.Flags |= placement(o.LogoPosition, FLAG_NAMES, "logo-", LOGO_PLACES, "logo position");
    if (o.LogoKey) {
      s.Flags |= FLAG_LOGO_TRANSPARENT;
      s.LogoKeyColour = parse_colour(*o.LogoKey);
    }
  }
  if (o.Font) {
    if (!o.FontFace) throw UsageError("--font needs --font-face");
    cd.Font = read_all(*o.Font);
    s.FontFile = stored(fs::path(*o.Font).filename().string(), o.Codepage, "font's name");
    s.FontFace = stored(*o.FontFace, o.Codepage, "font face");
  }
}

// The start-screen text, its place, colours and shadow.
void describe_text(const BuildOptions& o, VIEWER_SETTINGS& s) {
  if (o.Text || o.TextFile) {
    s.Flags |= FLAG_TEXT;
    s.ScreenText = stored(crlf(o.Text ? *o.Text : read_text(*o.TextFile)), o.Codepage, "text");
    if (s.ScreenText.size() >= SCREEN_TEXT_FIELD)
      throw UsageError("the start-screen text is longer than 2788 bytes");
    if (!parse_point(o.TextPosition, s.TextX, s.TextY))
      s.TextFlags |=
          placement(o.TextPosition, TEXT_FLAG_NAMES, "text-", TEXT_PLACES, "text position");
  }
  if (o.TextColour) s.TextColour = parse_colour(*o.TextColour);
  if (o.BackColour) s.BackColour = parse_colour(*o.BackColour);
  if (o.Shadow) {
    s.Flags |= FLAG_TEXT_SHADOW;
    s.ShadowColour = parse_colour(*o.Shadow);
    if (!parse_point(o.ShadowOffset, s.ShadowX, s.ShadowY))
      throw UsageError("--shadow-offset takes X,Y");
  }
}

CdDescription describe(const BuildOptions& o, const std::string& default_stub) {
  CdDescription cd = describe_directory(o.Source, o.Codepage);
  VIEWER_SETTINGS& s = cd.Settings;
  s.BackColour = 0x00000000;
  s.TextColour = 0x00FFFFFF;
  s.FontHeight = o.FontHeight;
  describe_stub_and_key(o, default_stub, cd);
  if (o.Licence) cd.Licence = crlf(read_text(*o.Licence));
  describe_pictures(o, cd);
  describe_text(o, s);
  if (o.NoExport) s.Flags |= FLAG_NO_EXPORT;
  if (o.ClearRecent) s.Flags |= FLAG_CLEAR_RECENT;
  cd.MaxDataFile = o.MaxDataFile;
  cd.ViewerName = o.ViewerName;
  return cd;
}

// The autorun.inf beside the viewer, then the image of the whole folder.
void write_image(const BuildOptions& o, const std::string& label) {
  const std::string autorun = autorun_text(o.ViewerName, label);
  {
    std::ofstream out(fs::path(o.Output) / "autorun.inf", std::ios::binary | std::ios::trunc);
    out << autorun;
    if (!out.flush()) throw WriterError("cannot write autorun.inf in " + o.Output);
  }
  const std::string error = write_iso_image(o.Output, *o.Iso, label);
  if (!error.empty()) throw WriterError(error);
}

}  // namespace

int run_build(const BuildOptions& options, const std::string& default_stub) {
  if (!can_build_cds()) {
    std::fprintf(stderr,
                 "kelvora: CDs are built on Linux and macOS; on Windows this tool reads, "
                 "tests and extracts them\n");
    return EXIT_USAGE;
  }
  try {
    if (options.WebPage && !fs::is_regular_file(*options.WebPage))
      throw UsageError("cannot read " + *options.WebPage);
    std::optional<std::string> label;
    if (options.Iso) {
      label = volume_label(options.Label);
      if (!label)
        throw UsageError("the label takes 1 to 32 letters, digits and underscores: " +
                         options.Label);
      if (auto missing = xorriso_missing()) throw UsageError(*missing);
      const std::string image = absolute_path(*options.Iso);
      const std::string folder = absolute_path(options.Output) + "/";
      if (image.compare(0, folder.size(), folder) == 0 || fs::is_directory(image))
        throw UsageError("the image file must lie outside the CD's folder: " + *options.Iso);
    }
    const CdDescription cd = describe(options, default_stub);
    const WrittenCd written = write_cd(cd, options.Output);
    if (options.WebPage)
      fs::copy_file(*options.WebPage, fs::path(options.Output) / "kelvora-viewer.html",
                    fs::copy_options::overwrite_existing);
    if (label) write_image(options, *label);
    std::uint32_t files = 0, folders = 0;
    std::uint64_t bytes = 0;
    for (const WriterItem& item : cd.Items) {
      if (item.Kind == KIND_FOLDER) ++folders;
      if (item.Kind == KIND_FILE) {
        ++files;
        bytes += fs::file_size(item.SourcePath);
      }
    }
    std::printf("Wrote %s and %zu data %s: %u %s (%s) in %u %s%s.\n",
                written.ViewerPath.string().c_str(), written.DataFiles.size(),
                written.DataFiles.size() == 1 ? "file" : "files", files,
                files == 1 ? "file" : "files", human_bytes(bytes).c_str(), folders,
                folders == 1 ? "folder" : "folders", cd.Password ? ", with a password" : "");
    if (label)
      std::printf("Wrote the image %s (%s), labelled %s.\n", options.Iso->c_str(),
                  human_bytes(fs::file_size(*options.Iso)).c_str(), label->c_str());
    return EXIT_ALL_DONE;
  } catch (const UsageError& error) {
    std::fprintf(stderr, "kelvora: %s\n", error.what());
    return EXIT_USAGE;
  } catch (const WriterError& error) {
    std::fprintf(stderr, "kelvora: %s\n", error.what());
    return EXIT_SOME_FAILED;
  } catch (const fs::filesystem_error& error) {
    std::fprintf(stderr, "kelvora: %s\n", error.what());
    return EXIT_SOME_FAILED;
  }
}

}  // namespace kelvora::cli
