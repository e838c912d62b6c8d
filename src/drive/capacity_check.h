// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The capacity check of mode new: the disk behind a drive letter checked for a capacity it
// does not have, after the user's confirmation and before anything is repartitioned.
#pragma once

#include <atomic>
#include <string>

#include "drive/capacity_probe.h"
#include "drive/raw_block_device.h"

namespace quorvane {

class TUSBDriveLetters;

// The step's name as the front ends show it.
inline constexpr const char* kCapacityCheckStep = "Checking capacity...";

// Unmounts the letter's disk and checks it. Empty when the drive holds what it claims;
// otherwise the message for the user, which also says that the drive was not
// repartitioned (a shortfall, a check that failed or was cancelled).
std::string CheckDriveCapacity(TUSBDriveLetters& table, char letter,
                               const std::atomic<bool>& cancel, const TCapacityProgress& progress,
                               const TRawDeviceOpener& opener = OpenRawBlockDevice,
                               const TCapacityProbeOptions& options = {});

// The message for a check's result; empty for an honest drive whose contents were all
// written back.
std::string CapacityCheckMessage(const TCapacityProbeResult& result);

}  // namespace quorvane
