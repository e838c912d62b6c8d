// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The job list of a front end: one job per boot entry; a burn prepares the drive on a
// worker thread, then runs the ready and active jobs one after another, reporting every
// step through callbacks on the main thread.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "jobs/drive_preparation.h"
#include "jobs/job.h"
#include "jobs/job_callbacks.h"

namespace quorvane {

// Creates the job of a loader type; nullptr for a type outside 0..9.
using TJobFactory = std::function<std::unique_ptr<TJob>(
    std::int32_t LoaderType, const std::string& SourceFile, char TargetDrive,
    const std::string& JobName)>;

class TJobs {
 public:
  // The program's loader classes and drive preparation.
  TJobs();
  // Other job classes and drive step (tests, tools).
  TJobs(TJobFactory job_factory, TDrivePreparationFactory preparation_factory);
  // Frees every job, waiting for a running one.
  ~TJobs();
  TJobs(const TJobs&) = delete;
  TJobs& operator=(const TJobs&) = delete;

  // Appends a "Ready", active job; false (nothing added) for an unknown loader type or
  // when the job cannot be created.
  bool Add(std::int32_t LoaderType, const std::string& SourceFile, char TargetDrive,
           const std::string& JobName);
  // Begins a burn: the drive step, then every ready and active job. Ignored while a burn
  // is under way; with no jobs it only reports the end. When a job stopped earlier is
  // still ending, the drive step begins once that job has ended.
  void Start(char Drive, std::uint8_t FormatMode, std::uint8_t FormatFS,
             TDriveStepOptions Options = {});
  // Ends the burn after the current job, which is cancelled; during the drive step, the
  // step is asked to stop where it can (the capacity check) and no job starts.
  void Stop();
  // Deactivates every job that is still waiting.
  void DeactAll();

  TJob* GetJobById(int Id) const;
  // The last job with exactly this name.
  TJob* GetJobByName(const std::string& JobName) const;
  TJob* Current() const;
  int Count() const;
  bool Starting() const;
  // A drive step or a job is under way, or its end has not been handled yet (roll-back
  // and report). A front end that ends the program waits until this turns false.
  bool Busy() const;
  // Why the drive could not be unmounted after the last burn; empty when it was.
  std::string MountReleaseError() const;
  void SetOwner(void* owner) { AOwner = owner; }
  void* Owner() const { return AOwner; }

  // Callbacks; set them before the first Add / Start.
  void SetOnJobSync(TSynchronizeCallBack cb) { JobSyncCB = std::move(cb); }
  void SetOnJobStart(TJobStartedCallBack cb) { JobStarted = std::move(cb); }
  void SetOnJobFinish(TJobFinishedCallBack cb) { JobFinCB = std::move(cb); }
  void SetOnWorksStart(TJobsStartedCallBack cb) { WorksStart = std::move(cb); }
  void SetOnWorksFinish(TAllJobsFinished cb) { AllJobsFinished = std::move(cb); }
  void SetOnJobPause(TJobPausedCallBack cb) { JobPaused = std::move(cb); }
  void SetOnJobResumed(TJobResumeCallBack cb) { JobResumed = std::move(cb); }
  void SetOnFormatStarted(TFromatDriveStartCallBack cb) { FormatStartCB = std::move(cb); }
  void SetOnFormatFinished(TFormatDriveFinishedCallBack cb) { FormatFinishedCB = std::move(cb); }
  void SetOnMBRReplaceFinishedCB(TMBRReplaceFinishedCallBack cb) {
    MBRReplaceFinishedCB = std::move(cb);
  }
  void SetOnFormatProgress(TFormatDriveProgressCallBack cb) { FormatProgressCB = std::move(cb); }

 private:
  struct TStartRequest {
    char Drive;
    std::uint8_t FormatMode;
    std::uint8_t FormatFS;
    TDriveStepOptions Options;
  };

  void StartDrivePreparation(const TStartRequest& request);
  void OnCreatorTerminate(TDrivePreparation* creator, std::uint8_t mode);
  void OnJobTerminate(TJob* job);
  bool StartNextJob();
  // Begins a start that waited for the end of an earlier run; true when there was one.
  bool BeginPendingStart();
  void ReportAllFinished();
  void ReleaseMounts();
  void ThreadEndHandled();

  TJobFactory FJobFactory;
  TDrivePreparationFactory FPreparationFactory;

  std::recursive_mutex FCritSect;  // choice and start of the next job
  mutable std::mutex FStateLock;   // the fields below; never held while calling out
  void* AOwner = nullptr;
  std::vector<std::unique_ptr<TJob>> FJobs;
  bool FStarting = false;
  int FCurrent = -1;
  bool FThreadInFlight = false;  // a preparation or job thread whose end is not yet handled
  TDrivePreparation* FPreparation = nullptr;  // the drive step under way
  std::optional<TStartRequest> FPendingStart;
  std::string FMountReleaseError;
  bool FVerify = true;  // the burn under way reads its entries back

  TSynchronizeCallBack JobSyncCB;
  TJobFinishedCallBack JobFinCB;
  TAllJobsFinished AllJobsFinished;
  TJobStartedCallBack JobStarted;
  TJobsStartedCallBack WorksStart;
  TJobPausedCallBack JobPaused;
  TJobResumeCallBack JobResumed;
  TFromatDriveStartCallBack FormatStartCB;
  TFormatDriveFinishedCallBack FormatFinishedCB;
  TMBRReplaceFinishedCallBack MBRReplaceFinishedCB;
  TFormatDriveProgressCallBack FormatProgressCB;

  std::shared_ptr<int> FAlive;  // lets a preparation thread that outlives us skip its handler
};

// Stops the burn of every job list of the run (called on the main thread), as Stop does.
void StopEveryBurn();
// Whether any job list of the run is Busy.
bool AnyBurnBusy();

}  // namespace quorvane
