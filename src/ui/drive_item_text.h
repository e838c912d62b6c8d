// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// How a drive is shown to a person who is about to erase it.
#pragma once

#include <string>

#include "drive/usb_drive_set.h"

namespace quorvane {

// "e:\, LABEL, FAT32" followed by the disk (or image file) and its vendor and model:
// "e:\, LABEL, FAT32 (/dev/sdb, SanDisk Cruzer Blade)". The first character is the letter.
std::string DriveItemText(const TUSBDriveSet& drive);

}  // namespace quorvane
