// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The NTBOOT package through which the Windows installer entries boot.
#pragma once

#include <string>

namespace quorvane {

// Unpacks the package onto the drive under "Quorvane/NTBOOT" and places the Windows 7
// answer file at the drive's root. `Error` is empty on success.
void DeployNTBOOT(char Drive, std::string& Error);

}  // namespace quorvane
