// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// A burned image drive boots: QEMU starts it with the machine's BIOS, and the GRUB4DOS
// menu on its text screen (read from the VGA text memory through QEMU's monitor) shows
// every entry's title.
#include <gtest/gtest.h>

#include "boot_kit.h"
#include "support/iso_images.h"
#include "support/temp_dir.h"

namespace quorvane::testing {
namespace {

using namespace std::chrono_literals;

TEST(BootInQemu, TheMenuShowsEveryEntry) {
  if (const std::string why = BurnAndBootUnavailable(TFirmware::SeaBIOS); !why.empty())
    GTEST_SKIP() << why;
  TTempDir temp;
  const std::string ubuntu = temp / "ubuntu-like.iso", krd = temp / "krd.iso";
  const std::string windows = temp / "Win10_x64.iso", hirens = temp / "hbcd 15.2.iso";
  MakeLoaderImage(ubuntu, 5);
  MakeLoaderImage(krd, 3);
  MakeLoaderImage(windows, 2);
  MakeLoaderImage(hirens, 6);
  const std::string drive = temp / "drive.img";
  const TProcessResult burn =
      BurnNewNtfsDrive(drive, "64M", {{5, ubuntu}, {3, krd}, {2, windows}, {6, hirens}});
  ASSERT_EQ(burn.ExitStatus, 0) << burn.Out << burn.Err;

  const std::vector<std::string> titles{"ubuntu_like", "krd", "Win10_x64", "hbcd_15.2"};
  TQemuMachine machine({TFirmware::SeaBIOS, drive, "", 64});
  std::string screen;
  const bool shown = machine.WaitForScreen(
      [&](const std::string& text) {
        for (const std::string& title : titles)
          if (text.find("| " + title + " ") == std::string::npos) return false;
        return true;
      },
      120s, &screen);
  EXPECT_TRUE(shown) << "the screen:\n" << screen;
  EXPECT_NE(screen.find("GRUB4DOS"), std::string::npos) << screen;
}

}  // namespace
}  // namespace quorvane::testing
