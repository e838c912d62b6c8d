// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// One USB drive volume as the front ends show it, the drive list, and the file-system
// code rule.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quorvane {

// The name of a volume that has no label.
inline constexpr const char* kNoVolumeLabel = "removable drive";

struct TUSBDriveSet {
  char Letter = 0;                 // run-local handle, 'a'..'z'
  std::string Name;                // the label; "removable drive" when there is none
  std::string FileSystem;          // "FAT32", "FAT", "exFAT", "NTFS", ...; empty when unknown
  std::string FileSystemProblem;   // why it is unknown when the volume may hold one
  std::uint8_t IntFileSystem = 2;  // FileSystemFAT32, FileSystemNTFS or FileSystemOther
  std::int64_t FreeSpace = 0;      // bytes free for the caller; -1 unknown; 0 when FullSize is 0
  std::string FreeSpaceError;      // why the free space is unknown (FreeSpace -1)
  std::int64_t FullSize = 0;       // length of the whole disk; 0 when unknown
  bool IsDKeyUSB = false;          // reserved, always false

  // What the front ends show a person before erasing anything.
  std::string VolumeDevice;  // "/dev/sdb1"; empty while a partition has no node of its own
  std::string DiskDevice;    // "/dev/sdb"
  std::string MountPoint;    // empty when not mounted
  std::string Vendor, Model, Serial;
  std::string ImageFile;     // for a drive that is a disk image: the file
};

using TUSBDrives = std::vector<TUSBDriveSet>;

// FileSystemNTFS for exactly "NTFS", FileSystemFAT32 for exactly "FAT32" or "exFAT",
// FileSystemOther for anything else (the comparisons are case-sensitive).
std::uint8_t IntFileSystemOf(const std::string& file_system);

// A letter table that can list its drives.
class IDriveLister {
 public:
  virtual ~IDriveLister() = default;
  // The drives in ascending letter order.
  virtual TUSBDrives ListUSBDrives() = 0;
  // Label ("removable drive" when empty or unknown) and file-system name of a letter.
  virtual void VolumeNameAndFS(char letter, std::string& name, std::string& file_system) = 0;
};

}  // namespace quorvane
