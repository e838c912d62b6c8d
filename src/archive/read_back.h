// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// A file read the way the drive holds it, not from the system's cache of it: for checks
// of what was written.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace quorvane {

struct TReadBackOutcome {
  enum TState { Read, Cancelled, Missing, Failed };
  TState State = Failed;
  std::string Error;  // the system's text of a failure
};

// Each piece of the file in order: its bytes, their length and their place in the file.
// Answering false stops the reading (as a cancel).
using TReadBackBlock = std::function<bool(const char* bytes, std::size_t length,
                                          std::uint64_t offset)>;

// Reads the regular file `path` (never through a symbolic link) past the page cache: with
// O_DIRECT where the file system allows it, else after flushing the file and dropping its
// cached pages. `cancel`, when given, is looked at between pieces.
TReadBackOutcome ReadBackFile(const std::string& path, const TReadBackBlock& block,
                              const std::atomic<bool>* cancel = nullptr);

// Reads `size` bytes of the block device `device` from `offset` on (a file written straight
// to its run of clusters) past the device's cache: its dirty pages flushed first, then
// O_DIRECT where the device allows it, else its cached pages dropped. The pieces' places
// count from `offset`.
TReadBackOutcome ReadBackDeviceRange(const std::string& device, std::uint64_t offset,
                                     std::uint64_t size, const TReadBackBlock& block,
                                     const std::atomic<bool>* cancel = nullptr);

}  // namespace quorvane
