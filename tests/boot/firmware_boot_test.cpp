// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The kit itself: its GRUB 2 rescue CD boots the kit's kernel to its init under both
// firmwares, its menu read on the serial port and its item chosen with the keyboard.
#include <gtest/gtest.h>

#include "boot_kit.h"
#include "support/temp_dir.h"

namespace quorvane::testing {
namespace {

using namespace std::chrono_literals;

class FirmwareBoot : public ::testing::TestWithParam<TFirmware> {};

TEST_P(FirmwareBoot, TheRescueCdStartsTheKitsKernel) {
  const TFirmware firmware = GetParam();
  if (const std::string why = FirmwareUnavailable(firmware); !why.empty()) GTEST_SKIP() << why;
  TBootMedia media;
  if (std::string why; !PrepareBootMedia(media, why)) GTEST_SKIP() << why;
  TQemuMachine machine({firmware, "", media.Iso(kGrubRescueIso), 512});
  // Its menu waits for a key.
  std::string serial;
  ASSERT_TRUE(StartGrub2Entry(machine, {"Kit kernel from a GRUB 2 CD"}, 0, serial))
      << "GRUB 2's menu is not on the serial port:\n" << serial;
  const bool done = machine.WaitForSerial(kInitDone, 300s);
  serial = machine.Serial();
  ASSERT_TRUE(done) << FirmwareName(firmware) << ":\n" << KitLines(serial);
  EXPECT_NE(KitLines(serial).find("KIT: cmdline: BOOT_IMAGE=/kit/vmlinuz kit=grub-rescue"),
            std::string::npos)
      << KitLines(serial);
  EXPECT_TRUE(machine.WaitForExit(60s)) << "the kit's init powers the machine off";
}

INSTANTIATE_TEST_SUITE_P(Kit, FirmwareBoot, ::testing::Values(TFirmware::SeaBIOS, TFirmware::OVMF),
                         [](const auto& info) { return std::string(FirmwareName(info.param)); });

}  // namespace
}  // namespace quorvane::testing
