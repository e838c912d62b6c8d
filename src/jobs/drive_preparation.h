// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The drive step of a burn as the job list sees it: a worker thread that prepares the
// drive and leaves an error text (empty on success), with the user's options for it, a
// cancel request and progress of its longer parts.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "common/worker_thread.h"

namespace quorvane {

// What the user chose for a burn beyond drive, mode and file system.
struct TDriveStepOptions {
  // Mode new: check the drive's real capacity before repartitioning it.
  bool CheckCapacity = false;
  // Read each entry's files back from the drive and compare them before the entry is
  // added to the menus (the jobs' step, not the drive step's).
  bool Verify = true;
};

class TDrivePreparation : public TWorkerThread {
 public:
  std::string ErrorString;  // empty on success; read after the thread has ended
  TDriveStepOptions Options;  // set before the thread starts

  // Asks the step to stop where that leaves the drive as it was; parts that cannot stop
  // halfway run to their end.
  void Cancel() { FCancel = true; }
  bool Canceled() const { return FCancel.load(); }

  // Called on the thread with the part under way ("Checking capacity...") and its share
  // done, 0..100, or -1 when it has no figure. Set before the thread starts.
  std::function<void(const std::string& Step, std::int32_t Percent)> OnProgress;

 protected:
  void ReportProgress(const std::string& step, std::int32_t percent) {
    if (OnProgress) OnProgress(step, percent);
  }
  const std::atomic<bool>& CancelFlag() const { return FCancel; }

 private:
  std::atomic<bool> FCancel{false};
};

// Makes the preparation thread for a drive, file system and mode.
using TDrivePreparationFactory =
    std::function<std::unique_ptr<TDrivePreparation>(char Drive, std::uint8_t FileSystem,
                                                     std::uint8_t Mode)>;

// The program's own preparation: repartition and format (mode new), boot code, NTBOOT.
std::unique_ptr<TDrivePreparation> CreateDrivePreparation(char Drive, std::uint8_t FileSystem,
                                                          std::uint8_t Mode);

}  // namespace quorvane
