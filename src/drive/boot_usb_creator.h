// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The drive step of a burn: in mode new it checks the drive's real capacity when asked to,
// then repartitions and formats the drive; in both modes it installs GRUB4DOS and deploys
// the NTBOOT package.
#pragma once

#include <cstdint>
#include <memory>

#include "drive/disk_part_works.h"
#include "drive/raw_block_device.h"
#include "jobs/drive_preparation.h"

namespace quorvane {

class TUSBDriveLetters;

class TBootUSBCreator : public TDrivePreparation {
 public:
  // Works on the installed USB drive table (none: the drive is refused).
  TBootUSBCreator(char VDrive, std::uint8_t VFS, std::uint8_t VMode);
  TBootUSBCreator(char VDrive, std::uint8_t VFS, std::uint8_t VMode,
                  std::shared_ptr<TUSBDriveLetters> table);
  ~TBootUSBCreator() override;

  void ReleaseDiskPart();

  // How the capacity check opens the disk (tests put an in-memory disk there).
  TRawDeviceOpener RawDeviceOpener = OpenRawBlockDevice;

  std::unique_ptr<TDiskPartWorks> DiskPart;  // mode new only
  std::uint8_t FS;
  char Drive;
  std::uint8_t FMode;

 protected:
  void Execute() override;

 private:
  // Mode new with the check asked for: false (ErrorString set) when the drive failed it.
  bool CheckCapacity();
  // Mode new on NTFS: the volume grown over its partition once the drive step wrote to it.
  void GrowNtfs();

  std::shared_ptr<TUSBDriveLetters> FTable;
};

}  // namespace quorvane
