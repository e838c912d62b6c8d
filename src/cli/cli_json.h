// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// quorvane-cli's output for scripts (--json): one JSON object per line, as described in
// docs/cli-json.md and docs/cli-json.schema.json.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "cli/cli_burn.h"
#include "cli/cli_plan.h"
#include "cli/cli_progress.h"
#include "drive/usb_drive_set.h"
#include "jobs/drive_check.h"

namespace quorvane {

// The line of `drives --json`: {"type":"drives","drives":[...],...}. `unreadable` says
// that cells the run could not read without root are null.
std::string DrivesJsonLine(const TUSBDrives& drives, bool unreadable);

// The first line of `burn --json`: the drive, the mode, the file system, the checks asked
// for and the entries.
std::string PlanJsonLine(const TUSBDriveSet& drive, std::uint8_t mode, std::uint8_t file_system,
                         const std::vector<TPlannedEntry>& entries, bool check_capacity,
                         bool verify);

// The last line of `burn --json`: the outcome of every entry and of the run.
std::string ResultJsonLine(const TBurnOutcome& outcome);

// The lines of `verify --json`: one per entry, in the order of the result, and the result.
std::string VerifyEntryJsonLine(const TEntryCheck& entry);
std::string VerifyResultJsonLine(const TDriveCheckResult& result);

// A line for every change of the drive step, of an entry's status, percentage or step
// (and at most one a second while the speed alone changes), and for every note.
std::unique_ptr<TBurnView> MakeJsonView(std::FILE* out, std::vector<TEntryView> entries);

}  // namespace quorvane
