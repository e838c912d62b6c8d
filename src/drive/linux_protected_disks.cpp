// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "drive/linux_protected_disks.h"

namespace quorvane {

namespace {

class TProtectedWalk {
 public:
  TProtectedWalk(const std::vector<TDiskInfo>& disks, const TDeviceResolver& resolver)
      : FDisks(disks), FResolver(resolver) {}

  void AddDevNumber(const std::string& dev_number, const std::string& reason, int depth = 0) {
    if (dev_number.empty() || depth > 16) return;
    std::string name, disk_name;
    if (!FindDevNumber(FDisks, dev_number, name, disk_name)) return;
    if (!FSeen.insert(disk_name).second) return;
    const TDiskInfo* disk = Find(disk_name);
    if (!disk) return;
    Result.emplace(disk_name, reason);
    // A mapped or RAID device protects every device under it.
    for (const std::string& slave : disk->Slaves)
      AddDevNumber(DevNumberOfName(slave), reason, depth + 1);
    // A loop device protects the disk that holds its backing file.
    if (disk->IsLoop && !disk->BackingFile.empty()) {
      if (FResolver.NodeDevNumber)
        AddDevNumber(FResolver.NodeDevNumber(disk->BackingFile), reason, depth + 1);
      if (FResolver.HolderDevNumber)
        AddDevNumber(FResolver.HolderDevNumber(disk->BackingFile), reason, depth + 1);
    }
  }

  void AddPath(const std::string& path, bool holder, const std::string& reason) {
    if (FResolver.NodeDevNumber) AddDevNumber(FResolver.NodeDevNumber(path), reason);
    if (holder && FResolver.HolderDevNumber) AddDevNumber(FResolver.HolderDevNumber(path), reason);
  }

  std::map<std::string, std::string> Result;

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
  if (mount_point == "/") return true;
  // The folder itself and everything mounted below it: a disk that holds any of the
  // system's programs, logs, services' or users' data is the system's own.
  for (const char* folder : {"/boot", "/usr", "/var", "/home", "/srv", "/opt", "/root"}) {
    const std::string f = folder;
    if (mount_point == f || mount_point.compare(0, f.size() + 1, f + "/") == 0) return true;
  }
  return false;
}

std::map<std::string, std::string> ProtectedDiskReasons(const std::vector<TDiskInfo>& disks,
                                                        const std::vector<TMountEntry>& mounts,
                                                        const std::vector<std::string>& swaps,
                                                        const TDeviceResolver& resolver) {
  TProtectedWalk walk(disks, resolver);
  for (const TMountEntry& mount : mounts) {
    if (!IsSystemMountPoint(mount.MountPoint)) continue;
    const std::string reason =
        (mount.Source.empty() ? std::string("a file system") : mount.Source) + " is mounted at " +
        mount.MountPoint;
    walk.AddDevNumber(mount.DevNumber, reason);
    if (!mount.Source.empty() && mount.Source[0] == '/') walk.AddPath(mount.Source, false, reason);
  }
  for (const std::string& area : swaps)
    walk.AddPath(area, true, "the swap area " + area + " is active on it");
  return walk.Result;
}

std::set<std::string> ProtectedDisks(const std::vector<TDiskInfo>& disks,
                                     const std::vector<TMountEntry>& mounts,
                                     const std::vector<std::string>& swaps,
                                     const TDeviceResolver& resolver) {
  std::set<std::string> names;
  for (const auto& [name, reason] : ProtectedDiskReasons(disks, mounts, swaps, resolver))
    names.insert(name);
  return names;
}

}  // namespace quorvane
