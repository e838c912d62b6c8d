// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The GRUB 2 menus of the UEFI boot, kept beside GRUB4DOS's: the main menu "grub.cfg" at
// the main partition's root (one item per entry, in the order and with the titles of
// menu.lst), each entry's own menu file in its job folder, and the items they hold.
// The EFI partition's configuration exports the main partition's device as $qv_main.
// Files are written with LF line ends.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "loaders/uefi_boot.h"

namespace quorvane {

inline constexpr const char* kGrub2MainMenuName = "grub.cfg";

// The first lines of the main menu: the Secure Boot notice (shown only when the firmware
// has Secure Boot on) and $qv_main for a menu loaded by hand.
std::string Grub2MainMenuHeader();

// Items, each ending with a line end. Titles and paths are quoted for GRUB 2 here;
// `kernel_params` are GRUB 2 words as they are (quote paths in them with Grub2MenuWord).
// `iso` is the image's path from the main partition's root ("/Quorvane/ID/name.iso").
std::string Grub2ConfigfileItem(const std::string& title, const std::string& cfg_path);
std::string Grub2BiosOnlyItem(const std::string& title);
std::string Grub2MainMenuReturnItem();
// The item that boots an image by its route (LoopbackCfg, Kernel, ImageGrubCfg, Chainload);
// empty for the others.
std::string Grub2ImageItem(const TUefiBoot& boot, const std::string& title,
                           const std::string& iso, const std::string& kernel_params);
// A kernel and initrd lying on the main partition; `kernel_params` may use $qv_uuid, the
// main partition's UUID.
std::string Grub2DriveKernelItem(const std::string& title, const std::string& kernel,
                                 const std::string& initrd, const std::string& kernel_params);

// Appends `Item` to the main menu of the drive, creating the menu with its header when the
// drive has none. `Error` is empty on success.
void AppendGrub2MenuPoint(char Drive, const std::string& Item, std::string& Error);

// The main menus' lengths before an entry is appended, so that a failed append takes
// back what it wrote to either menu.
struct TMainMenusMark {
  std::string Root;  // the drive's root folder, with "/"; empty: nothing to take back
  std::int64_t Grub4DosSize = -1, Grub2Size = -1;  // -1: no file; -2: not a plain file
};
TMainMenusMark MarkMainMenus(char Drive);
void RestoreMainMenus(const TMainMenusMark& mark);

}  // namespace quorvane
