// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// What a volume's own bytes say about it (file-system type, label, identifier) and the
// partition table of a disk, read with libblkid.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace quorvane {

struct TVolumeProbe {
  std::string Type;     // libblkid's name: "vfat", "ntfs", "exfat", "ext4", ...
  std::string Version;  // for vfat: "FAT12", "FAT16" or "FAT32"
  std::string Label;
  std::string Uuid;
  // Why the volume's bytes could not be told apart when there may be a file system: the
  // device cannot be read, or it carries the marks of more than one. Empty when the probe
  // found a file system, or read the volume and found none.
  std::string Problem;
};

struct TProbedPartition {
  int Number = 0;
  std::uint64_t StartSector = 0;  // 512-byte units
  std::uint64_t Sectors = 0;
};

class IVolumeProber {
 public:
  virtual ~IVolumeProber() = default;
  // The file system in `size` bytes at `offset` of a device or image (size 0: to the
  // end); false when none is found or the device cannot be read (then Problem says so).
  virtual bool ProbeVolume(const std::string& node, std::uint64_t offset, std::uint64_t size,
                           TVolumeProbe& probe) = 0;
  // The partitions of a disk's table (extended containers left out); false when the disk
  // has no partition table or cannot be read.
  virtual bool ProbePartitions(const std::string& node,
                               std::vector<TProbedPartition>& partitions) = 0;
};

class TBlkidVolumeProber : public IVolumeProber {
 public:
  bool ProbeVolume(const std::string& node, std::uint64_t offset, std::uint64_t size,
                   TVolumeProbe& probe) override;
  bool ProbePartitions(const std::string& node,
                       std::vector<TProbedPartition>& partitions) override;
};

std::shared_ptr<IVolumeProber> SystemVolumeProber();

// The file-system name the rest of the program tests for: "FAT32", "FAT" (FAT12/16),
// "exFAT", "NTFS", else the type as libblkid names it; empty when there is none.
std::string FileSystemName(const TVolumeProbe& probe);

}  // namespace quorvane
