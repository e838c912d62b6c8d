// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// Raw access to the first sectors of the disk behind a drive letter, and the disk's
// length. Only USB disks and named image files are ever opened for writing, never a disk
// that holds the running system.
#pragma once

#include <cstdint>
#include <string>

namespace quorvane {

// Opens the disk of the letter's volume for reading and writing through the installed
// USB drive table; -1 (and `error` set) when the letter names no such disk or the disk is
// protected.
int OpenPhysicalDrive(char letter, std::string& error);

// Length in bytes of the disk that holds the letter's volume; -1 when unknown or when the
// disk may not be written.
std::int64_t GetPhysicalDiskSize(char letter);

}  // namespace quorvane
