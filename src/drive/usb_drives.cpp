// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "drive/usb_drives.h"

#include "common/constants.h"
#include "drive/drive_letters.h"

namespace quorvane {

TUSBDrives USBDrives;

std::uint8_t IntFileSystemOf(const std::string& file_system) {
  if (file_system == "NTFS") return FileSystemNTFS;
  if (file_system == "FAT32" || file_system == "exFAT") return FileSystemFAT32;
  return FileSystemOther;
}

void RefreshUSBDrives() {
  USBDrives.clear();
  try {
    std::shared_ptr<IDriveLetters> letters = DriveLetters();
    if (auto* lister = dynamic_cast<IDriveLister*>(letters.get())) USBDrives = lister->ListUSBDrives();
  } catch (...) {
    USBDrives.clear();
  }
}

void GetVolumeNameAndFS(char letter, std::string& name, std::string& file_system) {
  name.clear();
  file_system.clear();
  try {
    std::shared_ptr<IDriveLetters> letters = DriveLetters();
    if (auto* lister = dynamic_cast<IDriveLister*>(letters.get()))
      lister->VolumeNameAndFS(letter, name, file_system);
  } catch (...) {
    name.clear();
    file_system.clear();
  }
  if (name.empty()) name = kNoVolumeLabel;
}

int GetActiveWindowHandle() { return 0; }

}  // namespace quorvane
