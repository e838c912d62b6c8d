// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The screens of a virtual machine read as text: GRUB4DOS's menu in VGA text memory as
// the monitor prints it, GRUB 2's menu as OVMF draws it on the serial port (both captured
// from real boots), the menus found on them and a boot loader's errors.
#include "jobs/vm_screen.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace quorvane {
namespace {

std::string Sample(const std::string& name) {
  std::ifstream in(std::string(QUORVANE_VM_SCREENS) + "/" + name, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  EXPECT_FALSE(text.str().empty()) << name;
  return text.str();
}

TEST(VgaTextScreen, CharactersWithoutTheirColours) {
  const std::string output =
      "(qemu) xp /8bx 0xb8000\r\n"
      "00000000000b8000: 0x20 0x07 0x47 0x07 0x52 0x07 0x55 0x07\r\n"
      "00000000000b8008: 0x42 0x07 0x34 0x70 0x01 0x07 0xc4 0x07\r\n"
      "(qemu) ";
  EXPECT_EQ(VgaTextScreen(output).Rows, std::vector<std::string>({" GRUB4 -"}));
}

TEST(VgaTextScreen, Grub4DosMenuWithItsHighlightedItem) {
  const TVmScreen screen = VgaTextScreen(Sample("grub4dos-menu-vga-xp.txt"));
  ASSERT_EQ(screen.Rows.size(), 25u);
  EXPECT_EQ(screen.Rows[0].substr(0, 17), " GRUB4DOS 0.4.6a ");
  const TVmMenu menu = FindMenu(screen);
  EXPECT_EQ(menu.Items, std::vector<std::string>({"isolinux_cd", "ubuntu_current"}));
  EXPECT_EQ(menu.Highlighted, 0);
}

TEST(AnsiScreen, Grub2MenuDrawnByOvmfOnTheSerialPort) {
  TAnsiScreen ansi;
  const std::string serial = Sample("grub2-menu-ovmf-serial.bin");
  // In pieces as the port delivers them: an escape may be cut anywhere.
  for (std::size_t at = 0; at < serial.size(); at += 7) ansi.Feed(std::string_view(serial).substr(at, 7));
  const TVmScreen screen = ansi.Screen();
  const TVmMenu menu = FindMenu(screen);
  EXPECT_EQ(menu.Items, std::vector<std::string>({"isolinux_cd (BIOS only)", "ubuntu_current"}))
      << ScreenText(screen.Rows);
  EXPECT_EQ(menu.Highlighted, 0);
  EXPECT_NE(ScreenText(screen.Rows).find("GNU GRUB  version 2.06"), std::string::npos);
}

TEST(AnsiScreen, CursorMovesClearingAndScrolling) {
  struct TCase {
    const char* name;
    std::string stream;
    std::vector<std::string> rows;
  } cases[] = {
      {"positioned text", "\x1b[2;3Hab\x1b[1;1Hc", {"c", "  ab"}},
      // Column 100 written as ":0" by the firmware.
      {"a digit past nine", "\x1b[1;:0Hx", {std::string(99, ' ') + "x"}},
      {"clear screen", "old\x1b[2J\x1b[01;01Hnew", {"new"}},
      {"clear to the end of the line", "abcdef\r\x1b[3C\x1b[K", {"abc"}},
      {"lines", "one\r\ntwo\r\n", {"one", "two"}},
      {"colours are no text", "\x1b[0m\x1b[30m\x1b[47mhi\x1b[0m", {"hi"}},
  };
  for (const TCase& c : cases) {
    TAnsiScreen ansi;
    ansi.Feed(c.stream);
    EXPECT_EQ(ansi.Screen().Rows, c.rows) << c.name;
  }
  // Past the last row the screen scrolls and stays bounded.
  TAnsiScreen ansi;
  for (int i = 0; i < 1000; ++i) ansi.Feed("line " + std::to_string(i) + "\r\n");
  const std::vector<std::string> rows = ansi.Screen().Rows;
  ASSERT_LE(rows.size(), 100u);
  EXPECT_EQ(LastLines(rows, 1), std::vector<std::string>({"line 999"}));
  // A stream of parameters without an end does not grow anything.
  TAnsiScreen endless;
  endless.Feed("\x1b[" + std::string(100000, '9') + "Hx");
  EXPECT_LE(endless.Screen().Rows.size(), 100u);
}

TEST(FindMenu, NeedsAWholeFrameWithItems) {
  const std::vector<std::string> frame{"+--------------+", "| one          |", "|*two          |",
                                       "+--------------+"};
  const TVmMenu menu = FindMenu({frame, -1});
  EXPECT_EQ(menu.Items, std::vector<std::string>({"one", "two"}));
  EXPECT_EQ(menu.Highlighted, 1);
  // Being drawn: no bottom edge yet, or no items yet.
  EXPECT_TRUE(FindMenu({{frame[0], frame[1], frame[2]}, -1}).Items.empty());
  EXPECT_TRUE(FindMenu({{frame[0], "|              |", frame[3]}, -1}).Items.empty());
}

TEST(BootLoaderError, FindsGrub4DosAndGrub2Errors) {
  struct TCase {
    const char* text;
    const char* error;
  } cases[] = {
      {"Booting 'x'\n\nError 15: File not found\n", "Error 15: File not found"},
      {"  Error 25: Disk read error\n", "Error 25: Disk read error"},
      {"error: file `/casper/vmlinuz' not found.\nPress any key", "error: file `/casper/vmlinuz' not found."},
      {"Booting 'x'\nKIT: done\n", ""},
      {"no-error: here is none\nterror: neither\n", ""},
  };
  for (const TCase& c : cases) EXPECT_EQ(BootLoaderError(c.text), c.error) << c.text;
}

}  // namespace
}  // namespace quorvane
