// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// What a test boot of a drive in a virtual machine needs from the system: QEMU, the UEFI
// firmware for a UEFI boot, and whether KVM makes it fast.
#pragma once

#include <string>

namespace quorvane {

struct TVmTools {
  std::string Qemu;      // absolute path of qemu-system-x86_64
  std::string OvmfCode;  // the UEFI firmware's code and its variable store (read only)
  std::string OvmfVars;
  bool Kvm = false;      // /dev/kvm can be opened for reading and writing
};

// Finds the tools. Empty when the boot can run; else one line that says what to install
// ("QEMU is not installed: install the package qemu-system-x86", or the package "ovmf"
// for a UEFI boot).
std::string FindVmTools(bool uefi, TVmTools& tools);

}  // namespace quorvane
