// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// Mode new on image files attached to loop devices: the main partition's file system (NTFS
// made small and grown, or FAT32) and the EFI partition after it each keep to their own
// sectors, checked by the file systems' own tools on exactly their partitions.
#include <sys/statvfs.h>

#include <fstream>

#include <gtest/gtest.h>

#include "common/constants.h"
#include "common/tool_runner.h"
#include "drive/disk_part_works.h"
#include "drive/efi_partition.h"
#include "drive/uefi_boot_setup.h"
#include "drive/usb_drive_letters.h"
#include "support/image_drive_table.h"
#include "support/loop_devices.h"
#include "support/temp_dir.h"

namespace quorvane::testing {
namespace {

constexpr std::uint64_t kMiB = 1u << 20;

std::uint64_t Le(const std::string& s, std::size_t at, int bytes) {
  std::uint64_t v = 0;
  for (int b = bytes - 1; b >= 0; --b) v = v << 8 | static_cast<unsigned char>(s[at + b]);
  return v;
}

// `count` sectors of `image` from sector `first`.
std::string Sectors(const std::string& image, std::uint64_t first, std::uint64_t count = 1) {
  std::string bytes(count * 512, '\0');
  std::ifstream in(image, std::ios::binary);
  in.seekg(static_cast<std::streamoff>(first * 512));
  in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  EXPECT_TRUE(in.good()) << "sector " << first << " of " << image;
  return bytes;
}

struct TPartitionEntry {
  std::uint64_t Start = 0, Sectors = 0;
  unsigned Type = 0;
};

TPartitionEntry EntryOf(const std::string& sector0, int index) {
  const std::size_t at = 446 + 16 * static_cast<std::size_t>(index);
  return {Le(sector0, at + 8, 4), Le(sector0, at + 12, 4),
          static_cast<unsigned char>(sector0[at + 4])};
}

class NewDriveLayoutTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const std::string why = LoopDevicesUnavailable(
            {"losetup", "sfdisk", "wipefs", "blockdev", "mkfs.ntfs", "ntfsresize", "ntfsfix",
             "mkfs.vfat", "mkfs.fat", "fsck.fat", "mdir", "mmd", "mcopy", "mtype", "ntfs-3g",
             "umount"});
        !why.empty())
      GTEST_SKIP() << "no loop devices: " << why;
    table = MakeImageDriveTable(temp / "mnt");
  }

  void TearDown() override {
    if (table) CloseImageDriveTable(*table, temp / "mnt", images);
  }

  // `check` on a loop device of the test's own over exactly `partition` of `image`.
  void OnPartition(const std::string& image, const TPartitionEntry& partition,
                   const std::function<void(const std::string&)>& check) {
    const TToolResult attach = runner.Run(
        {"losetup",
         {"--find", "--show", "--offset", std::to_string(partition.Start * 512), "--sizelimit",
          std::to_string(partition.Sectors * 512), image},
         ""});
    ASSERT_TRUE(attach.Succeeded()) << attach.ErrorText();
    const std::string node = OneLine(attach.Output);
    check(node);
    EXPECT_TRUE(runner.Run({"losetup", {"--detach", node}, ""}).Succeeded());
  }

  // Writes files to the main volume through the program's mount until it is all but full,
  // so that its last clusters hold data too.
  void FillVolume(char letter) {
    const std::string root = table->RootOf(letter, error);
    ASSERT_FALSE(root.empty()) << error;
    struct statvfs info {};
    ASSERT_EQ(::statvfs(root.c_str(), &info), 0);
    const std::uint64_t free_bytes = static_cast<std::uint64_t>(info.f_bavail) * info.f_frsize;
    const std::string block(kMiB, '\xA5');
    std::ofstream out(root + "fill.bin", std::ios::binary);
    for (std::uint64_t done = 0; done + 2 * kMiB < free_bytes; done += kMiB) out << block;
    out.close();
    ASSERT_TRUE(out.good());
    ASSERT_EQ(table->ReleaseProgramMounts(), "");
  }

  // Both partitions as the layout of `disk_bytes` puts them, each file system within its
  // own and found clean by its tools.
  void ExpectTwoCleanPartitions(const std::string& image, std::uint64_t disk_bytes, bool fat) {
    TNewDriveLayout layout;
    ASSERT_TRUE(PlanNewDriveLayout(static_cast<std::int64_t>(disk_bytes), fat, layout, error))
        << error;
    ASSERT_GT(layout.EfiSectors, 0u);
    const std::string sector0 = Sectors(image, 0);
    const TPartitionEntry main = EntryOf(sector0, 0), efi = EntryOf(sector0, 1);
    EXPECT_EQ(main.Type, fat ? 0x0Cu : 0x07u);
    EXPECT_EQ(main.Start, layout.MainStart);
    EXPECT_EQ(main.Sectors, layout.MainSectors);
    EXPECT_EQ(efi.Type, 0xEFu);
    EXPECT_EQ(efi.Start, layout.EfiStart);
    EXPECT_EQ(efi.Sectors, layout.EfiSectors);
    EXPECT_LE(main.Start + main.Sectors, efi.Start);
    EXPECT_LE(efi.Start + efi.Sectors, disk_bytes / 512);

    const std::string boot = Sectors(image, main.Start);
    if (fat) {
      EXPECT_EQ(boot.substr(82, 8), "FAT32   ");
      EXPECT_LE(Le(boot, 0x20, 4), main.Sectors);
      OnPartition(image, main, [&](const std::string& node) {
        const TToolResult r = runner.Run({"fsck.fat", {"-n", node}, ""});
        EXPECT_TRUE(r.Succeeded()) << r.ErrorText() << "\n" << r.Output;
      });
    } else {
      // The volume's sectors and the copy of its boot sector after them lie in partition 1:
      // the copy is in the partition's last sector, where the tools look for it.
      EXPECT_EQ(boot.substr(3, 8), "NTFS    ");
      EXPECT_LT(Le(boot, 0x28, 8), main.Sectors);
      EXPECT_TRUE(Sectors(image, main.Start + main.Sectors - 1) == boot)
          << "no copy of the NTFS boot sector in the partition's last sector";
      OnPartition(image, main, [&](const std::string& node) {
        const TToolResult r = runner.Run({"ntfsfix", {"-n", node}, ""});
        EXPECT_TRUE(r.Succeeded()) << r.ErrorText();
        EXPECT_EQ(r.Output.find("fix"), std::string::npos) << r.Output;
      });
    }

    // The EFI partition's FAT16 knows where it lies and ends within partition 2.
    const std::string efi_boot = Sectors(image, efi.Start);
    EXPECT_EQ(efi_boot.substr(54, 8), "FAT16   ");
    EXPECT_EQ(Le(efi_boot, 0x1C, 4), efi.Start);
    const std::uint64_t fat_sectors = Le(efi_boot, 0x13, 2) ? Le(efi_boot, 0x13, 2)
                                                            : Le(efi_boot, 0x20, 4);
    EXPECT_GT(fat_sectors, 0u);
    EXPECT_LE(fat_sectors, efi.Sectors);
    OnPartition(image, efi, [&](const std::string& node) {
      const TToolResult r = runner.Run({"fsck.fat", {"-n", node}, ""});
      EXPECT_TRUE(r.Succeeded()) << r.ErrorText() << "\n" << r.Output;
    });
    EXPECT_NE(ReadEfiMarker(runner, image, efi.Start), "");
  }

  // What the EFI partition gets in mode new (`mode` new) or add. Without the kernel's FAT
  // driver the marker file cannot go onto a FAT32 volume; the EFI partition is then made
  // and filled by the same steps, without it.
  void PrepareEfi(char letter, bool fat, std::uint8_t mode, const std::string& image) {
    if (!fat || KernelHasFileSystem("vfat")) {
      PrepareUefiBoot(*table, letter, mode, error);
      ASSERT_EQ(error, "");
      return;
    }
    std::uint64_t start = 0, sectors = 0;
    const std::string sector0 = Sectors(image, 0);
    ASSERT_TRUE(FindEfiPartitionEntry(reinterpret_cast<const unsigned char*>(sector0.data()),
                                      start, sectors));
    if (mode == FormatModeNew) {
      ASSERT_TRUE(MakeEfiFileSystem(runner, image, start, sectors, error)) << error;
    }
    ASSERT_TRUE(FillEfiPartition(runner, image, start, NewEfiMarkerPath(), error)) << error;
  }

  TTempDir temp;
  TSystemToolRunner runner;
  std::shared_ptr<TUSBDriveLetters> table;
  std::vector<std::string> images;
  std::string error;
};

TEST_F(NewDriveLayoutTest, TheMainFileSystemAndTheEfiPartitionKeepToTheirOwnSectors) {
  const struct {
    const char* name;
    std::uint8_t file_system;
    std::uint64_t disk_bytes;
    bool fill;  // the NTFS volume written full before the checks
  } cases[] = {
      {"NTFS grown, 16 MiB EFI partition", FileSystemNTFS, 256 * kMiB, true},
      {"NTFS not grown (no larger than its seed)", FileSystemNTFS, 80 * kMiB, true},
      {"NTFS grown, 32 MiB EFI partition", FileSystemNTFS, 1100 * kMiB, false},
      {"FAT32, 16 MiB EFI partition", FileSystemFAT32, 256 * kMiB, false},
      {"FAT32, 32 MiB EFI partition", FileSystemFAT32, 1100 * kMiB, false},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const bool fat = c.file_system == FileSystemFAT32;
    const std::string image = temp / ("disk" + std::to_string(++n) + ".img");
    images.push_back(image);
    char letter = 0;
    ASSERT_TRUE(table->AttachImageDrive(image, static_cast<std::int64_t>(c.disk_bytes), letter,
                                        error))
        << error;
    TDiskPartWorks works(table, c.file_system);
    ASSERT_TRUE(works.DosAppSuccessfullyStarted) << works.MissingTool;
    if (fat) {
      ASSERT_TRUE(works.CreateFreshFatUSB(letter, error)) << error;
    } else {
      // In the order of a burn: the format, the drive step's files, the grow, the EFI
      // partition.
      ASSERT_TRUE(works.CreateFreshNTFSUSB(letter, error)) << error;
      const std::string root = table->RootOf(letter, error);
      ASSERT_FALSE(root.empty()) << error;
      WriteFile(root + "grldr", std::string(300000, 'g'));
      ASSERT_EQ(table->ReleaseProgramMounts(), "");
      ASSERT_TRUE(works.GrowNTFSUSB(letter, error)) << error;
    }
    PrepareEfi(letter, fat, FormatModeNew, image);
    if (c.fill) FillVolume(letter);
    ASSERT_EQ(table->ReleaseProgramMounts(), "");
    ExpectTwoCleanPartitions(image, c.disk_bytes, fat);
    // Mode add rewrites the EFI partition's files; both stay as they were.
    PrepareEfi(letter, fat, FormatModeAdd, image);
    ASSERT_EQ(table->ReleaseProgramMounts(), "");
    ExpectTwoCleanPartitions(image, c.disk_bytes, fat);
    ASSERT_TRUE(table->DetachImageDrives(error)) << error;
  }
}

}  // namespace
}  // namespace quorvane::testing
