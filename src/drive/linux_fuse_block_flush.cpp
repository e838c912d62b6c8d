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

bool FlushFuseBlockDevice(int fd, std::string& error) {
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
    const bool flushed = ::fsync(node) == 0;
    const int flush_error = errno;
    ::close(node);
    if (!flushed) error = "cannot flush " + m.Source + ": " + SystemErrorText(flush_error);
    return flushed;
  }
  return true;
}

}  // namespace quorvane
