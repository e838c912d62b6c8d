// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "drive/drive_identity.h"

#include <vector>

#include "common/binary_size.h"

namespace quorvane {

std::string DriveDeviceText(const TUSBDriveSet& d) {
  if (d.DiskDevice.empty()) return d.VolumeDevice;
  if (d.VolumeDevice.empty() || d.VolumeDevice == d.DiskDevice) return d.DiskDevice;
  return d.DiskDevice + " (" + d.VolumeDevice + ")";
}

std::string DriveProductText(const TUSBDriveSet& d) {
  if (!d.ImageFile.empty()) return "image " + d.ImageFile;
  std::string text = d.Vendor;
  if (!d.Model.empty()) text += (text.empty() ? "" : " ") + d.Model;
  return text;
}

std::string DriveIdentityText(const TUSBDriveSet& d) {
  std::vector<std::string> parts;
  for (std::string part : {DriveDeviceText(d), DriveProductText(d)})
    if (!part.empty()) parts.push_back(part);
  if (d.FullSize > 0) parts.push_back(BinarySizeText(d.FullSize));
  if (!d.Name.empty() && d.Name != kNoVolumeLabel) parts.push_back("label \"" + d.Name + "\"");
  else parts.push_back("no label");
  std::string text;
  for (const std::string& p : parts) text += (text.empty() ? "" : ", ") + p;
  return text;
}

}  // namespace quorvane
