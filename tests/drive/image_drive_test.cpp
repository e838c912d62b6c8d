// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// Image files as drives on real loop devices: a drive prepared as new with NTFS (mounted
// through ntfs3 or ntfs-3g) and then added to, and the FAT32 path checked on the image's
// bytes. Only image files are ever touched: the table lists no USB disks here.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

#include <gtest/gtest.h>

#include "common/constants.h"
#include "common/resources.h"
#include "common/text.h"
#include "drive/boot_usb_creator.h"
#include "drive/linux_dead_runs.h"
#include "drive/efi_partition.h"
#include "drive/linux_mount_table.h"
#include "common/tool_runner.h"
#include "drive/usb_drive_letters.h"
#include "support/loop_devices.h"
#include "support/main_thread_fixture.h"
#include "support/grub4dos_images.h"
#include "support/image_drive_table.h"
#include "support/temp_dir.h"

namespace quorvane::testing {
namespace {

constexpr std::int64_t kImageBytes = 48LL << 20;

std::uint32_t Le(const std::string& s, std::size_t at, int bytes) {
  std::uint32_t v = 0;
  for (int b = bytes - 1; b >= 0; --b) v = v << 8 | static_cast<unsigned char>(s[at + b]);
  return v;
}

std::string Head(const std::string& file, std::size_t size) {
  std::string bytes(size, '\0');
  std::ifstream in(file, std::ios::binary);
  in.read(bytes.data(), static_cast<std::streamsize>(size));
  return bytes;
}

TToolCommand Mtools(const std::string& tool, std::vector<std::string> args) {
  TToolCommand command{tool, std::move(args), ""};
  command.Environment = ToolEnvironment();
  command.Environment.push_back("MTOOLS_SKIP_CHECK=1");
  return command;
}

std::string EfiAt(const std::string& image, const TNewDriveLayout& layout) {
  return image + "@@" + std::to_string(layout.EfiStart * 512);
}

// The marker that the EFI partition's grub.cfg looks for; empty when it is not ours.
std::string MarkerFileOf(const std::string& image) {
  const std::string head = Head(image, 512);
  std::uint64_t start = 0, sectors = 0;
  if (!FindEfiPartitionEntry(reinterpret_cast<const unsigned char*>(head.data()), start, sectors))
    return {};
  TSystemToolRunner runner;
  return ReadEfiMarker(runner, image, start);
}

// Partition 2: type 0xEF where the layout puts it, FAT16, with the UEFI boot loader of the
// resources and our grub.cfg; partition 1 stays first and the only active one.
void ExpectEfiPartition(const std::string& image, const std::string& head,
                        const TNewDriveLayout& layout) {
  ASSERT_GT(layout.EfiSectors, 0u);
  EXPECT_EQ(static_cast<unsigned char>(head[446 + 16]), 0x00);  // not active
  EXPECT_EQ(static_cast<unsigned char>(head[450 + 16]), 0xEF);
  EXPECT_EQ(Le(head, 454 + 16, 4), layout.EfiStart);
  EXPECT_EQ(Le(head, 458 + 16, 4), layout.EfiSectors);
  EXPECT_EQ(head.substr(446 + 32, 32), std::string(32, '\0'));
  TSystemToolRunner runner;
  const TToolResult info = runner.Run(Mtools("minfo", {"-i", EfiAt(image, layout), "::"}));
  ASSERT_TRUE(info.Succeeded()) << info.ErrorText();
  EXPECT_NE(info.Output.find("FAT16"), std::string::npos) << info.Output;
  TTempDir out;
  const TToolResult copy = runner.Run(
      Mtools("mcopy", {"-i", EfiAt(image, layout), "::/EFI/BOOT/BOOTX64.EFI", out / "BOOTX64.EFI"}));
  ASSERT_TRUE(copy.Succeeded()) << copy.ErrorText();
  std::string efi, error;
  ASSERT_TRUE(ReadResource("BOOTX64.EFI", efi, error)) << error;
  EXPECT_TRUE(ReadFile(out / "BOOTX64.EFI") == efi) << "BOOTX64.EFI differs from the resource";
  EXPECT_NE(MarkerFileOf(image), "");
}

class ImageDriveTest : public MainThreadTest {
 protected:
  void SetUp() override {
    QUORVANE_SKIP_WITHOUT_GRUB4DOS_IMAGES();
    if (const std::string why = LoopDevicesUnavailable(
            {"losetup", "sfdisk", "wipefs", "blockdev", "mkfs.ntfs", "mkfs.vfat", "mount", "umount"});
        !why.empty())
      GTEST_SKIP() << "no loop devices: " << why;
    ASSERT_TRUE(ReadResource("grldr.mbr", boot_images, error)) << error;
    ASSERT_TRUE(ReadResource("grldr", loader, error)) << error;
    table = MakeImageDriveTable(temp / "mnt");
  }

  void TearDown() override {
    if (table) CloseImageDriveTable(*table, temp.path(), images);
  }

  char Attach(const std::string& name) {
    const std::string image = temp / name;
    images.push_back(image);
    char letter = 0;
    EXPECT_TRUE(table->AttachImageDrive(image, kImageBytes, letter, error)) << error;
    return letter;
  }

  std::string Prepare(char letter, std::uint8_t fs, std::uint8_t mode) {
    auto* creator = new TBootUSBCreator(letter, fs, mode, table);
    creator->Start();
    EXPECT_TRUE(PumpUntil([&] { return creator->Finished(); }, std::chrono::minutes(5)));
    std::string result = creator->ErrorString;
    delete creator;
    PumpPending();
    return result;
  }

  const TUSBDriveSet* Drive(const TUSBDrives& drives, char letter) {
    for (const TUSBDriveSet& d : drives)
      if (d.Letter == letter) return &d;
    return nullptr;
  }

  std::shared_ptr<TUSBDriveLetters> table;
  std::vector<std::string> images;
  std::string boot_images, loader, error;
};

TEST_F(ImageDriveTest, NewNtfsDriveThenAddMode) {
  const char letter = Attach("stick.img");
  ASSERT_NE(letter, 0);
  TUSBDrives drives = table->ListUSBDrives();
  ASSERT_EQ(drives.size(), 1u);
  EXPECT_EQ(drives[0].FileSystem, "");
  EXPECT_EQ(drives[0].FullSize, kImageBytes);
  EXPECT_EQ(drives[0].ImageFile, temp / "stick.img");
  EXPECT_EQ(drives[0].DiskDevice.rfind("/dev/loop", 0), 0u);
  const std::string disk_node = drives[0].DiskDevice;

  ASSERT_EQ(Prepare(letter, FileSystemNTFS, FormatModeNew), "");
  drives = table->ListUSBDrives();
  const TUSBDriveSet* drive = Drive(drives, letter);
  ASSERT_NE(drive, nullptr);
  EXPECT_EQ(drive->FileSystem, "NTFS");
  EXPECT_EQ(drive->IntFileSystem, FileSystemNTFS);
  EXPECT_GT(drive->FreeSpace, 25LL << 20);  // 48 MiB less the 16 MiB EFI partition
  const std::string root = table->RootOf(letter);
  ASSERT_EQ(root, temp / "mnt/" + std::string(1, letter) + "/");
  std::string mounted_as;
  for (const TMountEntry& m : ParseMountInfo(ReadTextFile("/proc/self/mountinfo")))
    if (m.MountPoint + "/" == root) mounted_as = m.FsType;
  // The kernel's driver where it has one (loaded by the mount if need be), else ntfs-3g.
  EXPECT_EQ(mounted_as, KernelHasFileSystem("ntfs3") ? "ntfs3" : "fuseblk");
  EXPECT_EQ(ReadFile(root + "grldr"), loader);
  WriteFile(root + "Quorvane/keep.txt", "kept");
  const std::string image = temp / "stick.img";
  const std::string marker = MarkerFileOf(image);
  EXPECT_TRUE(Exists(root + marker.substr(1))) << "the EFI partition's grub.cfg looks for " << marker;
  ASSERT_EQ(table->ReleaseProgramMounts(), "");
  EXPECT_FALSE(Exists(root + "grldr"));  // unmounted

  std::string head = Head(image, 2 << 20);
  EXPECT_EQ(head.substr(0, 446), boot_images.substr(0, 446));
  EXPECT_EQ(static_cast<unsigned char>(head[446]), 0x80);
  EXPECT_EQ(static_cast<unsigned char>(head[450]), 0x07);
  TNewDriveLayout layout;
  ASSERT_TRUE(PlanNewDriveLayout(kImageBytes, false, layout, error)) << error;
  EXPECT_EQ(Le(head, 454, 4), 2048u);
  EXPECT_EQ(Le(head, 458, 4), layout.MainSectors);
  EXPECT_EQ(head.substr(510, 2), "\x55\xAA");
  ExpectEfiPartition(image, head, layout);
  EXPECT_EQ(head.substr(1024, 7168), boot_images.substr(1024, 7168));
  // The NTFS boot sector knows where it is and a geometry, or GRUB4DOS cannot mount it.
  const std::string boot = head.substr(2048 * 512, 512);
  EXPECT_EQ(boot.substr(3, 8), "NTFS    ");
  EXPECT_EQ(Le(boot, 0x1C, 4), 2048u);
  EXPECT_EQ(Le(boot, 0x1A, 2), 255u);
  EXPECT_EQ(Le(boot, 0x18, 2), 63u);

  // Mode add: a stale loader is replaced, data and partition table stay, sector 1 is
  // never written.
  const std::string sector1(512, '\x5A');
  {
    const int fd = ::open(disk_node.c_str(), O_WRONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::pwrite(fd, sector1.data(), 512, 512), 512);
    ASSERT_EQ(::fsync(fd), 0);
    ::close(fd);
  }
  WriteFile(table->RootOf(letter) + "grldr", "an old loader");
  // Mode add keeps our EFI partition's marker and rewrites its boot loader.
  TSystemToolRunner runner;
  ASSERT_TRUE(runner.Run(Mtools("mdel", {"-i", EfiAt(disk_node, layout), "::/EFI/BOOT/BOOTX64.EFI"})).Succeeded());
  ASSERT_EQ(Prepare(letter, FileSystemNTFS, FormatModeAdd), "");
  EXPECT_EQ(ReadFile(root + "grldr"), loader);
  EXPECT_EQ(MarkerFileOf(image), marker);
  ExpectEfiPartition(image, Head(image, 2 << 20), layout);
  EXPECT_EQ(ReadFile(root + "Quorvane/keep.txt"), "kept");
  ASSERT_EQ(table->ReleaseProgramMounts(), "");
  const std::string after = Head(image, 2 << 20);
  EXPECT_EQ(after.substr(0, 446), boot_images.substr(0, 446));
  EXPECT_EQ(after.substr(446, 66), head.substr(446, 66));
  EXPECT_EQ(after.substr(512, 512), sector1);
  EXPECT_EQ(after.substr(1024, 7168), boot_images.substr(1024, 7168));
}

TEST_F(ImageDriveTest, NewFat32DriveCheckedOnTheImageBytes) {
  const char letter = Attach("fat.img");
  ASSERT_NE(letter, 0);
  const std::string message = Prepare(letter, FileSystemFAT32, FormatModeNew);
  if (KernelHasFileSystem("vfat")) {
    EXPECT_EQ(message, "");
  } else {
    // Formatted and given its boot code; only the loader file needs the kernel's driver.
    EXPECT_EQ(message.rfind("Failed to put grub loader to drive: cannot mount /dev/loop", 0), 0u) << message;
  }
  ASSERT_EQ(table->ReleaseProgramMounts(), "");

  const std::string image = temp / "fat.img";
  const std::string head = Head(image, 64 << 10);
  TNewDriveLayout layout;
  ASSERT_TRUE(PlanNewDriveLayout(kImageBytes, true, layout, error)) << error;
  EXPECT_EQ(head.substr(0, 446), boot_images.substr(0, 446));
  EXPECT_EQ(static_cast<unsigned char>(head[446]), 0x80);
  EXPECT_EQ(static_cast<unsigned char>(head[450]), 0x0C);
  EXPECT_EQ(Le(head, 454, 4), 20u);
  EXPECT_EQ(Le(head, 458, 4), layout.MainSectors);
  EXPECT_EQ(layout.MainSectors % 2048, 0u);  // whole MiB, as before
  EXPECT_EQ(head.substr(1024, 7168), boot_images.substr(1024, 7168));
  EXPECT_EQ(head.substr(10240 + 82, 8), "FAT32   ");

  TSystemToolRunner runner;
  if (!runner.Available("minfo")) GTEST_SKIP() << "mtools is not installed";
  const TToolResult info =
      runner.Run({"env", {"MTOOLS_SKIP_CHECK=1", "minfo", "-i", image + "@@10240", "::"}, ""});
  ASSERT_TRUE(info.Succeeded()) << info.ErrorText();
  for (const char* line : {"hidden sectors: 20", "heads: 255", "sectors per track: 63",
                           "sector size: 512 bytes"})
    EXPECT_NE(info.Output.find(line), std::string::npos) << line << "\n" << info.Output;
  if (KernelHasFileSystem("vfat")) {
    const TToolResult dir =
        runner.Run({"env", {"MTOOLS_SKIP_CHECK=1", "mdir", "-b", "-i", image + "@@10240", "::/"}, ""});
    EXPECT_NE(LowerAscii(dir.Output).find("grldr"), std::string::npos) << dir.Output;
  }
}

// The mount of `root` (ending in "/") as the kernel shows it; none when it is not mounted.
std::optional<TMountEntry> MountAt(const std::string& root) {
  for (const TMountEntry& m : ParseMountInfo(ReadTextFile("/proc/self/mountinfo")))
    if (m.MountPoint + "/" == root) return m;
  return std::nullopt;
}

bool MountedReadOnly(const TMountEntry& m) {
  return m.Options == "ro" || m.Options.rfind("ro,", 0) == 0;
}

// The processes whose command line names `text` (an ntfs-3g serving a mount point).
std::vector<pid_t> ProcessesNaming(const std::string& text) {
  std::vector<pid_t> pids;
  for (const auto& e : std::filesystem::directory_iterator("/proc")) {
    const std::string name = e.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    const std::string line = ReadFile((e.path() / "cmdline").string());
    if (line.find(text) != std::string::npos) pids.push_back(std::stoi(name));
  }
  return pids;
}

// A look at the drives mounts read-only, so that a stick pulled while the program shows it
// is not left unclean; the burn makes the mount read-write.
TEST_F(ImageDriveTest, ALookAtTheDrivesMountsReadOnly) {
  const char letter = Attach("stick.img");
  ASSERT_EQ(Prepare(letter, FileSystemNTFS, FormatModeNew), "");
  ASSERT_EQ(table->ReleaseProgramMounts(), "");
  const TUSBDrives drives = table->ListUSBDrives();
  const TUSBDriveSet* drive = Drive(drives, letter);
  ASSERT_NE(drive, nullptr);
  // The free space is that of the volume, not the 0 of a read-only one: 48 MiB less the
  // 16 MiB EFI partition and what NTFS keeps for itself.
  EXPECT_GT(drive->FreeSpace, 25LL << 20);
  const std::string root = temp / "mnt/" + std::string(1, letter) + "/";
  std::optional<TMountEntry> mount = MountAt(root);
  ASSERT_TRUE(mount.has_value());
  EXPECT_TRUE(MountedReadOnly(*mount)) << mount->Options;
  // The burn's look at the root mounts it read-write, where it was.
  ASSERT_EQ(table->RootOf(letter), root);
  mount = MountAt(root);
  ASSERT_TRUE(mount.has_value());
  EXPECT_FALSE(MountedReadOnly(*mount)) << mount->Options;
  WriteFile(root + "Quorvane/written.txt", "written");
  EXPECT_EQ(ReadFile(root + "Quorvane/written.txt"), "written");
  // A later look keeps the read-write mount as it is.
  table->ListUSBDrives();
  EXPECT_FALSE(MountedReadOnly(*MountAt(root)));
}

// ntfs-3g killed under a mount ("Transport endpoint is not connected"): the next use of the
// drive detaches the dead mount lazily and mounts the volume again, and releasing a dead
// mount succeeds and frees the loop devices.
TEST_F(ImageDriveTest, ADeadNtfsMountIsMountedAgain) {
  if (KernelHasFileSystem("ntfs3")) GTEST_SKIP() << "NTFS is mounted by the kernel here, not by ntfs-3g";
  const char letter = Attach("stick.img");
  ASSERT_EQ(Prepare(letter, FileSystemNTFS, FormatModeNew), "");
  const std::string root = table->RootOf(letter);
  ASSERT_FALSE(root.empty());
  const auto kill_ntfs = [&] {
    const std::string point = root.substr(0, root.size() - 1);
    const std::vector<pid_t> pids = ProcessesNaming(point);
    ASSERT_EQ(pids.size(), 1u);
    ASSERT_EQ(::kill(pids[0], SIGKILL), 0);
    for (int i = 0; i < 100 && !ProcessesNaming(point).empty(); ++i) ::usleep(20000);
    struct stat info {};
    ASSERT_NE(::stat((root + "grldr").c_str(), &info), 0);
    ASSERT_EQ(errno, ENOTCONN);
  };
  kill_ntfs();
  ASSERT_EQ(table->RootOf(letter, error), root) << error;
  EXPECT_EQ(ReadFile(root + "grldr"), loader);
  const TUSBDrives drives = table->ListUSBDrives();
  ASSERT_NE(Drive(drives, letter), nullptr);
  EXPECT_EQ(Drive(drives, letter)->FileSystem, "NTFS");
  EXPECT_GT(Drive(drives, letter)->FreeSpace, 0);

  kill_ntfs();
  EXPECT_EQ(table->ReleaseProgramMounts(), "");
  EXPECT_FALSE(MountAt(root).has_value());
  std::string detach_error;
  EXPECT_TRUE(table->DetachImageDrives(detach_error)) << detach_error;
}

// A run that was killed leaves its mounts and loop devices, listed in its run folder; the
// next run's start detaches them, and leaves the folder of a run that still lives alone.
TEST_F(ImageDriveTest, WhatAKilledRunLeftIsCleanedUp) {
  const pid_t dead = ::fork();
  if (dead == 0) ::_exit(0);
  ASSERT_GT(dead, 0);
  ::waitpid(dead, nullptr, 0);
  TDriveEnvironment env;
  env.ListUsbDisks = false;
  env.RunRoot = temp / "run";
  env.MountRoot = temp / ("run/" + std::to_string(dead));
  {
    // The killed run: an image drive, formatted and mounted, never released.
    auto killed = std::make_shared<TUSBDriveLetters>(env);
    SetDriveLetters(killed);
    const std::string image = temp / "left.img";
    images.push_back(image);
    char letter = 0;
    ASSERT_TRUE(killed->AttachImageDrive(image, kImageBytes, letter, error)) << error;
    auto* creator = new TBootUSBCreator(letter, FileSystemNTFS, FormatModeNew, killed);
    creator->Start();
    ASSERT_TRUE(PumpUntil([&] { return creator->Finished(); }, std::chrono::minutes(5)));
    ASSERT_EQ(creator->ErrorString, "");
    delete creator;
    PumpPending();
    ASSERT_FALSE(killed->RootOf(letter).empty());
    SetDriveLetters(table);
  }
  const std::string folder = env.MountRoot;
  ASSERT_TRUE(Exists(folder + "/loops"));
  // A live run's folder: this process's parent stands for it.
  const std::string live = temp / ("run/" + std::to_string(::getppid()));
  WriteFile(live + "/loops", "loop999 0 /nothing\n");

  TSystemToolRunner runner;
  TDriveEnvironment next;
  next.RunRoot = temp / "run";
  const TDeadRunCleanup cleaned = CleanUpDeadRuns(next, runner);
  EXPECT_EQ(cleaned.Errors, std::vector<std::string>());
  ASSERT_FALSE(cleaned.Done.empty());
  EXPECT_EQ(cleaned.Done[0], "unmounted " + folder + "/a");
  std::size_t detached = 0;
  for (const std::string& done : cleaned.Done)
    if (done.rfind("detached /dev/loop", 0) == 0) ++detached;
  EXPECT_EQ(detached, 2u);  // the image's and its partition's
  for (const TMountEntry& m : ParseMountInfo(ReadTextFile("/proc/self/mountinfo")))
    EXPECT_NE(m.MountPoint.rfind(folder, 0), 0u) << m.MountPoint;
  EXPECT_FALSE(Exists(folder));
  EXPECT_TRUE(Exists(live + "/loops"));
  TSystemToolRunner losetup;
  EXPECT_EQ(losetup.Run({"losetup", {"-j", temp / "left.img"}, ""}).Output, "");
}

TEST_F(ImageDriveTest, AttachingTheSameImageAgainGivesTheSameLetter) {
  const char first = Attach("one.img");
  const char second = Attach("two.img");
  EXPECT_EQ(first, 'a');
  EXPECT_EQ(second, 'b');
  char again = 0;
  ASSERT_TRUE(table->AttachImageDrive(temp / "one.img", 0, again, error)) << error;
  EXPECT_EQ(again, first);
  ASSERT_TRUE(table->DetachImageDrive(temp / "one.img", error)) << error;
  EXPECT_EQ(table->ListUSBDrives().size(), 1u);
  EXPECT_EQ(table->RootOf(first), "");
}

}  // namespace
}  // namespace quorvane::testing
