// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// One image drive burned with every Linux-like entry of the kit boots under SeaBIOS:
// each entry is chosen in the GRUB4DOS menu and must reach what proves it booted (the
// kit's init and, for live systems, its medium; memtest86+'s screen).
#include <gtest/gtest.h>

#include <filesystem>

#include "boot_kit.h"
#include "support/temp_dir.h"

namespace quorvane::testing {
namespace {

using namespace std::chrono_literals;

struct TBootCase {
  int code;             // loader type of the entry
  const char* iso;      // the kit's image
  const char* as;       // the name it is burned under; empty: its own
  const char* title;    // its item in the main menu
  const char* item;     // the item started in the entry's menu
  const char* cmdline;  // found on the kernel's command line; empty: not a kit kernel
  bool medium;          // the init must find its medium
  const char* screen;   // else shown on the text screen
  const char* grub2;    // the item then started in the CD's own GRUB 2 menu, if it has one
};

const TBootCase kCases[] = {
    {5, kUbuntuOldIso, "", "ubuntu_old", "Try Ubuntu without installing",
     "iso-scan/filename=/Quorvane/", true, "", ""},
    {5, kUbuntuCurrentIso, "", "ubuntu_current", "Try Ubuntu without installing",
     "initrd=/casper/initrd quiet", true, "", ""},
    // Mapped in place: Linux finds the CD as a partition of the stick.
    {9, kClonezillaIso, "", "clonezilla_live", "clonezilla_live", "boot=live union=overlay",
     true, "", ""},
    {6, kIsolinuxCdIso, "", "isolinux_cd", "isolinux_cd", "kit=isolinux-cd", false, "", ""},
    {7, kMemtestIso, "", "memtest86+x64", "memtest86+x64", "", false, "Memtest86+", ""},
    {8, kGrubRescueIso, "", "grub_rescue", "grub_rescue", "kit=grub-rescue", false, "",
     "Kit kernel from a GRUB 2 CD"},
    // GRUB4DOS would show "p(hd0,0)q" and find no such file.
    {6, kIsolinuxCdIso, "p%@root%q.iso", "p_@root_q", "p_@root_q", "kit=isolinux-cd", false, "",
     ""},
};

TEST(BiosBoot, EveryEntryOfOneDriveBoots) {
  TBootMedia media;
  if (const std::string why = BurnAndBootUnavailable(TFirmware::SeaBIOS, &media); !why.empty())
    GTEST_SKIP() << why;

  TTempDir temp;
  const std::string drive = temp / "drive.img";
  std::vector<TBurnEntry> entries;
  std::vector<std::string> titles;
  for (const TBootCase& c : kCases) {
    std::string image = media.Iso(c.iso);
    if (*c.as) {
      std::filesystem::copy_file(image, temp / c.as);
      image = temp / c.as;
    }
    entries.push_back({c.code, image});
    titles.push_back(c.title);
  }
  const TProcessResult burn = BurnNewNtfsDrive(drive, "512M", entries);
  ASSERT_EQ(burn.ExitStatus, 0) << burn.Out << burn.Err;

  std::string table;
  for (std::size_t i = 0; i < std::size(kCases); ++i) {
    const TBootCase& c = kCases[i];
    SCOPED_TRACE(c.title);
    TQemuMachine machine({TFirmware::SeaBIOS, drive, "", 512});
    std::string screen;
    const bool started = StartGrub4DosEntry(machine, titles, i, c.item, screen);
    EXPECT_TRUE(started) << "the menus did not show; the screen:\n" << screen;
    std::string result;
    std::string serial;
    if (started && *c.grub2 && !StartGrub2Entry(machine, {c.grub2}, 0, serial)) {
      ADD_FAILURE() << "the CD's GRUB 2 menu did not show:\n" << serial;
      result = "GRUB 2 menu not shown";
    } else if (!started) {
      result = "menu not shown";
    } else if (*c.cmdline) {
      const bool done = machine.WaitForSerial(kInitDone, 300s);
      const std::string lines = KitLines(machine.Serial());
      const bool cmdline = lines.find(c.cmdline) != std::string::npos;
      const bool medium = lines.find(kMediumFound) != std::string::npos;
      EXPECT_TRUE(done) << lines;
      EXPECT_TRUE(cmdline) << "wanted \"" << c.cmdline << "\" on the command line:\n" << lines;
      if (c.medium) {
        EXPECT_TRUE(medium) << lines;
      }
      if (!done)
        result = "no marker";
      else if (!cmdline)
        result = "marker, another kernel line";
      else if (c.medium && medium)
        result = "marker, " + lines.substr(lines.find(kMediumFound) + 5,
                                           lines.find('\n', lines.find(kMediumFound)) -
                                               lines.find(kMediumFound) - 5);
      else if (c.medium)
        result = "marker, medium not found";
      else
        result = "marker";
    } else {
      const bool shown = machine.WaitForScreen(
          [&](const std::string& s) { return s.find(c.screen) != std::string::npos; }, 180s,
          &screen);
      EXPECT_TRUE(shown) << "the screen:\n" << screen;
      result = shown ? std::string("screen shows ") + c.screen : "screen not shown";
    }
    table += "  " + std::string(c.title) + " (code " + std::to_string(c.code) + "): " + result +
             "\n";
  }
  std::cout << "SeaBIOS boot of each entry:\n" << table;
}

}  // namespace
}  // namespace quorvane::testing
