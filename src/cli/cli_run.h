// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// quorvane-cli as a function: the command line in, the exit status out, with the
// terminal, the drive table, the job list and the confirmation given by the caller.
#pragma once

#include <atomic>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "drive/usb_drive_letters.h"
#include "jobs/burn_preflight.h"
#include "jobs/jobs.h"
#include "startup/front_ends.h"

namespace quorvane {

inline constexpr int kCliExitFinished = 0;
inline constexpr int kCliExitFailed = 1;
inline constexpr int kCliExitUsage = 2;

struct TCliEnvironment {
  std::FILE* Out = stdout;
  std::FILE* Err = stderr;
  bool OutIsTerminal = false;  // progress bars instead of plain lines
  int Columns = 80;
  // Set by a terminal resize (SIGWINCH); the bars are then drawn for `ColumnsNow()`.
  std::atomic<bool>* Resized = nullptr;
  std::function<int()> ColumnsNow;
  // Asks the confirmation; the terminal by default.
  IFallbackDialog* Dialog = nullptr;
  // The run's USB drive table; `list_usb_disks` false for a burn of an image file,
  // which leaves every USB disk alone. Installed by RunCli.
  std::function<std::shared_ptr<TUSBDriveLetters>(bool list_usb_disks)> MakeDriveTable;
  // The check before the burn; RunBurnPreflight by default.
  TBurnPreflight Preflight;
  // The job list of the burn; the program's loaders and drive step by default.
  std::function<std::unique_ptr<TJobs>()> MakeJobs;
  // Set by an interrupt (Ctrl-C): the burn stops.
  const std::atomic<bool>* Interrupted = nullptr;
  // Whether the run has root, which burn needs; the process's own by default.
  std::optional<bool> Root;
};

// The arguments after the program name. Installs the main thread's message queue as the
// dispatcher and the drive table for the run, and at its end releases the program's
// mounts and detaches the image drives it attached.
int RunCli(const std::vector<std::string>& args, TCliEnvironment& env);

}  // namespace quorvane
