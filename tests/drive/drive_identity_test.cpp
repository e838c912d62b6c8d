// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The line that names a drive before it is erased, in every front end.
#include "drive/drive_identity.h"

#include <gtest/gtest.h>

namespace quorvane {
namespace {

struct TIdentityCase {
  const char* Name;
  TUSBDriveSet Drive;
  const char* Device;
  const char* Identity;
};

TUSBDriveSet Drive(const char* volume, const char* disk, const char* vendor, const char* model,
                   const char* label, std::int64_t full, const char* image = "") {
  TUSBDriveSet d;
  d.VolumeDevice = volume;
  d.DiskDevice = disk;
  d.Vendor = vendor;
  d.Model = model;
  d.Name = label;
  d.FullSize = full;
  d.ImageFile = image;
  return d;
}

class IdentityCases : public testing::TestWithParam<TIdentityCase> {};

TEST_P(IdentityCases, DeviceAndIdentity) {
  EXPECT_EQ(DriveDeviceText(GetParam().Drive), GetParam().Device);
  EXPECT_EQ(DriveIdentityText(GetParam().Drive), GetParam().Identity);
}

INSTANTIATE_TEST_SUITE_P(
    Drives, IdentityCases,
    testing::Values(
        TIdentityCase{"PartitionInBrackets",
                      Drive("/dev/sdb1", "/dev/sdb", "Kingston", "DataTraveler 3.0", "STICK",
                            8004304896),
                      "/dev/sdb (/dev/sdb1)",
                      "/dev/sdb (/dev/sdb1), Kingston DataTraveler 3.0, 7.45 GiB, label \"STICK\""},
        // A blank disk has no partition: the disk alone; no label is said so.
        TIdentityCase{"BlankDisk",
                      Drive("", "/dev/sdc", "", "Flash Disk", kNoVolumeLabel, 1LL << 30),
                      "/dev/sdc", "/dev/sdc, Flash Disk, 1.00 GiB, no label"},
        // A stick formatted without a partition table: its volume is the disk.
        TIdentityCase{"SuperFloppy",
                      Drive("/dev/sdd", "/dev/sdd", "SanDisk", "", "DATA", 512LL << 20),
                      "/dev/sdd", "/dev/sdd, SanDisk, 512.00 MiB, label \"DATA\""},
        TIdentityCase{"ImageDrive",
                      Drive("/dev/loop3p1", "/dev/loop3", "", "", "", 64LL << 20, "/tmp/d.img"),
                      "/dev/loop3 (/dev/loop3p1)",
                      "/dev/loop3 (/dev/loop3p1), image /tmp/d.img, 64.00 MiB, no label"},
        TIdentityCase{"SizeUnknown", Drive("/dev/sde1", "/dev/sde", "", "", "X", 0),
                      "/dev/sde (/dev/sde1)", "/dev/sde (/dev/sde1), label \"X\""}),
    [](const testing::TestParamInfo<TIdentityCase>& info) { return info.param.Name; });

}  // namespace
}  // namespace quorvane
