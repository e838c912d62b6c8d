// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The UEFI half of the drive step: in mode new the EFI partition that the new table holds
// gets its file system, boot loader and configuration, and the main partition the marker
// file by which that configuration finds it; in mode add a drive with our EFI partition
// gets the boot loader of this version. Mode add never repartitions.
#pragma once

#include <cstdint>
#include <string>

namespace quorvane {

class TUSBDriveLetters;

// What the drive's disk holds for UEFI boot, read without writing.
enum class TEfiPartitionState { None, Foreign, Ours };
TEfiPartitionState EfiPartitionStateOf(TUSBDriveLetters& table, char Drive);

// `Error` is empty on success.
void PrepareUefiBoot(TUSBDriveLetters& table, char Drive, std::uint8_t Mode, std::string& Error);

}  // namespace quorvane
