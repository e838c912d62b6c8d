// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// Constants shared by every subsystem: file-system and preparation-mode codes, the
// program's folder name, and the product's web addresses.
#pragma once

#include <cstdint>

namespace quorvane {

// File-system codes of a drive, and the file system chosen for a new drive.
inline constexpr std::uint8_t FileSystemFAT32 = 0;  // FAT32 and exFAT
inline constexpr std::uint8_t FileSystemNTFS = 1;
inline constexpr std::uint8_t FileSystemOther = 2;

// Preparation modes of a burn.
inline constexpr std::uint8_t FormatModeNew = 0;  // repartition and format
inline constexpr std::uint8_t FormatModeAdd = 1;  // keep the data, replace the boot code

// Name of the program's folder on a drive and in the temporary folder.
inline constexpr const char* kProgramFolderName = "Quorvane";

// The product's own web pages.
inline constexpr const char* kSiteHomeUrl = "https://quorvane.org/";
inline constexpr const char* kSiteForumUrl = "https://quorvane.org/forum/";
inline constexpr const char* kSiteLicenseUrl = "https://quorvane.org/license/";
inline constexpr const char* kSiteHelpUrl = "https://quorvane.org/help/";

}  // namespace quorvane
