// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "common/text.h"
#include "drive/fuse_block_flush.h"
#include "drive/linux_block_devices.h"
#include "drive/linux_mount_table.h"

namespace quorvane {

namespace {

// Runs `use` on the device node behind the FUSE mount that holds `fd`, opened read-only;
// true with nothing done when `fd` lies on no such mount.
bool WithFuseBlockDevice(int fd, std::string& error,
                         bool (*use)(int node, const std::string& source, std::string& error)) {
  struct stat info {};
  if (::fstat(fd, &info) != 0) return true;
  const std::string device = DevNumberText(info.st_dev);
  for (const TMountEntry& m : ParseMountInfo(ReadTextFile("/proc/self/mountinfo"))) {
    if (m.DevNumber != device || m.FsType != "fuseblk") continue;
    const int node = ::open(m.Source.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    struct stat node_info {};
    if (node < 0 || ::fstat(node, &node_info) != 0 || !S_ISBLK(node_info.st_mode)) {
      if (node >= 0) ::close(node);
      return true;  // not a device node after all: the driver's business
    }
    const bool done = use(node, m.Source, error);
    ::close(node);
    return done;
  }
  return true;
}

bool FlushNode(int node, const std::string& source, std::string& error) {
  if (::fsync(node) == 0) return true;
  error = "cannot flush " + source + ": " + SystemErrorText(errno);
  return false;
}

bool FlushAndDropNode(int node, const std::string& source, std::string& error) {
  if (!FlushNode(node, source, error)) return false;
  const int result = ::posix_fadvise(node, 0, 0, POSIX_FADV_DONTNEED);
  if (result == 0) return true;
  error = "cannot drop the cache of " + source + ": " + SystemErrorText(result);
  return false;
}

}  // namespace

bool FlushFuseBlockDevice(int fd, std::string& error) {
  return WithFuseBlockDevice(fd, error, FlushNode);
}

bool DropFuseBlockDeviceCache(int fd, std::string& error) {
  return WithFuseBlockDevice(fd, error, FlushAndDropNode);
}

}  // namespace quorvane
