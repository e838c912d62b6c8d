// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// What the window and the page need for their "Test in a virtual machine" button: what is
// missing for a boot beforehand, and the start itself; tests give stand-ins.
#pragma once

#include <functional>
#include <string>

namespace quorvane {

struct TVmTestBootServices {
  // One line that says what to install for a boot under UEFI (true) or BIOS (false);
  // empty when nothing is missing (default: FindVmTools).
  std::function<std::string(bool uefi)> MissingTools;
  // Starts the drive of `letter` in a virtual machine and returns at once; empty when it
  // was started, else why not (default: StartVmTestBootWindow).
  std::function<std::string(char letter, bool uefi)> Start;
};

// Fills what is left empty with the program's own. What a function throws becomes its
// answer, so that a caller always has the one line to show.
TVmTestBootServices WithDefaults(TVmTestBootServices services);

// A drive letter as the window and the page name drives: 'a' to 'z'.
bool IsVmTestDriveLetter(char letter);

}  // namespace quorvane
