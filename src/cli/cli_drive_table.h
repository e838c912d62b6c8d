// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// How quorvane-cli shows drives and sizes to a person.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "drive/usb_drive_set.h"

namespace quorvane {

// "7.45 GiB", "512.00 MiB", "300 KiB"; "unknown" for a negative count.
std::string HumanSize(std::int64_t bytes);

// The table of `quorvane-cli drives`: one line per drive under a heading, columns
// aligned; sizes in bytes when `bytes` is set. "No USB drives found." for none.
std::string FormatDriveTable(const TUSBDrives& drives, bool bytes);

// Marks the label and file-system cells of the drives whose volume device `readable`
// says cannot be read (a run without root) with "?"; true when it marked any.
bool MarkUnreadableVolumes(TUSBDrives& drives,
                           const std::function<bool(const std::string& node)>& readable);

// The note under a table with such cells.
inline constexpr const char* kUnreadableVolumesNote =
    "? needs root: the label and file system are read from the drive itself, and the free "
    "space of a drive that is not mounted needs it mounted (sudo quorvane-cli drives).";

// One line naming a drive for the confirmation, as the window and the page name it:
// "e: /dev/sdb (/dev/sdb1), Kingston DataTraveler 3.0, 7.45 GiB, label "STICK", FAT32".
std::string DescribeDrive(const TUSBDriveSet& drive);

}  // namespace quorvane
