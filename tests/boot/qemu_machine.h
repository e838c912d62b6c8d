// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// A PC in QEMU for the boot tests: a disk image (never changed: snapshot=on) or a CD,
// SeaBIOS or OVMF, the first serial port into a file, the monitor on a socket through
// which the tests press keys and read the BIOS text screen.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

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
  std::string WorkDir;  // serial log, monitor socket, OVMF's variable store
};

// The 80 x 25 characters of a text screen from the monitor's "xp /4000bx 0xb8000": every
// other byte is a character, the ones between are its colours.
std::vector<std::string> TextScreen(const std::string& monitor_output);

// One screen as text, rows joined with line ends.
std::string ScreenText(const std::vector<std::string>& screen);

class TQemuMachine {
 public:
  explicit TQemuMachine(const TMachineSetup& setup);
  ~TQemuMachine();
  TQemuMachine(const TQemuMachine&) = delete;
  TQemuMachine& operator=(const TQemuMachine&) = delete;

  // Whether QEMU was started and has not ended.
  bool Running();
  // The text screen now (BIOS text mode only); empty when the monitor cannot be reached.
  std::vector<std::string> Screen();
  // Presses one key by QEMU's name for it ("down", "ret", "esc", "e").
  bool SendKey(const std::string& key);
  // Everything written to the serial port so far.
  std::string Serial() const;

  // Waits until `done` holds for the serial text, at most `limit`; false on time-out or
  // when the machine has ended without it.
  bool WaitForSerial(const std::function<bool(const std::string&)>& done,
                     std::chrono::seconds limit);
  bool WaitForSerial(const std::string& text, std::chrono::seconds limit);
  // Waits until `done` holds for the text screen, at most `limit`; the last screen read
  // stays in `last`.
  bool WaitForScreen(const std::function<bool(const std::string&)>& done,
                     std::chrono::seconds limit, std::string* last = nullptr);
  // Waits (bounded) for QEMU to end by itself, as when the guest powers off.
  bool WaitForExit(std::chrono::seconds limit);

 private:
  bool Connect();
  bool Send(const std::string& text);
  // Reads the monitor's answer up to its next prompt.
  std::string ReadReply(std::chrono::seconds limit);

  std::string FSocketPath, FSerialPath;
  pid_t FPid = -1;
  bool FEnded = false;
  int FSocket = -1;
};

}  // namespace quorvane::testing
