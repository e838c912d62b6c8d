// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// A PC in QEMU for the boot tests, the program's own machine (jobs/vm_machine.h): a disk
// image (never changed) or a CD, SeaBIOS or OVMF, keys pressed and the BIOS text screen
// and the serial port read, with waits bounded for the tests.
#pragma once

#include <chrono>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "jobs/vm_machine.h"

namespace quorvane::testing {

enum class TFirmware { SeaBIOS, OVMF };

const char* FirmwareName(TFirmware firmware);
inline void PrintTo(TFirmware firmware, std::ostream* out) { *out << FirmwareName(firmware); }

// Why QEMU cannot start a machine with `firmware` here (QEMU or OVMF's files missing);
// empty when it can.
std::string FirmwareUnavailable(TFirmware firmware);

struct TMachineSetup {
  TFirmware Firmware = TFirmware::SeaBIOS;
  std::string Disk;   // raw disk image, the first hard disk
  std::string Cdrom;  // ISO image in the CD drive
  int MemoryMiB = 512;
};

class TQemuMachine {
 public:
  // Starts the machine without KVM (which this machine's CI lacks); a failed start fails
  // the test.
  explicit TQemuMachine(const TMachineSetup& setup);

  bool Running() { return FMachine.Running(); }
  // The BIOS text screen's rows now; empty when the monitor cannot be reached.
  std::vector<std::string> Screen() { return FMachine.VgaScreen().Rows; }
  // Presses one key by QEMU's name for it ("down", "ret", "esc", "e").
  bool SendKey(const std::string& key) { return FMachine.SendKey(key); }
  // Everything written to the serial port so far.
  std::string Serial() { return FMachine.Serial(); }

  bool WaitForSerial(const std::function<bool(const std::string&)>& done,
                     std::chrono::seconds limit) {
    return FMachine.WaitForSerial(done, limit);
  }
  bool WaitForSerial(const std::string& text, std::chrono::seconds limit);
  // Waits until `done` holds for the BIOS text screen as text, at most `limit`; the last
  // screen read stays in `last`.
  bool WaitForScreen(const std::function<bool(const std::string&)>& done,
                     std::chrono::seconds limit, std::string* last = nullptr);
  bool WaitForExit(std::chrono::seconds limit) { return FMachine.WaitForExit(limit); }

 private:
  TVmMachine FMachine;
};

}  // namespace quorvane::testing
