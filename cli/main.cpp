// kelvora: reads, verifies, extracts and builds Kelvora CDs on any platform.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "cli/cd_session.h"
#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "cli/mount.h"
#include "cli/platform.h"
#include "kelvora_version.h"
#include "viewer/container/stored_values.h"

#ifndef KELVORA_DEFAULT_STUB
#define KELVORA_DEFAULT_STUB ""
#endif

namespace {

constexpr const char* kFooter =
    "\nExit codes:\n"
    "  0  all done\n"
    "  1  some entries failed (each is reported)\n"
    "  2  usage error\n"
    "  3  not a viewer file, or damaged (or too large for memory)\n"
    "  4  password missing or wrong\n";

void add_cd_options(CLI::App* command, kelvora::cli::CdOptions& cd) {
  command->add_option("CD", cd.Cd,
                      "The viewer file, the directory that holds it, or an ISO image of the "
                      "CD (read in place, with its Rock Ridge, Joliet or ISO 9660 names)")
      ->required();
  command->add_option("--password", cd.Password, "The CD's password");
  command->add_option("--password-file", cd.PasswordFile,
                      "Read the password from the first line of a file (- for stdin)");
  command->add_option("--codepage", cd.Codepage,
                      "Code page of the CD's names (default windows-1252)");
}

// What extract does with a file that is in the target already.  Each file
// is written under a temporary name and put in place only when complete, so
// a failed or stopped one never harms the file that was there.
void add_existing_options(CLI::App* extract, kelvora::cli::ExtractOptions& x) {
  using kelvora::ExistingFiles;
  auto* overwrite = extract->add_flag_callback(
      "--overwrite", [&x] { x.Existing = ExistingFiles::Replace; },
      "Replace a file of the same name once the new one is complete (the default, as tar "
      "does); the closing line counts them");
  auto* skip = extract->add_flag_callback(
      "-k,--skip-existing", [&x] { x.Existing = ExistingFiles::Skip; },
      "Keep a file of the same name and do not extract that entry");
  auto* rename = extract->add_flag_callback(
      "--rename", [&x] { x.Existing = ExistingFiles::Rename; },
      "Keep a file of the same name and write the entry as \"name (2).ext\"");
  overwrite->excludes(skip)->excludes(rename);
  skip->excludes(rename);
}

// The build command and its many options.
CLI::App* add_build_command(CLI::App& app, kelvora::cli::BuildOptions& b) {
  auto* build = app.add_subcommand("build", "Write a CD from a directory tree");
  build->add_option("SRC_DIR", b.Source, "The files and folders to put on the CD")->required();
  build->add_option("-o,--output", b.Output, "Directory for the viewer and data files")
      ->required();
  build->add_option("--password", b.Password, "Protect the CD with this password");
  build->add_option("--password-file", b.PasswordFile, "Read the password from a file");
  build->add_option("--content-key", b.ContentKey,
                    "Key of the contents without a password (default: a random one)");
  build->add_option("--licence", b.Licence, "Licence text file shown before the CD opens");
  build->add_option("--background", b.Background, "Start-screen background picture");
  build->add_option("--background-mode", b.BackgroundMode,
                    "stretched, tiled, quarters, top-left, top, bottom-left, bottom, centred");
  build->add_option("--logo", b.Logo, "Start-screen logo picture");
  build->add_option("--logo-pos", b.LogoPosition,
                    "top-left, top, bottom-left, bottom, centred or X,Y");
  build->add_option("--logo-key", b.LogoKey, "Logo colour drawn transparent (#RRGGBB)");
  build->add_option("--font", b.Font, "Font file for the start-screen text");
  build->add_option("--font-face", b.FontFace, "Face name of that font");
  build->add_option("--font-height", b.FontHeight, "Height of the start-screen font");
  build->add_option("--text", b.Text, "Start-screen text");
  build->add_option("--text-file", b.TextFile, "Start-screen text from a file");
  build->add_option("--text-pos", b.TextPosition,
                    "top-left, top, bottom-left, bottom, centred or X,Y");
  build->add_option("--text-colour", b.TextColour, "Text colour (#RRGGBB)");
  build->add_option("--back-colour", b.BackColour, "Start-screen background colour");
  build->add_option("--shadow", b.Shadow, "Draw the text with a shadow of this colour");
  build->add_option("--shadow-offset", b.ShadowOffset, "Shadow offset X,Y (default 2,2)");
  build->add_flag("--no-export", b.NoExport, "Forbid exporting files from the viewer");
  build->add_flag("--clear-recent", b.ClearRecent,
                  "Clear the recent-documents list when the viewer ends");
  build->add_option("--stub", b.Stub, "Viewer program to append the CD to");
  build->add_option("--viewer-name", b.ViewerName, "File name of the viewer (viewer.exe)");
  build->add_option("--max-data-file", b.MaxDataFile, "Start a new data file past BYTES");
  build->add_option("--codepage", b.Codepage, "Code page of the stored names");
  build->add_option("--web", b.WebPage,
                    "Put this web page on the CD as kelvora-viewer.html, the reader "
                    "for systems without the viewer");
  auto* iso = build->add_option(
      "--iso", b.Iso,
      "Also write the CD as a burnable ISO 9660 image (Joliet and Rock Ridge names, an "
      "autorun.inf that starts the viewer); needs xorriso");
  build->add_option("--label", b.Label, "Volume label of the image (default KELVORA)")
      ->needs(iso);
  return build;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace kelvora::cli;
  const ToolPlatform platform(argc, argv);
  kelvora::unscramble_stored_values();

  CLI::App app{"kelvora: read, verify, extract and build Kelvora encrypted CDs", "kelvora"};
  app.footer(kFooter);
  app.require_subcommand(1);
  app.set_version_flag("--version", "kelvora " KELVORA_VERSION);
  app.set_help_all_flag("--help-all", "Print the help of every command");

  CdOptions cd;
  auto* info = app.add_subcommand("info", "Show the viewer file's regions, flags and totals");
  add_cd_options(info, cd);

  bool json = false;
  auto* list = app.add_subcommand("list", "List the CD's folders and files with their sizes");
  add_cd_options(list, cd);
  list->add_flag("--json", json, "Print every catalogue entry as one JSON object");

  ExtractOptions x;
  auto* extract = app.add_subcommand(
      "extract", "Write decrypted files as the viewer's Export does (DIR/Kelvora/...)");
  add_cd_options(extract, cd);
  extract->add_option("PATH", x.Paths,
                      "Folders or files to extract, as kelvora list names them "
                      "(Kelvora/Docs); default the whole CD");
  extract->add_option("-d,--directory", x.Directory, "Target directory (default: current)");
  extract->add_flag("-q,--quiet", x.Quiet, "No progress bar");
  add_existing_options(extract, x);

  auto* test = app.add_subcommand(
      "test", "Decipher every file without writing it and check every data file");
  add_cd_options(test, cd);

  MountOptions mount_options;
  auto* mount = app.add_subcommand(
      "mount", "Show the CD as a read-only folder of its decrypted files (FUSE)");
  add_cd_options(mount, cd);
  mount->add_option("MOUNTPOINT", mount_options.MountPoint,
                    "The directory to show the CD in (Kelvora/ at its top)")
      ->required();
  mount->add_flag("-f,--foreground", mount_options.Foreground,
                  "Stay in the foreground until unmounted (Ctrl-C unmounts)");
  std::string unmount_point;
  auto* umount = app.add_subcommand("umount", "Unmount a CD mounted with kelvora mount");
  umount->add_option("MOUNTPOINT", unmount_point, "Where the CD is mounted")->required();

  BuildOptions b;
  auto* build = add_build_command(app, b);

  std::vector<char*> args;
  for (const std::string& a : platform.arguments()) args.push_back(const_cast<char*>(a.c_str()));
  try {
    app.parse(static_cast<int>(args.size()), args.data());
  } catch (const CLI::ParseError& error) {
    const int code = app.exit(error);
    return code == 0 ? EXIT_ALL_DONE : EXIT_USAGE;
  }

  install_message_handler(build->parsed() ? b.Codepage : cd.Codepage);
  try {
    if (info->parsed()) return run_info(cd);
    if (list->parsed()) return run_list(cd, json);
    if (extract->parsed()) return run_extract(cd, x);
    if (test->parsed()) return run_test(cd);
    if (mount->parsed()) return run_mount(cd, mount_options);
    if (umount->parsed()) return run_umount(unmount_point);
    if (build->parsed()) return run_build(b, KELVORA_DEFAULT_STUB);
  } catch (const std::bad_alloc&) {
    // A catalogue too large for this machine's memory is a damaged CD here,
    // never an abort.
    std::fflush(stdout);
    std::fprintf(stderr, "kelvora: out of memory\n");
    return EXIT_DAMAGED;
  }
  return EXIT_USAGE;
}
