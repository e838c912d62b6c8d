// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "qemu_machine.h"

#include <gtest/gtest.h>

#include "jobs/vm_tools.h"

namespace quorvane::testing {

const char* FirmwareName(TFirmware firmware) {
  return firmware == TFirmware::OVMF ? "OVMF" : "SeaBIOS";
}

std::string FirmwareUnavailable(TFirmware firmware) {
  TVmTools tools;
  return FindVmTools(firmware == TFirmware::OVMF, tools);
}

TQemuMachine::TQemuMachine(const TMachineSetup& setup) {
  TVmMachineSetup vm;
  vm.Uefi = setup.Firmware == TFirmware::OVMF;
  vm.Disk = setup.Disk;
  vm.Cdrom = setup.Cdrom;
  vm.MemoryMiB = setup.MemoryMiB;
  std::string error;
  EXPECT_TRUE(FMachine.Start(vm, error)) << error;
}

bool TQemuMachine::WaitForSerial(const std::string& text, std::chrono::seconds limit) {
  return WaitForSerial(
      [&](const std::string& serial) { return serial.find(text) != std::string::npos; }, limit);
}

bool TQemuMachine::WaitForScreen(const std::function<bool(const std::string&)>& done,
                                 std::chrono::seconds limit, std::string* last) {
  TVmScreen screen;
  const bool shown = FMachine.WaitForScreen(
      [&](const TVmScreen& now) { return done(ScreenText(now.Rows)); }, limit, &screen);
  if (last) *last = ScreenText(screen.Rows);
  return shown;
}

}  // namespace quorvane::testing
