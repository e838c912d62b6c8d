// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "startup/terminal_dialog.h"

#include <unistd.h>

#include "common/text.h"

namespace quorvane {

TTerminalDialog::TTerminalDialog(std::FILE* in, std::FILE* out, int interactive)
    : FIn(in), FOut(out), FInteractive(interactive < 0 ? ::isatty(fileno(in)) : interactive != 0) {}

TDialogAnswer TTerminalDialog::AskYesNo(const std::string& text) {
  std::string shown = ReplaceAll(text, "\r\n", "\n");
  std::fprintf(FOut, "%s\n", shown.c_str());
  if (!FInteractive) {
    std::fprintf(FOut, "No answer possible without a terminal: No.\n");
    return TDialogAnswer::No;
  }
  while (true) {
    std::fprintf(FOut, "[y/n] ");
    std::fflush(FOut);
    char line[64];
    if (!std::fgets(line, sizeof line, FIn)) return TDialogAnswer::Closed;
    const char c = line[0];
    if (c == 'y' || c == 'Y') return TDialogAnswer::Yes;
    if (c == 'n' || c == 'N') return TDialogAnswer::No;
  }
}

}  // namespace quorvane
