// The mount commands of a build without libfuse 3.
#include <cstdio>

#include "cli/exit_codes.h"
#include "cli/mount.h"

namespace kelvora::cli {
namespace {

int not_built() {
#if defined(_WIN32)
  std::fprintf(stderr,
               "kelvora: FUSE is not available: mounting a CD works on Linux and macOS; on "
               "Windows use kelvora extract, or the viewer on the CD\n");
#else
  std::fprintf(stderr,
               "kelvora: FUSE is not available: this kelvora was built without libfuse 3; "
               "install libfuse3-dev and pkg-config (macOS: macFUSE or FUSE-T) and build it "
               "again\n");
#endif
  return EXIT_USAGE;
}

}  // namespace

int run_mount(const CdOptions&, const MountOptions&) { return not_built(); }
int run_umount(const std::string&) { return not_built(); }
bool mount_built() { return false; }

}  // namespace kelvora::cli
