// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "drive/uefi_boot_setup.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "common/constants.h"
#include "common/file_writes.h"
#include "drive/efi_partition.h"
#include "drive/usb_drive_letters.h"

namespace quorvane {

namespace {

struct TEfiPlace {
  TDiskTarget Disk;
  std::uint64_t Start = 0, Sectors = 0;
  bool Found = false;
};

bool LocateEfiPartition(TUSBDriveLetters& table, char Drive, TEfiPlace& place,
                        std::string& error) {
  if (!table.WritableDiskOf(Drive, place.Disk, error)) return false;
  const int fd = ::open(place.Disk.Node.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    error = "cannot open " + place.Disk.Node;
    return false;
  }
  unsigned char sector[512];
  ssize_t got;
  do {
    got = ::pread(fd, sector, sizeof sector, 0);
  } while (got < 0 && errno == EINTR);
  ::close(fd);
  if (got != static_cast<ssize_t>(sizeof sector)) {
    error = "cannot read the partition table of " + place.Disk.Node;
    return false;
  }
  place.Found = FindEfiPartitionEntry(sector, place.Start, place.Sectors);
  return true;
}

// The marker file on the main partition, by which the EFI partition's grub.cfg finds it.
bool WriteMarker(TUSBDriveLetters& table, char Drive, const std::string& marker,
                 std::string& error) {
  const std::string root = table.RootOf(Drive, error);
  if (root.empty()) return false;
  std::error_code ec;
  const std::filesystem::path path = root + marker.substr(1);
  std::filesystem::create_directories(path.parent_path(), ec);
  return WriteFileFlushed(path.string(),
                          "This file lets the UEFI boot loader of this drive find this partition.\n",
                          error);
}

}  // namespace

TEfiPartitionState EfiPartitionStateOf(TUSBDriveLetters& table, char Drive) {
  TEfiPlace place;
  std::string error;
  if (!LocateEfiPartition(table, Drive, place, error) || !place.Found)
    return TEfiPartitionState::None;
  return ReadEfiMarker(table.Runner(), place.Disk.Node, place.Start).empty()
             ? TEfiPartitionState::Foreign
             : TEfiPartitionState::Ours;
}

void PrepareUefiBoot(TUSBDriveLetters& table, char Drive, std::uint8_t Mode, std::string& Error) {
  Error.clear();
  TEfiPlace place;
  std::string error;
  if (!LocateEfiPartition(table, Drive, place, error)) {
    Error = "Failed to prepare the EFI partition: " + error;
    return;
  }
  // A disk too small for one (mode new), or a drive of another making (mode add): the
  // entries boot on BIOS only, as the check before the burn has said.
  if (!place.Found) return;
  IToolRunner& runner = table.Runner();
  std::string marker;
  if (Mode == FormatModeNew) {
    marker = NewEfiMarkerPath();
    if (!MakeEfiFileSystem(runner, place.Disk.Node, place.Start, place.Sectors, error)) {
      Error = "Failed to make the EFI partition: " + error;
      return;
    }
  } else {
    marker = ReadEfiMarker(runner, place.Disk.Node, place.Start);
    if (marker.empty()) return;  // an EFI partition that is not ours stays as it is
  }
  if (!WriteMarker(table, Drive, marker, error)) {
    Error = "Failed to prepare the EFI partition: " + error;
    return;
  }
  if (!FillEfiPartition(runner, place.Disk.Node, place.Start, marker, error))
    Error = "Failed to write the UEFI boot loader to the EFI partition: " + error;
}

}  // namespace quorvane
