// kelvora mount and kelvora umount: the CD as a read-only folder of its
// decrypted files, through FUSE (libfuse 3 on Linux, macFUSE or FUSE-T on
// macOS).  A build without libfuse 3 keeps both commands, which then say
// what to install.
#pragma once

#include <string>

#include "cli/cd_session.h"

namespace kelvora::cli {

struct MountOptions {
  std::string MountPoint;
  bool Foreground = false;  // -f: stay in the foreground until unmounted
};

// Mounts the CD (after the password gate) and serves it until it is
// unmounted.  In the background the command returns once the CD is
// mounted.  Returns an exit code.
int run_mount(const CdOptions& cd, const MountOptions& options);

// Unmounts a CD mounted by run_mount.  Returns an exit code.
int run_umount(const std::string& mount_point);

// Whether this build can mount at all.
bool mount_built();

}  // namespace kelvora::cli
