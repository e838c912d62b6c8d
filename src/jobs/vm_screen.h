// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// What a virtual machine shows, as text: the VGA text screen read through QEMU's monitor,
// the screen drawn on its serial port by terminal escapes, the boot menu found on either,
// and a boot loader's error message.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quorvane {

// A text screen: its rows, box-drawing characters as '+', '-' and '|', anything else
// outside printable ASCII as a blank; the row drawn in other colours than the rows around
// it (a menu's highlighted item), -1 when none stands out.
struct TVmScreen {
  std::vector<std::string> Rows;
  int Highlighted = -1;
};

// The screen from the monitor's answer to "xp /4000bx 0xb8000": character and colour
// bytes in turn, 80 characters a row.
TVmScreen VgaTextScreen(const std::string& monitor_output);

// A screen drawn by a stream of text with ANSI / VT100 escapes (cursor moves, clearing,
// colours), as UEFI firmware draws its console on the serial port. At most 100 rows,
// scrolled past the last, whatever the stream holds.
class TAnsiScreen {
 public:
  void Feed(std::string_view bytes);
  TVmScreen Screen() const;

 private:
  void Put(char c);
  void NewLine();
  void Csi(char command);
  std::string& Row(int row);

  std::vector<std::string> FRows;
  int FRow = 0, FCol = 0;
  int FHighlighted = -1;
  bool FInverse = false;
  enum class TState { Text, Escape, Csi } FState = TState::Text;
  std::string FParams;
};

// A boot menu on a screen: the items inside its frame, top to bottom, and the one
// highlighted (-1 when the screen does not tell).
struct TVmMenu {
  std::vector<std::string> Items;
  int Highlighted = -1;
};

// The menu framed by a box on the screen; no items when the screen shows none.
TVmMenu FindMenu(const TVmScreen& screen);

// The first line of `text` with a boot loader's error ("Error 15: File not found" of
// GRUB4DOS, "error: file `/x' not found." of GRUB 2); empty when none.
std::string BootLoaderError(const std::string& text);

// The rows joined with line ends, trailing blanks and blank rows at the end dropped.
std::string ScreenText(const std::vector<std::string>& rows);

// The last `count` rows that are not blank, trailing blanks dropped.
std::vector<std::string> LastLines(const std::vector<std::string>& rows, std::size_t count);

}  // namespace quorvane
