// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// Repartitioning and formatting a drive with the system's tools, in place of a
// partitioning program with a script: wipe the old signatures and table, write an MBR
// with one primary, active partition, make the file system, keep the drive's letter.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace quorvane {

class TUSBDriveLetters;

// Whole MiB of a FAT32 partition that starts 10240 bytes into a disk of `disk_size`
// bytes and spans the rest of it: (disk_size - 10240) / 1048576, truncated toward zero.
std::int64_t FatPartitionMiB(std::int64_t disk_size);

// The sfdisk scripts: FAT32 from sector 20 for `mib` MiB, type 0x0C; NTFS at the tool's
// default alignment over the rest of the disk, type 0x07. Both one primary, active
// partition on a new MBR.
std::string FatPartitionScript(std::int64_t mib);
std::string NtfsPartitionScript();

class TDiskPartWorks {
 public:
  // Checks that the tools for `file_system` are installed.
  TDiskPartWorks(std::shared_ptr<TUSBDriveLetters> table, std::uint8_t file_system);

  bool DosAppSuccessfullyStarted = false;  // every tool needed is installed
  std::string MissingTool;                 // else the first one missing

  // Repartition and format the drive's disk; false with the reason (the tool's own error
  // text where a tool failed).
  bool CreateFreshFatUSB(char Drive, std::string& error);
  bool CreateFreshNTFSUSB(char Drive, std::string& error);
  // An NTFS volume is made small by CreateFreshNTFSUSB; once the drive step has written
  // its files, this grows it over its partition.
  bool GrowNTFSUSB(char Drive, std::string& error);

 private:
  bool CreateFresh(char Drive, std::uint8_t file_system, std::string& error);

  std::shared_ptr<TUSBDriveLetters> FTable;
};

}  // namespace quorvane
