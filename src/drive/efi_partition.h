// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The small EFI system partition that mode new puts after the main partition (partition
// 2, type 0xEF, FAT16) so that the drive boots on UEFI too: its place on the disk, and
// making and filling it through the disk's own node (mkfs.fat --offset, mtools at an
// offset), without mounting it. It holds EFI/BOOT/BOOTX64.EFI (GRUB 2) and
// EFI/BOOT/grub.cfg, which finds the main partition by a marker file of ours and loads
// the UEFI menu kept there.
#pragma once

#include <cstdint>
#include <string>

#include "common/tool_runner.h"

namespace quorvane {

inline constexpr const char* kEfiImageResource = "BOOTX64.EFI";

// Where the partitions of a new drive go, in 512-byte sectors. EfiSectors is 0 when the
// disk is too small for an EFI partition.
struct TNewDriveLayout {
  std::uint64_t MainStart = 0, MainSectors = 0;
  std::uint64_t EfiStart = 0, EfiSectors = 0;
};

// FAT32 keeps its start at sector 20 and whole MiB; NTFS starts at 1 MiB. The EFI partition
// (32 MiB, 16 MiB on disks under 1 GiB, none under 48 MiB) takes the disk's last whole MiB
// and the main partition ends before it. False with the reason when the disk is too small.
bool PlanNewDriveLayout(std::int64_t disk_size, bool fat, TNewDriveLayout& layout,
                        std::string& error);

// Bytes of a disk of `disk_size` that mode new gives to the EFI partition, with the
// alignment before it: what the main partition cannot use.
std::int64_t NewDriveEfiReserve(std::int64_t disk_size);

// The sfdisk script: partition 1 active (type 0x0C for FAT32, 0x07 for NTFS), then the EFI
// partition (type 0xEF) when the layout has one.
std::string NewDrivePartitionScript(const TNewDriveLayout& layout, bool fat);

// The partition entry of type 0xEF in a sector 0 with a partition table; false when none.
bool FindEfiPartitionEntry(const unsigned char* sector0, std::uint64_t& start,
                           std::uint64_t& sectors);

// A new marker file's path on the main partition ("/Quorvane/efi-<16 hex>.id"), and the
// EFI partition's grub.cfg that looks for it: partition 1 of the disk it was loaded from
// first, any volume holding the marker next; it exports the volume as $qv_main.
std::string NewEfiMarkerPath();
std::string EfiBootConfig(const std::string& marker_path);
// The marker named in a grub.cfg written by EfiBootConfig; empty when it is not ours.
std::string EfiMarkerOfConfig(const std::string& config);

// Makes the FAT16 file system of the EFI partition at `start` on the disk `disk_node`.
bool MakeEfiFileSystem(IToolRunner& runner, const std::string& disk_node, std::uint64_t start,
                       std::uint64_t sectors, std::string& error);
// Writes EFI/BOOT/BOOTX64.EFI (from the resources) and EFI/BOOT/grub.cfg for `marker_path`,
// replacing what is there.
bool FillEfiPartition(IToolRunner& runner, const std::string& disk_node, std::uint64_t start,
                      const std::string& marker_path, std::string& error);
// The marker of our grub.cfg on the EFI partition at `start`; empty when the partition
// holds none of ours (or cannot be read).
std::string ReadEfiMarker(IToolRunner& runner, const std::string& disk_node, std::uint64_t start);

}  // namespace quorvane
