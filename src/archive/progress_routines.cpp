// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The jobs' progress receivers for copying and unpacking: percentage, cancel and pause.
#include <chrono>
#include <cmath>
#include <thread>

#include "archive/file_operations.h"
#include "jobs/job.h"
#include "jobs/job_status.h"

namespace quorvane {

namespace {

// Stores the new percentage of `done` against `total` and answers whether it rose. A
// total of 0 leaves the percentage unchanged.
bool StorePercentage(TJob& job, std::int64_t done, std::int64_t total) {
  job.Vars.BytesTotal = total;
  job.Vars.BytesDone = done;
  if (total == 0) return false;
  // Every byte is handed over; what is left is the drive's own writing.
  if (done >= total) job.SetStep(kStepFlushing);
  const long double exact = static_cast<long double>(done) * 100.0L / static_cast<long double>(total);
  const auto percentage = static_cast<std::int32_t>(std::nearbyint(exact));  // halves to even
  const std::int32_t before = job.Vars.JobProgress.exchange(percentage);
  return percentage > before;
}

// A cancel request ends the wait too: a paused job that is cancelled must still stop.
void WaitWhilePaused(TJob& job) {
  if (!job.Paused()) return;
  if (job.JobPaused) job.JobPaused(job.Owner(), job.Consts.JobName);
  while (job.Paused() && !job.Canceled()) std::this_thread::sleep_for(std::chrono::milliseconds(200));
}

}  // namespace

void HoldWhilePaused(TJob& job) {
  if (!job.Paused()) return;
  WaitWhilePaused(job);
  if (job.JobResumed) job.JobResumed(job.Owner(), job.Consts.JobName);
}

HRESULT UnpackProgressCallback(void* sender, bool total, std::int64_t value) {
  if (!sender) return S_OK;
  TJob& job = *static_cast<TJob*>(sender);
  if (total) {
    job.Vars.UnPackingSize = value;
    return S_OK;
  }
  const bool rose = StorePercentage(job, value, job.Vars.UnPackingSize.load());
  if (job.Canceled()) return E_ABORT;
  WaitWhilePaused(job);
  if (rose) job.SyncJobState();
  return S_OK;
}

std::uint32_t CopyProgressRoutine(std::int64_t TotalFileSize, std::int64_t TotalBytesTransferred,
                                  std::int64_t, std::int64_t, std::uint32_t,
                                  std::uint32_t CallbackReason, int, int, void* Data) {
  if (CallbackReason == CALLBACK_STREAM_SWITCH || !Data) return PROGRESS_CONTINUE;
  TJob& job = *static_cast<TJob*>(Data);
  const bool rose = StorePercentage(job, TotalBytesTransferred, TotalFileSize);
  const bool cancelled = job.Canceled();
  HoldWhilePaused(job);
  if (rose) job.SyncJobState();
  return cancelled ? PROGRESS_CANCEL : PROGRESS_CONTINUE;
}

}  // namespace quorvane
