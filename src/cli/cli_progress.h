// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// What quorvane-cli shows while a burn runs: on a terminal, one progress bar per entry
// redrawn in place; otherwise plain lines, one per change, for logs and scripts.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace quorvane {

// One entry as the views show it.
struct TEntryView {
  std::string Name;    // "1 ubuntu.iso"
  std::string Status;  // the job's status text
  int Progress = 0;    // 0..100
  std::string Error;
  double Rate = -1;         // bytes per second of the copy or unpack; negative: unknown
  double SecondsLeft = -1;  // negative: unknown
  std::string Step;         // what the entry still does at 100 % ("flushing to the drive")
  std::int64_t BytesDone = 0;
  std::int64_t BytesTotal = 0;
};

// What follows the percentage: the status, then the speed and time left, or the step
// that runs at 100 %; the longest form that fits in `columns` terminal columns.
std::string EntryDetail(const TEntryView& entry, std::size_t columns);

class TBurnView {
 public:
  virtual ~TBurnView() = default;
  // The drive step's state: "Formatting...", then its outcome.
  virtual void DriveStep(const std::string& text) = 0;
  virtual void EntryChanged(std::size_t index, const TEntryView& entry) = 0;
  // A line of its own, such as "Stopping...".
  virtual void Note(const std::string& text) = 0;
  // The burn is over; what follows is plain text.
  virtual void End() = 0;
  // Called often while the burn runs: a terminal view redraws itself for a new width.
  virtual void Tick() {}
};

// Bars redrawn in place with the terminal's cursor controls, `columns` wide. When
// `resized` is given and set (by SIGWINCH), the next Tick clears it, asks `columns_now`
// for the width and draws the block again for it.
std::unique_ptr<TBurnView> MakeTerminalView(std::FILE* out, std::vector<TEntryView> entries,
                                            int columns, std::atomic<bool>* resized = nullptr,
                                            std::function<int()> columns_now = {});
// A line per status change and per tenth of progress.
std::unique_ptr<TBurnView> MakePlainView(std::FILE* out, std::vector<TEntryView> entries);

// One entry's bar line, at most `columns` - 1 terminal columns wide. The name takes
// `name_columns` (the widest name of the block, so that the bars line up; 0: its own
// width), cut when the terminal is too narrow.
std::string EntryBarLine(const TEntryView& entry, int columns, std::size_t name_columns = 0);

// Width of the terminal on `fd`; 80 when it cannot be told.
int TerminalColumns(int fd);

}  // namespace quorvane
