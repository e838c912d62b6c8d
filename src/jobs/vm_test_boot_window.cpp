// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "common/tool_runner.h"
#include "drive/drive_letters.h"
#include "drive/usb_drive_letters.h"
#include "jobs/vm_machine.h"
#include "jobs/vm_test_boot.h"
#include "jobs/vm_tools.h"

namespace quorvane {

std::string StartVmTestBootWindow(char letter, bool uefi) {
  TVmTools tools;
  if (std::string missing = FindVmTools(uefi, tools); !missing.empty()) return missing;
  if (!VmDisplayPresent()) return "There is no display to show the virtual machine on";
  std::string missing;
  const std::string window = VmWindowKind(tools, missing);
  if (window.empty()) return missing;
  auto table = std::dynamic_pointer_cast<TUSBDriveLetters>(DriveLetters());
  if (!table) return "Drive not found";
  std::string error;
  bool device = false;
  const std::string disk = VmDiskOfDrive(*table, letter, device, error);
  if (disk.empty()) return error;
  TVmMachineSetup setup;
  setup.Uefi = uefi;
  setup.Disk = disk;
  setup.DiskIsDevice = device;
  setup.Kvm = true;
  setup.Window = window;
  setup.Title = std::string("Test boot of drive ") + letter +
                (uefi ? " (UEFI)" : " (BIOS)");
  setup.Environment = DesktopSessionEnvironment("C.UTF-8");
  setup.Detached = true;
  TVmMachine machine;
  if (!machine.Start(setup, error)) return error;
  return {};
}

}  // namespace quorvane
