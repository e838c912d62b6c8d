// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "jobs/drive_check_run.h"

#include "drive/drive_letters.h"

namespace quorvane {

std::string DriveRootToCheck(char letter, std::string& error) {
  const std::shared_ptr<IDriveLetters> letters = DriveLetters();
  if (!letters) {
    error = "Drive not found";
    return {};
  }
  return letters->ReadOnlyRootOf(letter, error);
}

TDriveCheckRun::TDriveCheckRun(char letter) : FLetter(letter) {}

TDriveCheckRun::~TDriveCheckRun() {
  FCancel = true;
  WaitFor();
}

std::optional<TDriveCheckResult> TDriveCheckRun::Result() const {
  std::lock_guard<std::mutex> guard(FLock);
  return FResult;
}

std::string TDriveCheckRun::Failure() const {
  std::lock_guard<std::mutex> guard(FLock);
  return FFailure;
}

void TDriveCheckRun::Execute() {
  try {
    Check();
  } catch (const std::exception& e) {
    std::lock_guard<std::mutex> guard(FLock);
    FFailure = "drive " + std::string(1, FLetter) + ": the check failed: " + e.what();
  }
}

void TDriveCheckRun::Check() {
  std::string error;
  const std::string root = DriveRootToCheck(FLetter, error);
  if (root.empty()) {
    std::lock_guard<std::mutex> guard(FLock);
    FFailure = "drive " + std::string(1, FLetter) + ": " + error;
    return;
  }
  TDriveCheckResult result = CheckDrive(root, &FProgress, &FCancel);
  std::lock_guard<std::mutex> guard(FLock);
  FResult = std::move(result);
}

}  // namespace quorvane
