// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// A drive booted in a virtual machine for a look at its menus, the drive itself never
// written: started from the window and the page for a drive of this run.
#pragma once

#include <string>

namespace quorvane {

// Starts QEMU on the disk that holds `letter`'s volume, in QEMU's own window on the
// desktop user's display, under BIOS (SeaBIOS) or UEFI (OVMF), and returns at once; the
// machine runs until its window is closed. Empty when it was started, else one line that
// says why not (what to install, no display, no such drive).
std::string StartVmTestBootWindow(char letter, bool uefi);

}  // namespace quorvane
