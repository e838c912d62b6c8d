// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// One image drive burned with every kind of entry boots under OVMF: its EFI partition's
// GRUB 2 finds the main partition and shows the UEFI menu with every entry (read on the
// serial port, where OVMF's console goes); each entry is chosen with the keyboard and
// must reach what proves it booted: the kit's init with its medium, the CD's own GRUB 2
// menu, memtest86+ started, or the "BIOS only" screen.
#include <gtest/gtest.h>

#include <filesystem>
#include <iostream>

#include "boot_kit.h"
#include "support/iso_images.h"
#include "support/temp_dir.h"

namespace quorvane::testing {
namespace {

using namespace std::chrono_literals;

enum class TProof { KitMedium, KitCdMenu, StartedAndQuiet, BiosOnly };

struct TUefiCase {
  int code;
  const char* iso;        // the kit's image; empty: a small Windows-like image
  const char* title;      // its item in the UEFI main menu
  const char* item;       // the item started in the entry's own menu; empty: none
  TProof proof;
  const char* cmdline;    // KitMedium, KitCdMenu: found on the kernel's command line
};

const TUefiCase kCases[] = {
    {5, kUbuntuOldIso, "ubuntu_old", "Try Ubuntu without installing", TProof::KitMedium,
     "iso-scan/filename=/Quorvane/"},
    {5, kUbuntuCurrentIso, "ubuntu_current", "Try Ubuntu without installing", TProof::KitMedium,
     "boot=casper"},
    {9, kClonezillaIso, "clonezilla_live", "clonezilla_live", TProof::KitMedium, "findiso=/Quorvane/"},
    {6, kIsolinuxCdIso, "isolinux_cd (BIOS only)", "", TProof::BiosOnly, ""},
    {7, kMemtestIso, "memtest86+x64", "memtest86+x64", TProof::StartedAndQuiet, ""},
    {8, kGrubRescueIso, "grub_rescue", "grub_rescue", TProof::KitCdMenu, "kit=grub-rescue"},
    {2, "", "Win10_x64 (BIOS only)", "", TProof::BiosOnly, ""},
};

// Waits until the serial text written after `from` holds every one of `texts`.
bool WaitForSerialAfter(TQemuMachine& machine, std::size_t from,
                        const std::vector<std::string>& texts, std::chrono::seconds limit) {
  return machine.WaitForSerial(
      [&](const std::string& serial) {
        if (serial.size() < from) return false;
        for (const std::string& t : texts)
          if (serial.find(t, from) == std::string::npos) return false;
        return true;
      },
      limit);
}

TEST(UefiBoot, EveryEntryOfOneDriveBootsUnderOvmf) {
  TBootMedia media;
  if (const std::string why = BurnAndBootUnavailable(TFirmware::OVMF, &media); !why.empty())
    GTEST_SKIP() << why;

  TTempDir temp;
  const std::string drive = temp / "drive.img";
  std::vector<TBurnEntry> entries;
  std::vector<std::string> titles;
  for (const TUefiCase& c : kCases) {
    std::string image;
    if (*c.iso) {
      image = media.Iso(c.iso);
    } else {
      image = temp / "Win10_x64.iso";
      MakeLoaderImage(image, c.code);
    }
    entries.push_back({c.code, image});
    titles.push_back(c.title);
  }
  const TProcessResult burn = BurnNewNtfsDrive(drive, "512M", entries);
  ASSERT_EQ(burn.ExitStatus, 0) << burn.Out << burn.Err;
  // The plan said which entries boot on BIOS only.
  EXPECT_NE((burn.Out + burn.Err).find("Boot on BIOS only"), std::string::npos) << burn.Out;

  std::string table;
  for (std::size_t i = 0; i < std::size(kCases); ++i) {
    const TUefiCase& c = kCases[i];
    SCOPED_TRACE(c.title);
    TQemuMachine machine({TFirmware::OVMF, drive, "", 512});
    std::string serial;
    std::string result;
    if (!StartGrub2Entry(machine, titles, i, serial)) {
      ADD_FAILURE() << "the UEFI menu did not show every entry:\n" << serial;
      table += "  " + std::string(c.title) + ": menu not shown\n";
      continue;
    }
    if (*c.item) {
      // The entry's own menu ends with the item back to the main menu.
      const std::size_t from = machine.Serial().size();
      if (!WaitForSerialAfter(machine, from, {"Main menu", c.item}, 120s)) {
        ADD_FAILURE() << "the entry's menu did not show:\n" << machine.Serial().substr(from);
        table += "  " + std::string(c.title) + ": entry menu not shown\n";
        continue;
      }
      machine.SendKey("ret");
    }
    const std::size_t started = machine.Serial().size();
    switch (c.proof) {
      case TProof::KitMedium:
      case TProof::KitCdMenu: {
        if (c.proof == TProof::KitCdMenu) {
          const bool shown = WaitForSerialAfter(machine, started, {"Kit kernel from a GRUB 2 CD"}, 120s);
          EXPECT_TRUE(shown) << "the CD's own GRUB 2 menu did not show:\n" << machine.Serial().substr(started);
          if (!shown) {
            result = "CD menu not shown";
            break;
          }
          machine.SendKey("ret");
        }
        const bool done = machine.WaitForSerial(kInitDone, 300s);
        const std::string lines = KitLines(machine.Serial());
        EXPECT_TRUE(done) << lines << machine.Serial().substr(started);
        EXPECT_NE(lines.find(c.cmdline), std::string::npos) << "wanted " << c.cmdline << ":\n" << lines;
        const bool medium = lines.find(kMediumFound) != std::string::npos;
        if (c.proof == TProof::KitMedium) {
          EXPECT_TRUE(medium) << lines;
        }
        result = !done ? "no marker"
                 : c.proof == TProof::KitCdMenu ? "CD's GRUB 2 menu, then marker"
                 : medium ? "marker, medium found"
                          : "marker, medium not found";
        break;
      }
      case TProof::StartedAndQuiet: {
        // memtest86+ draws on the graphics screen only: it must have been started without
        // a word from GRUB 2 and keep the machine running.
        const bool error = machine.WaitForSerial(
            [&](const std::string& s) { return s.find("error:", started) != std::string::npos; }, 60s);
        EXPECT_FALSE(error) << machine.Serial().substr(started);
        EXPECT_TRUE(machine.Running());
        result = error ? "GRUB 2 error" : "chainloaded, runs without a GRUB 2 error";
        break;
      }
      case TProof::BiosOnly: {
        const bool shown = WaitForSerialAfter(machine, started, {"boots on BIOS only", "legacy (CSM) mode"}, 60s);
        EXPECT_TRUE(shown) << machine.Serial().substr(started);
        result = shown ? "says \"BIOS only\"" : "no BIOS only screen";
        break;
      }
    }
    table += "  " + std::string(c.title) + " (code " + std::to_string(c.code) + "): " + result + "\n";
  }
  std::cout << "OVMF boot of each entry:\n" << table;
}

}  // namespace
}  // namespace quorvane::testing
