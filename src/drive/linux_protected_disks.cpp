// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "drive/linux_protected_disks.h"

namespace quorvane {

namespace {

class TProtectedWalk {
 public:
  TProtectedWalk(const std::vector<TDiskInfo>& disks, const TDeviceResolver& resolver)
      : FDisks(disks), FResolver(resolver) {}

  void AddDevNumber(const std::string& dev_number, int depth = 0) {
    if (dev_number.empty() || depth > 16) return;
    std::string name, disk_name;
    if (!FindDevNumber(FDisks, dev_number, name, disk_name)) return;
    if (!FSeen.insert(disk_name).second) return;
    const TDiskInfo* disk = Find(disk_name);
    if (!disk) return;
    Result.insert(disk_name);
    // A mapped or RAID device protects every device under it.
    for (const std::string& slave : disk->Slaves) AddDevNumber(DevNumberOfName(slave), depth + 1);
    // A loop device protects the disk that holds its backing file.
    if (disk->IsLoop && !disk->BackingFile.empty()) {
      if (FResolver.NodeDevNumber) AddDevNumber(FResolver.NodeDevNumber(disk->BackingFile), depth + 1);
      if (FResolver.HolderDevNumber)
        AddDevNumber(FResolver.HolderDevNumber(disk->BackingFile), depth + 1);
    }
  }

  void AddPath(const std::string& path, bool holder) {
    if (FResolver.NodeDevNumber) AddDevNumber(FResolver.NodeDevNumber(path));
    if (holder && FResolver.HolderDevNumber) AddDevNumber(FResolver.HolderDevNumber(path));
  }

  std::set<std::string> Result;

 private:
  const TDiskInfo* Find(const std::string& name) const {
    for (const TDiskInfo& d : FDisks)
      if (d.KernelName == name) return &d;
    return nullptr;
  }

  std::string DevNumberOfName(const std::string& name) const {
    for (const TDiskInfo& d : FDisks) {
      if (d.KernelName == name) return d.DevNumber;
      for (const TPartitionInfo& p : d.Partitions)
        if (p.KernelName == name) return p.DevNumber;
    }
    return {};
  }

  const std::vector<TDiskInfo>& FDisks;
  const TDeviceResolver& FResolver;
  std::set<std::string> FSeen;
};

}  // namespace

bool IsSystemMountPoint(const std::string& mount_point) {
  for (const char* folder : {"/", "/boot", "/boot/efi", "/usr", "/var", "/home"})
    if (mount_point == folder) return true;
  return false;
}

std::set<std::string> ProtectedDisks(const std::vector<TDiskInfo>& disks,
                                     const std::vector<TMountEntry>& mounts,
                                     const std::vector<std::string>& swaps,
                                     const TDeviceResolver& resolver) {
  TProtectedWalk walk(disks, resolver);
  for (const TMountEntry& mount : mounts) {
    if (!IsSystemMountPoint(mount.MountPoint)) continue;
    walk.AddDevNumber(mount.DevNumber);
    if (!mount.Source.empty() && mount.Source[0] == '/') walk.AddPath(mount.Source, false);
  }
  for (const std::string& area : swaps) walk.AddPath(area, true);
  return walk.Result;
}

}  // namespace quorvane
