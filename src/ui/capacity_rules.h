// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The portable mode's rules for a burn: whether the chosen boot entries fit on the drive
// as it is (add mode), need a fresh FAT32 or NTFS format first (new mode), or do not fit
// at all; how full the drive will be; and which entries are still incomplete.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "drive/usb_drive_set.h"

namespace quorvane {

// Room that a fresh partitioning and FAT32 format takes from the disk.
inline constexpr std::int64_t kFormatReserve = 4136960;  // 0x3F2000
// Further room that an NTFS format takes.
inline constexpr std::int64_t kNTFSReserve = 82000000;
// Scale of the capacity bar.
inline constexpr int kCapacityBarMax = 10000;

// What the rules need of one live boot entry.
struct TCapacityEntry {
  std::int64_t LdrFileSize = 0;  // bytes its image needs on the drive; 0 without an image
  bool FNeedNTFS = false;        // its image needs NTFS on the drive
};

struct TCapacityOutcome {
  bool FNeedPreFormat = false;         // new mode: format the drive before the burn
  std::uint8_t FNeedFS = 0;            // FileSystemFAT32 or FileSystemNTFS, for new mode
  bool Fits = false;                   // the entries fit on the drive after a FAT32 format
  std::int64_t UsedAfterBurn = 0;      // bytes in use on the drive after the burn
  int Bar = 0;                         // 0 .. kCapacityBarMax
  std::string SizeText;                // "7.17 GiB / 7.45 GiB"
};

// Evaluates the entries against the drive. `decimal_point` is the separator of the
// user's locale used in the size text.
TCapacityOutcome EvaluateCapacity(const TUSBDriveSet& drive,
                                  const std::vector<TCapacityEntry>& entries,
                                  char decimal_point = '.');

// Bytes in GiB (2^30) rounded to two decimals, ties to even, without trailing zeros:
// "7.45", "1.5", "0".
std::string SizeInGb(std::int64_t bytes, char decimal_point = '.');

// What the pre-burn check needs of one live boot entry.
struct TLoaderCheckEntry {
  int Number = 0;          // n of its name "LdrFrame" + n
  int ChoiceIndex = -1;    // the loader drop-down's index: 0 placeholder, 1..10 loaders, -1 none
  std::string ChoiceText;  // the text the drop-down shows
  std::string LdrFilePath; // the chosen image; empty when none
};

// The placeholder of a frame's loader drop-down.
inline constexpr const char* kLoaderNotSelected = "Loader type not selected";

// Empty when the burn may start, else the message to show.
std::string CheckLoaders(const std::vector<TLoaderCheckEntry>& entries);

// Whether `path` names an existing image file, as the pre-burn check requires.
bool ImageFileExists(const std::string& path);

}  // namespace quorvane
