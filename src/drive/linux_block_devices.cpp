// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "drive/linux_block_devices.h"

#include <sys/sysmacros.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>

namespace quorvane {

namespace fs = std::filesystem;

namespace {

// The first line of a sysfs attribute, without trailing blanks; empty when unreadable.
std::string ReadAttribute(const fs::path& path) {
  std::ifstream in(path);
  std::string line;
  if (!in || !std::getline(in, line)) return {};
  const std::size_t begin = line.find_first_not_of(" \t");
  const std::size_t end = line.find_last_not_of(" \t\r");
  if (begin == std::string::npos) return {};
  return line.substr(begin, end - begin + 1);
}

bool ParseUnsigned(const std::string& text, std::uint64_t& value) {
  if (text.empty() || text.size() > 19) return false;
  std::uint64_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + static_cast<std::uint64_t>(c - '0');
  }
  value = v;
  return true;
}

bool IsUsbBusName(const std::string& name) {
  if (name.size() <= 3 || name.compare(0, 3, "usb") != 0) return false;
  return std::all_of(name.begin() + 3, name.end(), [](unsigned char c) { return std::isdigit(c); });
}

bool SubsystemIsUsb(const fs::path& dir) {
  std::error_code ec;
  const fs::path target = fs::read_symlink(dir / "subsystem", ec);
  return !ec && target.filename() == "usb";
}

// Walks from the device up to the sysfs root: a USB bus or a USB device on the way makes
// the disk a USB disk; the nearest USB device (the one with idVendor) gives the serial and
// the maker's names the SCSI layer may lack.
void ReadAttachment(const fs::path& sys_root, const fs::path& device, TDiskInfo& disk,
                    std::string& usb_manufacturer, std::string& usb_product) {
  bool named = false;
  for (fs::path dir = device; dir.has_relative_path() && dir != sys_root;
       dir = dir.parent_path()) {
    const std::string name = dir.filename().string();
    if (IsUsbBusName(name) || SubsystemIsUsb(dir)) disk.Usb = true;
    std::error_code ec;
    if (!named && fs::exists(dir / "idVendor", ec)) {
      named = true;
      disk.Usb = true;
      disk.Serial = ReadAttribute(dir / "serial");
      const std::string relative = dir.lexically_relative(sys_root).string();
      disk.UsbDevicePath = "/" + relative;
      usb_manufacturer = ReadAttribute(dir / "manufacturer");
      usb_product = ReadAttribute(dir / "product");
    }
    if (dir == dir.parent_path()) break;
  }
}

std::vector<TPartitionInfo> ReadPartitions(const fs::path& disk_dir) {
  std::vector<TPartitionInfo> partitions;
  std::error_code ec;
  for (const fs::directory_entry& entry : fs::directory_iterator(disk_dir, ec)) {
    std::error_code sub_ec;
    if (!entry.is_directory(sub_ec)) continue;
    const fs::path dir = entry.path();
    std::uint64_t number = 0, start = 0, size = 0;
    if (!ParseUnsigned(ReadAttribute(dir / "partition"), number) || number == 0) continue;
    TPartitionInfo part;
    part.Number = static_cast<int>(number);
    part.KernelName = dir.filename().string();
    part.DevNumber = ReadAttribute(dir / "dev");
    if (ParseUnsigned(ReadAttribute(dir / "start"), start)) part.StartSector = start;
    if (ParseUnsigned(ReadAttribute(dir / "size"), size)) part.Sectors = size;
    partitions.push_back(part);
  }
  std::sort(partitions.begin(), partitions.end(),
            [](const TPartitionInfo& a, const TPartitionInfo& b) { return a.Number < b.Number; });
  return partitions;
}

}  // namespace

bool ScanBlockDevice(const std::string& sys_root, const std::string& name, TDiskInfo& disk) {
  if (name.empty() || name.find('/') != std::string::npos || name[0] == '.') return false;
  const fs::path root = fs::path(sys_root);
  const fs::path link = root / "block" / name;
  std::error_code ec;
  if (!fs::exists(link, ec)) return false;
  const fs::path device = fs::weakly_canonical(link, ec);
  if (ec) return false;
  const fs::path canonical_root = fs::weakly_canonical(root, ec);

  disk = TDiskInfo{};
  disk.KernelName = name;
  disk.DevNumber = ReadAttribute(device / "dev");
  const std::string relative = device.lexically_relative(canonical_root).string();
  disk.DevicePath = relative.empty() || relative.compare(0, 2, "..") == 0
                        ? device.string()
                        : "/" + relative;

  std::uint64_t sectors = 0;
  if (ParseUnsigned(ReadAttribute(device / "size"), sectors) && sectors <= (1ULL << 54)) {
    disk.SizeKnown = true;
    disk.SizeBytes = static_cast<std::int64_t>(sectors * 512);
  }
  disk.ReadOnly = ReadAttribute(device / "ro") == "1";

  std::string usb_manufacturer, usb_product;
  ReadAttachment(canonical_root, device, disk, usb_manufacturer, usb_product);
  disk.Vendor = ReadAttribute(device / "device" / "vendor");
  disk.Model = ReadAttribute(device / "device" / "model");
  if (disk.Vendor.empty()) disk.Vendor = usb_manufacturer;
  if (disk.Model.empty()) disk.Model = usb_product;

  disk.Partitions = ReadPartitions(device);
  for (const fs::directory_entry& entry : fs::directory_iterator(device / "slaves", ec))
    disk.Slaves.push_back(entry.path().filename().string());
  std::sort(disk.Slaves.begin(), disk.Slaves.end());

  const fs::path loop = device / "loop";
  if (fs::is_directory(loop, ec)) {
    disk.IsLoop = true;
    disk.BackingFile = ReadAttribute(loop / "backing_file");
    ParseUnsigned(ReadAttribute(loop / "offset"), disk.LoopOffset);
    ParseUnsigned(ReadAttribute(loop / "sizelimit"), disk.LoopSizeLimit);
  }
  return true;
}

std::vector<TDiskInfo> ScanBlockDevices(const std::string& sys_root) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const fs::directory_entry& entry : fs::directory_iterator(fs::path(sys_root) / "block", ec))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  std::vector<TDiskInfo> disks;
  for (const std::string& name : names) {
    TDiskInfo disk;
    if (ScanBlockDevice(sys_root, name, disk)) disks.push_back(std::move(disk));
  }
  return disks;
}

std::string DevNumberText(dev_t dev) {
  return std::to_string(major(dev)) + ":" + std::to_string(minor(dev));
}

bool FindDevNumber(const std::vector<TDiskInfo>& disks, const std::string& dev_number,
                   std::string& name, std::string& disk) {
  if (dev_number.empty()) return false;
  for (const TDiskInfo& d : disks) {
    if (d.DevNumber == dev_number) {
      name = disk = d.KernelName;
      return true;
    }
    for (const TPartitionInfo& p : d.Partitions) {
      if (p.DevNumber == dev_number) {
        name = p.KernelName;
        disk = d.KernelName;
        return true;
      }
    }
  }
  return false;
}

}  // namespace quorvane
