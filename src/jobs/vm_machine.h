// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// A PC in QEMU booting a drive that is never written: the disk opened read-only and
// handed to QEMU, whose writes go to an overlay; SeaBIOS or OVMF; the monitor and the
// serial port on sockets of the program's own, through which keys are pressed and the
// screens are read. QEMU runs as the desktop user or nobody, never as root.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "jobs/vm_screen.h"
#include "jobs/vm_tools.h"

namespace quorvane {

struct TVmMachineSetup {
  bool Uefi = false;
  std::string Disk;   // disk image file, the first hard disk
  bool DiskIsDevice = false;  // Disk may be a disk's block device
  std::string Cdrom;  // ISO image in the CD drive
  int MemoryMiB = 512;
  bool Kvm = false;   // with KVM where QEMU can use it, else without
  // QEMU's window ("gtk" or "sdl") in the session that `Environment` names; empty: none.
  std::string Window;
  std::string Title;  // of the window
  std::vector<std::string> Environment;
  // Started and left to run until its window is closed; nothing to talk to.
  bool Detached = false;
};

// QEMU's arguments for a setup whose files are handed over in this order: the disk, the
// CD, the variable store for writing and for reading (each when the setup has it), the
// monitor and the serial port (when the machine is not detached).
std::vector<std::string> VmQemuArguments(const TVmMachineSetup& setup, const TVmTools& tools);

// QEMU's own window, "gtk" or "sdl", as the installed QEMU offers them; empty, with what
// to install in `missing`, when it offers neither.
std::string VmWindowKind(const TVmTools& tools, std::string& missing);

class TVmMachine {
 public:
  TVmMachine() = default;
  ~TVmMachine();
  TVmMachine(const TVmMachine&) = delete;
  TVmMachine& operator=(const TVmMachine&) = delete;

  // Starts QEMU. False with the reason in `error`.
  bool Start(const TVmMachineSetup& setup, std::string& error);

  // Whether QEMU was started and has not ended.
  bool Running();
  // Whether the machine stopped on a fault of the accelerator (KVM's "internal error").
  bool Faulted();
  // Whether it runs with KVM.
  bool UsesKvm();
  // The screen now: the VGA text screen under BIOS, the console the firmware draws on
  // the serial port under UEFI.
  TVmScreen Screen();
  TVmScreen VgaScreen();
  TVmScreen SerialScreen();
  // Presses one key by QEMU's name for it ("down", "ret", "esc").
  bool SendKey(const std::string& key);
  // Everything written to the serial port so far.
  std::string Serial();
  // What QEMU itself wrote on its standard error.
  std::string ErrorOutput();
  // The process id of QEMU (attached machines only).
  pid_t Pid() const { return FPid; }

  // Waits until `done` holds for the serial text, at most `limit`; false on time-out or
  // when the machine has ended without it.
  bool WaitForSerial(const std::function<bool(const std::string&)>& done,
                     std::chrono::seconds limit);
  // Waits until `done` holds for the screen, at most `limit`; the last screen read stays
  // in `last`.
  bool WaitForScreen(const std::function<bool(const TVmScreen&)>& done,
                     std::chrono::seconds limit, TVmScreen* last = nullptr);
  bool WaitForExit(std::chrono::seconds limit);
  // Ends the machine: asks QEMU to quit, then kills it. Empty when all it had is gone,
  // else what stays (its folder, when something was left in it).
  std::string Stop();

 private:
  std::string Command(const std::string& line, std::chrono::seconds limit);
  std::string ReadReply(std::chrono::seconds limit);
  void ReadOutputs();

  bool FUefi = false;
  pid_t FPid = -1;
  bool FEnded = false;
  int FMonitor = -1, FSerial = -1, FErrors = -1;
  std::string FFolder;
  std::mutex FLock;
  std::string FSerialText, FErrorText;
  TAnsiScreen FSerialScreen;
  std::atomic<bool> FStopReading{false};
  std::thread FReader;
};

}  // namespace quorvane
