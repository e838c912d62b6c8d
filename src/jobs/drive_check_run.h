// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// A check of a drive against its manifest on a worker thread, for the window and the
// page: its progress and its result can be looked at from any thread.
#pragma once

#include <atomic>
#include <mutex>
#include <optional>
#include <string>

#include "common/worker_thread.h"
#include "jobs/drive_check.h"

namespace quorvane {

// Why a burn or a second check is refused while a check runs.
inline constexpr const char* kDriveCheckRunning = "A drive check is running";

class TDriveCheckRun : public TWorkerThread {
 public:
  // Checks the drive of `letter`, mounted read-only where the drive table can.
  explicit TDriveCheckRun(char letter);
  ~TDriveCheckRun() override;

  char Letter() const { return FLetter; }
  void Cancel() { FCancel = true; }
  const TDriveCheckProgress& Progress() const { return FProgress; }
  // Once Finished(): the result, or none with the reason in Failure().
  std::optional<TDriveCheckResult> Result() const;
  // Why the drive could not be checked at all (no such drive, not mountable); empty else.
  std::string Failure() const;

 protected:
  void Execute() override;

 private:
  void Check();

  const char FLetter;
  std::atomic<bool> FCancel{false};
  TDriveCheckProgress FProgress;
  mutable std::mutex FLock;
  std::optional<TDriveCheckResult> FResult;
  std::string FFailure;
};

// The drive's root folder for a look that writes nothing: read-only where the drive
// table can mount so. Empty with the reason in `error` when the letter names no drive.
std::string DriveRootToCheck(char letter, std::string& error);

}  // namespace quorvane
