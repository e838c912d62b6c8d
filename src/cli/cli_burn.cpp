// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "cli/cli_burn.h"

#include <filesystem>

#include "common/constants.h"
#include "jobs/job_status.h"

namespace quorvane {

bool TBurnOutcome::AllFinished() const {
  if (!Added || !DriveStepError.empty() || !MountReleaseError.empty() || Entries.empty())
    return false;
  for (const TEntryView& e : Entries)
    if (e.Status != kStatusFinished) return false;
  return true;
}

std::string EntryJobName(std::size_t index, const TCliEntry& entry) {
  return std::to_string(index + 1) + " " + std::filesystem::path(entry.Path).filename().string();
}

std::vector<TEntryView> EntryViews(const std::vector<TCliEntry>& entries) {
  std::vector<TEntryView> views;
  for (std::size_t i = 0; i < entries.size(); ++i)
    views.push_back({EntryJobName(i, entries[i]), kStatusReady, 0, ""});
  return views;
}

TBurnOutcome RunBurn(TJobs& jobs, const TBurnRequest& request, TMessageQueue& queue,
                     TBurnView& view, const std::atomic<bool>* interrupted) {
  TBurnOutcome outcome;
  outcome.Entries = EntryViews(request.Entries);
  bool done = false;

  const auto show = [&](const std::string& name) {
    TJob* job = jobs.GetJobByName(name);
    if (!job) return;
    for (std::size_t i = 0; i < outcome.Entries.size(); ++i) {
      if (outcome.Entries[i].Name != name) continue;
      TEntryView& e = outcome.Entries[i];
      e.Status = job->Status();
      e.Progress = job->Progress();
      e.Error = job->Error();
      view.EntryChanged(i, e);
    }
  };
  const auto drive_step_done = [&](const char* failure, const std::string& error) {
    if (error.empty()) {
      view.DriveStep("Drive ready.");
      return;
    }
    outcome.DriveStepError = error;
    view.DriveStep(failure + std::string(" ") + error);
    // The list waits for a stop after a failed drive step; no entry runs.
    jobs.Stop();
    done = true;
  };
  jobs.SetOnJobSync([&](void*, const std::string& name) { show(name); });
  jobs.SetOnJobFinish([&](void*, const std::string& name) { show(name); });
  jobs.SetOnFormatStarted([&](void*, std::uint8_t mode, char) {
    view.DriveStep(mode == FormatModeNew ? "Formatting..." : "Replacing MBR...");
  });
  jobs.SetOnFormatFinished(
      [&](void*, const std::string& error) { drive_step_done("Drive format error:", error); });
  jobs.SetOnMBRReplaceFinishedCB(
      [&](void*, const std::string& error) { drive_step_done("MBR replacing error:", error); });
  jobs.SetOnWorksFinish([&](void*) { done = true; });

  outcome.Added = true;
  for (std::size_t i = 0; i < request.Entries.size(); ++i) {
    const TCliEntry& entry = request.Entries[i];
    if (!jobs.Add(entry.Code, entry.Path, request.Drive, EntryJobName(i, entry))) {
      outcome.Added = false;
      outcome.Entries[i].Error = "the entry could not be added";
    }
  }
  if (!outcome.Added) return outcome;

  jobs.Start(request.Drive, request.Mode, request.FileSystem);
  while (!done) {
    if (interrupted && interrupted->load() && !outcome.Interrupted) {
      outcome.Interrupted = true;
      view.Note("Stopping: the current step ends, an entry being written is rolled back...");
      jobs.Stop();
    }
    if (queue.WaitForMessage(std::chrono::milliseconds(50))) queue.DispatchWaiting();
  }
  // Whatever is still on its way (a last notice) is shown before the summary.
  queue.DispatchWaiting();
  for (std::size_t i = 0; i < outcome.Entries.size(); ++i) show(outcome.Entries[i].Name);
  outcome.MountReleaseError = jobs.MountReleaseError();
  return outcome;
}

}  // namespace quorvane
