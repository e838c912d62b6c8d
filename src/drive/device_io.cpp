// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "drive/device_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/text.h"
#include "drive/linux_block_devices.h"
#include "drive/usb_drive_letters.h"

namespace quorvane {

int OpenPhysicalDrive(char letter, std::string& error) {
  std::shared_ptr<TUSBDriveLetters> table = USBDriveLetters();
  if (!table) {
    error = "the drive is not a USB drive";
    return -1;
  }
  TDiskTarget disk;
  if (!table->WritableDiskOf(letter, disk, error)) return -1;
  const int fd = ::open(disk.Node.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) {
    error = "cannot open " + disk.Node + ": " + SystemErrorText(errno);
    return -1;
  }
  // The node must still be the disk that was cleared (or a plain image file).
  struct stat st {};
  bool same = false;
  if (::fstat(fd, &st) == 0) {
    if (S_ISBLK(st.st_mode))
      same = DevNumberText(st.st_rdev) == disk.DevNumber;
    else
      same = S_ISREG(st.st_mode);
  }
  if (!same) {
    ::close(fd);
    error = disk.Node + " is no longer the drive's disk";
    return -1;
  }
  return fd;
}

std::int64_t GetPhysicalDiskSize(char letter) {
  std::shared_ptr<TUSBDriveLetters> table = USBDriveLetters();
  if (!table) return -1;
  TDiskTarget disk;
  std::string error;
  if (!table->WritableDiskOf(letter, disk, error)) return -1;
  return disk.SizeBytes;
}

}  // namespace quorvane
