// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The boot tests' kit: real media built from Debian's packages (a kernel, an initramfs
// whose init reports on the serial port and looks for its medium, ISO images of each
// layout), image drives burned with quorvane-cli, and the GRUB4DOS menu driven by keys.
#pragma once

#include <string>
#include <vector>

#include "e2e/e2e_support.h"
#include "qemu_machine.h"

namespace quorvane::testing {

// What the kit's init writes on the serial port: that it runs (then its command line),
// that it found the ISO file or CD it was started from, and that it is done.
inline constexpr const char* kInitStarted = "KIT: init started";
inline constexpr const char* kMediumFound = "KIT: medium found";
inline constexpr const char* kMediumNotFound = "KIT: medium not found";
inline constexpr const char* kInitDone = "KIT: done";

// The ISO images of the kit, by layout.
inline constexpr const char* kUbuntuOldIso = "ubuntu-old.iso";          // casper/vmlinuz.efi, initrd.lz
inline constexpr const char* kUbuntuCurrentIso = "ubuntu-current.iso";  // casper/vmlinuz, initrd
inline constexpr const char* kClonezillaIso = "clonezilla-live.iso";    // live/, isolinux
inline constexpr const char* kIsolinuxCdIso = "isolinux-cd.iso";        // El Torito, isolinux
inline constexpr const char* kMemtestIso = "memtest86+x64.iso";         // Debian's own
inline constexpr const char* kGrubRescueIso = "grub-rescue.iso";        // grub-mkrescue

struct TBootMedia {
  std::string Dir;  // with a trailing "/"
  std::string Iso(const std::string& name) const { return Dir + "iso/" + name; }
  std::string Kernel() const { return Dir + "vmlinuz"; }
  std::string Initrd() const { return Dir + "initrd.img"; }
};

// Builds the media into the build folder (a second run builds nothing). False, with the
// reason in `why`, when this machine cannot build them (a tool or the package archive is
// missing): the test then skips. A fault in the build fails the test.
bool PrepareBootMedia(TBootMedia& media, std::string& why);

// Why image drives cannot be burned here (root, loop devices, the tools); empty when
// they can.
std::string BurnUnavailable();

// Why a test that burns an image drive with the kit's media and boots it under
// `firmware` cannot run here (QEMU or OVMF, loop devices or the media missing); empty
// when it can, `media` then ready.
std::string KitBootUnavailable(TFirmware firmware, TBootMedia& media);

// The lines of the kit's init in a serial log, for messages.
std::string KitLines(const std::string& serial);

// On a drive booted into GRUB4DOS: waits for the main menu, which shows `main_titles`,
// opens item `index` of it and, in the entry's own menu, starts the item `item_title`.
// False (the screen in `screen`) when a menu does not show in time.
bool StartGrub4DosEntry(TQemuMachine& machine, const std::vector<std::string>& main_titles,
                        std::size_t index, const std::string& item_title, std::string& screen);

// On a machine in a GRUB 2 menu that is drawn on the serial port too ("terminal_output
// console serial"; the way to read it under OVMF): waits until the serial port shows
// every title of `titles`, moves to item `index` with the keyboard and starts it. False
// (the serial text in `serial`) when the menu does not show in time.
bool StartGrub2Entry(TQemuMachine& machine, const std::vector<std::string>& titles,
                     std::size_t index, std::string& serial);

}  // namespace quorvane::testing
