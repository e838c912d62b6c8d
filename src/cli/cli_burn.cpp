// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "cli/cli_burn.h"

#include <chrono>
#include <cstdio>
#include <filesystem>

#include "common/constants.h"
#include "common/transfer_meter.h"
#include "drive/capacity_check.h"
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
  // Speed and time left of each entry's copy or unpack, over the last seconds.
  std::vector<TTransferMeter> meters(outcome.Entries.size());
  const auto clock_start = std::chrono::steady_clock::now();
  const auto now_seconds = [&] {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - clock_start).count();
  };

  const auto show = [&](const std::string& name) {
    TJob* job = jobs.GetJobByName(name);
    if (!job) return;
    for (std::size_t i = 0; i < outcome.Entries.size(); ++i) {
      if (outcome.Entries[i].Name != name) continue;
      TEntryView& e = outcome.Entries[i];
      e.Status = job->Status();
      e.Progress = job->Progress();
      e.Error = job->Error();
      e.Step = job->Step();
      e.BytesDone = job->Vars.BytesDone.load();
      e.BytesTotal = job->Vars.BytesTotal.load();
      if (e.Status == kStatusRunning && e.BytesTotal > 0) {
        meters[i].Sample(now_seconds(), e.BytesDone, e.BytesTotal);
        e.Rate = meters[i].BytesPerSecond();
        e.SecondsLeft = meters[i].SecondsLeft();
      } else {
        meters[i].Reset();
        e.Rate = -1;
        e.SecondsLeft = -1;
      }
      view.EntryChanged(i, e);
    }
  };
  // The capacity check's progress by tenths, and how long it took.
  std::string check_step;
  int check_tenth = -1;
  std::chrono::steady_clock::time_point check_start;
  const auto seconds_since = [](std::chrono::steady_clock::time_point start) {
    const double s =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", s);
    return std::string(text);
  };
  const auto end_check = [&](const char* outcome) {
    if (check_step.empty()) return;
    view.Note(check_step.substr(0, check_step.find("...")) + " took " + seconds_since(check_start) +
              outcome);
    check_step.clear();
  };
  jobs.SetOnFormatProgress([&](void*, const std::string& step, std::int32_t percent) {
    if (step != kCapacityCheckStep) {
      end_check(": the drive holds what it claims.");
      view.DriveStep(step);
      return;
    }
    if (check_step.empty()) {
      check_step = step;
      check_start = std::chrono::steady_clock::now();
    }
    if (percent / 10 == check_tenth) return;
    check_tenth = percent / 10;
    view.DriveStep(step + " " + std::to_string(check_tenth * 10) + "%");
  });
  const auto drive_step_done = [&](const char* failure, const std::string& error) {
    end_check(".");
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
    // With the capacity check first, its own progress is the first thing to show.
    if (mode == FormatModeNew && request.CheckCapacity) return;
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

  jobs.Start(request.Drive, request.Mode, request.FileSystem,
             {.CheckCapacity = request.CheckCapacity, .Verify = request.Verify});
  // The running entry is looked at twice a second even when its percentage stands still,
  // so that its speed and time left follow a slow or stalled drive.
  double last_look = 0;
  while (!done) {
    view.Tick();
    if (now_seconds() - last_look >= 0.5) {
      last_look = now_seconds();
      if (TJob* current = jobs.Current(); current && current->Running()) show(current->Name());
    }
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
