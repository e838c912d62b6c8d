// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "drive/disk_part_works.h"

#include <cmath>

#include "common/constants.h"
#include "drive/efi_partition.h"
#include "drive/linux_block_devices.h"
#include "drive/ntfs_layout.h"
#include "drive/usb_drive_letters.h"

namespace quorvane {

namespace {

constexpr std::uint64_t kFatStartSector = 20;  // 10240 bytes into the disk

// Marks a disk as being repartitioned for as long as it lives.
class TBusyDisk {
 public:
  TBusyDisk(TUSBDriveLetters& table, std::string name) : FTable(table), FName(std::move(name)) {
    FTable.SetDiskBusy(FName, true);
  }
  ~TBusyDisk() { FTable.SetDiskBusy(FName, false); }

 private:
  TUSBDriveLetters& FTable;
  std::string FName;
};

bool RunTool(IToolRunner& runner, const TToolCommand& command, std::string& error) {
  const TToolResult result = runner.Run(command);
  if (result.Succeeded()) return true;
  error = result.ErrorText();
  return false;
}

}  // namespace

std::int64_t FatPartitionMiB(std::int64_t disk_size) {
  return static_cast<std::int64_t>(std::trunc((static_cast<double>(disk_size) - 10240.0) / 1048576.0));
}

std::string FatPartitionScript(std::int64_t mib) {
  // The size in sectors: sfdisk would align a size given in MiB.
  return "label: dos\nstart=" + std::to_string(kFatStartSector) +
         ", size=" + std::to_string(mib * 2048) + ", type=c, bootable\n";
}

std::string NtfsPartitionScript() { return "label: dos\ntype=7, bootable\n"; }

TDiskPartWorks::TDiskPartWorks(std::shared_ptr<TUSBDriveLetters> table, std::uint8_t file_system)
    : FTable(std::move(table)) {
  if (!FTable) {
    DosAppSuccessfullyStarted = true;  // nothing to run; the drive is refused later
    return;
  }
  std::vector<std::string> tools{"umount", "losetup", "blockdev", "wipefs", "sfdisk",
                                 "mkfs.fat", "mdir", "mmd", "mcopy", "mtype"};
  if (file_system == FileSystemFAT32) tools.push_back("mkfs.vfat");
  if (file_system == FileSystemNTFS)
    tools.insert(tools.end(), NtfsLayoutTools().begin(), NtfsLayoutTools().end());
  for (const std::string& tool : tools) {
    if (!FTable->Runner().Available(tool)) {
      MissingTool = tool;
      return;
    }
  }
  DosAppSuccessfullyStarted = true;
}

bool TDiskPartWorks::CreateFreshFatUSB(char Drive, std::string& error) {
  return CreateFresh(Drive, FileSystemFAT32, error);
}

bool TDiskPartWorks::CreateFreshNTFSUSB(char Drive, std::string& error) {
  return CreateFresh(Drive, FileSystemNTFS, error);
}

bool TDiskPartWorks::CreateFresh(char Drive, std::uint8_t file_system, std::string& error) {
  if (!FTable) {
    error = "the drive is not a USB drive";
    return false;
  }
  TDiskTarget disk;
  if (!FTable->WritableDiskOf(Drive, disk, error)) return false;
  const bool fat = file_system == FileSystemFAT32;
  // The main partition first, the EFI partition for UEFI boot after it.
  TNewDriveLayout layout;
  if (disk.SizeBytes < 0) {
    error = "the size of " + disk.Node + " cannot be read";
    return false;
  }
  if (!PlanNewDriveLayout(disk.SizeBytes, fat, layout, error)) {
    error = disk.Node + ": " + error;
    return false;
  }
  IToolRunner& runner = FTable->Runner();
  TBusyDisk busy(*FTable, disk.KernelName);
  if (!FTable->UnmountDisk(disk, error)) return false;

  // Old signatures go first: those of the partitions, then the disk's own table.
  TDiskInfo info;
  if (ScanBlockDevice(FTable->Environment().SysRoot, disk.KernelName, info)) {
    for (const TPartitionInfo& p : info.Partitions) {
      const std::string node = FTable->Environment().DevRoot + "/" + p.KernelName;
      if (!RunTool(runner, {"wipefs", {"--all", node}, ""}, error)) return false;
    }
  }
  // Having wiped a partition table, wipefs waits a quarter of a second and asks the kernel
  // to drop the old partitions; --force skips that, and the exclusive open. An image's
  // loop device, attached by this program and held busy while it is formatted, has no
  // partitions in the kernel to drop.
  std::vector<std::string> wipe{"--all", disk.Node};
  if (disk.IsImage) wipe.insert(wipe.begin(), "--force");
  if (!RunTool(runner, {"wipefs", wipe, ""}, error)) return false;

  std::vector<std::string> args{"--wipe", "always", "--wipe-partitions", "always"};
  // An image's loop device has no partitions in the kernel; its partition is reached
  // through a loop device of its own.
  if (disk.IsImage) args.insert(args.end(), {"--no-reread", "--no-tell-kernel"});
  args.push_back(disk.Node);
  const std::string script = NewDrivePartitionScript(layout, fat);
  if (!RunTool(runner, {"sfdisk", args, script}, error)) return false;

  TPartitionDevice partition;
  if (!FTable->LocatePartition(disk, 1, partition, error)) return false;
  if (partition.StartSector != layout.MainStart || partition.Sectors != layout.MainSectors) {
    error = "the new partition on " + disk.Node + " starts at sector " +
            std::to_string(partition.StartSector) + " with " + std::to_string(partition.Sectors) +
            " sectors instead of the layout asked for";
    return false;
  }
  if (!RunTool(runner, {"wipefs", {"--all", partition.Node}, ""}, error)) return false;

  // The boot sector must carry the partition's start (hidden sectors) and a geometry, or
  // the boot loader cannot mount the volume; the tools cannot always learn them from a
  // USB stick or a loop device.
  if (fat) {
    const TToolCommand mkfs{
        "mkfs.vfat",
        {"-F", "32", "-h", std::to_string(partition.StartSector), "-g", "255/63", partition.Node},
        ""};
    if (!RunTool(runner, mkfs, error)) return false;
  } else if (!MakeNtfsVolume(runner, partition.Node, partition.StartSector,
                             partition.Sectors * 512, error)) {
    return false;
  }

  // Done with the partition's own loop device, if one was needed.
  if (!FTable->UnmountDisk(disk, error)) return false;
  return FTable->RebindLetter(Drive, disk, 1, error);
}

bool TDiskPartWorks::GrowNTFSUSB(char Drive, std::string& error) {
  if (!FTable) {
    error = "the drive is not a USB drive";
    return false;
  }
  TDiskTarget disk;
  if (!FTable->WritableDiskOf(Drive, disk, error)) return false;
  // A partition of no more than the seed's size (from 1 MiB up to the EFI partition, as
  // the format laid it out) has nothing to grow.
  TNewDriveLayout layout;
  std::string unplanned;
  if (PlanNewDriveLayout(disk.SizeBytes, false, layout, unplanned) &&
      layout.MainSectors <= kNtfsSeedSectors)
    return true;
  TBusyDisk busy(*FTable, disk.KernelName);
  if (!FTable->UnmountDisk(disk, error)) return false;
  TPartitionDevice partition;
  if (!FTable->LocatePartition(disk, 1, partition, error)) return false;
  if (!GrowNtfsVolume(FTable->Runner(), partition.Node, partition.Sectors * 512, error))
    return false;
  if (!FTable->UnmountDisk(disk, error)) return false;
  return FTable->RebindLetter(Drive, disk, 1, error);
}

}  // namespace quorvane
