// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The block devices the kernel shows under sysfs: whole disks with their partitions, how
// each disk is attached, its length and its maker's names. The sysfs root is a parameter
// so that small fixture trees can stand in for the machine's.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace quorvane {

struct TPartitionInfo {
  int Number = 0;              // 1-based partition number
  std::uint64_t StartSector = 0;  // in 512-byte units
  std::uint64_t Sectors = 0;
  std::string KernelName;      // "sdb1"; empty for a partition the kernel does not show
  std::string DevNumber;       // "8:17"; empty when the kernel does not show it
};

struct TDiskInfo {
  std::string KernelName;  // "sdb", "loop3", "dm-0"
  std::string DevNumber;   // "8:16"
  std::string DevicePath;  // the device's real path below the sysfs root
  bool Usb = false;        // attached through a USB device
  bool SizeKnown = false;
  std::int64_t SizeBytes = 0;
  bool ReadOnly = false;
  std::string Vendor, Model, Serial;
  std::string UsbDevicePath;  // the nearest USB device (its port), below the sysfs root
  std::vector<TPartitionInfo> Partitions;  // as the kernel shows them, by number
  std::vector<std::string> Slaves;         // devices under a mapped or RAID device
  // Loop devices only.
  bool IsLoop = false;
  std::string BackingFile;
  std::uint64_t LoopOffset = 0;
  std::uint64_t LoopSizeLimit = 0;
};

// Every disk under `sys_root`/block, sorted by kernel name. Missing or unreadable files
// leave their fields at the defaults (a size that cannot be read: SizeKnown false).
std::vector<TDiskInfo> ScanBlockDevices(const std::string& sys_root);

// One disk by kernel name; false when sysfs has no such disk.
bool ScanBlockDevice(const std::string& sys_root, const std::string& name, TDiskInfo& disk);

// A device number in the kernel's "major:minor" form ("8:17").
std::string DevNumberText(dev_t dev);

// Kernel name of the block device with this device number ("8:17"), looking at disks
// and their partitions; `disk` receives the disk's name. False when none has it.
bool FindDevNumber(const std::vector<TDiskInfo>& disks, const std::string& dev_number,
                   std::string& name, std::string& disk);

}  // namespace quorvane
