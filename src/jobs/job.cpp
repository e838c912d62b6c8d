// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "jobs/job.h"

#include <cerrno>
#include <filesystem>

#include "archive/file_operations.h"
#include "common/constants.h"
#include "common/guid.h"
#include "common/main_thread.h"
#include "common/text.h"
#include "drive/drive_letters.h"
#include "loaders/grub2_menu.h"
#include "loaders/loader_catalog.h"
#include "loaders/menu_files.h"
#include "loaders/menu_text_escape.h"

namespace quorvane {

namespace fs = std::filesystem;

std::string CleanImageFileName(const std::string& file_name) {
  std::string name = file_name;
  name = ReplaceAll(name, " ", "_");
  name = ReplaceAll(name, "-", "_");
  name = ReplaceAll(name, "{", "");
  name = ReplaceAll(name, "}", "");
  name = ReplaceAll(name, "(", "");
  name = ReplaceAll(name, ")", "");
  // The name goes into the GRUB4DOS menus as it is: what GRUB4DOS would expand or read as
  // syntax (a "%", a line break) becomes "_".
  return Grub4DosMenuText(name);
}

TJob::TJob(std::int32_t LoaderType, const std::string& SourceFile, char TargetDrive,
           const std::string& JobName) {
  Consts.LdrType = LoaderType;
  Consts.SrcFile = SourceFile;
  Consts.TrgtDrive = TargetDrive;
  Consts.JobName = JobName;
  Vars.DriveFreeSpace = 0;
  Vars.UnPackingSize = 0;
  Vars.NecessarySpace = GetNecessarySpace(SourceFile, LoaderType);
  Vars.JobStatus = kStatusReady;
  Vars.JobProgress = 0;
}

TJob::~TJob() { WaitFor(); }

std::string TJob::Status() const {
  std::lock_guard<std::mutex> guard(FStateLock);
  return Vars.JobStatus;
}

std::string TJob::Error() const {
  std::lock_guard<std::mutex> guard(FStateLock);
  return Vars.JobError;
}

void TJob::SetStatus(const std::string& status) {
  std::lock_guard<std::mutex> guard(FStateLock);
  Vars.JobStatus = status;
}

void TJob::SetError(const std::string& error) {
  std::lock_guard<std::mutex> guard(FStateLock);
  Vars.JobError = error;
}

std::string TJob::Step() const {
  std::lock_guard<std::mutex> guard(FStateLock);
  return Vars.JobStep;
}

void TJob::SetStep(const std::string& step) {
  std::lock_guard<std::mutex> guard(FStateLock);
  Vars.JobStep = step;
}

std::string TJob::SFile() const {
  std::lock_guard<std::mutex> guard(FStateLock);
  return Vars.JobFileNameWithExt;
}

bool TJob::Activate() {
  if (Started() || Running() || Status() != kStatusReady) return false;
  FActive = true;
  return true;
}

bool TJob::Deactivate() {
  if (Started() || Running() || Status() != kStatusReady) return false;
  FActive = false;
  return true;
}

bool TJob::Cancel() {
  std::lock_guard<std::mutex> guard(FCancelLock);
  if (FEntryCommitted) return false;
  return FClose.exchange(-1) == 0;
}

void TJob::SyncJobState() {
  MainThread().RunAndWait([this] { CallSyncCB(); });
}

void TJob::CallSyncCB() {
  if (!SyncCB || Consts.JobName.empty() || FDetached) return;
  try {
    SyncCB(AOwner, Consts.JobName);
  } catch (...) {
  }
}

bool TJob::CheckJob() {
  try {
    std::error_code ec;
    if (!fs::exists(Consts.SrcFile, ec)) {
      SetError("File not found");
      return false;
    }
    if (!IsLoaderType(Consts.LdrType)) {
      SetError("Selected loader not identified");
      return false;
    }
    try {
      Vars.DriveFreeSpace = GetDriveFreeSpace(Consts.TrgtDrive);
    } catch (...) {
      SetError("Error in reading drive");
      return false;
    }
    if (Vars.DriveFreeSpace == -1) {
      SetError("Drive not found");
      return false;
    }
    if (Vars.DriveFreeSpace == 0) {
      SetError("Drive opened read-only");
      return false;
    }
    if (const std::string problem = ImageProblem(); !problem.empty()) {
      SetError(problem);
      return false;
    }
    try {
      Vars.NecessarySpace = GetNecessarySpace(Consts.SrcFile, Consts.LdrType);
    } catch (...) {
      SetError("Failed to get archive content size");
      return false;
    }
    if (Vars.NecessarySpace.load() < Vars.DriveFreeSpace) return true;
    SetError("Not enough space on USB drive");
    return false;
  } catch (...) {
    return false;
  }
}

bool TJob::PrepareJobDir() {
  try {
    const std::string root = DriveRoot(Consts.TrgtDrive);
    if (root.empty()) {
      SetError("Failed to create directory on USB drive");
      return false;
    }
    // The job folder must be on the drive: its parent is checked to be a folder there.
    std::string error;
    const std::string base = ProgramFolderOnDrive(root, error);
    if (base.empty()) {
      SetError("Failed to create directory with error: " + error);
      return false;
    }
    auto new_identifier = [] {
      const std::string guid = NewGuidRegistryForm();
      return guid.substr(1, guid.size() - 2);
    };
    std::string identifier = new_identifier();
    const std::string name = CleanImageFileName(fs::path(Consts.SrcFile).filename().string());
    std::error_code ec;
    while (fs::exists(base + identifier, ec)) identifier = new_identifier();
    const std::string folder = base + identifier;
    fs::create_directories(folder, ec);
    if (ec || !fs::is_directory(folder)) {
      const int code = ec ? ec.value() : errno;
      SetError("Failed to create directory with error: " + SystemErrorText(code));
      return false;
    }
    const std::string program = kProgramFolderName;
    std::lock_guard<std::mutex> guard(FStateLock);
    Vars.JobFileExt = fs::path(Consts.SrcFile).extension().string();
    Vars.JobFileNameWOExt = fs::path(name).replace_extension().string();
    Vars.JobFileNameWithExt = name;
    Vars.JobDir = folder + "/";
    Vars.JobFileNameOnHDForwardSlash = "(hd0,0)/" + program + "/" + identifier + "/" + name;
    Vars.JobFileNameForwardSlash = "/" + program + "/" + identifier + "/" + name;
    Vars.JobFileNameDblBackSlash = "\\\\" + program + "\\\\" + identifier + "\\\\" + name;
    Vars.JobFileNameOnDriveBackSlash = Vars.JobDir + name;
    Vars.JobDirOnHDForwardSlash = "(hd0,0)/" + program + "/" + identifier + "/";
    Vars.JobDirOnHDForwardSlashWOhd = "/" + program + "/" + identifier + "/";
    return true;
  } catch (...) {
    SetError("Failed to create directory on USB drive");
    return false;
  }
}

void TJob::JobGo() {
  FRunning = true;
  FWritten.Clear();
  SetStatus(kStatusInitializing);
  SyncJobState();
  if (CheckJob() && PrepareJobDir()) {
    SetStatus(kStatusRunning);
  } else {
    SetStatus(kStatusFailed);
  }
  SyncJobState();
}

bool TJob::StepSucceeded(const std::string& error) {
  SetError(error);
  if (!error.empty()) {
    SetStep("");
    SetStatus(kStatusFailed);
    SyncJobState();
    return false;
  }
  return !Canceled();
}

void TJob::AppendEntryToMainMenu(const std::string& text, const std::string& grub2_item) {
  if (!VerifyAndRecordEntry()) return;
  {
    std::lock_guard<std::mutex> guard(FCancelLock);
    if (FClose.load() != 0) return;
    FEntryCommitted = true;
  }
  const TMainMenusMark mark = MarkMainMenus(Consts.TrgtDrive);
  std::string error;
  AppendMenuPoint(std::string(1, Consts.TrgtDrive), text, error);
  if (error.empty() && !grub2_item.empty())
    AppendGrub2MenuPoint(Consts.TrgtDrive, grub2_item, error);
  // The job is rolled back: neither menu keeps an item for its deleted folder.
  if (!error.empty()) RestoreMainMenus(mark);
  SetError(error);
}

void TJob::Execute() {
  FRunning = true;
  try {
    JobGo();
    SetStep("");
    if (!Error().empty()) {
      SetStatus(kStatusFailed);
      SyncJobState();
    } else if (!Canceled()) {
      SetStatus(kStatusFinished);
      SyncJobState();
    }
  } catch (...) {
    SetStatus(kStatusFailed);
  }
  FRunning = false;
}

bool TJob::RollBack() {
  try {
    if (Error().empty() && Status() != kStatusFailed) {
      SetStatus(kStatusCancelling);
    } else {
      SetStatus(kStatusFailed);
    }
    SyncJobState();
    ForgetManifestEntry();
    CleanUp();
    if (Error().empty() && Status() != kStatusFailed) {
      SetStatus(kStatusCancelled);
      SyncJobState();
    }
    return true;
  } catch (...) {
    return false;
  }
}

void TJob::CleanUp() {
  std::string dir;
  {
    std::lock_guard<std::mutex> guard(FStateLock);
    dir = Vars.JobDir;
  }
  if (dir.empty()) return;
  std::string ignored;
  DeleteDirectory(dir, ignored);
}

}  // namespace quorvane
