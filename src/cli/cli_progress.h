// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// What quorvane-cli shows while a burn runs: on a terminal, one progress bar per entry
// redrawn in place; otherwise plain lines, one per change, for logs and scripts.
#pragma once

#include <cstdio>
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
};

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
};

// Bars redrawn in place with the terminal's cursor controls, `columns` wide.
std::unique_ptr<TBurnView> MakeTerminalView(std::FILE* out, std::vector<TEntryView> entries,
                                            int columns);
// A line per status change and per tenth of progress.
std::unique_ptr<TBurnView> MakePlainView(std::FILE* out, std::vector<TEntryView> entries);

// One entry's bar line, at most `columns` - 1 characters wide.
std::string EntryBarLine(const TEntryView& entry, int columns);

// Width of the terminal on `fd`; 80 when it cannot be told.
int TerminalColumns(int fd);

}  // namespace quorvane
