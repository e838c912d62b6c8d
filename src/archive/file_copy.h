// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The copy loop under the copy routines: one file, its full size reserved on the target
// first, progress reported per chunk, flushed to the drive before it counts as copied.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "archive/file_operations.h"
#include "archive/written_files.h"

namespace quorvane {

struct TCopyOutcome {
  enum TState { Copied, Cancelled, Failed };
  TState State = Failed;
  int Error = 0;       // errno of a failure
  std::string Detail;  // or the text of one that no errno names
};

// Bytes between two progress reports, and between two waits for the drive.
inline constexpr std::size_t kCopyChunkSize = 1u << 20;
inline constexpr std::size_t kCopyWritebackWindow = 8u << 20;

// Copies `source` over `target` (replaced when it exists, never through a symbolic link),
// calling `routine` with `data` when it is given. `cancel` set means cancelled before the
// start: nothing is touched. A cancelled or failed copy removes the partial target,
// unless the routine answered PROGRESS_STOP. `digest`, when given, is fed every byte as it
// is written (the copy then goes through the program's buffer, not inside the kernel).
TCopyOutcome CopyFileContents(const std::string& source, const std::string& target,
                              TCopyProgressRoutine routine, void* data, bool cancel,
                              TWriteDigest* digest = nullptr);

// Called with the target's path once a copy is flushed to the drive, before the copy
// counts as done: tests change the drive's copy there, as a faulty drive would.
using TCopiedFileHook = std::function<void(const std::string& target)>;
void SetCopiedFileHook(TCopiedFileHook hook);

// A way to write a whole large file straight to the drive where the file system's own
// driver is the bottleneck (ntfs-3g); the drive layer installs one. Where the kernel has a
// driver of its own (ntfs3), none serves, and the copy loop's reservation and copy do.
class ILargeFileWriter {
 public:
  virtual ~ILargeFileWriter() = default;
  // Writes `size` bytes from `in` to `target`, which does not exist yet, reporting to
  // `routine` as the copy loop does, and feeding `digest` (when given) each block once it
  // is on the device; a cancelled or failed write leaves no target unless the routine
  // answered PROGRESS_STOP. False when it does not serve the target: nothing was touched
  // and the copy loop does the work.
  virtual bool Write(int in, std::uint64_t size, const std::string& target,
                     TCopyProgressRoutine routine, void* data, TCopyOutcome& outcome,
                     TWriteDigest* digest) = 0;
};

// Files from this size on are offered to the installed writer; smaller ones are copied.
inline constexpr std::uint64_t kLargeFileSize = 32u << 20;

void SetLargeFileWriter(std::shared_ptr<ILargeFileWriter> writer);
std::shared_ptr<ILargeFileWriter> LargeFileWriter();

}  // namespace quorvane
