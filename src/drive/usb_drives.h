// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The drive list of the run: the USB drive volumes found by the last scan.
#pragma once

#include "drive/usb_drive_set.h"

namespace quorvane {

// The result of the last RefreshUSBDrives, in ascending letter order.
extern TUSBDrives USBDrives;

// Rebuilds USBDrives from the installed letter table; empty when the table cannot list
// drives or the scan fails.
void RefreshUSBDrives();

// Label ("removable drive" when it has none or cannot be read) and file-system name
// (empty when unknown) of a drive letter.
void GetVolumeNameAndFS(char letter, std::string& name, std::string& file_system);

// The window over which a dialog of the control server is placed. Linux has no
// desktop-wide handle to give: always 0 (no owner).
int GetActiveWindowHandle();

}  // namespace quorvane
