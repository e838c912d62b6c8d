// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The check before a burn: everything that can fail without touching the drive, run
// before anything is erased or the boot code is replaced. Every front end calls it with
// the drive, the mode, the file system and the entries, and gets refusals (any one stops
// the burn), remarks and the mounts of the drive that the program did not make (both
// shown with the question). The checks are a plain list; a new one is one function and
// one line in PlanChecks() or ProgramChecks().
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "drive/usb_drive_letters.h"
#include "drive/usb_drive_set.h"

namespace quorvane {

// One boot entry of the burn.
struct TPreflightEntry {
  std::int32_t LoaderType = -1;
  std::string SourceFile;
  std::string JobName;
  std::int64_t NeedSpace = 0;  // bytes its image needs on the drive
  bool NeedNTFS = false;       // it places a file that FAT32 cannot hold
};

// The entry with its needs read from the image (GetNecessarySpace, CheckNeedNTFS).
TPreflightEntry MakePreflightEntry(std::int32_t loader_type, const std::string& source_file,
                                   const std::string& job_name);

struct TPreflightRequest {
  char Drive = 0;               // the drive letter
  std::uint8_t Mode = 0;        // FormatModeNew or FormatModeAdd
  std::uint8_t FileSystem = 0;  // FileSystemFAT32 or FileSystemNTFS; mode new only
  std::vector<TPreflightEntry> Entries;
};

// What the checks look at, gathered once before they run, without writing anything.
struct TPreflightContext {
  TPreflightRequest Request;
  // Whether the letter names a drive: one of the drive list, or (for a letter table that
  // lists no drives) one with a root folder.
  bool DriveListed = false;
  // The target as the drive list shows it (file system, free and full size); false when
  // the letter table lists no drives.
  bool DriveFromList = false;
  TUSBDriveSet Drive;
  TUSBDrives Drives;  // every listed drive (volumes of the same disk among them)
  // The run's USB drive table; none when the installed letter table is of another kind
  // (folders standing in for drives), which has no disks to look at.
  std::shared_ptr<TUSBDriveLetters> Table;
  // The target's disk, cleared for writing when DiskError is empty.
  TDiskTarget Disk;
  std::string DiskError;
  std::vector<TForeignMount> ForeignMounts;
};

struct TPreflightReport {
  std::vector<std::string> Refusals;
  std::vector<std::string> Remarks;
  std::vector<TForeignMount> ForeignMounts;

  bool Passed() const { return Refusals.empty(); }
  void Refuse(const std::string& text) { Refusals.push_back(text); }
  void Remark(const std::string& text) { Remarks.push_back(text); }
  // The refusals, one a line.
  std::string RefusalText() const;
  // The mounts as the question states them (empty when there are none): a heading line,
  // then one line per mount, what the burn does with them in the last line.
  std::string MountsText(std::uint8_t mode) const;
  // The remarks, one a line.
  std::string RemarkText() const;
};

// One check: looks at the context and adds to the report. Checks do not write.
struct TPreflightCheck {
  const char* Name;
  std::function<void(const TPreflightContext&, TPreflightReport&)> Run;
};

// The checks of the plan itself: the entries, the drive and its disk, its mounts, the
// room and file system the entries need.
std::vector<TPreflightCheck> PlanChecks();
// The checks of what the program's own drive step and loaders need: the archive library,
// the images (what each loader needs to boot, ImageBootProblem), the boot images, the
// NTBOOT package, the tools, the boot code area of a drive in mode add.
std::vector<TPreflightCheck> ProgramChecks();
// The UEFI boot of the burn: entries that boot on BIOS only, a drive of mode add without
// our EFI partition (remarks), what mode new needs for one (refusals).
TPreflightCheck UefiBootCheck();
// Both, the plan's first.
std::vector<TPreflightCheck> PreflightChecks();

// Gathers the context through the installed letter table.
TPreflightContext MakePreflightContext(const TPreflightRequest& request);

// Runs `checks` on the context, in order.
TPreflightReport RunPreflightChecks(const TPreflightContext& context,
                                    const std::vector<TPreflightCheck>& checks);

// The whole check of a burn: MakePreflightContext, then every check of PreflightChecks.
TPreflightReport RunBurnPreflight(const TPreflightRequest& request);

// The plan's checks only (PlanChecks), for front ends whose drive step and loaders are
// stand-ins (tests, tools).
TPreflightReport RunPlanPreflight(const TPreflightRequest& request);

// What a front end calls; RunBurnPreflight unless a test gives another.
using TBurnPreflight = std::function<TPreflightReport(const TPreflightRequest&)>;

}  // namespace quorvane
