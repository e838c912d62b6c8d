// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// One burn run from the command line: the entries handed to the job list, the drive step
// and the jobs followed on the main thread's message queue until the list reports its
// end, an interrupt turned into a stop.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "cli/cli_arguments.h"
#include "cli/cli_progress.h"
#include "common/message_queue.h"
#include "jobs/jobs.h"

namespace quorvane {

struct TBurnRequest {
  char Drive = 0;
  std::uint8_t Mode = 0;
  std::uint8_t FileSystem = 0;
  std::vector<TCliEntry> Entries;
  bool CheckCapacity = false;  // mode new: the capacity check before repartitioning
  bool Verify = true;  // the read-back of each entry after it is written
};

struct TBurnOutcome {
  bool Added = false;          // every entry became a job
  std::string DriveStepError;  // empty when the drive was prepared
  std::vector<TEntryView> Entries;
  bool Interrupted = false;
  std::string MountReleaseError;  // why the drive could not be released afterwards

  // Every entry finished, and the drive was released.
  bool AllFinished() const;
};

// The job name of entry `index` (from 0): its position from 1 and its file name.
std::string EntryJobName(std::size_t index, const TCliEntry& entry);

// The initial view of the entries.
std::vector<TEntryView> EntryViews(const std::vector<TCliEntry>& entries);

// Adds one job per entry to `jobs` and runs the burn, serving `queue` (the main thread's
// dispatcher) until it has ended. `interrupted`, when it becomes true, stops the burn:
// the current entry is cancelled and rolled back, and no further entry starts.
TBurnOutcome RunBurn(TJobs& jobs, const TBurnRequest& request, TMessageQueue& queue,
                     TBurnView& view, const std::atomic<bool>* interrupted);

}  // namespace quorvane
