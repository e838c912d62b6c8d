// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "jobs/vm_test_boot.h"
#include "jobs/vm_tools.h"

namespace quorvane {

std::string StartVmTestBootWindow(char letter, bool uefi) {
  (void)letter;
  TVmTools tools;
  std::string missing = FindVmTools(uefi, tools);
  if (!missing.empty()) return missing;
  return "Testing in a virtual machine is not available in this build";
}

}  // namespace quorvane
