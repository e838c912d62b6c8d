// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "drive/grub_works.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "common/file_writes.h"
#include "common/resources.h"
#include "common/text.h"
#include "drive/device_io.h"
#include "drive/drive_letters.h"

namespace quorvane {

namespace {

constexpr std::size_t kSector = 512;
constexpr std::size_t kBootCodeSize = 446;     // "MBC": bytes 0..445 of grldr.mbr
constexpr std::size_t kSecondStageAt = 1024;   // "MBR": bytes 1024..8191 of grldr.mbr
constexpr std::size_t kSecondStageSize = 7168;
constexpr std::uint32_t kFirstFreeSector = (kSecondStageAt + kSecondStageSize) / kSector;

std::uint32_t Le32(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

}  // namespace

std::string BootCodeAreaProblem(const unsigned char* s) {
  const auto at = [s](std::size_t offset, const char* text) {
    return std::memcmp(s + offset, text, std::strlen(text)) == 0;
  };
  if (s[510] != 0x55 || s[511] != 0xAA) return "the drive has no partition table";
  if (at(3, "NTFS    ") || at(3, "EXFAT   ") || at(82, "FAT32   ") || at(54, "FAT12   ") ||
      at(54, "FAT16   ") || at(54, "FAT     "))
    return "the drive has no partition table: its file system starts in sector 0";
  bool any = false;
  for (int i = 0; i < 4; ++i) {
    const unsigned char* e = s + 446 + 16 * i;
    if (e[4] == 0) continue;
    if (e[4] == 0xEE) return "the drive has a GUID partition table";
    if (e[0] != 0x00 && e[0] != 0x80) return "the drive has no valid partition table";
    any = true;
    const std::uint32_t start = Le32(e + 8);
    if (start < kFirstFreeSector)
      return "partition " + std::to_string(i + 1) + " starts at sector " + std::to_string(start) +
             ", inside the sectors of the boot code";
  }
  if (!any) return "the drive has no partitions";
  return {};
}

bool ReadBootImages(std::string& boot_images, std::string& loader, std::string& Error) {
  std::string error;
  if (!ReadResource("grldr.mbr", boot_images, error)) {
    Error = "Failed to extract master boot code from resource: " + error;
    return false;
  }
  if (boot_images.size() < kBootCodeSize) {
    Error = "Failed to extract master boot code from resource: grldr.mbr is too short";
    return false;
  }
  if (boot_images.size() < kSecondStageAt + kSecondStageSize ||
      static_cast<unsigned char>(boot_images[kSecondStageAt + kSecondStageSize - 2]) != 0x55 ||
      static_cast<unsigned char>(boot_images[kSecondStageAt + kSecondStageSize - 1]) != 0xAA) {
    Error = "Failed to write second boot code to drive: grldr.mbr holds no second stage";
    return false;
  }
  if (!ReadResource("grldr", loader, error)) {
    Error = "Failed to put grub loader to drive: " + error;
    return false;
  }
  if (loader.empty()) {
    Error = "Failed to put grub loader to drive: grldr is empty";
    return false;
  }
  Error.clear();
  return true;
}

void InstallGrub4DosOnDisk(int disk, const std::function<std::string(std::string&)>& root_of,
                           std::string& Error) {
  Error = "Unhandled error when writing grub to selected drive";
  try {
    unsigned char sector[kSector];
    ssize_t got;
    do {
      got = ::pread(disk, sector, kSector, 0);
    } while (got < 0 && errno == EINTR);
    if (got != static_cast<ssize_t>(kSector)) {
      Error = "Failed to read physical drive";
      return;
    }

    // Every image is read and checked before the first byte is written, so that a damaged
    // resource never leaves a drive with half a boot chain.
    std::string boot_images, loader, error;
    if (!ReadBootImages(boot_images, loader, Error)) return;
    if (const std::string problem = BootCodeAreaProblem(sector); !problem.empty()) {
      Error = "Failed to write master boot code to drive: " + problem;
      return;
    }

    std::memcpy(sector, boot_images.data(), kBootCodeSize);
    if (!WriteAll(disk, reinterpret_cast<const char*>(sector), kSector, 0)) {
      Error = "Failed to write master boot code to drive: " + SystemErrorText(errno);
      return;
    }
    if (!WriteAll(disk, boot_images.data() + kSecondStageAt, kSecondStageSize, kSecondStageAt) ||
        ::fsync(disk) != 0) {
      Error = "Failed to write second boot code to drive: " + SystemErrorText(errno);
      return;
    }

    const std::string root = root_of(error);
    if (root.empty()) {
      Error = "Failed to put grub loader to drive: " + error;
      return;
    }
    if (!WriteFileFlushed(root + "grldr", loader, error)) {
      Error = "Failed to put grub loader to drive: " + error;
      return;
    }
    Error.clear();
  } catch (...) {
    Error = "Unhandled error when writing grub to selected drive";
  }
}

void InstallGrub4Dos(char Drive, std::string& Error) {
  Error = "Unhandled error when writing grub to selected drive";
  try {
    std::string reason;
    const int disk = OpenPhysicalDrive(Drive, reason);
    if (disk < 0) {
      Error = "Can't obtain handle to physical drive";
      return;
    }
    const std::unique_ptr<const int, void (*)(const int*)> closer(&disk, [](const int* fd) { ::close(*fd); });
    InstallGrub4DosOnDisk(
        disk,
        [Drive](std::string& error) {
          std::shared_ptr<IDriveLetters> letters = DriveLetters();
          if (!letters) {
            error = "the drive is not present";
            return std::string();
          }
          return letters->RootOf(Drive, error);
        },
        Error);
  } catch (...) {
    Error = "Unhandled error when writing grub to selected drive";
  }
}

}  // namespace quorvane
