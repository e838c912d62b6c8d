// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The commands of the drive check: "CheckDrive" starts the check of the drive in the field
// "FlashDrive" on a worker thread, "DriveCheckState" gives its bytes done and in all and,
// once it has ended, the state of every entry.
#include "jobs/drive_check_run.h"
#include "jobs/jobs.h"
#include "server/command_replies.h"
#include "server/web_module.h"

namespace quorvane {

bool TWebModule1::DriveCheckRunning() const { return FDriveCheck && !FDriveCheck->Finished(); }

TJsonValue TWebModule1::CheckDriveAction(const TFormFields& fields) {
  const std::string drive = fields.Get("FlashDrive");
  if (drive.size() != 1 || drive[0] < 'a' || drive[0] > 'z')
    return StatusReply("Error", "Drive not selected");
  // A burn mounts its drive read-write, which a check's read-only mount would be in the
  // way of; and a drive being written has nothing to check yet.
  if (FJobs && FJobs->Starting()) return StatusReply("Error", "Already started");
  if (DriveCheckRunning()) return StatusReply("Error", kDriveCheckRunning);
  FDriveCheck = std::make_unique<TDriveCheckRun>(drive[0]);
  FDriveCheck->Start();
  return StatusReply("Success", "");
}

TJsonValue TWebModule1::DriveCheckStateAction() {
  if (!FDriveCheck) return StatusReply("Error", "No drive check started");
  TJsonValue reply;
  const TDriveCheckProgress& progress = FDriveCheck->Progress();
  const bool finished = FDriveCheck->Finished();
  reply.AddStatus("Drive", std::string(1, FDriveCheck->Letter()))
      .AddStatus("Finished", finished ? "1" : "0")
      .AddStatus("Done", std::to_string(progress.Done.load()))
      .AddStatus("Total", std::to_string(progress.Total.load()));
  if (!finished) return reply;
  const std::optional<TDriveCheckResult> result = FDriveCheck->Result();
  if (!result) return reply.AddStatus("Error", FDriveCheck->Failure());
  TJsonValue entries = TJsonValue::Array();
  for (const TEntryCheck& e : result->Entries) {
    TJsonValue item;
    item.AddStatus("Entry", e.Entry)
        .AddStatus("Title", e.Title)
        .AddStatus("State", EntryCheckStateName(e.State))
        .AddStatus("Detail", e.Detail);
    entries.Append(std::move(item));
  }
  reply.AddStatus("AllIntact", result->AllIntact() ? "1" : "0")
      .AddStatus("Manifest", ManifestStateName(result->Manifest))
      .AddStatus("ManifestText", result->ManifestText())
      .AddStatus("Summary", result->Summary())
      .AddValue("Entries", std::move(entries));
  return reply;
}

}  // namespace quorvane
