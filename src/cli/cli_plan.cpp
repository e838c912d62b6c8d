// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "cli/cli_plan.h"

#include "archive/file_operations.h"
#include "cli/cli_burn.h"
#include "cli/cli_drive_table.h"
#include "common/constants.h"
#include "loaders/loader_catalog.h"
#include "ui/confirmation_texts.h"

namespace quorvane {

namespace {

const char* FileSystemText(std::uint8_t file_system) {
  return file_system == FileSystemNTFS ? "NTFS" : "FAT32";
}

std::vector<TCapacityEntry> Needs(const std::vector<TPlannedEntry>& entries) {
  std::vector<TCapacityEntry> needs;
  for (const TPlannedEntry& e : entries) needs.push_back(e.Need);
  return needs;
}

}  // namespace

std::vector<TPlannedEntry> PlanEntries(const std::vector<TCliEntry>& entries) {
  std::vector<TPlannedEntry> planned;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    TPlannedEntry p;
    p.Entry = entries[i];
    p.Name = EntryJobName(i, entries[i]);
    p.Need.LdrFileSize = GetNecessarySpace(entries[i].Path, entries[i].Code);
    p.Need.FNeedNTFS = CheckNeedNTFS(entries[i].Path, entries[i].Code);
    planned.push_back(p);
  }
  return planned;
}

std::uint8_t NewDriveFileSystem(const TUSBDriveSet& drive,
                                const std::vector<TPlannedEntry>& entries) {
  // With no free space to speak of, the rules' first choice (keep the drive as it is)
  // never holds, and the choice between the formats is theirs.
  TUSBDriveSet fresh = drive;
  fresh.FreeSpace = -1;
  const TCapacityOutcome outcome = EvaluateCapacity(fresh, Needs(entries));
  if (outcome.FNeedPreFormat) return outcome.FNeedFS;
  // Nothing fits: the entries' need still names the file system they would want.
  for (const TPlannedEntry& e : entries)
    if (e.Need.FNeedNTFS) return FileSystemNTFS;
  return FileSystemFAT32;
}

TPreflightRequest PreflightRequestOf(char drive, std::uint8_t mode, std::uint8_t file_system,
                                     const std::vector<TPlannedEntry>& entries) {
  TPreflightRequest request;
  request.Drive = drive;
  request.Mode = mode;
  request.FileSystem = file_system;
  for (const TPlannedEntry& e : entries)
    request.Entries.push_back(
        {e.Entry.Code, e.Entry.Path, e.Name, e.Need.LdrFileSize, e.Need.FNeedNTFS});
  return request;
}

std::string DescribePlan(const TUSBDriveSet& drive, std::uint8_t mode, std::uint8_t file_system,
                         const std::vector<TPlannedEntry>& entries) {
  std::string text = "Drive: " + DescribeDrive(drive) + "\n";
  if (mode == FormatModeNew)
    text += "Mode: new (repartition and format " + std::string(FileSystemText(file_system)) + ")\n";
  else
    text += "Mode: add (the drive's data stays)\n";
  text += "Entries:\n";
  for (const TPlannedEntry& e : entries)
    text += "  " + e.Name + " (" + LoaderNames[e.Entry.Code] + ", " +
            HumanSize(e.Need.LdrFileSize) + ")\n";
  return text;
}

std::string ConfirmationQuestion(std::uint8_t mode, const std::string& plan) {
  const TConfirmationTexts texts = ConfirmationTexts(mode);
  std::string text = texts.Title + "\n" + texts.First + "\n" + texts.Second + "\n\n" + plan + "\n";
  text += texts.Footer;
  if (texts.ShowEULA) text += std::string(" (") + kSiteLicenseUrl + ")";
  text += "\n" + texts.Question;
  return text;
}

}  // namespace quorvane
