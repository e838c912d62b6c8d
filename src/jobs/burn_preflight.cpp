// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "jobs/burn_preflight.h"

#include "archive/file_operations.h"
#include "common/constants.h"
#include "drive/drive_letters.h"
#include "loaders/loader_catalog.h"

namespace quorvane {

namespace {

std::string Lines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += (text.empty() ? "" : "\n") + line;
  return text;
}

}  // namespace

TPreflightEntry MakePreflightEntry(std::int32_t loader_type, const std::string& source_file,
                                   const std::string& job_name) {
  TPreflightEntry entry;
  entry.LoaderType = loader_type;
  entry.SourceFile = source_file;
  entry.JobName = job_name;
  try {
    entry.NeedSpace = GetNecessarySpace(source_file, loader_type);
  } catch (...) {
    entry.NeedSpace = 0;
  }
  try {
    entry.NeedNTFS = CheckNeedNTFS(source_file, loader_type);
  } catch (...) {
    entry.NeedNTFS = false;
  }
  return entry;
}

std::string TPreflightReport::RefusalText() const { return Lines(Refusals); }

std::string TPreflightReport::RemarkText() const { return Lines(Remarks); }

std::string TPreflightReport::MountsText(std::uint8_t mode) const {
  if (ForeignMounts.empty()) return {};
  std::string text = "Mounted now, not by this program:";
  for (const TForeignMount& m : ForeignMounts)
    text += "\n  " + m.Device + " at " + m.MountPoint + ", mounted " + m.MountedBy;
  text += mode == FormatModeNew
              ? "\nThey are unmounted before the drive is formatted: close every program that "
                "uses them."
              : "\nThe entries are written through them while they stay mounted.";
  return text;
}

TPreflightContext MakePreflightContext(const TPreflightRequest& request) {
  TPreflightContext context;
  context.Request = request;
  const std::shared_ptr<IDriveLetters> letters = DriveLetters();
  if (auto* lister = dynamic_cast<IDriveLister*>(letters.get())) {
    try {
      context.Drives = lister->ListUSBDrives();
    } catch (...) {
      context.Drives.clear();
    }
    for (const TUSBDriveSet& d : context.Drives) {
      if (d.Letter != request.Drive) continue;
      context.Drive = d;
      context.DriveListed = context.DriveFromList = true;
    }
  } else if (letters) {
    // Folders standing in for drives: there is nothing to know of them but their root.
    context.Drive.Letter = request.Drive;
    context.DriveListed = !letters->RootOf(request.Drive).empty();
  }
  context.Table = std::dynamic_pointer_cast<TUSBDriveLetters>(letters);
  if (context.Table && context.DriveListed) {
    try {
      if (context.Table->WritableDiskOf(request.Drive, context.Disk, context.DiskError))
        context.ForeignMounts = context.Table->ForeignMountsOf(context.Disk);
    } catch (const std::exception& e) {
      context.DiskError = e.what();
    }
  }
  return context;
}

TPreflightReport RunPreflightChecks(const TPreflightContext& context,
                                    const std::vector<TPreflightCheck>& checks) {
  TPreflightReport report;
  for (const TPreflightCheck& check : checks) {
    try {
      check.Run(context, report);
    } catch (const std::exception& e) {
      report.Refuse(std::string("the check of ") + check.Name + " failed: " + e.what());
    } catch (...) {
      report.Refuse(std::string("the check of ") + check.Name + " failed");
    }
  }
  return report;
}

std::vector<TPreflightCheck> PreflightChecks() {
  std::vector<TPreflightCheck> checks = PlanChecks();
  for (TPreflightCheck& check : ProgramChecks()) checks.push_back(std::move(check));
  return checks;
}

TPreflightReport RunBurnPreflight(const TPreflightRequest& request) {
  return RunPreflightChecks(MakePreflightContext(request), PreflightChecks());
}

TPreflightReport RunPlanPreflight(const TPreflightRequest& request) {
  return RunPreflightChecks(MakePreflightContext(request), PlanChecks());
}

}  // namespace quorvane
