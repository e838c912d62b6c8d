// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The kernel and initrd of an Ubuntu image, found by the names Ubuntu's releases have
// given them in casper/ (vmlinuz.efi or vmlinuz; initrd.lz, initrd.gz, initrd, ...).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "archive/archive_queries.h"

namespace quorvane {

// In the order they are looked for: the first one the image holds is taken.
inline constexpr std::array<const char*, 2> kUbuntuKernelNames = {"vmlinuz.efi", "vmlinuz"};
inline constexpr std::array<const char*, 5> kUbuntuInitrdNames = {
    "initrd.lz", "initrd.gz", "initrd", "initrd.img", "initrd.lz4"};

struct TUbuntuBootFiles {
  std::string Kernel;  // name in casper/ ("vmlinuz"); empty when the image holds none
  std::string Initrd;  // likewise ("initrd")
  std::int64_t KernelSize = 0, InitrdSize = 0;
};

// Picks the files from the image's list.
TUbuntuBootFiles FindUbuntuBootFiles(const std::vector<TArchiveFileItem>& files);

// The same on an image file; false when its contents cannot be listed.
bool FindUbuntuBootFilesIn(const std::string& image, TUbuntuBootFiles& found);

// The messages when the image holds none of the names: "Ubuntu kernel file not found on
// ISO (casper/vmlinuz.efi or casper/vmlinuz)", and the same of the initrd.
std::string UbuntuKernelMissing();
std::string UbuntuInitrdMissing();

}  // namespace quorvane
