// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "archive/drive_presence.h"

#include <filesystem>

#include "drive/drive_letters.h"

namespace quorvane {

TTargetDrive::TTargetDrive(const std::string& folder)
    : FFolder(folder), FLetter(DriveLetterOfPath(folder)) {}

bool TTargetDrive::Gone() const {
  if (FLetter != 0) return GetDriveFreeSpace(FLetter) == -1;
  std::error_code ec;
  return !std::filesystem::is_directory(FFolder, ec);
}

}  // namespace quorvane
