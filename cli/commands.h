// The tool's subcommands.  Each returns the process's exit code.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/cd_session.h"
#include "viewer/extract/engine.h"

namespace kelvora::cli {

int run_info(const CdOptions& options);
int run_list(const CdOptions& options, bool json);
struct ExtractOptions {
  std::string Directory = ".";
  std::vector<std::string> Paths;  // as kelvora list names them; none: the whole CD
  bool Quiet = false;
  ExistingFiles Existing = ExistingFiles::Replace;
};

int run_extract(const CdOptions& options, const ExtractOptions& extract);
int run_test(const CdOptions& options);

struct BuildOptions {
  std::string Source;
  std::string Output;
  std::optional<std::string> Password;
  std::optional<std::string> PasswordFile;
  std::optional<std::string> ContentKey;
  std::optional<std::string> Licence;
  std::optional<std::string> Background;
  std::string BackgroundMode = "stretched";
  std::optional<std::string> Logo;
  std::string LogoPosition = "top-left";
  std::optional<std::string> LogoKey;
  std::optional<std::string> Font;
  std::optional<std::string> WebPage;  // --web: the page copied beside the viewer
  std::optional<std::string> FontFace;
  std::optional<std::string> Text;
  std::optional<std::string> TextFile;
  std::string TextPosition = "centred";
  std::optional<std::string> TextColour;
  std::optional<std::string> BackColour;
  std::optional<std::string> Shadow;
  std::string ShadowOffset = "2,2";
  std::int32_t FontHeight = -32;
  bool NoExport = false;
  bool ClearRecent = false;
  std::optional<std::string> Stub;
  std::string ViewerName = "viewer.exe";
  std::uint64_t MaxDataFile = 0;
  std::string Codepage = "windows-1252";
  std::optional<std::string> Iso;   // also write the CD as this ISO image
  std::string Label = "KELVORA";    // the image's volume label
};

int run_build(const BuildOptions& options, const std::string& default_stub);

// The catalogue path of an entry ("Kelvora/Docs/a.txt") in UTF-8, or empty
// when no folder of the tree shows it.
std::string entry_path(const CdSession& session, EntryIndex entry);

}  // namespace kelvora::cli
