// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// How an entry boots from the UEFI menu, decided from its loader type and the files its
// image holds: through the image's own GRUB 2 menu, its kernel started from the image,
// its EFI loader chainloaded, or not at all ("BIOS only").
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "archive/archive_queries.h"

namespace quorvane {

enum class TUefiRoute {
  BiosOnly,      // Windows installers, WinPE CDs, images without a way in
  LoopbackCfg,   // the image's boot/grub/loopback.cfg, made for booting it as a file
  Kernel,        // its kernel and initrd from the image, with the type's parameters
  Unpacked,      // its kernel and initrd unpacked on the drive (Kaspersky)
  ImageGrubCfg,  // a GRUB 2 CD: its boot/grub/grub.cfg with the image as root
  Chainload,     // its EFI/BOOT/BOOTX64.EFI, started from the image (memtest86+)
};

struct TUefiBoot {
  TUefiRoute Route = TUefiRoute::BiosOnly;
  std::string Kernel;                // Kernel: its path in the image, "/live/vmlinuz"
  std::vector<std::string> Initrds;  // Kernel: likewise, in the order they are loaded
  std::string EfiLoader;             // Chainload: "/EFI/BOOT/bootx64.efi" as the image names it

  bool BiosOnly() const { return Route == TUefiRoute::BiosOnly; }
};

// The pure decision on the image's file list ("casper/vmlinuz", ...).
TUefiBoot UefiBootOfFiles(std::int32_t loader_type, const std::vector<TArchiveFileItem>& files);

// The same on an image file; BIOS only when its contents cannot be listed.
TUefiBoot UefiBootOf(std::int32_t loader_type, const std::string& image);

// What the plan says of the entries that boot on BIOS only, and the title suffix their
// items get in the UEFI menu.
inline constexpr const char* kBiosOnlySuffix = " (BIOS only)";
inline constexpr const char* kNoEfiPartitionText =
    "This drive has no EFI partition: its entries boot on BIOS only; use mode new for UEFI";

}  // namespace quorvane
