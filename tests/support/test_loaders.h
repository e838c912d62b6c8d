// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// Loader-like jobs for the tests of the job engine: each writes a small entry onto a
// folder-backed drive, with steps the test controls.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "jobs/drive_preparation.h"
#include "jobs/job.h"
#include "jobs/jobs.h"

namespace quorvane::testing {

// Copies its image into its folder in `steps` progress steps, writes "entry.lst" and
// appends a main-menu item. `fail_step` makes one step fail; `hold` keeps it in its copy
// loop (reporting progress) until released, so that a test can cancel it mid-copy.
class TStandInLoader : public TJob {
 public:
  using TJob::TJob;
  ~TStandInLoader() override { WaitFor(); }

  std::string fail_step;  // "copy" or "menu"
  // Records what it writes, so that the job reads it back before its menu item.
  bool record_writes = false;
  std::atomic<bool> hold{false};
  std::atomic<bool> in_copy{false};
  std::atomic<bool> hold_after_menu{false};  // waits after appending its menu item
  std::atomic<bool> in_menu{false};
  int steps = 4;
  // The copy's size as reported (0: the step count), and while held in its first step the
  // pace at which it still goes on (0: it stands still), up to just short of the second.
  std::int64_t total_bytes = 0;
  double held_bytes_per_second = 0;

 protected:
  void JobGo() override;
};

// A drive step that records its arguments and options, reports progress and ends with
// `error`; it can be held, or held until it is cancelled.
struct TPreparationLog {
  std::atomic<int> runs{0};
  std::atomic<bool> hold{false};
  char drive = 0;
  std::uint8_t fs = 0, mode = 0;
  std::string error;
  TDriveStepOptions options;          // as the job list handed them over
  std::vector<int> progress;          // reported as "Checking capacity..." before the end
  std::atomic<bool> wait_for_cancel{false};  // hold until cancelled, then end with "cancelled"
};

TJobFactory StandInLoaderFactory(std::vector<TStandInLoader*>* made = nullptr);
TDrivePreparationFactory RecordingPreparation(std::shared_ptr<TPreparationLog> log);

}  // namespace quorvane::testing
