// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// How quorvane-cli shows drives and sizes to a person.
#pragma once

#include <cstdint>
#include <string>

#include "drive/usb_drive_set.h"

namespace quorvane {

// "7.45 GiB", "512.00 MiB", "300 KiB"; "unknown" for a negative count.
std::string HumanSize(std::int64_t bytes);

// The table of `quorvane-cli drives`: one line per drive under a heading, columns
// aligned; sizes in bytes when `bytes` is set. "No USB drives found." for none.
std::string FormatDriveTable(const TUSBDrives& drives, bool bytes);

// One line naming a drive for the confirmation: "e: /dev/sdb1, Kingston DataTraveler
// 3.0, "STICK", FAT32, 7.45 GiB".
std::string DescribeDrive(const TUSBDriveSet& drive);

}  // namespace quorvane
