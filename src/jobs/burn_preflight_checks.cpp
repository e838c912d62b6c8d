// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The checks before a burn, in the order they run. A check reads the context and adds
// refusals or remarks; it never writes to a drive.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "archive/file_operations.h"
#include "archive/library_location.h"
#include "archive/sevenzip.h"
#include "common/constants.h"
#include "common/resources.h"
#include "common/text.h"
#include "drive/grub4dos_images.h"
#include "drive/efi_partition.h"
#include "drive/grub_works.h"
#include "drive/ntfs_layout.h"
#include "drive/ntfs_volume.h"
#include "jobs/burn_preflight.h"
#include "loaders/image_check.h"
#include "loaders/loader_catalog.h"
#include "ui/capacity_rules.h"

namespace quorvane {

namespace {

namespace fs = std::filesystem;

std::string Letter(char letter) { return std::string(1, letter) + ":"; }

// "entry 2 (x.iso)": its place in the list and its image's file name.
std::string EntryLabel(std::size_t index, const TPreflightEntry& entry) {
  return "entry " + std::to_string(index + 1) + " (" + fs::path(entry.SourceFile).filename().string() + ")";
}

std::string Gb(std::int64_t bytes) { return SizeInGb(bytes) + "Gb"; }

bool Below(const std::string& path, const std::string& folder) {
  return path == folder || path.compare(0, folder.size() + 1, folder + "/") == 0;
}

// ---------------------------------------------------------------------------------------
// The plan.

void CheckEntries(const TPreflightContext& c, TPreflightReport& report) {
  if (c.Request.Entries.empty()) {
    report.Refuse("There are no loaders selected");
    return;
  }
  for (std::size_t i = 0; i < c.Request.Entries.size(); ++i) {
    const TPreflightEntry& e = c.Request.Entries[i];
    const std::string label = EntryLabel(i, e);
    if (!IsLoaderType(e.LoaderType)) {
      report.Refuse(label + ": the loader type " + std::to_string(e.LoaderType) + " is unknown");
      continue;
    }
    std::error_code ec;
    const std::string real = e.SourceFile.empty() ? std::string()
                                                  : fs::weakly_canonical(e.SourceFile, ec).string();
    if (Below(real, "/proc") || Below(real, "/sys") || Below(real, "/dev")) {
      report.Refuse(label + ": " + e.SourceFile + " is a file of the system, not an image file");
      continue;
    }
    struct stat info {};
    if (e.SourceFile.empty() || ::stat(e.SourceFile.c_str(), &info) != 0) {
      report.Refuse(label + ": file not found: " + e.SourceFile);
      continue;
    }
    if (!S_ISREG(info.st_mode)) {
      report.Refuse(label + ": not an image file: " + e.SourceFile);
      continue;
    }
    const int fd = ::open(e.SourceFile.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
      report.Refuse(label + ": " + e.SourceFile + " cannot be read: " + SystemErrorText(errno));
      continue;
    }
    ::close(fd);
  }
}

void CheckDrive(const TPreflightContext& c, TPreflightReport& report) {
  if (!c.DriveListed) {
    report.Refuse("Drive not found");
    return;
  }
  if (c.Table && !c.DiskError.empty())
    report.Refuse("refused to write to drive " + std::string(1, c.Request.Drive) + ": " +
                  c.DiskError +
                  ". The program writes only to USB drives and image files, never to the disk "
                  "of the running system.");
}

void CheckMounts(const TPreflightContext& c, TPreflightReport& report) {
  report.ForeignMounts = c.ForeignMounts;
}

// In mode new nothing may be read from the disk that is erased.
void CheckEntriesOffTheErasedDisk(const TPreflightContext& c, TPreflightReport& report) {
  if (c.Request.Mode != FormatModeNew || !c.DriveFromList) return;
  std::vector<std::pair<std::string, std::string>> points;  // mount point, how it is named
  for (const TUSBDriveSet& d : c.Drives)
    if (!d.DiskDevice.empty() && d.DiskDevice == c.Drive.DiskDevice && !d.MountPoint.empty() &&
        d.MountPoint != "/")
      points.emplace_back(d.MountPoint, "drive " + Letter(d.Letter));
  for (const TForeignMount& m : c.ForeignMounts)
    if (m.MountPoint != "/") points.emplace_back(m.MountPoint, m.MountPoint);
  for (std::size_t i = 0; i < c.Request.Entries.size(); ++i) {
    std::error_code ec;
    const std::string path = fs::weakly_canonical(c.Request.Entries[i].SourceFile, ec).string();
    for (const auto& [point, name] : points) {
      if (path.compare(0, point.size() + 1, point + "/") != 0) continue;
      report.Refuse(EntryLabel(i, c.Request.Entries[i]) + " lies on " + name +
                    ", whose disk mode new erases");
      break;
    }
  }
}

// The file system and the room the entries need.
void CheckFileSystemAndRoom(const TPreflightContext& c, TPreflightReport& report) {
  if (!c.DriveFromList) return;
  const TUSBDriveSet& drive = c.Drive;
  const std::string letter = Letter(drive.Letter);
  std::int64_t total = 0;
  std::vector<TCapacityEntry> needs;
  for (const TPreflightEntry& e : c.Request.Entries) {
    total += e.NeedSpace;
    needs.push_back({e.NeedSpace, e.NeedNTFS});
  }
  const auto first_ntfs_need = [&]() -> int {
    for (std::size_t i = 0; i < c.Request.Entries.size(); ++i)
      if (c.Request.Entries[i].NeedNTFS) return static_cast<int>(i);
    return -1;
  };
  if (c.Request.Mode == FormatModeNew) {
    if (const int i = first_ntfs_need(); i >= 0 && c.Request.FileSystem != FileSystemNTFS)
      report.Refuse(EntryLabel(i, c.Request.Entries[i]) +
                    " places a file of 4 GiB or more on the drive, which FAT32 cannot hold; "
                    "format it as NTFS");
    // As in the main window: a new drive is refused only when the entries do not fit even
    // after a FAT32 format; what an NTFS format takes beyond that depends on the drive,
    // and the entries check the space they find.
    // The format also gives the disk's end to the EFI partition, which the main window's
    // rules leave out: counted here, so that no drive is erased for entries that cannot fit.
    const std::int64_t room =
        drive.FullSize - kFormatReserve - NewDriveEfiReserve(drive.FullSize);
    if (drive.FullSize > 0 && (!EvaluateCapacity(drive, needs).Fits || total > room))
      report.Refuse("the entries need " + Gb(total) + ", more than drive " + letter +
                    " holds after formatting (" + Gb(std::max<std::int64_t>(room, 0)) + ")");
    return;
  }
  // Mode add: the file system stays; it must be one the program writes, with room.
  if (drive.IntFileSystem == FileSystemOther) {
    // Mode new is the advice only for a volume that was read and holds no file system.
    if (drive.FileSystem.empty() && !drive.FileSystemProblem.empty())
      report.Refuse("the file system of drive " + letter + " cannot be told: " +
                    drive.FileSystemProblem + "; nothing was written");
    else if (drive.FileSystem.empty())
      report.Refuse("drive " + letter + " has no file system to add to; use mode new");
    else
      report.Refuse("drive " + letter + " has a " + drive.FileSystem +
                    " file system, which the program does not write; only mode new, which "
                    "erases it, can prepare the drive");
    return;
  }
  if (drive.FreeSpace < 0) {
    // The file system is there; only its free space could not be read. Never advise a
    // format for a drive that may hold good data.
    report.Refuse("the free space of drive " + letter + " (" + drive.FileSystem +
                  ") cannot be read" +
                  (drive.FreeSpaceError.empty() ? std::string() : ": " + drive.FreeSpaceError));
    return;
  }
  if (drive.FreeSpace == 0 && drive.FullSize > 0) {
    report.Refuse("drive " + letter + " is mounted read-only or full (Drive opened read-only)");
    return;
  }
  if (drive.IntFileSystem != FileSystemNTFS) {
    if (const int i = first_ntfs_need(); i >= 0)
      report.Refuse(EntryLabel(i, c.Request.Entries[i]) +
                    " places a file of 4 GiB or more on the drive, which its " + drive.FileSystem +
                    " file system cannot hold; only an NTFS drive can take it (mode new with "
                    "NTFS, which erases this one)");
  }
  if (total >= drive.FreeSpace)
    report.Remark("Note: the entries need " + Gb(total) + " and the drive has " +
                  Gb(drive.FreeSpace) + " free; entries that do not fit will fail.");
}

// Every image mapped in place needs a free run of its own on an NTFS drive, taken in the
// order of the burn: on the volume as it is in mode add, on the one the format makes in
// mode new.
void CheckContiguousRoom(const TPreflightContext& c, TPreflightReport& report) {
  if (!c.DriveFromList) return;
  std::vector<TClusterRun> runs;
  std::uint32_t cluster_size = 0;
  if (c.Request.Mode == FormatModeNew) {
    if (c.Request.FileSystem != FileSystemNTFS || c.Drive.FullSize <= 0) return;
    // The NTFS partition the format makes: from 1 MiB up to the EFI partition at the end.
    TNewDriveLayout layout;
    std::string ignored;
    const std::uint64_t partition =
        PlanNewDriveLayout(c.Drive.FullSize, false, layout, ignored) ? layout.MainSectors * 512 : 0;
    cluster_size = 4096;
    runs.push_back({0, NewNtfsLargestFreeRun(partition) / cluster_size});
  } else {
    if (c.Drive.IntFileSystem != FileSystemNTFS || c.Drive.VolumeDevice.empty()) return;
    TNtfsFreeSpace space;
    std::string error;
    // Unreadable here: the entry's own check before its copy still stands.
    if (!ReadNtfsFreeSpace(c.Drive.VolumeDevice, space, error)) return;
    runs = space.FreeRuns;
    cluster_size = space.ClusterSize;
  }
  std::vector<TRunNeed> needs;
  for (const TPreflightEntry& e : c.Request.Entries) {
    // Ubuntu's image is written in one run when one holds it, but may lie in pieces.
    if (!IsMappedInPlace(e.LoaderType) && e.LoaderType != LoaderUbuntu) continue;
    const std::int64_t size = FileSize64(e.SourceFile);
    if (size <= 0) continue;
    needs.push_back({fs::path(e.SourceFile).filename().string(), static_cast<std::uint64_t>(size),
                     IsMappedInPlace(e.LoaderType)});
  }
  if (const std::string problem = PlanRuns(runs, cluster_size, needs); !problem.empty())
    report.Refuse(problem);
}

// ---------------------------------------------------------------------------------------
// What the program's drive step and loaders need.

void CheckArchiveLibrary(const TPreflightContext&, TPreflightReport& report) {
  if (const std::string problem = ArchiveLibraryProblem(); !problem.empty()) {
    report.Refuse(problem);
    return;
  }
  // The NTBOOT package is unpacked in both modes, through the library.
  const std::string package = ResourcePath("NTBOOT.7z");
  struct stat info {};
  if (::stat(package.c_str(), &info) != 0) {
    report.Refuse("the NTBOOT package " + package + " cannot be read: " + SystemErrorText(errno));
    return;
  }
  T7zInArchiveRef archive;
  const bool opened = OpenArchive(package, archive);
  ReleaseArchive(archive);
  if (!opened)
    report.Refuse("the NTBOOT package " + package + " cannot be opened with the archive library " +
                  Lib7zPath());
}

// Each image is what its loader needs to boot; the entries that cannot be read at all are
// the entries check's, and without the library no image can be looked into.
void CheckImagesBoot(const TPreflightContext& c, TPreflightReport& report) {
  if (!ArchiveLibraryProblem().empty()) return;
  for (std::size_t i = 0; i < c.Request.Entries.size(); ++i) {
    const TPreflightEntry& e = c.Request.Entries[i];
    struct stat info {};
    if (!IsLoaderType(e.LoaderType) || ::stat(e.SourceFile.c_str(), &info) != 0 ||
        !S_ISREG(info.st_mode))
      continue;
    if (const std::string problem = ImageBootProblem(e.SourceFile, e.LoaderType); !problem.empty())
      report.Refuse(EntryLabel(i, e) + ": " + problem);
  }
}

void CheckBootImages(const TPreflightContext&, TPreflightReport& report) {
  std::string boot_images, loader, error;
  if (ReadBootImages(boot_images, loader, error)) return;
  // Missing rather than damaged: say how to install them.
  const std::string missing = Grub4DosImagesMissingMessage();
  report.Refuse(missing.empty() ? error : error + ". " + missing);
}

void CheckTools(const TPreflightContext& c, TPreflightReport& report) {
  if (!c.Table || !c.DriveListed) return;
  std::vector<std::string> tools{"mount", "umount", "losetup"};
  const bool new_drive = c.Request.Mode == FormatModeNew;
  if (new_drive) {
    tools.insert(tools.end(), {"blockdev", "wipefs", "sfdisk"});
    if (c.Request.FileSystem == FileSystemNTFS)
      tools.insert(tools.end(), NtfsLayoutTools().begin(), NtfsLayoutTools().end());
    else
      tools.push_back("mkfs.vfat");
  }
  const bool ntfs = new_drive ? c.Request.FileSystem == FileSystemNTFS
                              : c.Drive.IntFileSystem == FileSystemNTFS;
  if (ntfs) tools.push_back("ntfs-3g");
  for (const std::string& tool : tools)
    if (!c.Table->Runner().Available(tool))
      report.Refuse("the tool " + tool + " is not installed; the burn needs it");
}

// In mode add the boot code goes in front of the drive's partitions: the table must leave
// room for it.
void CheckBootCodeArea(const TPreflightContext& c, TPreflightReport& report) {
  if (c.Request.Mode != FormatModeAdd || !c.Table || !c.DriveListed || !c.DiskError.empty()) return;
  const std::string device = c.Disk.IsImage ? c.Disk.ImageFile : c.Disk.Node;
  const int fd = ::open(device.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
  unsigned char sector[512];
  ssize_t got = -1;
  int read_error = errno;
  if (fd >= 0) {
    do {
      got = ::pread(fd, sector, sizeof sector, 0);
    } while (got < 0 && errno == EINTR);
    read_error = errno;
    ::close(fd);
  }
  if (got != static_cast<ssize_t>(sizeof sector)) {
    report.Refuse("sector 0 of " + device + " cannot be read" +
                  (got < 0 ? ": " + SystemErrorText(read_error) : std::string()));
    return;
  }
  if (const std::string problem = BootCodeAreaProblem(sector); !problem.empty())
    report.Refuse("the boot code cannot be written to drive " + Letter(c.Request.Drive) + " " +
                  problem + "; only mode new can prepare it");
}

}  // namespace

std::vector<TPreflightCheck> PlanChecks() {
  return {
      {"the entries", CheckEntries},
      {"the drive", CheckDrive},
      {"the drive's mounts", CheckMounts},
      {"the entries' places", CheckEntriesOffTheErasedDisk},
      {"the file system and room", CheckFileSystemAndRoom},
      {"the contiguous room", CheckContiguousRoom},
  };
}

std::vector<TPreflightCheck> ProgramChecks() {
  return {
      {"the archive library", CheckArchiveLibrary},
      {"the images", CheckImagesBoot},
      {"the boot images", CheckBootImages},
      {"the tools", CheckTools},
      {"the boot code area", CheckBootCodeArea},
      UefiBootCheck(),
  };
}

}  // namespace quorvane
