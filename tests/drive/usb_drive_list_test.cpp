// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The drive list from fixture sysfs trees: which disks are listed, what each record says,
// how letters stay with their volumes, and which disks are protected.
#include <gtest/gtest.h>

#include <filesystem>

#include "common/constants.h"
#include "drive/linux_mount_table.h"
#include "drive/linux_protected_disks.h"
#include "drive/usb_drives.h"
#include "drive_fixture.h"
#include "support/temp_dir.h"

namespace quorvane::testing {
namespace {

TVolumeProbe Fs(const std::string& type, const std::string& version = "",
                const std::string& label = "", const std::string& uuid = "1234-ABCD") {
  return TVolumeProbe{type, version, label, uuid};
}

class UsbDriveListTest : public ::testing::Test {
 protected:
  // A USB stick with one NTFS partition.
  void AddStick(const std::string& name, int major_minor, const std::string& serial, int port,
                const std::string& label, const std::string& uuid) {
    const std::string dev = "8:" + std::to_string(major_minor);
    world.AddDisk({.Name = name, .Dev = dev, .Serial = serial, .UsbPort = port});
    world.AddPartition(name, 1, 2048, 2000000, "8:" + std::to_string(major_minor + 1));
    world.Prober->Volumes[world.Node(name + "1")] = Fs("ntfs", "", label, uuid);
  }

  TTempDir temp;
  TDriveWorld world{temp.path()};
};

TEST(IntFileSystemTest, CodesFollowTheExactNames) {
  const struct {
    const char* name;
    std::uint8_t code;
  } cases[] = {{"FAT32", FileSystemFAT32}, {"exFAT", FileSystemFAT32}, {"NTFS", FileSystemNTFS},
               {"FAT", FileSystemOther},   {"ntfs", FileSystemOther},   {"fat32", FileSystemOther},
               {"EXFAT", FileSystemOther}, {"ext4", FileSystemOther},   {"", FileSystemOther}};
  for (const auto& c : cases) EXPECT_EQ(IntFileSystemOf(c.name), c.code) << c.name;
}

TEST(FileSystemNameTest, BlkidTypesBecomeTheNamesTheProgramTestsFor) {
  EXPECT_EQ(FileSystemName(Fs("vfat", "FAT32")), "FAT32");
  EXPECT_EQ(FileSystemName(Fs("vfat", "FAT16")), "FAT");
  EXPECT_EQ(FileSystemName(Fs("vfat", "FAT12")), "FAT");
  EXPECT_EQ(FileSystemName(Fs("exfat")), "exFAT");
  EXPECT_EQ(FileSystemName(Fs("ntfs")), "NTFS");
  EXPECT_EQ(FileSystemName(Fs("ext4")), "ext4");
  EXPECT_EQ(FileSystemName(TVolumeProbe{}), "");
}

TEST_F(UsbDriveListTest, RecordsOfTheUsualSticksAndDisks) {
  // A FAT32 stick without a label, mounted by the desktop.
  world.AddDisk({.Name = "sdb", .Dev = "8:16", .Sectors = 15625000});
  world.AddPartition("sdb", 1, 2048, 15622952, "8:17");
  world.Prober->Volumes[world.Node("sdb1")] = Fs("vfat", "FAT32");
  world.AddMount("8:17", temp / "media stick", "vfat", "/dev/sdb1");
  std::filesystem::create_directories(temp / "media stick");
  // An exFAT stick with a label, a FAT16 stick, a USB disk with two partitions.
  world.AddDisk({.Name = "sdc", .Dev = "8:32", .Serial = "S2", .UsbPort = 2});
  world.AddPartition("sdc", 1, 2048, 2000000, "8:33");
  world.Prober->Volumes[world.Node("sdc1")] = Fs("exfat", "", "PHOTOS");
  world.AddDisk({.Name = "sdd", .Dev = "8:48", .Serial = "S3", .UsbPort = 3});
  world.AddPartition("sdd", 1, 63, 2000000, "8:49");
  world.Prober->Volumes[world.Node("sdd1")] = Fs("vfat", "FAT16", "OLD");
  world.AddDisk({.Name = "sde", .Dev = "8:64", .Sectors = 1953525168, .Vendor = "WD",
                 .Model = "Elements", .Serial = "S4", .UsbPort = 4});
  world.AddPartition("sde", 1, 2048, 1000000, "8:65");
  world.AddPartition("sde", 2, 1002048, 900000000, "8:66");
  world.Prober->Volumes[world.Node("sde1")] = Fs("ntfs", "", "BACKUP");
  world.Prober->Volumes[world.Node("sde2")] = Fs("ext4");
  // Never listed: an internal SATA disk and an SD card on a PCI reader.
  world.AddDisk({.Name = "sda", .Dev = "8:0", .Bus = TBus::Sata});
  world.AddPartition("sda", 1, 2048, 1000000, "8:1");
  world.Prober->Volumes[world.Node("sda1")] = Fs("vfat", "FAT32");
  world.AddDisk({.Name = "mmcblk0", .Dev = "179:0", .Bus = TBus::Mmc});
  world.AddPartition("mmcblk0", 1, 8192, 1000000, "179:1");
  world.Prober->Volumes[world.Node("mmcblk0p1")] = Fs("vfat", "FAT32");

  auto table = world.MakeTable();
  const TUSBDrives drives = table->ListUSBDrives();
  ASSERT_EQ(drives.size(), 5u);

  EXPECT_EQ(drives[0].Letter, 'a');
  EXPECT_EQ(drives[0].Name, "removable drive");
  EXPECT_EQ(drives[0].FileSystem, "FAT32");
  EXPECT_EQ(drives[0].IntFileSystem, FileSystemFAT32);
  EXPECT_EQ(drives[0].FullSize, 15625000LL * 512);
  EXPECT_GT(drives[0].FreeSpace, 0);  // the folder it is mounted on
  EXPECT_EQ(drives[0].MountPoint, temp / "media stick");
  EXPECT_EQ(drives[0].VolumeDevice, world.Node("sdb1"));
  EXPECT_EQ(drives[0].DiskDevice, world.Node("sdb"));
  EXPECT_EQ(drives[0].Vendor, "Kingston");
  EXPECT_EQ(drives[0].Model, "DataTraveler 3.0");
  EXPECT_EQ(drives[0].Serial, "E0D55EA5");
  EXPECT_FALSE(drives[0].IsDKeyUSB);

  EXPECT_EQ(drives[1].Name, "PHOTOS");
  EXPECT_EQ(drives[1].FileSystem, "exFAT");
  EXPECT_EQ(drives[1].IntFileSystem, FileSystemFAT32);
  EXPECT_EQ(drives[2].FileSystem, "FAT");
  EXPECT_EQ(drives[2].IntFileSystem, FileSystemOther);

  // Both volumes of the USB disk carry the length of the whole disk.
  EXPECT_EQ(drives[3].FileSystem, "NTFS");
  EXPECT_EQ(drives[3].IntFileSystem, FileSystemNTFS);
  EXPECT_EQ(drives[4].FileSystem, "ext4");
  EXPECT_EQ(drives[3].FullSize, 1953525168LL * 512);
  EXPECT_EQ(drives[4].FullSize, 1953525168LL * 512);
  // An ext4 volume is not mounted by the program: its free space is unknown.
  EXPECT_EQ(drives[4].FreeSpace, -1);
  for (std::size_t i = 1; i < drives.size(); ++i) EXPECT_LT(drives[i - 1].Letter, drives[i].Letter);
}

TEST_F(UsbDriveListTest, AVolumeIsMountedOnDemandWithTheDriverForItsFileSystem) {
  world.AddDisk({.Name = "sdb", .Dev = "8:16"});
  world.AddPartition("sdb", 1, 2048, 2000000, "8:17");
  world.Prober->Volumes[world.Node("sdb1")] = Fs("vfat", "FAT32");
  world.AddDisk({.Name = "sdc", .Dev = "8:32", .Serial = "S2", .UsbPort = 2});
  world.AddPartition("sdc", 1, 2048, 2000000, "8:33");
  world.Prober->Volumes[world.Node("sdc1")] = Fs("ntfs");
  auto table = world.MakeTable();

  const TUSBDrives drives = table->ListUSBDrives();
  ASSERT_EQ(drives.size(), 2u);
  EXPECT_GT(drives[0].FreeSpace, 0);
  EXPECT_EQ(drives[0].MountPoint, world.MountRoot() + "/a");
  // A look at the drives mounts read-only.
  EXPECT_EQ(world.Runner->CallsOf("mount"),
            std::vector<std::string>{"mount -t vfat -o ro,nosuid,nodev " + world.Node("sdb1") + " " +
                                     world.MountRoot() + "/a"});
  // Without ntfs3 in the kernel NTFS goes through ntfs-3g with big writes.
  EXPECT_EQ(world.Runner->CallsOf("ntfs-3g"),
            std::vector<std::string>{"ntfs-3g -o ro,nosuid,nodev,big_writes " + world.Node("sdc1") +
                                     " " + world.MountRoot() + "/b"});
  // The root a burn asks for is mounted read-write, in the same place.
  EXPECT_EQ(table->RootOf('b'), world.MountRoot() + "/b/");
  EXPECT_EQ(world.Runner->CallsOf("ntfs-3g").back(),
            "ntfs-3g -o rw,nosuid,nodev,big_writes " + world.Node("sdc1") + " " +
                world.MountRoot() + "/b");
  EXPECT_EQ(table->RootOf('b'), world.MountRoot() + "/b/");
  EXPECT_EQ(world.Runner->CallsOf("ntfs-3g").size(), 2u);
  EXPECT_EQ(table->LetterOfPath(world.MountRoot() + "/b/Quorvane/x.iso"), 'b');

  // Released: synced, unmounted, folders gone; the letters stay and mount again.
  EXPECT_EQ(table->ReleaseProgramMounts(), "");
  EXPECT_EQ(world.MountInfo(), "");
  EXPECT_FALSE(Exists(world.MountRoot() + "/a"));
  world.SetFileSystems({"vfat", "ntfs3"});
  EXPECT_EQ(table->RootOf('b'), world.MountRoot() + "/b/");
  EXPECT_EQ(world.Runner->CallsOf("mount").back(),
            "mount -t ntfs3 -o rw,nosuid,nodev " + world.Node("sdc1") + " " + world.MountRoot() + "/b");
  EXPECT_EQ(table->ReleaseProgramMounts(), "");
}

TEST_F(UsbDriveListTest, AFailedMountOrUnmountIsReported) {
  world.AddDisk({.Name = "sdb", .Dev = "8:16"});
  world.AddPartition("sdb", 1, 2048, 2000000, "8:17");
  world.Prober->Volumes[world.Node("sdb1")] = Fs("vfat", "FAT32");
  world.Runner->On("mount", [](const TToolCommand&) {
    return ToolFailed("mount: /run/x: unknown filesystem type 'vfat'.", 32);
  });
  auto table = world.MakeTable();
  const TUSBDrives drives = table->ListUSBDrives();
  ASSERT_EQ(drives.size(), 1u);
  EXPECT_EQ(drives[0].FreeSpace, -1);
  std::string error;
  EXPECT_EQ(table->RootOf('a', error), "");
  EXPECT_NE(error.find("unknown filesystem type 'vfat'"), std::string::npos) << error;
  EXPECT_FALSE(Exists(world.MountRoot() + "/a"));

  // A busy volume stays mounted and the release says so.
  world.Runner->On("mount", [&](const TToolCommand& c) {
    world.AddMount("0:77", c.Args.back(), "vfat", c.Args[c.Args.size() - 2]);
    return ToolOk();
  });
  ASSERT_NE(table->RootOf('a'), "");
  world.Runner->On("umount", [](const TToolCommand& c) {
    return ToolFailed("umount: " + c.Args.back() + ": target is busy.", 32);
  });
  const std::string release = table->ReleaseProgramMounts();
  EXPECT_NE(release.find("target is busy"), std::string::npos) << release;
}

TEST_F(UsbDriveListTest, UnknownSizeListsTheDriveWithSizeZero) {
  world.AddDisk({.Name = "sdb", .Dev = "8:16", .Sectors = std::nullopt});
  world.AddPartition("sdb", 1, 2048, 2000000, "8:17");
  world.Prober->Volumes[world.Node("sdb1")] = Fs("vfat", "FAT32");
  // A card reader without a card is no drive at all.
  world.AddDisk({.Name = "sdc", .Dev = "8:32", .Sectors = 0, .Serial = "R", .UsbPort = 2});
  const TUSBDrives drives = world.MakeTable()->ListUSBDrives();
  ASSERT_EQ(drives.size(), 1u);
  EXPECT_EQ(drives[0].FullSize, 0);
  EXPECT_EQ(drives[0].FreeSpace, 0);
  EXPECT_TRUE(world.Runner->Calls.empty());
}

TEST_F(UsbDriveListTest, ABlankStickIsOneVolumeWithoutFileSystem) {
  world.AddDisk({.Name = "sdb", .Dev = "8:16"});
  const TUSBDrives drives = world.MakeTable()->ListUSBDrives();
  ASSERT_EQ(drives.size(), 1u);
  EXPECT_EQ(drives[0].FileSystem, "");
  EXPECT_EQ(drives[0].IntFileSystem, FileSystemOther);
  EXPECT_EQ(drives[0].Name, "removable drive");
  EXPECT_EQ(drives[0].FreeSpace, -1);
  EXPECT_EQ(drives[0].VolumeDevice, world.Node("sdb"));
}

TEST_F(UsbDriveListTest, LettersStayWithTheirVolumesForTheWholeRun) {
  AddStick("sdb", 16, "FIRST", 1, "ONE", "AAAA");
  AddStick("sdc", 32, "SECOND", 2, "TWO", "BBBB");
  auto table = world.MakeTable();
  TUSBDrives drives = table->ListUSBDrives();
  ASSERT_EQ(drives.size(), 2u);
  EXPECT_EQ(drives[0].Name, "ONE");
  EXPECT_EQ(drives[1].Name, "TWO");
  EXPECT_EQ(drives[1].Letter, 'b');

  // The first stick is pulled and a third one plugged in where it was: it gets a new
  // letter, and the second stick keeps 'b'.
  EXPECT_EQ(table->ReleaseProgramMounts(), "");
  world.RemoveDisk("sdb");
  AddStick("sdb", 16, "THIRD", 1, "THREE", "CCCC");
  drives = table->ListUSBDrives();
  ASSERT_EQ(drives.size(), 2u);
  EXPECT_EQ(drives[0].Letter, 'b');
  EXPECT_EQ(drives[0].Name, "TWO");
  EXPECT_EQ(drives[1].Letter, 'c');
  EXPECT_EQ(drives[1].Name, "THREE");
  EXPECT_EQ(table->RootOf('a'), "");  // 'a' names the pulled stick, never another one

  // The second stick comes back on another port under another name: still 'b'.
  EXPECT_EQ(table->ReleaseProgramMounts(), "");
  world.RemoveDisk("sdc");
  AddStick("sdf", 80, "SECOND", 5, "TWO", "BBBB");
  drives = table->ListUSBDrives();
  ASSERT_EQ(drives.size(), 2u);
  EXPECT_EQ(drives[0].Letter, 'b');
  EXPECT_EQ(drives[0].DiskDevice, world.Node("sdf"));
  EXPECT_EQ(table->ReleaseProgramMounts(), "");
}

TEST_F(UsbDriveListTest, ProtectedUsbDiskIsListedWithSizeZeroAndNeverWritten) {
  // A system running from a USB disk: its root file system is on sdb2.
  world.AddDisk({.Name = "sdb", .Dev = "8:16"});
  world.AddPartition("sdb", 1, 2048, 2000000, "8:17");
  world.AddPartition("sdb", 2, 2002048, 2000000, "8:18");
  world.Prober->Volumes[world.Node("sdb1")] = Fs("vfat", "FAT32");
  world.AddMount("8:18", "/", "ext4", "/dev/sdb2");
  auto table = world.MakeTable();
  const TUSBDrives drives = table->ListUSBDrives();
  ASSERT_EQ(drives.size(), 2u);
  EXPECT_EQ(drives[0].FullSize, 0);
  EXPECT_EQ(drives[0].FreeSpace, 0);
  TDiskTarget disk;
  std::string error;
  EXPECT_FALSE(table->WritableDiskOf('a', disk, error));
  EXPECT_EQ(error, world.Node("sdb") + " holds the running system (/dev/sdb2 is mounted at /)");
  EXPECT_EQ(table->RootOf('a', error), "");
  EXPECT_TRUE(world.Runner->Calls.empty());
}

TEST_F(UsbDriveListTest, WithoutAMountTableEveryDiskIsTakenForTheSystemsOwn) {
  // /proc not mounted, or its table unreadable: the disk the system runs from is unknown.
  AddStick("sdb", 16, "FIRST", 1, "ONE", "AAAA");
  world.LoseMountTable();
  auto table = world.MakeTable();
  const TUSBDrives drives = table->ListUSBDrives();
  ASSERT_EQ(drives.size(), 1u);
  EXPECT_EQ(drives[0].FullSize, 0);
  EXPECT_EQ(drives[0].FreeSpace, 0);
  TDiskTarget disk;
  std::string error;
  EXPECT_FALSE(table->WritableDiskOf('a', disk, error));
  EXPECT_EQ(error, "the table of mounted file systems cannot be read, so the disk of the running "
                   "system cannot be told apart from " + world.Node("sdb"));
  EXPECT_EQ(table->RootOf('a', error), "");
  EXPECT_TRUE(world.Runner->Calls.empty());
}

TEST_F(UsbDriveListTest, ADiskBeingRepartitionedIsNeitherListedNorMounted) {
  AddStick("sdb", 16, "FIRST", 1, "ONE", "AAAA");
  auto table = world.MakeTable();
  ASSERT_EQ(table->ListUSBDrives().size(), 1u);
  EXPECT_EQ(table->ReleaseProgramMounts(), "");
  world.Runner->Calls.clear();
  table->SetDiskBusy("sdb", true);
  EXPECT_TRUE(table->ListUSBDrives().empty());
  std::string error;
  EXPECT_EQ(table->RootOf('a', error), "");
  EXPECT_EQ(error, "the drive is not present");
  EXPECT_TRUE(world.Runner->Calls.empty());
  table->SetDiskBusy("sdb", false);
  EXPECT_EQ(table->RootOf('a'), world.MountRoot() + "/a/");
  EXPECT_EQ(table->ReleaseProgramMounts(), "");
}

TEST_F(UsbDriveListTest, OnlyRegularFilesBecomeImageDrives) {
  auto table = world.MakeTable();
  char letter = 0;
  std::string error;
  EXPECT_FALSE(table->AttachImageDrive(temp / "missing.img", 0, letter, error));
  EXPECT_EQ(error, "the image file \"" + (temp / "missing.img") + "\" does not exist");
  // A device node named as an image would open a way to any disk.
  EXPECT_FALSE(table->AttachImageDrive("/dev/null", 1 << 20, letter, error));
  EXPECT_EQ(error, "\"/dev/null\" is not a disk image file");
  EXPECT_FALSE(table->AttachImageDrive(temp.path(), 0, letter, error));
  EXPECT_FALSE(table->AttachImageDrive(temp / "no-folder/x.img", 1 << 20, letter, error));
  EXPECT_NE(error.find("cannot create the image file"), std::string::npos) << error;
  EXPECT_TRUE(world.Runner->Calls.empty());
  EXPECT_EQ(letter, 0);
}

TEST(ProtectedDisksTest, SystemFoldersAndSwapFollowedDownToTheirDisks) {
  std::vector<TDiskInfo> disks(5);
  disks[0].KernelName = "sda";
  disks[0].DevNumber = "8:0";
  disks[0].Partitions = {{1, 2048, 1000, "sda1", "8:1"}, {2, 4096, 1000, "sda2", "8:2"}};
  disks[1].KernelName = "sdb";
  disks[1].DevNumber = "8:16";
  disks[1].Partitions = {{1, 2048, 1000, "sdb1", "8:17"}};
  disks[2].KernelName = "dm-0";  // LVM on sdc1
  disks[2].DevNumber = "253:0";
  disks[2].Slaves = {"sdc1"};
  disks[3].KernelName = "sdc";
  disks[3].DevNumber = "8:32";
  disks[3].Partitions = {{1, 2048, 1000, "sdc1", "8:33"}};
  disks[4].KernelName = "sdd";
  disks[4].DevNumber = "8:48";
  const auto by_name = [&](const std::string& path) -> std::string {
    const std::string name = path.substr(path.rfind('/') + 1);
    for (const TDiskInfo& d : disks) {
      if (d.KernelName == name) return d.DevNumber;
      for (const TPartitionInfo& p : d.Partitions)
        if (p.KernelName == name) return p.DevNumber;
    }
    return {};
  };
  const TDeviceResolver resolver{by_name, [](const std::string&) { return std::string(); }};
  const struct {
    std::vector<TMountEntry> mounts;
    std::vector<std::string> swaps;
    std::set<std::string> expected;
  } cases[] = {
      {{{"8:2", "/", "/", "rw", "ext4", "/dev/sda2"}}, {}, {"sda"}},
      // btrfs shows no real device number; the source names the partition.
      {{{"0:31", "/", "/", "rw", "btrfs", "/dev/sdb1"}}, {}, {"sdb"}},
      {{{"253:0", "/", "/home", "rw", "ext4", "/dev/mapper/vg-home"}}, {}, {"dm-0", "sdc"}},
      {{{"8:17", "/", "/media/stick", "rw", "vfat", "/dev/sdb1"}}, {}, {}},
      {{}, {"/dev/sdd"}, {"sdd"}},
  };
  for (const auto& c : cases) EXPECT_EQ(ProtectedDisks(disks, c.mounts, c.swaps, resolver), c.expected);
}

TEST(MountTableTest, ParsesMountinfoSwapsAndFileSystems) {
  const std::string mountinfo =
      "28 1 254:0 / / rw,relatime - ext4 /dev/vda rw,discard\n"
      "46 28 7:1 / /run/quorvane/12/a rw,relatime shared:5 master:1 - fuseblk /dev/loop1 rw\n"
      "47 28 8:17 /sub /media/my\\040stick rw - vfat /dev/sdb1 rw\n"
      "garbage line\n";
  const std::vector<TMountEntry> m = ParseMountInfo(mountinfo);
  ASSERT_EQ(m.size(), 3u);
  EXPECT_EQ(m[0].DevNumber, "254:0");
  EXPECT_EQ(m[0].MountPoint, "/");
  EXPECT_EQ(m[1].FsType, "fuseblk");
  EXPECT_EQ(m[1].Source, "/dev/loop1");
  EXPECT_EQ(m[2].Root, "/sub");
  EXPECT_EQ(m[2].MountPoint, "/media/my stick");
  EXPECT_EQ(ParseSwaps("Filename\tType\tSize\tUsed\tPriority\n/dev/sda3   partition\t8388604\t0\t-2\n"
                       "/swap\\040file file 1024 0 -3\n"),
            (std::vector<std::string>{"/dev/sda3", "/swap file"}));
  EXPECT_EQ(ParseFileSystems("nodev\tsysfs\n\text4\nnodev\tfuse\n\tntfs3\n"),
            (std::vector<std::string>{"sysfs", "ext4", "fuse", "ntfs3"}));
}

TEST(BlkidProberTest, ReadsTheFileSystemOfRealImages) {
  if (FindTool("mkfs.vfat").empty() || FindTool("mkfs.ntfs").empty())
    GTEST_SKIP() << "mkfs.vfat or mkfs.ntfs is not installed";
  TTempDir temp;
  TSystemToolRunner runner;
  const struct {
    std::vector<std::string> args;
    const char* name;
    const char* label;
  } cases[] = {{{"-F", "32", "-n", "STICK"}, "FAT32", "STICK"},
               {{"-F", "16"}, "FAT", ""},
               {{"-F", "12", "-n", "FLOPPY"}, "FAT", "FLOPPY"}};
  for (const auto& c : cases) {
    const std::string image = temp / (std::string(c.name) + c.label + ".img");
    std::vector<std::string> args = c.args;
    args.insert(args.end(), {"-C", image, "40960"});
    ASSERT_TRUE(runner.Run({"mkfs.vfat", args, ""}).Succeeded());
    TVolumeProbe probe;
    ASSERT_TRUE(TBlkidVolumeProber().ProbeVolume(image, 0, 0, probe));
    EXPECT_EQ(FileSystemName(probe), c.name);
    EXPECT_EQ(probe.Label, c.label);
    EXPECT_FALSE(probe.Uuid.empty());
  }
  const std::string ntfs = temp / "ntfs.img";
  WriteFile(ntfs, "");
  std::filesystem::resize_file(ntfs, 8 << 20);
  ASSERT_TRUE(runner.Run({"mkfs.ntfs", {"--quick", "--force", "-L", "WIN", ntfs}, ""}).Succeeded());
  TVolumeProbe probe;
  ASSERT_TRUE(TBlkidVolumeProber().ProbeVolume(ntfs, 0, 0, probe));
  EXPECT_EQ(FileSystemName(probe), "NTFS");
  EXPECT_EQ(probe.Label, "WIN");
  // Nothing there: no file system.
  EXPECT_FALSE(TBlkidVolumeProber().ProbeVolume(ntfs, 1 << 20, 1 << 20, probe));
}

TEST(RefreshUSBDrivesTest, ListsThroughTheInstalledTable) {
  TTempDir temp;
  TDriveWorld world(temp.path());
  world.AddDisk({.Name = "sdb", .Dev = "8:16"});
  world.AddPartition("sdb", 1, 2048, 2000000, "8:17");
  world.Prober->Volumes[world.Node("sdb1")] = Fs("ntfs", "", "KEY");
  SetDriveLetters(world.MakeTable());
  RefreshUSBDrives();
  ASSERT_EQ(USBDrives.size(), 1u);
  std::string name, fs;
  GetVolumeNameAndFS('a', name, fs);
  EXPECT_EQ(name, "KEY");
  EXPECT_EQ(fs, "NTFS");
  GetVolumeNameAndFS('q', name, fs);
  EXPECT_EQ(name, "removable drive");
  EXPECT_EQ(fs, "");
  EXPECT_EQ(ReleaseProgramMounts(), "");
  // A table of plain folders lists nothing.
  SetDriveLetters(std::make_shared<TFolderDriveLetters>());
  RefreshUSBDrives();
  EXPECT_TRUE(USBDrives.empty());
  SetDriveLetters(nullptr);
}

}  // namespace
}  // namespace quorvane::testing
