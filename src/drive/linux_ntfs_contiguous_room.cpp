// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include <sys/stat.h>

#include <filesystem>

#include "drive/linux_block_devices.h"
#include "drive/linux_mount_table.h"
#include "drive/ntfs_contiguous_room.h"
#include "drive/ntfs_volume.h"

namespace quorvane {

std::string NtfsDeviceOfPath(const std::string& path) {
  // The file may not exist yet: its folder does.
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0 &&
      ::stat(std::filesystem::path(path).parent_path().c_str(), &info) != 0)
    return {};
  const std::string device = DevNumberText(info.st_dev);
  for (const TMountEntry& m : ParseMountInfo(ReadTextFile("/proc/self/mountinfo"))) {
    if (m.DevNumber != device) continue;
    if (m.FsType != "fuseblk" && m.FsType != "ntfs3" && m.FsType != "ntfs") continue;
    struct stat node {};
    if (::stat(m.Source.c_str(), &node) == 0 && S_ISBLK(node.st_mode)) return m.Source;
  }
  return {};
}

std::string ContiguousRoomProblem(const std::string& target, std::uint64_t size,
                                  const std::string& image) {
  const std::string device = NtfsDeviceOfPath(target);
  if (device.empty() || size == 0) return {};
  TNtfsFreeSpace space;
  std::string error;
  if (!ReadNtfsFreeSpace(device, space, error)) return {};
  return PlanRuns(space.FreeRuns, space.ClusterSize, {{image, size, true}});
}

}  // namespace quorvane
