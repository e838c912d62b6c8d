// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The check of UEFI boot before a burn: which entries boot on BIOS only, whether a drive
// of mode add has our EFI partition, and what mode new needs to make one.
#include <sys/stat.h>

#include <filesystem>

#include "archive/library_location.h"
#include "common/constants.h"
#include "common/resources.h"
#include "drive/efi_partition.h"
#include "drive/uefi_boot_setup.h"
#include "jobs/burn_preflight.h"
#include "loaders/loader_catalog.h"
#include "loaders/uefi_boot.h"

namespace quorvane {

namespace {

void CheckUefiBoot(const TPreflightContext& c, TPreflightReport& report) {
  if (c.Request.Mode == FormatModeNew && c.Table && c.DriveListed) {
    std::error_code ec;
    const std::string image = ResourcePath(kEfiImageResource);
    if (!std::filesystem::is_regular_file(image, ec))
      report.Refuse("the UEFI boot loader " + image + " is missing; rebuild or reinstall the program");
    for (const char* tool : {"mkfs.fat", "mdir", "mmd", "mcopy", "mtype"})
      if (!c.Table->Runner().Available(tool))
        report.Refuse(std::string("the tool ") + tool +
                      " is not installed; the burn needs it for the EFI partition");
    TNewDriveLayout layout;
    std::string ignored;
    if (c.DiskError.empty() && c.Disk.SizeBytes >= 0 &&
        PlanNewDriveLayout(c.Disk.SizeBytes, c.Request.FileSystem == FileSystemFAT32, layout,
                           ignored) &&
        layout.EfiSectors == 0)
      report.Remark("The drive is too small for an EFI partition: its entries boot on BIOS only");
  }
  if (c.Request.Mode == FormatModeAdd && c.Table && c.DriveListed && c.DiskError.empty() &&
      EfiPartitionStateOf(*c.Table, c.Request.Drive) != TEfiPartitionState::Ours)
    report.Remark(kNoEfiPartitionText);

  // Which entries the UEFI menu cannot start; their items there say so.
  if (!ArchiveLibraryProblem().empty()) return;
  std::string names;
  for (const TPreflightEntry& e : c.Request.Entries) {
    struct stat info {};
    if (!IsLoaderType(e.LoaderType) || ::stat(e.SourceFile.c_str(), &info) != 0 ||
        !S_ISREG(info.st_mode))
      continue;
    if (!UefiBootOf(e.LoaderType, e.SourceFile).BiosOnly()) continue;
    names += (names.empty() ? "" : ", ") + std::filesystem::path(e.SourceFile).filename().string();
  }
  if (!names.empty())
    report.Remark("Boot on BIOS only (on a UEFI PC start the drive in legacy/CSM mode): " + names);
}

}  // namespace

TPreflightCheck UefiBootCheck() { return {"UEFI boot", CheckUefiBoot}; }

}  // namespace quorvane
