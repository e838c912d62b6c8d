// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The desktop's file-open dialog, run as a separate program: QUORVANE_FILE_DIALOG when
// set, else zenity, else kdialog.
#pragma once

#include <string>

namespace quorvane {

struct TFileDialogRequest {
  std::string Title;
  std::string FilterName;  // "ISO files"
  std::string Pattern;     // "*.iso"
};

struct TFileDialogResult {
  enum class TOutcome { Chosen, Cancelled, Failed };
  TOutcome Outcome = TOutcome::Failed;
  std::string Path;   // the chosen file
  std::string Error;  // why the dialog failed: command line, status and its messages
};

// Shows the dialog and waits until it is closed.
TFileDialogResult RunFileOpenDialog(const TFileDialogRequest& request);

}  // namespace quorvane
