// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The drive step on a fixture USB disk whose node is a plain file: sfdisk and wipefs are
// the real tools working on that file; mounting and mkfs are faked, and so are the
// failures that cannot be provoked safely.
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "common/constants.h"
#include "common/resources.h"
#include "drive/boot_usb_creator.h"
#include "drive/efi_partition.h"
#include "drive/raw_block_device.h"
#include "drive_fixture.h"
#include "memory_disk.h"
#include "support/main_thread_fixture.h"
#include "support/grub4dos_images.h"

namespace quorvane::testing {
namespace {

constexpr std::uint64_t kDiskBytes = 64ULL << 20;

std::uint32_t Le32(const std::string& s, std::size_t at) {
  std::uint32_t v = 0;
  for (int b = 3; b >= 0; --b) v = v << 8 | static_cast<unsigned char>(s[at + b]);
  return v;
}

class BootUsbCreatorTest : public MainThreadTest {
 protected:
  void SetUp() override {
    QUORVANE_SKIP_WITHOUT_GRUB4DOS_IMAGES();
    ASSERT_TRUE(ReadResource("grldr.mbr", boot_images, error)) << error;
    world.AddDisk({.Name = "sdb", .Dev = "8:16", .Sectors = kDiskBytes / 512, .NodeBytes = kDiskBytes});
    // A stick as sold: one FAT32 partition, mounted by the desktop.
    std::string sector0(512, '\0');
    sector0[446 + 4] = 0x0C;
    sector0[446 + 8] = 0x00;
    sector0[446 + 9] = 0x08;  // start 2048
    sector0[446 + 12] = 0x00;
    sector0[446 + 14] = 0x01;  // 65536 sectors
    sector0[510] = '\x55';
    sector0[511] = '\xAA';
    WriteBytes(0, sector0);
    world.AddPartition("sdb", 1, 2048, 129024, "8:17");
    world.Prober->Volumes[world.Node("sdb1")] = {"vfat", "FAT32", "OLD", "1111-2222"};
    world.AddMount("8:17", temp / "media", "vfat", "/dev/sdb1");
    std::filesystem::create_directories(temp / "media");

    // The real tools on the plain file.
    const auto real = [this](const TToolCommand& c) { return real_runner.Run(c); };
    world.Runner->On("sfdisk", real);
    world.Runner->On("wipefs", real);
    // Re-reading the table makes the kernel show what sfdisk wrote.
    world.Runner->On("blockdev", [this](const TToolCommand&) {
      const std::string mbr = Sector0();
      world.RemoveDisk("sdb");
      world.AddDisk({.Name = "sdb", .Dev = "8:16", .Sectors = kDiskBytes / 512});
      if (mbr[446 + 4] != 0) world.AddPartition("sdb", 1, Le32(mbr, 454), Le32(mbr, 458), "8:17");
      return ToolOk();
    });
    const auto mkfs = [this](const TToolCommand&) {
      world.Prober->Volumes[world.Node("sdb1")] = new_volume;
      return ToolOk();
    };
    world.Runner->On("mkfs.ntfs", mkfs);
    world.Runner->On("mkfs.vfat", mkfs);
    table = world.MakeTable();
    SetDriveLetters(table);
    ASSERT_EQ(table->ListUSBDrives().size(), 1u);
    world.Runner->Calls.clear();
  }

  // A skipped SetUp made no table.
  void TearDown() override {
    if (table) {
      EXPECT_EQ(table->ReleaseProgramMounts(), "");
    }
  }

  void WriteBytes(std::uint64_t at, const std::string& bytes) {
    std::fstream f(world.Node("sdb"), std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(static_cast<std::streamoff>(at));
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
  // The disk's first bytes: the boot code's sectors and the start of the first partition.
  std::string Head(std::size_t size = 1 << 20) {
    std::string bytes(size, '\0');
    std::ifstream in(world.Node("sdb"), std::ios::binary);
    in.read(bytes.data(), static_cast<std::streamsize>(size));
    return bytes;
  }
  std::string Sector0() { return Head(512); }

  std::string Prepare(char letter, std::uint8_t fs, std::uint8_t mode,
                      const std::function<void(TBootUSBCreator&)>& configure = {}) {
    auto* creator = new TBootUSBCreator(letter, fs, mode, table);
    creator->FreeOnTerminate = false;
    if (configure) configure(*creator);
    creator->Start();
    EXPECT_TRUE(PumpUntil([&] { return creator->Finished(); }));
    std::string result = creator->ErrorString;
    delete creator;
    PumpPending();
    return result;
  }

  // Mode new with the capacity check, the disk opened by `opener`; the steps it reported
  // go to `steps`.
  std::string PrepareChecked(std::uint8_t fs, const TRawDeviceOpener& opener,
                             std::vector<std::string>& steps) {
    return Prepare('a', fs, FormatModeNew, [&](TBootUSBCreator& creator) {
      creator.Options.CheckCapacity = true;
      creator.RawDeviceOpener = opener;
      creator.OnProgress = [&steps](const std::string& step, std::int32_t) {
        if (steps.empty() || steps.back() != step) steps.push_back(step);
      };
    });
  }

  TTempDir temp;
  TDriveWorld world{temp / "world/"};
  TSystemToolRunner real_runner;
  std::shared_ptr<TUSBDriveLetters> table;
  TVolumeProbe new_volume{"ntfs", "", "", "NEW-UUID"};
  std::string boot_images, error;
};

TEST_F(BootUsbCreatorTest, NewNtfsDrive) {
  ASSERT_EQ(Prepare('a', FileSystemNTFS, FormatModeNew), "");
  const std::string root = world.MountRoot() + "/a";
  const std::string node = world.Node("sdb");
  const std::string part = world.Node("sdb1");
  TNewDriveLayout layout;
  ASSERT_TRUE(PlanNewDriveLayout(kDiskBytes, false, layout, error));
  const std::string efi_start = std::to_string(layout.EfiStart);
  const std::string efi_kib = std::to_string(layout.EfiSectors / 2);
  const std::string efi_at = node + "@@" + std::to_string(layout.EfiStart * 512);
  // grub.cfg is copied from a private folder of a name of its own.
  std::string grub_cfg;
  const std::string cfg_end = " ::/EFI/BOOT/grub.cfg";
  for (const std::string& call : world.Runner->Calls) {
    const std::size_t from = call.find(" -o "), end = call.rfind(cfg_end);
    if (from != std::string::npos && end != std::string::npos && end + cfg_end.size() == call.size())
      grub_cfg = call.substr(from + 4, end - from - 4);
  }
  EXPECT_NE(grub_cfg.find("/quorvane-efi-"), std::string::npos) << grub_cfg;
  EXPECT_EQ(world.Runner->Calls,
            (std::vector<std::string>{
                "umount " + (temp / "media"),
                "wipefs --all " + part,
                "wipefs --all " + node,
                "sfdisk --wipe always --wipe-partitions always " + node,
                "blockdev --rereadpt " + node,
                "wipefs --all " + part,
                "mkfs.ntfs --quick -p 2048 -H 255 -S 63 " + part,
                "ntfs-3g -o rw,nosuid,nodev,big_writes " + part + " " + root,
                // The EFI partition after it, made and filled through the disk's node.
                "mkfs.fat -F 16 -n QUORVANEEFI -I --offset " + efi_start + " -h " + efi_start +
                    " " + node + " " + efi_kib,
                "mdir -i " + efi_at + " -b ::/EFI/BOOT",
                "mcopy -i " + efi_at + " -o " + ResourcePath("BOOTX64.EFI") + " ::/EFI/BOOT/BOOTX64.EFI",
                "mcopy -i " + efi_at + " -o " + grub_cfg + " ::/EFI/BOOT/grub.cfg",
            }));
  // Partition 2, the EFI partition; our marker on the main partition.
  EXPECT_EQ(static_cast<unsigned char>(Sector0()[450 + 16]), 0xEF);
  EXPECT_EQ(Le32(Sector0(), 454 + 16), layout.EfiStart);
  bool marker = false;
  for (const auto& e : std::filesystem::directory_iterator(root + "/Quorvane"))
    marker |= e.path().filename().string().rfind("efi-", 0) == 0;
  EXPECT_TRUE(marker) << "no marker file in " << root << "/Quorvane";
  const std::string s = Sector0();
  EXPECT_EQ(s.substr(0, 446), boot_images.substr(0, 446));
  EXPECT_EQ(static_cast<unsigned char>(s[446]), 0x80);
  EXPECT_EQ(static_cast<unsigned char>(s[450]), 0x07);
  EXPECT_EQ(Le32(s, 454), 2048u);
  EXPECT_EQ(Head().substr(1024, 7168), boot_images.substr(1024, 7168));
  std::string loader;
  ASSERT_TRUE(ReadResource("grldr", loader, error));
  EXPECT_EQ(ReadFile(root + "/grldr"), loader);
  // The new volume under the same letter.
  const TUSBDrives drives = table->ListUSBDrives();
  ASSERT_EQ(drives.size(), 1u);
  EXPECT_EQ(drives[0].Letter, 'a');
  EXPECT_EQ(drives[0].FileSystem, "NTFS");
}

TEST_F(BootUsbCreatorTest, NewFat32Drive) {
  new_volume = {"vfat", "FAT32", "", "ABCD-0123"};
  ASSERT_EQ(Prepare('a', FileSystemFAT32, FormatModeNew), "");
  const std::vector<std::string> mkfs = world.Runner->CallsOf("mkfs.vfat");
  EXPECT_EQ(mkfs, std::vector<std::string>{"mkfs.vfat -F 32 -h 20 -g 255/63 " + world.Node("sdb1")});
  const std::string s = Sector0();
  EXPECT_EQ(static_cast<unsigned char>(s[450]), 0x0C);
  EXPECT_EQ(Le32(s, 454), 20u);
  TNewDriveLayout layout;
  ASSERT_TRUE(PlanNewDriveLayout(kDiskBytes, true, layout, error));
  EXPECT_EQ(Le32(s, 458), layout.MainSectors);
  EXPECT_EQ(world.Runner->CallsOf("mkfs.fat").size(), 1u);
  EXPECT_EQ(world.Runner->CallsOf("mount").back(),
            "mount -t vfat -o rw,nosuid,nodev " + world.Node("sdb1") + " " + world.MountRoot() + "/a");
}

TEST_F(BootUsbCreatorTest, TheCapacityCheckComesBeforeTheDriveIsRepartitioned) {
  const std::string before = Head();
  std::size_t calls_when_opened = 0;
  std::string opened;
  const TRawDeviceOpener opener = [&](const std::string& node, const std::string& dev,
                                      std::string& error) {
    calls_when_opened = world.Runner->Calls.size();
    opened = node + " " + dev;
    return OpenRawBlockDevice(node, dev, error);  // the node is a plain file here
  };
  std::vector<std::string> steps;
  ASSERT_EQ(PrepareChecked(FileSystemNTFS, opener, steps), "");
  EXPECT_EQ(opened, world.Node("sdb") + " 8:16");
  // Opened once the disk's volume was unmounted, and before anything else ran.
  ASSERT_GE(world.Runner->Calls.size(), 2u);
  EXPECT_EQ(calls_when_opened, 1u);
  EXPECT_EQ(world.Runner->Calls[0], "umount " + (temp / "media"));
  EXPECT_EQ(steps, (std::vector<std::string>{"Checking capacity...", "Formatting..."}));
  EXPECT_EQ(world.Runner->CallsOf("sfdisk").size(), 1u);
  EXPECT_EQ(world.Runner->CallsOf("mkfs.ntfs").size(), 1u);
  EXPECT_NE(Head(), before);
}

TEST_F(BootUsbCreatorTest, ADriveThatFailsTheCapacityCheckIsNotRepartitioned) {
  const std::string before = Head();
  std::vector<std::string> steps;
  const TRawDeviceOpener fake = [](const std::string&, const std::string&, std::string&) {
    return std::make_unique<TMemoryDisk>(16LL << 30, 1LL << 30, TFakeKind::Wraps);
  };
  const std::string message = PrepareChecked(FileSystemFAT32, fake, steps);
  EXPECT_EQ(message.rfind("This drive holds only about 1.0 GiB of the 16.0 GiB it claims: ", 0), 0u)
      << message;
  EXPECT_TRUE(message.ends_with(" The drive was not repartitioned.")) << message;
  EXPECT_EQ(steps, std::vector<std::string>{"Checking capacity..."});
  EXPECT_EQ(world.Runner->Calls, std::vector<std::string>{"umount " + (temp / "media")});
  EXPECT_EQ(Head(), before);

  // A disk that cannot be opened fails the check the same way.
  const TRawDeviceOpener refusing = [](const std::string& node, const std::string&,
                                       std::string& error) -> std::unique_ptr<IRawBlockDevice> {
    error = node + " is in use: a volume of it is still mounted";
    return nullptr;
  };
  world.Runner->Calls.clear();
  EXPECT_EQ(PrepareChecked(FileSystemFAT32, refusing, steps),
            "The capacity check failed: " + world.Node("sdb") +
                " is in use: a volume of it is still mounted. The drive was not repartitioned.");
  EXPECT_TRUE(world.Runner->CallsOf("sfdisk").empty());
  EXPECT_EQ(Head(), before);
}

TEST_F(BootUsbCreatorTest, AddModeTouchesOnlyTheBootCode) {
  const std::string before = Sector0();
  ASSERT_EQ(Prepare('a', FileSystemNTFS, FormatModeAdd), "");
  for (const std::string& call : world.Runner->Calls) {
    EXPECT_EQ(call.find("sfdisk"), std::string::npos);
    EXPECT_EQ(call.find("mkfs"), std::string::npos);
    EXPECT_EQ(call.find("wipefs"), std::string::npos);
  }
  const std::string after = Sector0();
  EXPECT_EQ(after.substr(0, 446), boot_images.substr(0, 446));
  EXPECT_EQ(after.substr(446), before.substr(446));
  // The desktop's mount is used as it is.
  EXPECT_TRUE(Exists(temp / "media/grldr"));
}

// A run killed between an entry's copy and its menu item left the entry's folder: the next
// burn in mode add removes it, and keeps every folder a menu item points into.
TEST_F(BootUsbCreatorTest, AddModeRemovesTheFoldersOfEntriesThatNoMenuNames) {
  const std::string kept = "0A1B2C3D-0000-4000-8000-00000000000A";
  const std::string orphan = "0A1B2C3D-0000-4000-8000-00000000000B";
  WriteFile(temp / ("media/Quorvane/" + kept + "/krd.iso"), "kept");
  WriteFile(temp / ("media/Quorvane/" + orphan + "/big.iso"), "left by a killed run");
  WriteFile(temp / "media/menu.lst",
            "\r\ntitle krd\r\nconfigfile (hd0,0)/Quorvane/" + kept + "/krd.lst\r\n");
  ASSERT_EQ(Prepare('a', FileSystemNTFS, FormatModeAdd), "");
  EXPECT_TRUE(Exists(temp / ("media/Quorvane/" + kept + "/krd.iso")));
  EXPECT_FALSE(Exists(temp / ("media/Quorvane/" + orphan)));
  EXPECT_TRUE(Exists(temp / "media/Quorvane/NTBOOT"));
}

TEST_F(BootUsbCreatorTest, AFileSystemChoiceOtherThanFatOrNtfsFormatsNothing) {
  ASSERT_EQ(Prepare('a', FileSystemOther, FormatModeNew), "");
  EXPECT_TRUE(world.Runner->CallsOf("sfdisk").empty());
  EXPECT_EQ(Sector0().substr(0, 446), boot_images.substr(0, 446));
}

struct TFailingTool {
  const char* tool;
  const char* error_output;
};

void PrintTo(const TFailingTool& c, std::ostream* out) { *out << c.tool; }

class FailingToolTest : public BootUsbCreatorTest,
                        public ::testing::WithParamInterface<TFailingTool> {};

TEST_P(FailingToolTest, StopsTheDriveStepBeforeTheBootCode) {
  const TFailingTool c = GetParam();
  world.Runner->On(c.tool, [&](const TToolCommand&) { return ToolFailed(c.error_output, 1); });
  const std::string message = Prepare('a', FileSystemNTFS, FormatModeNew);
  // The step's message, then the tool's own error text and its command line.
  EXPECT_EQ(message.rfind("Failed to format drive... ", 0), 0u) << message;
  EXPECT_NE(message.find(std::string(c.error_output) + " [/usr/sbin/" + c.tool + " "), std::string::npos)
      << message;
  EXPECT_NE(message.find(": exit status 1]"), std::string::npos) << message;
  EXPECT_NE(Sector0().substr(0, 446), boot_images.substr(0, 446));
  EXPECT_TRUE(world.Runner->CallsOf("ntfs-3g").empty());
}

INSTANTIATE_TEST_SUITE_P(
    Tools, FailingToolTest,
    ::testing::Values(
        TFailingTool{"umount", "umount: /media: target is busy."},
        TFailingTool{"wipefs", "wipefs: error: /dev/sdb: probing initialization failed: Device or resource busy"},
        TFailingTool{"sfdisk", "sfdisk: cannot open /dev/sdb: Read-only file system"},
        TFailingTool{"blockdev", "blockdev: ioctl error on BLKRRPART: Device or resource busy"},
        TFailingTool{"mkfs.ntfs", "Error opening '/dev/sdb1': Input/output error"}),
    [](const ::testing::TestParamInfo<TFailingTool>& info) {
      std::string name = info.param.tool;
      std::erase(name, '.');
      return name;
    });

TEST_F(BootUsbCreatorTest, APartitionThatDoesNotAppearFailsTheStep) {
  world.Runner->On("blockdev", [](const TToolCommand&) { return ToolOk(); });
  world.RemoveDisk("sdb");
  world.AddDisk({.Name = "sdb", .Dev = "8:16", .Sectors = kDiskBytes / 512});
  // The letter's volume is gone with the old partition; a blank disk is one volume.
  table->ListUSBDrives();
  const std::string message = Prepare('b', FileSystemNTFS, FormatModeNew);
  EXPECT_EQ(message, "Failed to format drive... partition 1 does not appear on " + world.Node("sdb"));
}

TEST_F(BootUsbCreatorTest, RefusalsBeforeAnyToolRuns) {
  // A letter that names nothing.
  EXPECT_EQ(Prepare('q', FileSystemNTFS, FormatModeNew), "Selected Drive not found...");
  // A missing tool.
  world.Runner->Missing("mkfs.ntfs");
  EXPECT_EQ(Prepare('a', FileSystemNTFS, FormatModeNew),
            "Failed to start diskpart... mkfs.ntfs is not installed");
  EXPECT_TRUE(world.Runner->Calls.empty());
}

TEST_F(BootUsbCreatorTest, TheDiskOfTheRunningSystemIsNeverWritten) {
  const std::string before = Head();
  world.AddPartition("sdb", 2, 131072, 2048, "8:18");
  world.SetSwaps({"/dev/sdb2"});
  EXPECT_EQ(Prepare('a', FileSystemNTFS, FormatModeNew),
            "Failed to format drive... " + world.Node("sdb") +
                " holds the running system (the swap area /dev/sdb2 is active on it)");
  EXPECT_EQ(Prepare('a', FileSystemNTFS, FormatModeAdd), "Can't obtain handle to physical drive");
  EXPECT_TRUE(world.Runner->Calls.empty());
  EXPECT_EQ(Head(), before);
}

TEST_F(BootUsbCreatorTest, AFat32DiskOfUnknownSizeIsNotPartitioned) {
  world.RemoveDisk("sdb");
  world.AddDisk({.Name = "sdb", .Dev = "8:16", .Sectors = std::nullopt});
  world.AddPartition("sdb", 1, 2048, 129024, "8:17");
  EXPECT_EQ(Prepare('a', FileSystemFAT32, FormatModeNew),
            "Failed to format drive... the size of " + world.Node("sdb") + " cannot be read");
  EXPECT_TRUE(world.Runner->CallsOf("sfdisk").empty());
}

TEST(CreateDrivePreparationTest, WithoutAUsbDriveTableTheDriveIsRefused) {
  TMessageQueue queue;
  SetMainThreadDispatcher(&queue);
  SetDriveLetters(std::make_shared<TFolderDriveLetters>());
  for (const std::uint8_t mode : {FormatModeNew, FormatModeAdd}) {
    std::unique_ptr<TDrivePreparation> step = CreateDrivePreparation('e', FileSystemNTFS, mode);
    step->Start();
    step->WaitFor();
    EXPECT_EQ(step->ErrorString, mode == FormatModeNew ? "Selected Drive not found..."
                                                       : "Can't obtain handle to physical drive");
  }
  queue.DispatchWaiting();
  SetDriveLetters(nullptr);
  SetMainThreadDispatcher(nullptr);
}

}  // namespace
}  // namespace quorvane::testing
