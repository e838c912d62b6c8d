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

std::int64_t TotalNeed(const std::vector<TPlannedEntry>& entries) {
  std::int64_t total = 0;
  for (const TPlannedEntry& e : entries) total += e.Need.LdrFileSize;
  return total;
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

std::string RefusalOfPlan(const TUSBDriveSet& drive, std::uint8_t mode, std::uint8_t file_system,
                          const std::vector<TPlannedEntry>& entries) {
  const std::string letter(1, drive.Letter);
  if (mode == FormatModeNew) {
    if (file_system == FileSystemFAT32) {
      for (const TPlannedEntry& e : entries)
        if (e.Need.FNeedNTFS)
          return "entry " + e.Name +
                 " places a file of 4 GiB or more on the drive, which FAT32 "
                 "cannot hold; use --fs ntfs";
    }
    // As in the main window: a new drive is refused only when the entries do not fit
    // even after a FAT32 format; what an NTFS format takes beyond that depends on the
    // drive, and the entries check the space they find.
    const std::int64_t total = TotalNeed(entries);
    if (drive.FullSize > 0 && !EvaluateCapacity(drive, Needs(entries)).Fits)
      return "the entries need " + HumanSize(total) + ", more than drive " + letter +
             ": holds after formatting (" +
             HumanSize(std::max<std::int64_t>(drive.FullSize - kFormatReserve, 0)) + ")";
    return {};
  }
  if (drive.IntFileSystem == FileSystemOther || drive.FreeSpace < 0)
    return "drive " + letter +
           ": has no FAT32, exFAT or NTFS file system to add to; use --mode new";
  if (drive.IntFileSystem != FileSystemNTFS) {
    for (const TPlannedEntry& e : entries)
      if (e.Need.FNeedNTFS)
        return "entry " + e.Name + " places a file of 4 GiB or more on the drive, which its " +
               drive.FileSystem + " file system cannot hold; use --mode new --fs ntfs";
  }
  return {};
}

std::string RemarkOnPlan(const TUSBDriveSet& drive, std::uint8_t mode,
                         const std::vector<TPlannedEntry>& entries) {
  const std::int64_t total = TotalNeed(entries);
  if (mode == FormatModeAdd && drive.FreeSpace >= 0 && total >= drive.FreeSpace)
    return "Note: the entries need " + HumanSize(total) + " and the drive has " +
           HumanSize(drive.FreeSpace) + " free; entries that do not fit will fail.";
  return {};
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
