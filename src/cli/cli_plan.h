// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// What quorvane-cli decides before it writes anything: the file system of a new drive,
// the request of the check before the burn, and the question the user confirms.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cli/cli_arguments.h"
#include "drive/usb_drive_set.h"
#include "jobs/burn_preflight.h"
#include "ui/capacity_rules.h"

namespace quorvane {

// One entry with what its image needs on the drive.
struct TPlannedEntry {
  TCliEntry Entry;
  std::string Name;  // its job name
  TCapacityEntry Need;
};

std::vector<TPlannedEntry> PlanEntries(const std::vector<TCliEntry>& entries);

// The file system the capacity rules choose when the drive is formatted anew. The rules'
// add-mode outcome (the entries fit as the drive is) does not apply to a new drive; then
// the entries' need decides, and a drive that is NTFS stays NTFS.
std::uint8_t NewDriveFileSystem(const TUSBDriveSet& drive,
                                const std::vector<TPlannedEntry>& entries);

// The request of the check before the burn.
TPreflightRequest PreflightRequestOf(char drive, std::uint8_t mode, std::uint8_t file_system,
                                     const std::vector<TPlannedEntry>& entries);

// The plan in a few lines: the drive, the mode and file system, the entries.
std::string DescribePlan(const TUSBDriveSet& drive, std::uint8_t mode, std::uint8_t file_system,
                         const std::vector<TPlannedEntry>& entries);

// The question asked before the burn, with the main window's texts for the mode.
std::string ConfirmationQuestion(std::uint8_t mode, const std::string& plan);

}  // namespace quorvane
