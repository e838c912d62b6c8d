// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The disks that hold the running system: a file system mounted at /, at /boot or below
// it, or anywhere at or below /home, /srv, /var, /opt, /root or /usr, or an active swap
// area, followed through partitions, mapped devices and loop devices down to the
// physical disks.
#pragma once

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "drive/linux_block_devices.h"
#include "drive/linux_mount_table.h"

namespace quorvane {

struct TDeviceResolver {
  // Device number ("8:1") of a block device node; empty when `path` is none.
  std::function<std::string(const std::string& path)> NodeDevNumber;
  // Device number of the file system that holds the file `path`; empty when unknown.
  std::function<std::string(const std::string& path)> HolderDevNumber;
};

// The protected disks by kernel name, each with why it is protected ("/dev/sda2 is
// mounted at /home", "the swap area /swapfile is active on it").
std::map<std::string, std::string> ProtectedDiskReasons(const std::vector<TDiskInfo>& disks,
                                                        const std::vector<TMountEntry>& mounts,
                                                        const std::vector<std::string>& swaps,
                                                        const TDeviceResolver& resolver);

// Kernel names of the protected disks.
std::set<std::string> ProtectedDisks(const std::vector<TDiskInfo>& disks,
                                     const std::vector<TMountEntry>& mounts,
                                     const std::vector<std::string>& swaps,
                                     const TDeviceResolver& resolver);

// Whether a mount point is one of the system's own folders or lies below one that holds
// the system's or its users' data.
bool IsSystemMountPoint(const std::string& mount_point);

}  // namespace quorvane
