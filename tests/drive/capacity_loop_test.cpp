// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The capacity check through the real kernel: a loop device over a file of a FUSE file
// system that the test serves itself, whose bytes wrap around past 1 GiB of the 8 GiB it
// claims, is found out before anything is repartitioned, and nothing of what it really
// holds is changed; an honest loop device over a plain file passes and is formatted.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "common/constants.h"
#include "common/tool_runner.h"
#include "drive/boot_usb_creator.h"
#include "drive/linux_mount_table.h"
#include "drive/usb_drive_letters.h"
#include "fuse_disk_file.h"
#include "memory_disk.h"
#include "support/grub4dos_images.h"
#include "support/image_drive_table.h"
#include "support/loop_devices.h"
#include "support/main_thread_fixture.h"

namespace quorvane::testing {
namespace {

constexpr std::int64_t kGiB = 1LL << 30;

class CapacityLoopTest : public MainThreadTest {
 protected:
  void SetUp() override {
    if (const std::string why = LoopDevicesUnavailable({"losetup", "umount"}); !why.empty())
      GTEST_SKIP() << "no loop devices: " << why;
    table = MakeImageDriveTable(temp / "mnt");
  }

  void TearDown() override {
    if (table) CloseImageDriveTable(*table, temp / "mnt", images);
  }

  char Attach(const std::string& image, std::int64_t create_size) {
    images.push_back(image);
    char letter = 0;
    std::string error;
    EXPECT_TRUE(table->AttachImageDrive(image, create_size, letter, error)) << error;
    return letter;
  }

  // Mode new with the capacity check; the steps the drive step reported go to `steps`.
  std::string PrepareChecked(char letter, std::uint8_t fs, std::vector<std::string>& steps) {
    auto* creator = new TBootUSBCreator(letter, fs, FormatModeNew, table);
    creator->FreeOnTerminate = false;
    creator->Options.CheckCapacity = true;
    creator->OnProgress = [&steps](const std::string& step, std::int32_t) {
      if (steps.empty() || steps.back() != step) steps.push_back(step);
    };
    creator->Start();
    EXPECT_TRUE(PumpUntil([&] { return creator->Finished(); }, std::chrono::minutes(5)));
    std::string result = creator->ErrorString;
    delete creator;
    PumpPending();
    return result;
  }

  std::shared_ptr<TUSBDriveLetters> table;
  std::vector<std::string> images;
};

TEST_F(CapacityLoopTest, ALoopDeviceThatWrapsPastItsRealSizeIsFoundOut) {
  TMemoryDisk store(8 * kGiB, 1 * kGiB, TFakeKind::Wraps, 1);
  std::filesystem::create_directories(temp / "fuse");
  std::string message, fuse_errors;
  std::vector<std::string> steps;
  {
    TFuseDiskFile fuse(temp / "fuse", store);
    if (!fuse.Unavailable().empty()) GTEST_SKIP() << "no FUSE file system: " << fuse.Unavailable();
    const char letter = Attach(fuse.File(), 0);
    ASSERT_NE(letter, 0);
    message = PrepareChecked(letter, FileSystemFAT32, steps);
    // The loop device goes before the file system under it.
    std::string error;
    EXPECT_TRUE(table->DetachImageDrive(fuse.File(), error)) << error;
    images.clear();
    fuse_errors = fuse.Errors();
  }
  EXPECT_EQ(fuse_errors, "");
  EXPECT_EQ(message.rfind("This drive holds only about 1.0 GiB of the 8.0 GiB it claims: ", 0), 0u)
      << message;
  EXPECT_TRUE(message.ends_with(" The drive was not repartitioned.")) << message;
  EXPECT_EQ(steps, std::vector<std::string>{"Checking capacity..."});
  // The check's writes went through the loop device to the file, and what the drive
  // really holds is as it was.
  EXPECT_GT(store.Writes, 200);
  EXPECT_EQ(store.ChangedStorage(), std::vector<std::int64_t>{});
}

TEST_F(CapacityLoopTest, AnHonestLoopDevicePassesAndIsFormatted) {
  QUORVANE_SKIP_WITHOUT_GRUB4DOS_IMAGES();
  // NTFS: this machine may have no FAT driver to mount the new volume with.
  for (const char* tool : {"mkfs.ntfs", "ntfs-3g", "sfdisk", "wipefs", "blockdev", "mount"})
    if (FindTool(tool).empty()) GTEST_SKIP() << tool << " is not installed";
  const char letter = Attach(temp / "honest.img", 256LL << 20);
  ASSERT_NE(letter, 0);
  std::vector<std::string> steps;
  EXPECT_EQ(PrepareChecked(letter, FileSystemNTFS, steps), "");
  EXPECT_EQ(steps, (std::vector<std::string>{"Checking capacity...", "Formatting..."}));
  const TUSBDrives drives = table->ListUSBDrives();
  ASSERT_EQ(drives.size(), 1u);
  EXPECT_EQ(drives[0].Letter, letter);
  EXPECT_EQ(drives[0].FileSystem, "NTFS");
}

}  // namespace
}  // namespace quorvane::testing
