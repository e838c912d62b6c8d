// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The copy loop under the copy routines: one file, its full size reserved on the target
// first, progress reported per chunk, flushed to the drive before it counts as copied.
#pragma once

#include <string>

#include "archive/file_operations.h"

namespace quorvane {

struct TCopyOutcome {
  enum TState { Copied, Cancelled, Failed };
  TState State = Failed;
  int Error = 0;  // errno of a failure
};

// Bytes between two progress reports, and between two waits for the drive.
inline constexpr std::size_t kCopyChunkSize = 1u << 20;
inline constexpr std::size_t kCopyWritebackWindow = 8u << 20;

// Copies `source` over `target` (replaced when it exists, never through a symbolic link),
// calling `routine` with `data` when it is given. `cancel` set means cancelled before the
// start: nothing is touched. A cancelled or failed copy removes the partial target,
// unless the routine answered PROGRESS_STOP.
TCopyOutcome CopyFileContents(const std::string& source, const std::string& target,
                              TCopyProgressRoutine routine, void* data, bool cancel);

}  // namespace quorvane
