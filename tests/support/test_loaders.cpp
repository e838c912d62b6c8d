// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "support/test_loaders.h"

#include <algorithm>

#include <chrono>
#include <thread>

#include "archive/file_operations.h"
#include "support/temp_dir.h"

namespace quorvane::testing {

void TStandInLoader::JobGo() {
  TJob::JobGo();
  if (Status() != kStatusRunning) return;
  // The copy: progress reports through the jobs' copy routine, like a real copy.
  in_copy = true;
  const std::int64_t total = total_bytes > 0 ? total_bytes : steps;
  const std::int64_t step = total / steps;
  auto report = [this, total](std::int64_t done) {
    return CopyProgressRoutine(total, done, total, done, 1, CALLBACK_CHUNK_FINISHED, -1, -1,
                               this) == PROGRESS_CONTINUE;
  };
  bool going = true;
  for (int i = 1; i <= steps && going; ++i) {
    going = report(i == steps ? total : i * step);
    const auto held_since = std::chrono::steady_clock::now();
    while (going && i == 1 && hold) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
      const double held =
          std::chrono::duration<double>(std::chrono::steady_clock::now() - held_since).count();
      const auto paced = step + static_cast<std::int64_t>(held * held_bytes_per_second);
      going = report(std::min(paced, 2 * step - 1));
    }
  }
  in_copy = false;
  std::string error;
  if (!Canceled()) WriteFile(Vars.JobFileNameOnDriveBackSlash, "image");
  if (!Canceled() && record_writes)
    WrittenFiles().Add(WrittenText(Vars.JobFileNameOnDriveBackSlash, "image"));
  if (fail_step == "copy") error = "Error in file copy operation: test";
  if (!StepSucceeded(error)) return;
  error = fail_step == "menu" ? "Failed to write file content" : "";
  if (error.empty()) WriteFile(Vars.JobDir + "entry.lst", "title " + Vars.JobFileNameWOExt);
  if (!StepSucceeded(error)) return;
  AppendEntryToMainMenu("\r\ntitle " + Vars.JobFileNameWOExt + "\r\n");
  in_menu = true;
  while (hold_after_menu) std::this_thread::sleep_for(std::chrono::milliseconds(2));
}

TJobFactory StandInLoaderFactory(std::vector<TStandInLoader*>* made) {
  return [made](std::int32_t type, const std::string& file, char drive, const std::string& name) {
    auto job = std::make_unique<TStandInLoader>(type, file, drive, name);
    if (made) made->push_back(job.get());
    return std::unique_ptr<TJob>(std::move(job));
  };
}

namespace {

class TRecordedPreparation : public TDrivePreparation {
 public:
  explicit TRecordedPreparation(std::shared_ptr<TPreparationLog> log) : FLog(std::move(log)) {}
  ~TRecordedPreparation() override { WaitFor(); }

 protected:
  void Execute() override {
    FLog->options = Options;
    while (FLog->hold) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    ++FLog->runs;
    for (const int percent : FLog->progress) ReportProgress("Checking capacity...", percent);
    while (FLog->wait_for_cancel && !Canceled())
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    ErrorString = FLog->wait_for_cancel ? "cancelled" : FLog->error;
  }

 private:
  std::shared_ptr<TPreparationLog> FLog;
};

}  // namespace

TDrivePreparationFactory RecordingPreparation(std::shared_ptr<TPreparationLog> log) {
  return [log](char drive, std::uint8_t fs, std::uint8_t mode) {
    log->drive = drive;
    log->fs = fs;
    log->mode = mode;
    return std::unique_ptr<TDrivePreparation>(std::make_unique<TRecordedPreparation>(log));
  };
}

}  // namespace quorvane::testing
