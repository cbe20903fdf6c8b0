// The mount commands on libfuse 3's path-based interface, which macFUSE and
// FUSE-T offer as well.  The tree and every read come from MountTree and
// MountReader; this file only answers the kernel's calls.
//
// What the mounted CD looks like: read-only (mode r-x for folders and r--
// for files, for everyone, owned by the user who mounted it), every entry
// with the time of the viewer file's last change, sizes from the catalogue.
// Nothing on a mounted CD changes, so the kernel may keep names, attributes
// and contents cached for as long as it likes.
#define FUSE_USE_VERSION 31
#include <fuse.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/exit_codes.h"
#include "cli/mount.h"
#include "cli/mount_reader.h"
#include "cli/mount_tree.h"
#include "cli/platform.h"
#include "viewer/base/file_system.h"

namespace kelvora::cli {
namespace {

// How long the kernel keeps what it was told; the CD never changes.
constexpr double CACHE_SECONDS = 86400.0;
// The read size suggested to programs (cp, cat): large reads cost the
// fewest trips through the kernel.
constexpr blksize_t PREFERRED_READ = 1 << 20;

struct MountedCd {
  CdSession Session;
  MountTree Tree;
  std::unique_ptr<MountReader> Reader;
  struct timespec Time {};  // of every entry
  uid_t Owner = 0;
  gid_t Group = 0;
  std::uint64_t Bytes = 0;
};

MountedCd& mounted() { return *static_cast<MountedCd*>(fuse_get_context()->private_data); }

void fill_stat(const MountedCd& cd, MountNodeIndex n, struct stat* st) {
  const MountNode& node = cd.Tree.Nodes[n];
  std::memset(st, 0, sizeof *st);
  st->st_ino = static_cast<ino_t>(n) + 1;
  st->st_uid = cd.Owner;
  st->st_gid = cd.Group;
#if defined(__APPLE__)
  st->st_atimespec = st->st_mtimespec = st->st_ctimespec = cd.Time;
#else
  st->st_atim = st->st_mtim = st->st_ctim = cd.Time;
#endif
  st->st_blksize = PREFERRED_READ;
  if (node.Folder) {
    st->st_mode = S_IFDIR | 0555;
    st->st_nlink = 2 + node.SubFolders;
  } else {
    st->st_mode = S_IFREG | 0444;
    st->st_nlink = 1;
    st->st_size = static_cast<off_t>(node.Size);
    st->st_blocks = static_cast<blkcnt_t>((node.Size + 511) / 512);
  }
}

// The node a call is about: the one it opened, else the one at its path.
MountNodeIndex node_of(const char* path, const fuse_file_info* fi) {
  if (!path) return fi ? static_cast<MountNodeIndex>(fi->fh) : NO_MOUNT_NODE;
  return mounted().Tree.find(path);
}

void* on_init(fuse_conn_info* conn, fuse_config* config) {
  (void)conn;
  config->kernel_cache = 1;
  config->entry_timeout = CACHE_SECONDS;
  config->attr_timeout = CACHE_SECONDS;
  config->negative_timeout = CACHE_SECONDS;
  config->use_ino = 1;
  config->nullpath_ok = 1;
  return fuse_get_context()->private_data;
}

int on_getattr(const char* path, struct stat* st, fuse_file_info* fi) {
  const MountNodeIndex node = node_of(path, fi);
  if (node == NO_MOUNT_NODE) return -ENOENT;
  fill_stat(mounted(), node, st);
  return 0;
}

int on_opendir(const char* path, fuse_file_info* fi) {
  const MountNodeIndex node = node_of(path, nullptr);
  if (node == NO_MOUNT_NODE) return -ENOENT;
  if (!mounted().Tree.Nodes[node].Folder) return -ENOTDIR;
  fi->fh = node;
  fi->keep_cache = 1;
  fi->cache_readdir = 1;
  return 0;
}

int on_readdir(const char* path, void* buffer, fuse_fill_dir_t fill, off_t, fuse_file_info* fi,
               fuse_readdir_flags) {
  const MountedCd& cd = mounted();
  const MountNodeIndex node = node_of(path, fi);
  if (node == NO_MOUNT_NODE) return -ENOENT;
  struct stat st;
  fill_stat(cd, node, &st);
  fill(buffer, ".", &st, 0, static_cast<fuse_fill_dir_flags>(0));
  fill(buffer, "..", nullptr, 0, static_cast<fuse_fill_dir_flags>(0));
  for (MountNodeIndex child : cd.Tree.Nodes[node].Children) {
    fill_stat(cd, child, &st);
    if (fill(buffer, cd.Tree.Nodes[child].Name.c_str(), &st, 0, FUSE_FILL_DIR_PLUS))
      return -ENOMEM;
  }
  return 0;
}

int on_open(const char* path, fuse_file_info* fi) {
  const MountNodeIndex node = node_of(path, nullptr);
  if (node == NO_MOUNT_NODE) return -ENOENT;
  if (mounted().Tree.Nodes[node].Folder) return -EISDIR;
  if ((fi->flags & O_ACCMODE) != O_RDONLY) return -EROFS;
  fi->fh = node;
  fi->keep_cache = 1;
  return 0;
}

int on_read(const char* path, char* buffer, size_t size, off_t offset, fuse_file_info* fi) {
  const MountNodeIndex node = node_of(path, fi);
  if (node == NO_MOUNT_NODE) return -ENOENT;
  if (offset < 0) return -EINVAL;
  return static_cast<int>(
      mounted().Reader->read(node, static_cast<std::uint64_t>(offset), size, buffer));
}

int on_statfs(const char*, struct statvfs* st) {
  const MountedCd& cd = mounted();
  std::memset(st, 0, sizeof *st);
  st->f_bsize = st->f_frsize = 4096;
  st->f_blocks = static_cast<fsblkcnt_t>((cd.Bytes + 4095) / 4096);
  st->f_files = static_cast<fsfilcnt_t>(cd.Tree.Nodes.size());
  st->f_namemax = MAX_MOUNT_NAME;
  st->f_flag = ST_RDONLY;
  return 0;
}

fuse_operations operations() {
  fuse_operations ops{};
  ops.init = on_init;
  ops.getattr = on_getattr;
  ops.opendir = on_opendir;
  ops.readdir = on_readdir;
  ops.open = on_open;
  ops.read = on_read;
  ops.statfs = on_statfs;
  return ops;
}

// Why this system cannot mount, with what to install; nothing when it can.
std::optional<std::string> fuse_missing() {
#if defined(__linux__)
  const int device = ::open("/dev/fuse", O_RDWR | O_CLOEXEC);
  if (device < 0)
    return std::string("/dev/fuse cannot be opened (") + std::strerror(errno) +
           "); install fuse3 (Debian and Ubuntu: apt install fuse3), load the fuse module "
           "(modprobe fuse), and in a container pass /dev/fuse in";
  ::close(device);
  if (::geteuid() != 0 && !find_program("fusermount3"))
    return std::string("fusermount3 is missing; install fuse3 (Debian and Ubuntu: apt install "
                       "fuse3)");
#endif
  return std::nullopt;
}

struct FuseArgs {
  std::vector<std::string> Texts;
  std::vector<char*> Pointers;
  fuse_args Args{};
  explicit FuseArgs(std::vector<std::string> texts) : Texts(std::move(texts)) {
    for (std::string& t : Texts) Pointers.push_back(t.data());
    Args = FUSE_ARGS_INIT(static_cast<int>(Pointers.size()), Pointers.data());
  }
  ~FuseArgs() { fuse_opt_free_args(&Args); }
  FuseArgs(const FuseArgs&) = delete;
  FuseArgs& operator=(const FuseArgs&) = delete;
};

struct FuseDeleter {
  void operator()(fuse* f) const noexcept { fuse_destroy(f); }
};
using FusePtr = std::unique_ptr<fuse, FuseDeleter>;

// Mounts for the life of the object.
class Mounted {
 public:
  Mounted(fuse* f, const std::string& point) : fuse_(f) {
    ok_ = fuse_mount(f, point.c_str()) == 0;
  }
  ~Mounted() {
    if (ok_) fuse_unmount(fuse_);
  }
  Mounted(const Mounted&) = delete;
  Mounted& operator=(const Mounted&) = delete;
  bool ok() const { return ok_; }

 private:
  fuse* fuse_;
  bool ok_ = false;
};

// Stops the loop on SIGINT, SIGTERM and SIGHUP for the life of the object.
class SignalsHandled {
 public:
  explicit SignalsHandled(fuse_session* session) : session_(session) {
    ok_ = fuse_set_signal_handlers(session) == 0;
  }
  ~SignalsHandled() {
    if (ok_) fuse_remove_signal_handlers(session_);
  }
  SignalsHandled(const SignalsHandled&) = delete;
  SignalsHandled& operator=(const SignalsHandled&) = delete;

 private:
  fuse_session* session_;
  bool ok_ = false;
};

bool is_directory(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Loads the CD, its tree and its data files, and says once what is left
// out or cannot be read.
int prepare(const CdOptions& options, MountedCd& cd) {
  if (int code = open_cd(options, true, cd.Session)) return code;
  cd.Tree = build_mount_tree(cd.Session.Cat,
                             [&cd](const std::string& text) { return cd.Session.utf8(text); });
  for (const std::string& note : cd.Tree.Notes) std::fprintf(stderr, "kelvora: %s\n", note.c_str());
  cd.Reader = std::make_unique<MountReader>(cd.Session.Viewer, cd.Session.Cat, cd.Tree,
                                            cd.Session.Viewer.Settings.content_key());
  for (const MountNode& node : cd.Tree.Nodes) cd.Bytes += node.Size;
  struct stat st;
  if (::stat(cd.Session.Viewer.ViewerPath.c_str(), &st) == 0) {
#if defined(__APPLE__)
    cd.Time = st.st_mtimespec;
#else
    cd.Time = st.st_mtim;
#endif
  }
  cd.Owner = ::getuid();
  cd.Group = ::getgid();
  return EXIT_ALL_DONE;
}

}  // namespace

bool mount_built() { return true; }

int run_mount(const CdOptions& options, const MountOptions& mount) {
  if (auto missing = fuse_missing()) {
    std::fprintf(stderr, "kelvora: FUSE is not available: %s\n", missing->c_str());
    return EXIT_USAGE;
  }
  const std::string point = absolute_path(mount.MountPoint);
  if (!is_directory(point)) {
    std::fprintf(stderr, "kelvora: the mount point %s is not a directory\n", point.c_str());
    return EXIT_USAGE;
  }
  MountedCd cd;
  if (int code = prepare(options, cd)) return code;

  FuseArgs args({"kelvora", "-o", "ro,default_permissions,fsname=kelvora,subtype=kelvora"});
  const fuse_operations ops = operations();
  FusePtr f(fuse_new(&args.Args, &ops, sizeof ops, &cd));
  if (!f) {
    std::fprintf(stderr, "kelvora: cannot start the file system of the CD\n");
    return EXIT_USAGE;
  }
  // Handled before the CD is mounted: a Ctrl-C as soon as it is there must
  // unmount it, not leave a dead mount behind.
  SignalsHandled signals(fuse_get_session(f.get()));
  Mounted on(f.get(), point);
  if (!on.ok()) {
    std::fprintf(stderr, "kelvora: cannot mount the CD on %s\n", point.c_str());
    return EXIT_USAGE;
  }
  // In the background the first process ends here, once the CD is mounted.
  if (fuse_daemonize(mount.Foreground ? 1 : 0) != 0) return EXIT_USAGE;
  // Many threads: a slow read of one file does not hold up the others, and
  // the data files are read with positioned reads that share nothing.
  const int result = fuse_loop_mt(f.get(), 0);
  return result < 0 ? EXIT_SOME_FAILED : EXIT_ALL_DONE;
}

int run_umount(const std::string& mount_point) {
#if defined(__APPLE__)
  const std::vector<std::string> command{"umount", mount_point};
#else
  const std::vector<std::string> command{"fusermount3", "-u", mount_point};
#endif
  if (!find_program(command[0])) {
    std::fprintf(stderr, "kelvora: cannot unmount: %s is missing; install fuse3\n",
                 command[0].c_str());
    return EXIT_USAGE;
  }
  const std::string work = make_temp_directory("kelvora-umount");
  const std::string log = work.empty() ? "/dev/null" : work + "/log";
  const int status = run_program(command, log);
  std::string said;
  if (status != 0 && !work.empty()) {
    if (FilePtr in = open_file(log, "rb"))
      for (int c = std::fgetc(in.get()); c != EOF; c = std::fgetc(in.get()))
        if (c != '\n' || !said.empty()) said += static_cast<char>(c == '\n' ? ' ' : c);
  }
  if (!work.empty()) remove_tree(work);
  if (status == 0) return EXIT_ALL_DONE;
  while (!said.empty() && said.back() == ' ') said.pop_back();
  std::fprintf(stderr, "kelvora: cannot unmount %s%s%s\n", mount_point.c_str(),
               said.empty() ? "" : ": ", said.c_str());
  return EXIT_SOME_FAILED;
}

}  // namespace kelvora::cli
