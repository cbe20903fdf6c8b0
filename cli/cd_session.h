// Opening a CD for the tool: finding its viewer file (in a folder, or in the
// root of an ISO image, which is then read in place), loading it and its
// catalogue, and passing the password gate.
#pragma once

#include <optional>
#include <string>

#include "viewer/catalogue/catalogue.h"
#include "viewer/container/viewer_file.h"

namespace kelvora::cli {

struct CdOptions {
  std::string Cd;                        // viewer file, its directory or an ISO image
  std::optional<std::string> Password;   // --password
  std::optional<std::string> PasswordFile;  // --password-file ("-": stdin)
  std::string Codepage = "windows-1252";
};

struct CdSession {
  ViewerFile Viewer;
  Catalogue Cat;
  bool Damaged = false;   // the catalogue stopped before ItemCount records
  bool Unlocked = false;  // the password gate was passed (or there is none)
  std::string Codepage;

  // A stored 8-bit text in UTF-8.
  std::string utf8(const std::string& text) const;
};

// Finds the viewer file: CD itself, or the one file in the directory CD
// that ends in a viewer-file trailer.  Returns an exit code (0 on success)
// after saying what is wrong.
int find_viewer_file(const std::string& cd, std::string& path);

// Loads the viewer file and the catalogue and, when unlock is set and the
// CD has a password, asks for it and checks it.  An ISO image is read where
// it lies: its files are ranges of it (Viewer.Files).  Returns an exit code.
int open_cd(const CdOptions& options, bool unlock, CdSession& session);

// Installs the tool's message handler: each box as one line on stderr,
// its text converted from the code page.
void install_message_handler(const std::string& codepage);

}  // namespace kelvora::cli
