// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// A drive booted in a virtual machine for a look at its menus, the drive itself never
// written: started from the window and the page for a drive of this run, or run by
// quorvane-cli test-boot, which reads the boot menu, chooses entries with the keyboard
// and tells what the chosen entry reached.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace quorvane {

class TUSBDriveLetters;

// Starts QEMU on the disk that holds `letter`'s volume, in QEMU's own window on the
// desktop user's display, under BIOS (SeaBIOS) or UEFI (OVMF), and returns at once; the
// machine runs until its window is closed. Empty when it was started, else one line that
// says why not (what to install, no display, no such drive).
std::string StartVmTestBootWindow(char letter, bool uefi);

// The file QEMU boots for a drive letter: the image file of an image drive, else the
// whole disk's device (`device` true). Empty with the reason when the letter names no USB
// disk or image.
std::string VmDiskOfDrive(TUSBDriveLetters& table, char letter, bool& device, std::string& error);

// Whether there is a display to show QEMU's window on (DISPLAY or WAYLAND_DISPLAY).
bool VmDisplayPresent();

struct TVmTestBootRequest {
  std::string Disk;  // image file or, with DiskIsDevice, a disk's device
  bool DiskIsDevice = false;
  bool Uefi = false;
  // Menu items to choose, 1-based: the main menu's, then the next menu's, ...
  std::vector<int> Entry;
  // How long the chosen entry may take to reach its end; 0: 60 s with KVM, 180 s without.
  std::chrono::seconds Wait{0};
  // QEMU's window ("gtk", "sdl") in the desktop session; empty: none.
  std::string Window;
  std::vector<std::string> Environment;
};

struct TVmTestBootResult {
  std::string Error;        // the machine could not be run
  bool Kvm = false;         // it ran with KVM
  bool MenuShown = false;
  std::vector<std::string> Menu;  // the main menu's items
  bool EntryStarted = false;      // every item of the request was chosen
  std::string BootError;          // a boot loader's error after the choice
  bool StillRunning = false;      // the machine ran until the wait was over
  std::vector<std::string> ScreenLines, SerialLines;  // what it showed at the end

  // The menu showed and, when entries were asked for, they started without an error.
  bool Succeeded(bool entry_requested) const {
    return Error.empty() && MenuShown && (!entry_requested || (EntryStarted && BootError.empty()));
  }
};

// Boots the disk, waits for the boot menu, chooses the request's entries and waits for
// what they reach; `say` gets each line to show on the way (the menus' text among them).
// With a window, returns once the window was closed.
TVmTestBootResult RunVmTestBoot(const TVmTestBootRequest& request,
                                const std::function<void(const std::string&)>& say);

}  // namespace quorvane
