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
#include "jobs/jobs.h"
#include "server/command_replies.h"
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

}  // namespace

TJsonValue TWebModule1::BurnFlashDriveAction(const TFormFields& fields) {
  if (!FJobs) return StatusReply("Error", "Jobs not exists");
  if (FJobs->Starting()) return StatusReply("Error", "Already started");
  const std::string mode = fields.Get("Mode");
  if (mode != "Add" && mode != "New") return DataReply("Error", "Burning mode not recognized");
  const std::string new_fs = fields.Get("NewFS");
  if (mode == "New" && new_fs != "FAT" && new_fs != "NTFS")
    return DataReply("Error", "File system not recognized");
  const std::string drive_field = fields.Get("FlashDrive");
  if (drive_field.empty()) return DataReply("Error", "Drive not selected");
  const char drive = drive_field[0];
  const std::string root = DriveRoot(drive);
  std::error_code ec;
  if (root.empty() || !std::filesystem::is_directory(root, ec))
    return DataReply("Error", "Drive not found");

  // Entries by consecutive numbers; a code that is no whole number adds nothing and is
  // passed over.
  int read = 0;
  for (int i = 0;; ++i) {
    const std::string prefix = "Loaders[" + std::to_string(i) + "]";
    const std::string code = fields.Get(prefix + "[Code]");
    if (code.empty()) break;
    std::int32_t type = 0;
    if (!ParseWholeNumber(code, type)) continue;
    FJobs->Add(type, fields.Get(prefix + "[Path]"), drive, fields.Get(prefix + "[Name]"));
    ++read;
  }
  if (read == 0) return DataReply("Error", "No one loader initialized");

  if (mode == "Add")
    FJobs->Start(drive, FormatModeAdd, 255);
  else
    // "CheckCapacity" "1": the drive's real capacity is checked before it is repartitioned.
    FJobs->Start(drive, FormatModeNew, new_fs == "NTFS" ? FileSystemNTFS : FileSystemFAT32,
                 {fields.Get("CheckCapacity") == "1"});
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
