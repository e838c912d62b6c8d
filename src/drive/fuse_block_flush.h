// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// Flushing what was written through a FUSE driver of a block device (ntfs-3g) to the disk.
// fsync and syncfs on such a mount end once the kernel has handed the data to the driver,
// which writes it into the device's page cache; the disk gets it only when the driver
// closes the volume. An fsync of the device node itself takes it there.
#pragma once

#include <string>

namespace quorvane {

// When the open file or folder `fd` lies on a FUSE mount of a block device: fsyncs the
// device node. True when there is nothing to do or the flush worked; false with the
// reason when the device could not be flushed.
bool FlushFuseBlockDevice(int fd, std::string& error);

// As FlushFuseBlockDevice, then drops the device's cached pages, so that the driver's next
// reads of it come from the disk: for reading back what was written.
bool DropFuseBlockDeviceCache(int fd, std::string& error);

}  // namespace quorvane
