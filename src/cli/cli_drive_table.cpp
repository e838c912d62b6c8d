// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "cli/cli_drive_table.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "common/binary_size.h"
#include "common/utf8.h"
#include "drive/drive_identity.h"

namespace quorvane {

namespace {

std::string VendorAndModel(const TUSBDriveSet& d) {
  if (!d.ImageFile.empty()) return "image " + d.ImageFile;
  std::string text = d.Vendor;
  if (!d.Model.empty()) text += (text.empty() ? "" : " ") + d.Model;
  return text.empty() ? "-" : text;
}

// The disk, with the partition in brackets: as the window and the page name the drive.
std::string Device(const TUSBDriveSet& d) {
  const std::string text = DriveDeviceText(d);
  return text.empty() ? "-" : text;
}

std::string SizeCell(std::int64_t bytes, bool in_bytes, bool known) {
  if (!known) return "-";
  if (bytes < 0) return "unknown";
  return in_bytes ? std::to_string(bytes) : HumanSize(bytes);
}

}  // namespace

std::string HumanSize(std::int64_t bytes) { return BinarySizeText(bytes); }

std::string FormatDriveTable(const TUSBDrives& drives, bool bytes) {
  if (drives.empty()) return "No USB drives found.\n";
  std::vector<std::vector<std::string>> rows;
  rows.push_back({"DRIVE", "DEVICE", "VENDOR AND MODEL", "LABEL", "FS", "FREE", "SIZE"});
  for (const TUSBDriveSet& d : drives) {
    // A disk of unknown size, or one the program will not write to, shows no sizes.
    const bool known = d.FullSize > 0;
    rows.push_back({std::string(1, d.Letter), Device(d), VendorAndModel(d), d.Name,
                    d.FileSystem.empty() ? "-" : d.FileSystem, SizeCell(d.FreeSpace, bytes, known),
                    SizeCell(d.FullSize, bytes, known)});
  }
  // Widths in characters: labels and models need not be ASCII.
  std::vector<std::size_t> width(rows[0].size(), 0);
  for (const auto& row : rows)
    for (std::size_t c = 0; c < row.size(); ++c)
      width[c] = std::max(width[c], Utf8CharacterCount(row[c]));
  std::string text;
  for (const auto& row : rows) {
    std::string line;
    for (std::size_t c = 0; c < row.size(); ++c) {
      const bool right = c >= 5;  // sizes line up on their last digit
      const std::string pad(width[c] - Utf8CharacterCount(row[c]), ' ');
      if (c) line += "  ";
      line += right ? pad + row[c] : row[c] + (c + 1 < row.size() ? pad : "");
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    text += line + "\n";
  }
  return text;
}

bool MarkUnreadableVolumes(TUSBDrives& drives,
                           const std::function<bool(const std::string& node)>& readable) {
  bool marked = false;
  for (TUSBDriveSet& d : drives) {
    const std::string& node = !d.VolumeDevice.empty() ? d.VolumeDevice : d.DiskDevice;
    if (node.empty() || readable(node)) continue;
    d.Name = "?";
    d.FileSystem = "?";
    marked = true;
  }
  return marked;
}

std::string DescribeDrive(const TUSBDriveSet& d) {
  return std::string(1, d.Letter) + ": " + DriveIdentityText(d) + ", " +
         (d.FileSystem.empty() ? "no file system" : d.FileSystem);
}

}  // namespace quorvane
