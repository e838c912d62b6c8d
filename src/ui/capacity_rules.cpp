// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "ui/capacity_rules.h"

#include <charconv>
#include <cmath>
#include <filesystem>

#include "common/constants.h"
#include "loaders/loader_catalog.h"

namespace quorvane {

std::string SizeInGb(std::int64_t bytes, char decimal_point) {
  const double gb = static_cast<double>(bytes) / 1073741824.0;
  // Hundredths, rounded half to even; nearbyint follows the default rounding mode.
  const double hundredths = std::nearbyint(gb * 100.0);
  const double rounded = hundredths / 100.0;
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, rounded == 0 ? 0.0 : rounded);
  std::string text(buffer, result.ptr);
  for (char& c : text)
    if (c == '.') c = decimal_point;
  return text;
}

TCapacityOutcome EvaluateCapacity(const TUSBDriveSet& drive,
                                  const std::vector<TCapacityEntry>& entries,
                                  char decimal_point) {
  TCapacityOutcome out;
  out.FNeedPreFormat = false;
  out.FNeedFS = FileSystemFAT32;

  std::int64_t total = 0;
  bool need_ntfs = false;
  for (const TCapacityEntry& entry : entries) {
    total += entry.LdrFileSize;
    need_ntfs = need_ntfs || entry.FNeedNTFS;
  }

  const bool drive_is_ntfs = drive.IntFileSystem == FileSystemNTFS;
  const bool fits_free = total <= drive.FreeSpace;
  const bool fits_fat32 = drive.FullSize - kFormatReserve >= total;
  const bool fits_ntfs = drive.FullSize - kNTFSReserve - kFormatReserve >= total;

  if (fits_free && (!need_ntfs || drive_is_ntfs)) {
    // add mode: the drive keeps its data
  } else if (fits_ntfs && need_ntfs) {
    out.FNeedPreFormat = true;
    out.FNeedFS = FileSystemNTFS;
  } else if (fits_ntfs && drive_is_ntfs) {
    out.FNeedPreFormat = true;
    out.FNeedFS = FileSystemNTFS;
  } else if (fits_fat32 && !need_ntfs) {
    out.FNeedPreFormat = true;
    out.FNeedFS = FileSystemFAT32;
  }

  out.Fits = fits_fat32;
  if (out.Fits && !out.FNeedPreFormat) {
    out.UsedAfterBurn = drive.FullSize - drive.FreeSpace + total;
  } else {
    out.UsedAfterBurn = total + kFormatReserve;
    if (out.FNeedFS == FileSystemNTFS) out.UsedAfterBurn += kNTFSReserve;
  }

  if (out.Fits && drive.FullSize > 0) {
    // Add mode is also offered when nothing else was chosen, even though the entries may
    // then exceed the free space; the bar stays within its scale.
    const double share = 10000.0 * static_cast<double>(out.UsedAfterBurn) /
                         static_cast<double>(drive.FullSize);
    out.Bar = share >= kCapacityBarMax ? kCapacityBarMax
              : share <= 0            ? 0
                                      : static_cast<int>(share);
  } else {
    out.Bar = kCapacityBarMax;
  }
  out.SizeText = SizeInGb(out.UsedAfterBurn, decimal_point) + " GiB / " +
                 SizeInGb(drive.FullSize, decimal_point) + " GiB";
  return out;
}

bool ImageFileExists(const std::string& path) {
  if (path.empty()) return false;
  std::error_code ec;
  return std::filesystem::is_regular_file(path, ec);
}

std::string CheckLoaders(const std::vector<TLoaderCheckEntry>& entries) {
  if (entries.empty()) return "There are no loaders selected";
  for (const TLoaderCheckEntry& entry : entries) {
    const bool type_chosen = entry.ChoiceIndex >= 1 && entry.ChoiceIndex <= kLoaderCount &&
                             !entry.ChoiceText.empty() && entry.ChoiceText != kLoaderNotSelected;
    if (!type_chosen) return "Type for loader " + std::to_string(entry.Number) + " not selected";
    if (!ImageFileExists(entry.LdrFilePath))
      return "File not found for loader " + std::to_string(entry.Number);
  }
  return "";
}

}  // namespace quorvane
