// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "ui/drive_item_text.h"

#include <vector>

namespace quorvane {

std::string DriveItemText(const TUSBDriveSet& drive) {
  std::string text = std::string(1, drive.Letter) + ":\\, " + drive.Name + ", " + drive.FileSystem;
  std::vector<std::string> details;
  if (!drive.ImageFile.empty()) {
    details.push_back(drive.ImageFile);
  } else if (!drive.DiskDevice.empty()) {
    details.push_back(drive.DiskDevice);
  } else if (!drive.VolumeDevice.empty()) {
    details.push_back(drive.VolumeDevice);
  }
  std::string product = drive.Vendor;
  if (!drive.Model.empty()) product += (product.empty() ? "" : " ") + drive.Model;
  if (!product.empty()) details.push_back(product);
  if (details.empty()) return text;
  text += " (";
  for (std::size_t i = 0; i < details.size(); ++i) text += (i ? ", " : "") + details[i];
  return text + ")";
}

}  // namespace quorvane
