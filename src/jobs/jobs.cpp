// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "jobs/jobs.h"

#include <set>

#include "common/constants.h"
#include "common/main_thread.h"
#include "drive/usb_drive_letters.h"
#include "loaders/loader_catalog.h"
#include "loaders/loader_jobs.h"

namespace quorvane {

namespace {

// Runs a front-end callback, swallowing whatever it throws.
template <typename F, typename... A>
void CallQuietly(const F& callback, A&&... args) {
  if (!callback) return;
  try {
    callback(std::forward<A>(args)...);
  } catch (...) {
  }
}

}  // namespace

TJobs::TJobs() : TJobs(CreateLoaderJob, CreateDrivePreparation) {}

namespace {

// Every job list of the run, for an end of the program that stops whatever burns.
std::mutex g_lists_lock;
std::set<TJobs*> g_lists;

}  // namespace

TJobs::TJobs(TJobFactory job_factory, TDrivePreparationFactory preparation_factory)
    : FJobFactory(std::move(job_factory)),
      FPreparationFactory(std::move(preparation_factory)),
      FAlive(std::make_shared<int>(0)) {
  std::lock_guard<std::mutex> guard(g_lists_lock);
  g_lists.insert(this);
}

void StopEveryBurn() {
  std::vector<TJobs*> lists;
  {
    std::lock_guard<std::mutex> guard(g_lists_lock);
    lists.assign(g_lists.begin(), g_lists.end());
  }
  for (TJobs* jobs : lists) jobs->Stop();
}

bool AnyBurnBusy() {
  std::lock_guard<std::mutex> guard(g_lists_lock);
  for (const TJobs* jobs : g_lists)
    if (jobs->Busy()) return true;
  return false;
}

TJobs::~TJobs() {
  {
    std::lock_guard<std::mutex> guard(g_lists_lock);
    g_lists.erase(this);
  }
  FAlive.reset();
  std::vector<std::unique_ptr<TJob>> jobs;
  {
    std::lock_guard<std::mutex> guard(FStateLock);
    jobs.swap(FJobs);
  }
  // A job still running may not notify a front end that is going away with its list.
  for (auto& job : jobs) job->DetachFromOwner();
  for (auto& job : jobs) {
    try {
      job.reset();
    } catch (...) {
    }
  }
}

bool TJobs::Add(std::int32_t LoaderType, const std::string& SourceFile, char TargetDrive,
                const std::string& JobName) {
  if (!IsLoaderType(LoaderType)) return false;
  std::unique_ptr<TJob> job;
  try {
    job = FJobFactory(LoaderType, SourceFile, TargetDrive, JobName);
  } catch (...) {
    return false;
  }
  if (!job) return false;
  job->SetOnJobSync(JobSyncCB);
  job->SetOwner(AOwner);
  TJob* raw = job.get();
  std::weak_ptr<int> alive = FAlive;
  job->OnTerminate = [this, raw, alive](TWorkerThread*) {
    if (!alive.expired()) OnJobTerminate(raw);
  };
  std::lock_guard<std::mutex> guard(FStateLock);
  FJobs.push_back(std::move(job));
  return true;
}

void TJobs::Start(char Drive, std::uint8_t FormatMode, std::uint8_t FormatFS,
                  TDriveStepOptions Options) {
  const TStartRequest request{Drive, FormatMode, FormatFS, Options};
  bool empty = false;
  {
    std::lock_guard<std::mutex> guard(FStateLock);
    if (FStarting) return;
    empty = FJobs.empty();
    if (!empty) {
      FStarting = true;
      if (FThreadInFlight) {
        // A stopped run is still ending; its completion begins this one.
        FPendingStart = request;
        return;
      }
    }
  }
  if (empty) {
    CallQuietly(AllJobsFinished, AOwner);
    return;
  }
  StartDrivePreparation(request);
}

void TJobs::StartDrivePreparation(const TStartRequest& request) {
  std::unique_ptr<TDrivePreparation> creator =
      FPreparationFactory(request.Drive, request.FormatFS, request.FormatMode);
  creator->Options = request.Options;
  {
    std::lock_guard<std::mutex> guard(FStateLock);
    FVerify = request.Options.Verify;
    FThreadInFlight = true;
    FPreparation = creator.get();
  }
  const std::uint8_t mode = request.FormatMode;
  std::weak_ptr<int> alive = FAlive;
  creator->OnProgress = [this, alive](const std::string& step, std::int32_t percent) {
    MainThread().RunAndWait([&] {
      if (!alive.expired()) CallQuietly(FormatProgressCB, AOwner, step, percent);
    });
  };
  creator->OnTerminate = [this, alive, mode](TWorkerThread* thread) {
    if (alive.expired()) return;
    OnCreatorTerminate(static_cast<TDrivePreparation*>(thread), mode);
  };
  creator->FreeOnTerminate = true;
  // The front end's report comes before the thread runs; a throwing callback must not
  // leave the thread unstarted, which would leave the list waiting for ever.
  CallQuietly(FormatStartCB, AOwner, request.FormatMode, request.Drive);
  creator.release()->Start();
}

void TJobs::ThreadEndHandled() {
  std::lock_guard<std::mutex> guard(FStateLock);
  FThreadInFlight = false;
}

bool TJobs::Busy() const {
  std::lock_guard<std::mutex> guard(FStateLock);
  return FThreadInFlight;
}

void TJobs::OnCreatorTerminate(TDrivePreparation* creator, std::uint8_t mode) {
  // The step counts as under way until its report has been made: a Start from inside the
  // report waits for it like any other, and whoever waits for the list to go quiet sees
  // the report delivered first.
  const std::string error = creator->ErrorString;
  {
    std::lock_guard<std::mutex> guard(FStateLock);
    FPreparation = nullptr;
  }
  bool reported = true;
  try {
    if (mode == FormatModeNew && FormatFinishedCB) FormatFinishedCB(AOwner, error);
    if (mode == FormatModeAdd && MBRReplaceFinishedCB) MBRReplaceFinishedCB(AOwner, error);
  } catch (...) {
    reported = false;  // a front end that cannot take the report gets no jobs started
  }
  ThreadEndHandled();
  try {
    if (reported && BeginPendingStart()) return;
    if (!reported || !error.empty()) {
      ReleaseMounts();
      return;  // stuck until Stop
    }
    if (StartNextJob()) {
      CallQuietly(WorksStart, AOwner);
    } else {
      ReportAllFinished();
    }
  } catch (...) {
  }
}

void TJobs::OnJobTerminate(TJob* job) {
  // As with the drive step, the job counts as under way until its roll-back and its
  // report are done.
  try {
    if (job->Canceled()) job->RollBack();
    if (!job->Error().empty()) job->RollBack();
  } catch (...) {
  }
  CallQuietly(JobFinCB, AOwner, job->Name());
  ThreadEndHandled();
  if (BeginPendingStart()) return;
  if (StartNextJob()) return;
  ReportAllFinished();
}

bool TJobs::BeginPendingStart() {
  std::optional<TStartRequest> request;
  {
    std::lock_guard<std::mutex> guard(FStateLock);
    request.swap(FPendingStart);
    if (request) FCurrent = -1;
  }
  if (!request) return false;
  StartDrivePreparation(*request);
  return true;
}

void TJobs::ReleaseMounts() {
  // No thread of the burn uses the drive any more: what was mounted for it is synced and
  // unmounted, so that the stick can be pulled. Letters mount again when next needed.
  std::string error = ReleaseProgramMounts();
  std::lock_guard<std::mutex> guard(FStateLock);
  FMountReleaseError = std::move(error);
}

std::string TJobs::MountReleaseError() const {
  std::lock_guard<std::mutex> guard(FStateLock);
  return FMountReleaseError;
}

void TJobs::ReportAllFinished() {
  ReleaseMounts();
  {
    std::lock_guard<std::mutex> guard(FStateLock);
    FStarting = false;
    FCurrent = -1;
  }
  CallQuietly(AllJobsFinished, AOwner);
}

bool TJobs::StartNextJob() {
  std::lock_guard<std::recursive_mutex> crit(FCritSect);
  try {
    TJob* next = nullptr;
    int index = -1;
    {
      std::lock_guard<std::mutex> guard(FStateLock);
      if (!FStarting) return false;
      for (std::size_t i = 0; i < FJobs.size(); ++i) {
        TJob* job = FJobs[i].get();
        if (!job->Started() && job->Active() && job->Status() == kStatusReady) {
          next = job;
          index = static_cast<int>(i);
          break;
        }
      }
      if (!next) return false;
      FCurrent = index;
      FThreadInFlight = true;
      next->SetVerify(FVerify);
    }
    // The front end hears of the start before the job's first notice: the thread is
    // released right after, so what the notice shows of the job never depends on how
    // far the new thread has got.
    CallQuietly(JobStarted, AOwner, next->Name());
    next->Start();
    return true;
  } catch (...) {
    return false;
  }
}

void TJobs::Stop() {
  TJob* current = nullptr;
  {
    std::lock_guard<std::mutex> guard(FStateLock);
    if (!FStarting) return;
    FStarting = false;
    FPendingStart.reset();
    if (FCurrent >= 0 && FCurrent < static_cast<int>(FJobs.size())) current = FJobs[FCurrent].get();
    // The thread frees itself only after its end has been handled, which clears this.
    if (FPreparation) FPreparation->Cancel();
  }
  if (current) current->Cancel();
}

void TJobs::DeactAll() {
  std::lock_guard<std::mutex> guard(FStateLock);
  for (auto& job : FJobs) job->Deactivate();
}

TJob* TJobs::GetJobById(int Id) const {
  std::lock_guard<std::mutex> guard(FStateLock);
  if (Id < 0 || Id >= static_cast<int>(FJobs.size())) return nullptr;
  return FJobs[Id].get();
}

TJob* TJobs::GetJobByName(const std::string& JobName) const {
  std::lock_guard<std::mutex> guard(FStateLock);
  for (auto it = FJobs.rbegin(); it != FJobs.rend(); ++it)
    if ((*it)->Name() == JobName) return it->get();
  return nullptr;
}

TJob* TJobs::Current() const {
  std::lock_guard<std::mutex> guard(FStateLock);
  if (FCurrent < 0 || FCurrent >= static_cast<int>(FJobs.size())) return nullptr;
  return FJobs[FCurrent].get();
}

int TJobs::Count() const {
  std::lock_guard<std::mutex> guard(FStateLock);
  return static_cast<int>(FJobs.size());
}

bool TJobs::Starting() const {
  std::lock_guard<std::mutex> guard(FStateLock);
  return FStarting;
}

}  // namespace quorvane
