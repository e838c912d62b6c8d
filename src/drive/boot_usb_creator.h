// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The drive step of a burn: in mode new it repartitions and formats the drive, then in
// both modes it installs GRUB4DOS and deploys the NTBOOT package.
#pragma once

#include <cstdint>
#include <memory>

#include "drive/disk_part_works.h"
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

  std::unique_ptr<TDiskPartWorks> DiskPart;  // mode new only
  std::uint8_t FS;
  char Drive;
  std::uint8_t FMode;

 protected:
  void Execute() override;

 private:
  std::shared_ptr<TUSBDriveLetters> FTable;
};

}  // namespace quorvane
