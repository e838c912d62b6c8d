// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "drive/boot_usb_creator.h"

#include "common/constants.h"
#include "drive/capacity_check.h"
#include "drive/grub_works.h"
#include "drive/uefi_boot_setup.h"
#include "drive/usb_drive_letters.h"
#include "jobs/orphan_job_folders.h"
#include "loaders/ntboot_works.h"

namespace quorvane {

TBootUSBCreator::TBootUSBCreator(char VDrive, std::uint8_t VFS, std::uint8_t VMode)
    : TBootUSBCreator(VDrive, VFS, VMode, USBDriveLetters()) {}

TBootUSBCreator::TBootUSBCreator(char VDrive, std::uint8_t VFS, std::uint8_t VMode,
                                 std::shared_ptr<TUSBDriveLetters> table)
    : FS(VFS), Drive(VDrive), FMode(VMode), FTable(std::move(table)) {
  if (FMode == FormatModeNew) DiskPart = std::make_unique<TDiskPartWorks>(FTable, FS);
}

TBootUSBCreator::~TBootUSBCreator() { WaitFor(); }

void TBootUSBCreator::ReleaseDiskPart() { DiskPart.reset(); }

void TBootUSBCreator::Execute() {
  try {
    if (FMode == FormatModeNew) {
      if (!DiskPart || !DiskPart->DosAppSuccessfullyStarted) {
        ErrorString = "Failed to start diskpart...";
        if (DiskPart && !DiskPart->MissingTool.empty())
          ErrorString += " " + DiskPart->MissingTool + " is not installed";
        ReleaseDiskPart();
        return;
      }
      if (!FTable || !FTable->VolumePresent(Drive)) {
        ErrorString = "Selected Drive not found...";
        ReleaseDiskPart();
        return;
      }
      // The capacity check comes first: nothing is repartitioned on a drive that fails it.
      if (Options.CheckCapacity && !CheckCapacity()) {
        ReleaseDiskPart();
        return;
      }
      std::string error;
      bool formatted = true;
      if (FS == FileSystemFAT32) formatted = DiskPart->CreateFreshFatUSB(Drive, error);
      if (FS == FileSystemNTFS) formatted = DiskPart->CreateFreshNTFSUSB(Drive, error);
      if (!formatted) {
        // A tool's refusal stops the drive step: no boot code on a drive that failed.
        ErrorString = "Failed to format drive... " + error;
        ReleaseDiskPart();
        return;
      }
    }
    if (ErrorString.empty()) InstallGrub4Dos(Drive, ErrorString);
    if (ErrorString.empty()) DeployNTBOOT(Drive, ErrorString);
    if (ErrorString.empty() && FMode == FormatModeNew && FS == FileSystemNTFS) GrowNtfs();
    // An earlier run that ended abruptly may have left the folder of an entry whose menu
    // item was never written; it only takes room. One that cannot go now is found again
    // at the next burn, so that is no failure of this one.
    if (ErrorString.empty() && FMode == FormatModeAdd) {
      const std::string root = DriveRoot(Drive);
      if (!root.empty()) RemoveOrphanJobFolders(root);
    }
    if (ErrorString.empty() && FTable) PrepareUefiBoot(*FTable, Drive, FMode, ErrorString);
  } catch (...) {
    if (ErrorString.empty()) ErrorString = "Failed to format drive...";
  }
  ReleaseDiskPart();
}

void TBootUSBCreator::GrowNtfs() {
  // The loader and NTBOOT went into the small volume the format made; the rest of the
  // partition becomes one free run for the images.
  std::string error;
  if (!DiskPart || !DiskPart->GrowNTFSUSB(Drive, error))
    ErrorString = "Failed to format drive... " + error;
}

bool TBootUSBCreator::CheckCapacity() {
  ErrorString = CheckDriveCapacity(
      *FTable, Drive, CancelFlag(),
      [this](int percent) { ReportProgress(kCapacityCheckStep, percent); }, RawDeviceOpener);
  if (ErrorString.empty() && Canceled())
    ErrorString = "The capacity check was cancelled. The drive was not repartitioned.";
  if (!ErrorString.empty()) return false;
  ReportProgress("Formatting...", -1);
  return true;
}

std::unique_ptr<TDrivePreparation> CreateDrivePreparation(char Drive, std::uint8_t FileSystem,
                                                          std::uint8_t Mode) {
  return std::make_unique<TBootUSBCreator>(Drive, FileSystem, Mode);
}

}  // namespace quorvane
