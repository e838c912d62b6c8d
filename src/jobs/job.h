// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// One boot entry written onto a drive by a worker thread of its own: pre-run checks, the
// job folder, the loader's work, status and progress notifications, cancel and roll-back.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "archive/written_files.h"
#include "common/worker_thread.h"
#include "jobs/job_callbacks.h"
#include "jobs/job_status.h"

namespace quorvane {

// Fixed inputs of a job.
struct TLocalConsts {
  std::int32_t LdrType = 0;
  std::string SrcFile;   // image file on the computer
  char TrgtDrive = 0;    // lower-case drive letter
  std::string JobName;   // identifies the job in every callback
};

// Working state of a job. The status and error texts are guarded by the job's lock and
// read through Status() and Error(); the counters are read by other threads directly.
struct TLocalVariables {
  std::int64_t DriveFreeSpace = 0;
  std::atomic<std::int64_t> NecessarySpace{0};
  std::atomic<std::int64_t> UnPackingSize{0};  // written by the archive library's threads
  std::string JobStatus;
  std::string JobError;
  std::atomic<std::int32_t> JobProgress{0};
  // Bytes of the copy or unpack under way, done and in all: what the front ends measure
  // the speed and the time left by. Written by the job's thread, read by the front ends.
  std::atomic<std::int64_t> BytesDone{0};
  std::atomic<std::int64_t> BytesTotal{0};
  // What a step still does once its bytes are all written ("flushing to the drive");
  // guarded by the job's lock, read through Step().
  std::string JobStep;
  // Paths, filled by PrepareJobDir. JobDir and JobFileNameOnDriveBackSlash are native
  // paths under the drive's root folder; the others are the forms GRUB4DOS and the
  // NTBOOT scripts read.
  std::string JobDir;                       // native, with trailing "/"
  std::string JobDirOnHDForwardSlashWOhd;   // /Quorvane/ID/
  std::string JobDirOnHDForwardSlash;       // (hd0,0)/Quorvane/ID/
  std::string JobFileNameOnHDForwardSlash;  // (hd0,0)/Quorvane/ID/name.iso
  std::string JobFileNameForwardSlash;      // /Quorvane/ID/name.iso
  std::string JobFileNameDblBackSlash;      // \\Quorvane\\ID\\name.iso
  std::string JobFileNameOnDriveBackSlash;  // native path of the image on the drive
  std::string JobFileNameWOExt;
  std::string JobFileNameWithExt;
  std::string JobFileExt;                   // ".iso", case kept
};

// The file name a job gives its image on the drive: blanks and "-" become "_", braces
// and parentheses are dropped, and what GRUB4DOS would expand or read as syntax ("%",
// "\", control characters, ...) becomes "_".
std::string CleanImageFileName(const std::string& file_name);

class TJob : public TWorkerThread {
 public:
  TJob(std::int32_t LoaderType, const std::string& SourceFile, char TargetDrive,
       const std::string& JobName);
  ~TJob() override;

  // Properties.
  void* Owner() const { return AOwner; }
  void SetOwner(void* owner) { AOwner = owner; }
  std::string Status() const;
  std::string Error() const;
  std::string Step() const;
  std::int32_t Progress() const { return Vars.JobProgress.load(); }
  void SetOnJobSync(TSynchronizeCallBack callback) { SyncCB = std::move(callback); }
  const std::string& Name() const { return Consts.JobName; }
  bool Canceled() const { return FClose.load() != 0; }
  bool Active() const { return FActive.load(); }
  bool Running() const { return FRunning.load(); }
  bool Paused() const { return FPause.load(); }
  char Drive() const { return Consts.TrgtDrive; }
  std::int64_t NeedSpace() const { return Vars.NecessarySpace.load(); }
  std::string SFile() const;
  std::int32_t LType() const { return Consts.LdrType; }

  // True (and the flag changed) only while the job is "Ready" and not running.
  bool Activate();
  bool Deactivate();
  // Asks the job to stop. True on the first call, false on a repeated one, and false once
  // the job has begun to append its entry to the main menu: from there on it finishes.
  bool Cancel();
  // Whether the entry's files are read back and compared before the entry counts as
  // written (on unless the user turned it off); set before the job starts.
  void SetVerify(bool verify) { FVerify = verify; }
  bool Verifies() const { return FVerify.load(); }
  // The files the job wrote, with the digests of what was written.
  TWrittenFiles& WrittenFiles() { return FWritten; }
  const TWrittenFiles& WrittenFiles() const { return FWritten; }
  void Pause() { FPause = true; }
  void UnPause() { FPause = false; }

  // On the main thread, after a failed or cancelled run: shows "Cancelling"/"Failed",
  // deletes the job folder, then shows "Cancelled". False only on an unexpected error.
  bool RollBack();

  // Runs the notification on the main thread and waits until it has run.
  void SyncJobState();

  // From now on the job notifies nobody: its owner is going away.
  void DetachFromOwner() { FDetached = true; }

  // Called when a pause takes effect / ends (copy steps).
  TJobPausedCallBack JobPaused;
  TJobResumeCallBack JobResumed;

  TLocalConsts Consts;
  TLocalVariables Vars;

 protected:
  void Execute() override;
  // Deletes the job folder with all its contents; a missing folder is no error.
  virtual void CleanUp();
  // The work. This version is the common first stage that every loader calls first.
  virtual void JobGo();

  bool CheckJob();
  bool PrepareJobDir();
  // Why the image cannot boot with this job's loader; empty when it can. Checked with
  // the pre-run checks, before anything is written.
  virtual std::string ImageProblem() const { return {}; }

  // The loaders' rule after each step: stores the step's error text; on an error shows
  // "Failed" and answers false; answers false as well when the job was cancelled.
  bool StepSucceeded(const std::string& error);

  // The loaders' last step: reads back and compares the files the job wrote (when it
  // verifies; "Verifying", with its own progress) and records them in the drive's
  // manifest, then appends `text` to the drive's main menu and `grub2_item` (when given)
  // to its UEFI menu, unless the job failed or was cancelled. From the append on a cancel
  // request is refused, so a finished entry is never left in the menu with its folder
  // deleted; when either append fails, both menus are taken back to what they were.
  void AppendEntryToMainMenu(const std::string& text, const std::string& grub2_item = {});

  void SetStatus(const std::string& status);
  void SetError(const std::string& error);

  // The job folder's name under the program's folder (the entry's ID).
  std::string EntryFolderName() const;

 private:
  // The read-back and the manifest record before the menu append; false when the entry
  // must not be appended (failed, or cancelled).
  bool VerifyAndRecordEntry();
  // Takes a recorded entry out of the drive's manifest again (on roll-back).
  void ForgetManifestEntry();

 public:
  // Sets the text of Step(); empty when the step has nothing more to say.
  void SetStep(const std::string& step);
 protected:
  void CallSyncCB();

  void* AOwner = nullptr;
  TSynchronizeCallBack SyncCB;

 private:
  mutable std::mutex FStateLock;   // JobStatus, JobError
  std::mutex FCancelLock;          // orders Cancel against the menu append
  std::atomic<bool> FRunning{false};
  std::atomic<std::int32_t> FClose{0};
  std::atomic<bool> FPause{false};
  std::atomic<bool> FActive{true};
  std::atomic<bool> FDetached{false};
  bool FEntryCommitted = false;    // guarded by FCancelLock
  std::atomic<bool> FVerify{true};
  TWrittenFiles FWritten;
  bool FManifestRecorded = false;  // the job's thread, then the roll-back after it
};

}  // namespace quorvane
