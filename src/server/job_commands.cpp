// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The job commands: start a burn, follow it, cancel, stop, switch entries, finish.
#include <chrono>
#include <filesystem>
#include <thread>

#include "common/constants.h"
#include "common/main_thread.h"
#include "common/session_state.h"
#include "drive/drive_letters.h"
#include "jobs/burn_preflight.h"
#include "jobs/drive_check_run.h"
#include "jobs/jobs.h"
#include "loaders/loader_catalog.h"
#include "common/desktop_user.h"
#include "server/command_replies.h"
#include "server/image_access.h"
#include "server/web_module.h"

namespace quorvane {

namespace {

// Checks 1 and 2 of the commands that act on a running list; true (and `refusal` set)
// when one fails.
bool RunningListRefusal(const TJobs* jobs, TJsonValue& refusal) {
  if (!jobs) {
    refusal = StatusReply("Error", "Jobs not exists");
    return true;
  }
  if (!jobs->Starting()) {
    refusal = StatusReply("Error", "Jobs not started");
    return true;
  }
  return false;
}

// The fields of a burn: mode, file system, drive and entries. False with the reply to
// give when they are no burn.
bool ReadBurnFields(const TFormFields& fields, TBurnFields& burn, TJsonValue& refusal) {
  const std::string mode = fields.Get("Mode");
  if (mode != "Add" && mode != "New") {
    refusal = DataReply("Error", "Burning mode not recognized");
    return false;
  }
  const std::string new_fs = fields.Get("NewFS");
  if (mode == "New" && new_fs != "FAT" && new_fs != "NTFS") {
    refusal = DataReply("Error", "File system not recognized");
    return false;
  }
  const std::string drive_field = fields.Get("FlashDrive");
  if (drive_field.empty()) {
    refusal = DataReply("Error", "Drive not selected");
    return false;
  }
  burn.Drive = drive_field[0];
  burn.Mode = mode == "Add" ? FormatModeAdd : FormatModeNew;
  // In mode add the control server passes no file system (255).
  burn.FileSystem = mode == "Add" ? 255 : new_fs == "NTFS" ? FileSystemNTFS : FileSystemFAT32;
  burn.CheckCapacity = mode == "New" && fields.Get("CheckCapacity") == "1";
  // On unless the page turns it off.
  burn.Verify = fields.Get("Verify") != "0";
  // Entries by consecutive numbers; a code that is no whole number adds nothing and is
  // passed over.
  for (int i = 0;; ++i) {
    const std::string prefix = "Loaders[" + std::to_string(i) + "]";
    const std::string code = fields.Get(prefix + "[Code]");
    if (code.empty()) break;
    if (i == kMaxBurnEntries) {
      refusal = DataReply("Error", "Too many loaders: at most " + std::to_string(kMaxBurnEntries) +
                                       " in one burn");
      return false;
    }
    std::int32_t type = 0;
    if (!ParseWholeNumber(code, type)) continue;
    burn.Entries.push_back({type, fields.Get(prefix + "[Path]"), fields.Get(prefix + "[Name]")});
  }
  return true;
}

// The first entry whose image the desktop user could not read himself.
bool ImageRefusal(const TBurnFields& burn, TJsonValue& refusal) {
  const std::optional<TDesktopUser> user = DesktopUser();
  for (const TBurnFields::TEntry& e : burn.Entries) {
    if (!IsLoaderType(e.Type)) continue;
    const std::string why = ImageAccessRefusal(e.Path, user);
    if (!why.empty()) {
      refusal = DataReply("Error", why);
      return true;
    }
  }
  return false;
}

TPreflightRequest PreflightRequestOf(const TBurnFields& burn) {
  TPreflightRequest request;
  request.Drive = burn.Drive;
  request.Mode = burn.Mode;
  request.FileSystem = burn.Mode == FormatModeNew ? burn.FileSystem : FileSystemFAT32;
  // An unknown loader type adds no job (the list refuses it), so it is not checked.
  for (const TBurnFields::TEntry& e : burn.Entries)
    if (IsLoaderType(e.Type)) request.Entries.push_back(MakePreflightEntry(e.Type, e.Path, e.Name));
  return request;
}

}  // namespace

TPreflightReport TWebModule1::Preflight(const TBurnFields& burn) {
  const TPreflightRequest request = PreflightRequestOf(burn);
  try {
    return FSetup.Preflight ? FSetup.Preflight(request) : RunBurnPreflight(request);
  } catch (const std::exception& e) {
    TPreflightReport report;
    report.Refuse(e.what());
    return report;
  }
}

TJsonValue TWebModule1::CheckBurnAction(const TFormFields& fields) {
  TBurnFields burn;
  TJsonValue refusal;
  if (!ReadBurnFields(fields, burn, refusal)) return refusal;
  if (burn.Entries.empty()) return DataReply("Error", "No one loader initialized");
  if (ImageRefusal(burn, refusal)) return refusal;
  const TPreflightReport report = Preflight(burn);
  if (!report.Passed()) return DataReply("Error", report.RefusalText());
  TJsonValue reply;
  reply.AddStatus("Success", "")
      .AddData("Mounts", report.MountsText(burn.Mode))
      .AddData("Remarks", report.RemarkText());
  return reply;
}

TJsonValue TWebModule1::BurnFlashDriveAction(const TFormFields& fields) {
  if (!FJobs) return StatusReply("Error", "Jobs not exists");
  if (FJobs->Starting()) return StatusReply("Error", "Already started");
  if (DriveCheckRunning()) return StatusReply("Error", kDriveCheckRunning);
  TBurnFields burn;
  TJsonValue refusal;
  if (!ReadBurnFields(fields, burn, refusal)) return refusal;
  if (ImageRefusal(burn, refusal)) return refusal;
  // Everything that can fail without touching the drive comes first: nothing is mounted
  // or added for a burn that is refused.
  if (!PreflightRequestOf(burn).Entries.empty()) {
    const TPreflightReport report = Preflight(burn);
    if (!report.Passed()) return DataReply("Error", report.RefusalText());
  }
  const std::string root = DriveRoot(burn.Drive);
  std::error_code ec;
  if (root.empty() || !std::filesystem::is_directory(root, ec))
    return DataReply("Error", "Drive not found");

  int read = 0;
  for (const TBurnFields::TEntry& e : burn.Entries) {
    FJobs->Add(e.Type, e.Path, burn.Drive, e.Name);
    ++read;
  }
  if (read == 0) return DataReply("Error", "No one loader initialized");
  FJobs->Start(burn.Drive, burn.Mode, burn.FileSystem,
               {.CheckCapacity = burn.CheckCapacity, .Verify = burn.Verify});
  return StatusReply("Success", "");
}

TJsonValue TWebModule1::CancelCurrentAction() {
  TJsonValue refusal;
  if (RunningListRefusal(FJobs.get(), refusal)) return refusal;
  TJob* current = FJobs->Current();
  if (!current) return StatusReply("Error", "Job not found");
  current->Cancel();
  return TJsonValue();
}

TJsonValue TWebModule1::StopAllAction() {
  TJsonValue refusal;
  if (RunningListRefusal(FJobs.get(), refusal)) return refusal;
  try {
    FJobs->Stop();
  } catch (...) {
    return StatusReply("Error", "Unhandled error");
  }
  return StatusReply("Success", "");
}

TJsonValue TWebModule1::DisableAction(const TFormFields& fields) {
  TJsonValue refusal;
  if (RunningListRefusal(FJobs.get(), refusal)) return refusal;
  TJob* job = FJobs->GetJobByName(fields.Get("JobName"));
  if (!job) return StatusReply("Error", "Job not found");
  const std::string status = job->Status();
  if (status != kStatusReady)
    return StatusReply("Error", "Job in status " + status + "can not be deactivated");
  if (job->Active()) {
    job->Deactivate();
    return StatusReply("Success", "");
  }
  return StatusReply("Success", "Job already deactivated");
}

TJsonValue TWebModule1::EnableAction(const TFormFields& fields) {
  TJsonValue refusal;
  if (RunningListRefusal(FJobs.get(), refusal)) return refusal;
  TJob* job = FJobs->GetJobByName(fields.Get("JobName"));
  if (!job) return StatusReply("Error", "Job not found");
  if (job->Active()) return StatusReply("Success", "Job already active");
  job->Activate();
  return StatusReply("Success", "");
}

TJsonValue TWebModule1::CheckMessagesAction() {
  TJsonValue reply;
  if (FMsgQue.IsEmpty()) return reply;
  TJsonValue list = TJsonValue::Array();
  try {
    while (!FMsgQue.IsEmpty()) {
      const TMsgElement msg = FMsgQue.Dequeue();
      TJsonValue item;
      item.AddData("MsgType", msg.MsgType)
          .AddData("MsgTextFst", msg.MsgTextFst)
          .AddData("MsgTextScnd", msg.MsgTextScnd)
          .AddData("MsgTextThrd", msg.MsgTextThrd)
          .AddData("MsgTextFrth", msg.MsgTextFrth);
      list.Append(std::move(item));
    }
  } catch (...) {
  }
  reply.AddValue("NewMessages", std::move(list));
  return reply;
}

void TWebModule1::FinishWorksAction() {
  // From here on every other request is answered as after the finish.
  FFinishing = true;
  try {
    if (FJobs) FJobs->Stop();
    // Wait for the current job, and for a drive step under way, to end and be reported.
    // Their last notifications come on the main thread and queue their messages under the
    // request lock, so both locks are let go of meanwhile. Ending the program in the middle
    // of a drive step would leave the drive half formatted.
    TLockRelease release_inner(CriticalSectionInner);
    TLockRelease release_request(CriticalSection);
    while (FJobs && FJobs->Busy())
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
  } catch (...) {
  }
  QuitRequested = true;
  // The online pump looks at the flag after it has dispatched a message.
  if (HasMainThreadDispatcher()) MainThread().Post([] {});
}

}  // namespace quorvane
