// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// Installs GRUB4DOS on a drive: its master boot code into sector 0 (the partition table
// is kept), its second stage into sectors 2..15 and its loader grldr at the volume's root.
#pragma once

#include <functional>
#include <string>

namespace quorvane {

// On the disk of a drive letter, through the installed USB drive table. `Error` is empty
// on success.
void InstallGrub4Dos(char Drive, std::string& Error);

// The same on an open disk (a device, or an image file), with the volume's root folder
// (ending in "/") given by `root_of`, which sets its error text when it gives none.
void InstallGrub4DosOnDisk(int disk, const std::function<std::string(std::string&)>& root_of,
                           std::string& Error);

// Reads GRUB4DOS's boot images (grldr.mbr) and loader (grldr) from the resources and
// checks them; false with the message the installation would give when one is missing
// or damaged.
bool ReadBootImages(std::string& boot_images, std::string& loader, std::string& Error);

// Why sector 0 of a disk must not receive the boot code, which overwrites bytes 0..445
// and sectors 2..15: no partition table (a blank disk, or a file system that starts in
// sector 0), a GUID partition table, or a partition that starts inside those sectors.
// Empty when it may.
std::string BootCodeAreaProblem(const unsigned char* sector0);

}  // namespace quorvane
