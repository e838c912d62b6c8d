// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// How every front end names a drive to a person before it writes to it: the same device
// for the same stick in the window, the page and quorvane-cli.
#pragma once

#include <string>

#include "drive/usb_drive_set.h"

namespace quorvane {

// The disk, with the partition in brackets when the drive is one of its partitions:
// "/dev/sdb (/dev/sdb1)"; "/dev/sdb" for a disk without one; "" when neither is known.
std::string DriveDeviceText(const TUSBDriveSet& drive);

// Vendor and model ("Kingston DataTraveler 3.0"), or "image FILE" for an image drive;
// "" when nothing is known.
std::string DriveProductText(const TUSBDriveSet& drive);

// One line: device, product, size and label, the parts that are known:
// "/dev/sdb (/dev/sdb1), Kingston DataTraveler 3.0, 7.45 GiB, label "STICK"".
std::string DriveIdentityText(const TUSBDriveSet& drive);

}  // namespace quorvane
