// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// A CD image large enough to be written straight to its run of clusters on an NTFS stick
// (most of the volume) boots under SeaBIOS: GRUB4DOS maps it in place.
#include <gtest/gtest.h>

#include <filesystem>

#include "boot_kit.h"
#include "support/temp_dir.h"

namespace quorvane::testing {
namespace {

using namespace std::chrono_literals;

TEST(BiosBoot, ALargeImageWrittenStraightToItsClustersBoots) {
  TBootMedia media;
  if (const std::string why = BurnAndBootUnavailable(TFirmware::SeaBIOS, &media); !why.empty())
    GTEST_SKIP() << why;

  TTempDir temp;
  // The kit's isolinux CD, grown with zeros past its end to 70 % of the volume.
  const std::string image = temp / "large_cd.iso";
  std::filesystem::copy_file(media.Iso(kIsolinuxCdIso), image);
  std::filesystem::resize_file(image, 350u << 20);
  const std::string drive = temp / "drive.img";
  const TProcessResult burn = BurnNewNtfsDrive(drive, "512M", {{6, image}});
  ASSERT_EQ(burn.ExitStatus, 0) << burn.Out << burn.Err;

  TQemuMachine machine({TFirmware::SeaBIOS, drive, "", 512});
  std::string screen;
  ASSERT_TRUE(StartGrub4DosEntry(machine, {"large_cd"}, 0, "large_cd", screen))
      << "the menus did not show; the screen:\n"
      << screen;
  EXPECT_TRUE(machine.WaitForSerial(kInitDone, 300s)) << KitLines(machine.Serial());
  EXPECT_NE(KitLines(machine.Serial()).find("kit=isolinux-cd"), std::string::npos)
      << KitLines(machine.Serial());
}

}  // namespace
}  // namespace quorvane::testing
