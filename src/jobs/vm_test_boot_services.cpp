// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "jobs/vm_test_boot_services.h"

#include "jobs/vm_test_boot.h"
#include "jobs/vm_tools.h"

namespace quorvane {

TVmTestBootServices WithDefaults(TVmTestBootServices services) {
  if (!services.MissingTools)
    services.MissingTools = [](bool uefi) {
      TVmTools tools;
      return FindVmTools(uefi, tools);
    };
  if (!services.Start) services.Start = StartVmTestBootWindow;
  return services;
}

bool IsVmTestDriveLetter(char letter) { return letter >= 'a' && letter <= 'z'; }

}  // namespace quorvane
