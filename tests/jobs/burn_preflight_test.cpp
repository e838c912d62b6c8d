// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The check before a burn: plans that cannot work, entries that cannot be read, disks of
// the running system, mounts of the target, and what the program's own drive step needs,
// each refused (or stated) before anything is written.
#include "jobs/burn_preflight.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "archive/sevenzip.h"
#include "common/constants.h"
#include "drive/efi_partition.h"
#include "drive_fixture.h"
#include "support/iso_images.h"
#include "support/temp_dir.h"

namespace quorvane::testing {
namespace {

namespace fs = std::filesystem;

// Sets an environment variable for one test and puts back what was there.
class TScopedEnv {
 public:
  TScopedEnv(const char* name, const std::string& value) : FName(name) {
    if (const char* old = std::getenv(name)) FOld = old, FHad = true;
    ::setenv(name, value.c_str(), 1);
  }
  ~TScopedEnv() {
    if (FHad)
      ::setenv(FName, FOld.c_str(), 1);
    else
      ::unsetenv(FName);
    Prepare7zLibrary();
  }

 private:
  const char* FName;
  std::string FOld;
  bool FHad = false;
};

TUSBDriveSet Drive(const std::string& fs, std::int64_t free, std::int64_t full) {
  TUSBDriveSet d;
  d.Letter = 'e';
  d.FileSystem = fs;
  d.IntFileSystem = IntFileSystemOf(fs);
  d.FreeSpace = free;
  d.FullSize = full;
  return d;
}

std::vector<TPreflightEntry> Entries(std::initializer_list<std::pair<std::int64_t, bool>> needs) {
  std::vector<TPreflightEntry> out;
  int i = 0;
  for (const auto& [bytes, ntfs] : needs)
    out.push_back({6, "/i/x" + std::to_string(++i) + ".iso", "", bytes, ntfs});
  return out;
}

TPreflightContext Context(const TUSBDriveSet& drive, std::uint8_t mode, std::uint8_t fs,
                          std::vector<TPreflightEntry> entries) {
  TPreflightContext c;
  c.Request.Drive = drive.Letter;
  c.Request.Mode = mode;
  c.Request.FileSystem = fs;
  c.Request.Entries = std::move(entries);
  c.DriveListed = c.DriveFromList = true;
  c.Drive = drive;
  c.Drives = {drive};
  return c;
}

// The refusals of the plan's checks on a hand-made context, without the entry checks
// (whose files do not exist here).
std::vector<std::string> PlanRefusals(const TPreflightContext& c, TPreflightReport* out = nullptr) {
  std::vector<TPreflightCheck> checks;
  for (TPreflightCheck& check : PlanChecks())
    if (std::string(check.Name) != "the entries") checks.push_back(std::move(check));
  TPreflightReport report = RunPreflightChecks(c, checks);
  if (out) *out = report;
  return report.Refusals;
}

// One of the program's checks, by name.
std::vector<TPreflightCheck> Only(const std::string& name) {
  for (TPreflightCheck& check : ProgramChecks())
    if (check.Name == name) return {check};
  ADD_FAILURE() << "no check " << name;
  return {};
}

constexpr std::int64_t kStick = 8000000000;

TUSBDriveSet Unreadable(TUSBDriveSet drive) {
  drive.FileSystemProblem = "it carries the marks of more than one file system";
  return drive;
}

TEST(PreflightPlan, PlansThatCannotWorkAreRefused) {
  struct TCase {
    const char* name;
    TUSBDriveSet drive;
    std::uint8_t mode, fs;
    std::vector<TPreflightEntry> entries;
    const char* refusal;  // empty: accepted
  };
  const TCase cases[] = {
      {"new FAT32, image of 4 GiB", Drive("", -1, kStick), FormatModeNew, FileSystemFAT32,
       Entries({{1, false}, {5000000000, true}}),
       "entry 2 (x2.iso) places a file of 4 GiB or more on the drive, which FAT32 cannot hold"},
      {"new, more than the disk", Drive("", -1, kStick), FormatModeNew, FileSystemNTFS,
       Entries({{kStick - 4136960 + 1, false}}), "more than drive e: holds after formatting"},
      {"new, exactly what a FAT32 format and the EFI partition leave", Drive("", -1, kStick),
       FormatModeNew, FileSystemFAT32,
       Entries({{kStick - 4136960 - NewDriveEfiReserve(kStick), false}}), ""},
      {"new, room that only the EFI partition takes", Drive("", -1, kStick), FormatModeNew,
       FileSystemFAT32, Entries({{kStick - 4136960, false}}),
       "more than drive e: holds after formatting"},
      {"new NTFS, small drive", Drive("", -1, 64 << 20), FormatModeNew, FileSystemNTFS,
       Entries({{1 << 20, false}}), ""},
      {"add to a blank drive", Drive("", -1, kStick), FormatModeAdd, FileSystemNTFS,
       Entries({{1, false}}), "drive e: has no file system to add to; use mode new"},
      // A volume that could not be read, or that carries the marks of two file systems,
      // may hold data: no advice to erase it.
      {"add to a drive whose volume cannot be told", Unreadable(Drive("", -1, kStick)),
       FormatModeAdd, FileSystemNTFS, Entries({{1, false}}),
       "the file system of drive e: cannot be told: it carries the marks of more than one file "
       "system; nothing was written"},
      {"add to an ext4 drive", Drive("ext4", 1000, kStick), FormatModeAdd, FileSystemNTFS,
       Entries({{1, false}}), "has a ext4 file system, which the program does not write"},
      // A file system that is there but whose free space could not be read is no reason
      // to erase the drive.
      {"add to NTFS whose free space is unknown", Drive("NTFS", -1, kStick), FormatModeAdd,
       FileSystemNTFS, Entries({{1, false}}), "the free space of drive e: (NTFS) cannot be read"},
      {"add to a drive mounted read-only", Drive("FAT32", 0, kStick), FormatModeAdd,
       FileSystemNTFS, Entries({{1, false}}), "Drive opened read-only"},
      {"add an image of 4 GiB to FAT32", Drive("FAT32", 7000000000, kStick), FormatModeAdd,
       FileSystemNTFS, Entries({{5000000000, true}}), "its FAT32 file system cannot hold"},
      {"add an image of 4 GiB to NTFS", Drive("NTFS", 7000000000, kStick), FormatModeAdd,
       FileSystemNTFS, Entries({{5000000000, true}}), ""},
      // Entries that do not fit the free space are the jobs' to refuse, one by one.
      {"add more than is free", Drive("FAT32", 1000, kStick), FormatModeAdd, FileSystemNTFS,
       Entries({{5000, false}}), ""},
  };
  for (const TCase& c : cases) {
    const std::vector<std::string> refusals =
        PlanRefusals(Context(c.drive, c.mode, c.fs, c.entries));
    if (std::string(c.refusal).empty()) {
      EXPECT_TRUE(refusals.empty()) << c.name << ": " << refusals.front();
    } else {
      ASSERT_EQ(refusals.size(), 1u) << c.name;
      EXPECT_NE(refusals[0].find(c.refusal), std::string::npos) << c.name << ": " << refusals[0];
      // Only a drive without a file system is told to be formatted.
      EXPECT_EQ(refusals[0].find("use mode new") != std::string::npos,
                std::string(c.name) == "add to a blank drive")
          << c.name << ": " << refusals[0];
    }
  }
  TPreflightReport report;
  PlanRefusals(Context(Drive("FAT32", 1000, kStick), FormatModeAdd, 0, Entries({{5000, false}})),
               &report);
  EXPECT_EQ(report.RemarkText(),
            "Note: the entries need 0Gb and the drive has 0Gb free; entries that do not fit will "
            "fail.");
  PlanRefusals(Context(Drive("FAT32", 10000, kStick), FormatModeAdd, 0, Entries({{5000, false}})),
               &report);
  EXPECT_TRUE(report.Remarks.empty());
}

// "Finished" means bootable: an image that lacks what its loader needs is refused before
// the drive is touched, naming what it lacks.
TEST(PreflightProgram, EveryImageMustBeWhatItsLoaderNeeds) {
  TTempDir temp;
  MakeLoaderImage(temp / "hbcd.iso", 6);
  WriteFile(temp / "noise.iso", std::string(70000, 'n'));
  MakeIso(temp / "ubuntu.iso", {{"casper/vmlinuz", "k"}, {"casper/initrd", "i"}});
  TPreflightContext c = Context(Drive("FAT32", kStick, kStick), FormatModeAdd, 0, {});
  c.Request.Entries = {{6, temp / "hbcd.iso", "", 1, false},
                       {6, temp / "noise.iso", "", 1, false},
                       {5, temp / "ubuntu.iso", "", 1, false},
                       {6, temp / "missing.iso", "", 1, false}};
  std::vector<TPreflightCheck> checks;
  for (TPreflightCheck& check : ProgramChecks())
    if (std::string(check.Name) == "the images") checks.push_back(std::move(check));
  ASSERT_EQ(checks.size(), 1u);
  const TPreflightReport report = RunPreflightChecks(c, checks);
  EXPECT_EQ(report.Refusals,
            std::vector<std::string>(
                {"entry 2 (noise.iso): The image is not a CD or DVD image: it has no ISO 9660 or "
                 "UDF file system",
                 "entry 3 (ubuntu.iso): The image has no casper/*.squashfs (Ubuntu's live file "
                 "system)"}));
}

// On a new NTFS drive the free run after the volume's own files must hold every image
// mapped in place, one after the other in the order of the burn.
TEST(PreflightPlan, ImagesMappedInPlaceNeedARunOfTheirOwnOnANewNtfsDrive) {
  TTempDir temp;
  // Sparse files: only their size counts here.
  const auto image = [&](const std::string& name, std::int64_t bytes) {
    const std::string path = temp / name;
    std::ofstream(path).close();
    fs::resize_file(path, static_cast<std::uintmax_t>(bytes));
    return path;
  };
  constexpr std::int64_t kMiB = 1 << 20;
  const std::int64_t stick = 8192 * kMiB;
  struct TCase {
    const char* name;
    std::vector<std::pair<int, std::int64_t>> entries;  // loader type, image size
    const char* refusal;                                // empty: accepted
  };
  const TCase cases[] = {
      {"Windows 10 of 5.5 GiB", {{2, 5632 * kMiB}}, ""},
      {"a 1 GiB CD, then 5.5 GiB", {{6, 1024 * kMiB}, {2, 5632 * kMiB}}, ""},
      {"nearly the whole stick",
       {{2, 8150 * kMiB}},
       "Not enough contiguous free space on USB drive for i1.iso (needs 8150 MiB, the largest "
       "free run is 8"},
      // The EFI partition at the disk's end takes 32 MiB of the NTFS partition.
      {"what only the room of the EFI partition would hold",
       {{2, 8110 * kMiB}},
       "Not enough contiguous free space on USB drive for i1.iso (needs 8110 MiB, the largest "
       "free run is 809"},
      {"the second finds the run taken",
       {{2, 5000 * kMiB}, {6, 3150 * kMiB}},
       "Not enough contiguous free space on USB drive for i2.iso (needs 3150 MiB, the largest "
       "free run is "},
      // Kaspersky's image is unpacked: it needs no run.
      {"an unpacked image", {{3, 8000 * kMiB}}, ""},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<TPreflightEntry> entries;
    int i = 0;
    for (const auto& [type, bytes] : c.entries) {
      const std::string path = image("i" + std::to_string(++i) + ".iso", bytes);
      entries.push_back({type, path, "", bytes, bytes > 4294967295LL});
    }
    std::vector<std::string> refusals =
        PlanRefusals(Context(Drive("", -1, stick), FormatModeNew, FileSystemNTFS, entries));
    if (std::string(c.refusal).empty()) {
      EXPECT_TRUE(refusals.empty()) << refusals.front();
    } else {
      ASSERT_EQ(refusals.size(), 1u);
      EXPECT_EQ(refusals[0].rfind(c.refusal, 0), 0u) << refusals[0];
    }
    // FAT32 keeps its data region in one piece: nothing to refuse here.
    for (TPreflightEntry& e : entries) e.NeedNTFS = false;
    refusals = PlanRefusals(Context(Drive("", -1, stick), FormatModeNew, FileSystemFAT32, entries));
    for (const std::string& r : refusals)
      EXPECT_EQ(r.find("contiguous"), std::string::npos) << r;
  }
}

TEST(PreflightPlan, EveryEntryMustBeAnImageFileThatCanBeRead) {
  TTempDir temp;
  const std::string image = temp / "x.iso";
  WriteFile(image, "image");
  fs::create_directories(temp / "folder.iso");
  fs::create_symlink("/proc/self/status", temp / "proc.iso");
  const struct {
    std::int32_t type;
    std::string path;
    const char* refusal;  // empty: accepted
  } cases[] = {
      {6, image, ""},
      {11, image, "entry 1 (x.iso): the loader type 11 is unknown"},
      {6, temp / "missing.iso", "entry 1 (missing.iso): file not found: "},
      {6, "", "entry 1 (): file not found: "},
      {6, temp / "folder.iso", "entry 1 (folder.iso): not an image file: "},
      {6, "/dev/null", "entry 1 (null): /dev/null is a file of the system, not an image file"},
      {6, temp / "proc.iso", "is a file of the system, not an image file"},
      {6, "/sys/kernel/notes", "is a file of the system, not an image file"},
  };
  for (const auto& c : cases) {
    TPreflightContext context = Context(Drive("NTFS", kStick, kStick), FormatModeAdd, 0, {});
    context.Request.Entries = {{c.type, c.path, "", 1, false}};
    const TPreflightReport report = RunPreflightChecks(context, PlanChecks());
    if (std::string(c.refusal).empty()) {
      EXPECT_TRUE(report.Passed()) << c.path << ": " << report.RefusalText();
    } else {
      EXPECT_NE(report.RefusalText().find(c.refusal), std::string::npos)
          << c.path << ": " << report.RefusalText();
    }
  }
  TPreflightContext none = Context(Drive("NTFS", kStick, kStick), FormatModeAdd, 0, {});
  EXPECT_EQ(RunPreflightChecks(none, PlanChecks()).RefusalText(), "There are no loaders selected");
}

// A USB stick of the fixture world, its table installed as the run's letters.
class PreflightOnDisk : public ::testing::Test {
 protected:
  PreflightOnDisk() {
    WriteFile(image, "image");
    world.AddDisk({.Name = "sdb", .Dev = "8:16", .NodeBytes = 1 << 20});
    world.AddPartition("sdb", 1, 2048, 2095104, "8:17");
    world.Prober->Volumes[world.Node("sdb1")] = {"ntfs", "", "STICK", "ABCD"};
  }
  ~PreflightOnDisk() override { SetDriveLetters(nullptr); }

  TPreflightReport Check(std::uint8_t mode, const std::vector<TPreflightCheck>& checks,
                         const std::string& entry = "") {
    TDriveEnvironment env = world.Environment();
    env.UtabPath = temp / "utab";
    env.RunRoot = temp / "world/run-root";
    table = std::make_shared<TUSBDriveLetters>(env, world.Runner, world.Prober);
    SetDriveLetters(table);
    TPreflightRequest request;
    request.Drive = 'a';
    request.Mode = mode;
    request.FileSystem = FileSystemNTFS;
    request.Entries = {{6, entry.empty() ? image : entry, "", 5, false}};
    return RunPreflightChecks(MakePreflightContext(request), checks);
  }

  TTempDir temp;
  TDriveWorld world{temp / "world/"};
  std::shared_ptr<TUSBDriveLetters> table;
  const std::string image = temp / "images/x.iso";
};

TEST_F(PreflightOnDisk, ADiskWithAMountBelowAFolderOfTheSystemIsProtected) {
  const struct {
    const char* mount_point;
    bool protected_disk;
  } cases[] = {
      {"/", true},           {"/boot/efi", true},     {"/home", true},
      {"/home/ann/usb", true}, {"/srv/share", true},  {"/var/lib/data", true},
      {"/opt", true},        {"/root/stick", true},   {"/usr/local/data", true},
      {"/media/ann/STICK", false}, {"/mnt/stick", false}, {"/homework", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.mount_point);
    TTempDir scratch;
    TDriveWorld w(scratch / "w/");
    w.AddDisk({.Name = "sdb", .Dev = "8:16"});
    w.AddPartition("sdb", 1, 2048, 2095104, "8:17");
    w.Prober->Volumes[w.Node("sdb1")] = {"ntfs", "", "STICK", "ABCD"};
    w.AddMount("8:17", c.mount_point, "ntfs3", "/dev/sdb1");
    auto t = w.MakeTable();
    TDiskTarget disk;
    std::string error;
    EXPECT_EQ(!t->WritableDiskOf('a', disk, error), c.protected_disk) << error;
    if (c.protected_disk)
      EXPECT_EQ(error, w.Node("sdb") + " holds the running system (/dev/sdb1 is mounted at " +
                           c.mount_point + ")");
  }
}

TEST_F(PreflightOnDisk, AnActiveSwapAreaOnTheStickIsRefused) {
  world.AddPartition("sdb", 2, 2097152, 2000000, "8:18");
  world.SetSwaps({"/dev/sdb2"});
  const TPreflightReport report = Check(FormatModeNew, PlanChecks());
  EXPECT_EQ(report.RefusalText(),
            "refused to write to drive a: " + world.Node("sdb") +
                " holds the running system (the swap area /dev/sdb2 is active on it). The "
                "program writes only to USB drives and image files, never to the disk of the "
                "running system.");
}

TEST_F(PreflightOnDisk, MountsThatTheProgramDidNotMakeAreStatedWithWhoMadeThem) {
  WriteFile(temp / "utab", "SRC=/dev/sdb1 TARGET=/media/ann/STICK ROOT=/ OPTS=uhelper=udisks2\n");
  world.AddMount("8:17", "/media/ann/STICK", "fuseblk", "/dev/sdb1");
  world.AddMount("8:17", "/mnt/copy", "fuseblk", "/dev/sdb1");
  // A run of the program that is still going.
  world.AddMount("8:17", temp / ("world/run-root/" + std::to_string(::getppid()) + "/a"),
                 "fuseblk", "/dev/sdb1");
  const TPreflightReport report = Check(FormatModeNew, PlanChecks());
  ASSERT_TRUE(report.Passed()) << report.RefusalText();
  ASSERT_EQ(report.ForeignMounts.size(), 3u);
  EXPECT_EQ(report.ForeignMounts[0].MountedBy,
            "by the desktop's disk service (udisks2) for user ann");
  EXPECT_EQ(report.ForeignMounts[1].MountedBy, "by someone the system does not name");
  EXPECT_EQ(report.ForeignMounts[2].MountedBy,
            "by another run of this program (process " + std::to_string(::getppid()) + ")");
  EXPECT_EQ(report.MountsText(FormatModeNew),
            "Mounted now, not by this program:\n"
            "  /dev/sdb1 at /media/ann/STICK, mounted by the desktop's disk service (udisks2) for "
            "user ann\n"
            "  /dev/sdb1 at /mnt/copy, mounted by someone the system does not name\n"
            "  /dev/sdb1 at " + temp / ("world/run-root/" + std::to_string(::getppid()) + "/a") +
                ", mounted by another run of this program (process " +
                std::to_string(::getppid()) + ")\n"
            "They are unmounted before the drive is formatted: close every program that uses "
            "them.");
  EXPECT_NE(report.MountsText(FormatModeAdd).find("written through them"), std::string::npos);

  // The program's own mount is no foreign one.
  TPreflightReport own;
  {
    TTempDir scratch;
    TDriveWorld w(scratch / "w/");
    w.AddDisk({.Name = "sdb", .Dev = "8:16"});
    w.AddPartition("sdb", 1, 2048, 2095104, "8:17");
    w.Prober->Volumes[w.Node("sdb1")] = {"ntfs", "", "STICK", "ABCD"};
    auto t = w.MakeTable();
    SetDriveLetters(t);
    ASSERT_NE(t->RootOf('a'), "");
    TPreflightRequest request{'a', FormatModeAdd, 0, {{6, image, "", 5, false}}};
    own = RunPreflightChecks(MakePreflightContext(request), PlanChecks());
    EXPECT_TRUE(own.ForeignMounts.empty()) << own.MountsText(FormatModeAdd);
    EXPECT_EQ(t->ReleaseProgramMounts(), "");
  }
}

TEST_F(PreflightOnDisk, AnImageOnTheDiskToBeErasedIsRefusedInModeNewOnly) {
  world.AddMount("8:17", temp / "media", "fuseblk", "/dev/sdb1");
  const std::string on_stick = temp / "media/y.iso";
  WriteFile(on_stick, "image");
  EXPECT_EQ(Check(FormatModeNew, PlanChecks(), on_stick).RefusalText(),
            "entry 1 (y.iso) lies on drive a:, whose disk mode new erases");
  EXPECT_TRUE(Check(FormatModeAdd, PlanChecks(), on_stick).Passed());
}

TEST_F(PreflightOnDisk, WhatTheDriveStepNeedsIsCheckedFirst) {
  // A boot sector with one partition from sector 2048.
  std::string sector(512, '\0');
  sector[446] = '\x80';
  sector[446 + 4] = 0x07;
  sector[446 + 8] = 0x00;
  sector[446 + 9] = 0x08;
  sector[510] = '\x55';
  sector[511] = '\xAA';
  {
    std::fstream node(world.Node("sdb"), std::ios::in | std::ios::out | std::ios::binary);
    node.write(sector.data(), 512);
  }
  // The boot images are there only where GRUB4DOS's files were given to the build.
  for (const char* name : {"the archive library", "the tools", "the boot code area"}) {
    const TPreflightReport good = Check(FormatModeAdd, Only(name));
    EXPECT_TRUE(good.Passed()) << name << ": " << good.RefusalText();
  }

  // The archive library cannot be loaded: named with its path and why.
  {
    const std::string missing = temp / "nowhere/7z.so";
    TScopedEnv library("QUORVANE_7Z_LIBRARY", missing);
    Prepare7zLibrary();
    const std::string text = Check(FormatModeNew, Only("the archive library")).RefusalText();
    EXPECT_EQ(text.rfind("the archive library " + missing + " cannot be used: ", 0), 0u) << text;
    EXPECT_NE(text.find("No such file or directory"), std::string::npos) << text;
  }
  // The boot images and the NTBOOT package are missing.
  {
    fs::create_directories(temp / "empty");
    TScopedEnv resources("QUORVANE_RESOURCES", temp / "empty");
    const std::string text =
        Check(FormatModeNew, Only("the archive library")).RefusalText() + "\n" +
        Check(FormatModeNew, Only("the boot images")).RefusalText();
    EXPECT_NE(text.find("the NTBOOT package " + temp / "empty/NTBOOT.7z" + " cannot be read"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("Failed to extract master boot code from resource: Resource \"" +
                        temp / "empty/grldr.mbr\" cannot be read"),
              std::string::npos)
        << text;
    // Missing, they come with the way to install them.
    EXPECT_NE(text.find("sudo quorvane-cli setup-boot-images --from"), std::string::npos) << text;
  }
  // A tool of the new format is not installed.
  world.Runner->Missing("mkfs.ntfs");
  EXPECT_EQ(Check(FormatModeNew, Only("the tools")).RefusalText(),
            "the tool mkfs.ntfs is not installed; the burn needs it");
  // In mode add, a GUID partition table leaves no room for the boot code.
  sector[446 + 4] = '\xEE';
  {
    std::fstream node(world.Node("sdb"), std::ios::in | std::ios::out | std::ios::binary);
    node.write(sector.data(), 512);
  }
  EXPECT_EQ(Check(FormatModeAdd, Only("the boot code area")).RefusalText(),
            "the boot code cannot be written to drive a: the drive has a GUID partition table; "
            "only mode new can prepare it");
}

}  // namespace
}  // namespace quorvane::testing
