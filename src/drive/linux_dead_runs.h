// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// What a run of the program that was killed left on the machine: its mounts under its own
// folder RunRoot/<process id> and the loop devices it attached, which it lists in that
// folder's "loops" file. A later run cleans them up at its start.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/tool_runner.h"
#include "drive/usb_drive_letters.h"

namespace quorvane {

// One loop device of a run: its kernel name, and the file and offset it shows.
struct TRunLoop {
  std::string KernelName;  // "loop3"
  std::uint64_t Offset = 0;
  std::string File;
};

// The run folder's list of loop devices, one a line: name, offset, file.
std::string FormatRunLoops(const std::vector<TRunLoop>& loops);
std::vector<TRunLoop> ParseRunLoops(const std::string& text);
inline constexpr const char* kRunLoopsFile = "loops";

struct TDeadRunCleanup {
  std::vector<std::string> Done;    // "unmounted /run/quorvane/123/a", "detached /dev/loop3", ...
  std::vector<std::string> Errors;  // what could not be cleaned
};

// Cleans the folders under env.RunRoot of runs whose process has ended: unmounts what is
// mounted there (lazily when a plain unmount fails, as for a file system whose FUSE
// process died), detaches the loop devices of its list that still show the same file at
// the same offset and are not mounted, and removes the folder. A folder whose process
// still runs, and this run's own, are left alone.
TDeadRunCleanup CleanUpDeadRuns(const TDriveEnvironment& env, IToolRunner& runner);

}  // namespace quorvane
