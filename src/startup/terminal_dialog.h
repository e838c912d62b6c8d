// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The fallback question asked on the terminal, for runs without a display.
#pragma once

#include <cstdio>

#include "startup/front_ends.h"

namespace quorvane {

// Asks on `out` and reads the answer from `in` when `in` is a terminal (or `interactive`
// is forced); answers No when nobody can answer.
class TTerminalDialog : public IFallbackDialog {
 public:
  TTerminalDialog(std::FILE* in = stdin, std::FILE* out = stderr, int interactive = -1);
  TDialogAnswer AskYesNo(const std::string& text) override;

 private:
  std::FILE* FIn;
  std::FILE* FOut;
  bool FInteractive;
};

}  // namespace quorvane
