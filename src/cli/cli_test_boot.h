// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// quorvane-cli test-boot: a drive booted in a virtual machine, its menu printed (or shown
// in QEMU's window), entries chosen and what they reached told.
#pragma once

#include <cstdio>
#include <string>

#include "cli/cli_arguments.h"

namespace quorvane {

// Boots `disk` (an image file, or with `device` a disk's device) as the command asks.
// The exit status: 0 when the menu showed and the chosen entries started without a boot
// loader's error, else 1.
int RunCliTestBoot(const TCliCommand& command, const std::string& disk, bool device,
                   std::FILE* out, std::FILE* err);

}  // namespace quorvane
