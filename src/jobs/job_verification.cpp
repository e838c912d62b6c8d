// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The job's last checks before its entry joins the menus: the read-back of what it wrote
// and the entry's record in the drive's manifest.
#include <filesystem>

#include "archive/file_operations.h"
#include "drive/drive_letters.h"
#include "jobs/drive_manifest.h"
#include "jobs/entry_verification.h"
#include "jobs/job.h"

namespace quorvane {

std::string TJob::EntryFolderName() const {
  std::string folder;
  {
    std::lock_guard<std::mutex> guard(FStateLock);
    folder = Vars.JobDir;
  }
  while (!folder.empty() && folder.back() == '/') folder.pop_back();
  return std::filesystem::path(folder).filename().string();
}

bool TJob::VerifyAndRecordEntry() {
  const std::vector<TWrittenFile> files = FWritten.Files();
  if (files.empty() || Canceled()) return !Canceled();
  if (FVerify.load()) {
    SetStatus(kStatusVerifying);
    SetStep("");
    Vars.JobProgress = 0;
    Vars.BytesDone = 0;
    Vars.BytesTotal = static_cast<std::int64_t>(VerifiedBytes(files));
    SyncJobState();
    bool stopped = false;
    const std::string problem = VerifyWrittenFiles(
        files, Vars.JobDir,
        [this](std::uint64_t done, std::uint64_t total) {
          Vars.BytesDone = static_cast<std::int64_t>(done);
          const auto percent = static_cast<std::int32_t>(total == 0 ? 100 : done * 100 / total);
          if (Vars.JobProgress.exchange(percent) < percent) SyncJobState();
          HoldWhilePaused(*this);
          return !Canceled();
        },
        stopped);
    if (stopped || !StepSucceeded(problem)) return false;
  }
  // What the drive holds is recorded whether it was read back or not: the digests are of
  // the bytes written, so a later check of the drive can still tell a changed file.
  const std::string root = DriveRoot(Consts.TrgtDrive);
  TManifestEntry entry;
  entry.Entry = EntryFolderName();
  entry.Title = SFile();
  entry.Loader = Consts.LdrType;
  entry.Time = ManifestTimeNow();
  for (const TWrittenFile& file : files) {
    if (root.empty() || file.Path.compare(0, root.size(), root) != 0)
      return StepSucceeded("Written file lies outside the USB drive: " + file.Path);
    entry.Files.push_back({file.Path.substr(root.size()), file.Size, file.Sha256});
  }
  std::string error;
  if (!AddManifestEntry(root, entry, error))
    return StepSucceeded("Failed to record the entry in the drive's manifest: " + error);
  FManifestRecorded = true;
  return !Canceled();
}

void TJob::ForgetManifestEntry() {
  if (!FManifestRecorded) return;
  FManifestRecorded = false;
  std::string error;
  if (RemoveManifestEntry(DriveRoot(Consts.TrgtDrive), EntryFolderName(), error)) return;
  // The folder goes; a manifest still naming it would report the entry as missing later.
  if (Error().empty()) {
    SetError("Failed to take the entry out of the drive's manifest: " + error);
    SetStatus(kStatusFailed);
  }
}

}  // namespace quorvane
