// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// NTFS drives on image files attached to loop devices: the layout of a new volume, free
// runs read from its cluster bitmap, and large files written straight to one run of
// clusters, also when the write is cancelled or its process killed in the middle.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <regex>

#include <gtest/gtest.h>

#include "archive/file_copy.h"
#include "common/constants.h"
#include "common/sha256.h"
#include "common/tool_runner.h"
#include "drive/disk_part_works.h"
#include "drive/efi_partition.h"
#include "drive/file_extents.h"
#include "drive/linux_mount_table.h"
#include "drive/linux_ntfs_direct_write.h"
#include "drive/ntfs_contiguous_room.h"
#include "drive/ntfs_layout.h"
#include "drive/ntfs_volume.h"
#include "drive/usb_drive_letters.h"
#include "jobs/entry_verification.h"
#include "support/image_drive_table.h"
#include "support/loop_devices.h"
#include "support/temp_dir.h"

namespace quorvane::testing {
namespace {

namespace fs = std::filesystem;

constexpr std::uint64_t kMiB = 1u << 20;
constexpr std::uint64_t kDriveBytes = 256 * kMiB;

// The NTFS partition of a new drive: from 1 MiB up to the EFI partition at the disk's end.
const TNewDriveLayout& Layout() {
  static const TNewDriveLayout layout = [] {
    TNewDriveLayout planned;
    std::string error;
    if (!PlanNewDriveLayout(kDriveBytes, false, planned, error)) ADD_FAILURE() << error;
    return planned;
  }();
  return layout;
}
std::uint64_t PartitionStart() { return Layout().MainStart * 512; }
std::uint64_t PartitionBytes() { return Layout().MainSectors * 512; }

bool KernelHasNtfs3() { return KernelHasFileSystem("ntfs3"); }

// A file of `bytes` whose every 8-byte word differs from its neighbours'.
void MakeSource(const std::string& path, std::uint64_t bytes, std::uint64_t seed) {
  std::ofstream out(path, std::ios::binary);
  std::vector<std::uint64_t> block(kMiB / 8);
  std::uint64_t x = seed * 0x9E3779B97F4A7C15ULL + 1;
  for (std::uint64_t done = 0; done < bytes; done += kMiB) {
    for (std::uint64_t& w : block) {
      x ^= x << 13;
      x ^= x >> 7;
      x ^= x << 17;
      w = x;
    }
    out.write(reinterpret_cast<const char*>(block.data()),
              static_cast<std::streamsize>(std::min<std::uint64_t>(kMiB, bytes - done)));
  }
}

bool SameContent(const std::string& a, const std::string& b) {
  std::ifstream fa(a, std::ios::binary), fb(b, std::ios::binary);
  std::vector<char> ba(kMiB), bb(kMiB);
  while (fa && fb) {
    fa.read(ba.data(), static_cast<std::streamsize>(ba.size()));
    fb.read(bb.data(), static_cast<std::streamsize>(bb.size()));
    if (fa.gcount() != fb.gcount() || !std::equal(ba.begin(), ba.begin() + fa.gcount(), bb.begin()))
      return false;
  }
  return fa.eof() && fb.eof();
}

// What a file's bytes are: only zeros, or holding the marker somewhere.
struct TContentKind {
  bool AllZero = true;
  bool HasMarker = false;
};
TContentKind KindOf(const std::string& path, const std::string& marker) {
  TContentKind kind;
  std::ifstream in(path, std::ios::binary);
  std::string block(kMiB, '\0');
  while (in) {
    in.read(block.data(), static_cast<std::streamsize>(block.size()));
    const std::string piece = block.substr(0, static_cast<std::size_t>(in.gcount()));
    if (piece.find_first_not_of('\0') != std::string::npos) kind.AllZero = false;
    if (piece.find(marker) != std::string::npos) kind.HasMarker = true;
  }
  return kind;
}

// A progress routine that answers `answer` once half the file is written, and notes
// whether the data went to a block device (the direct write) or to a file.
struct TRoutineState {
  std::uint32_t Answer = PROGRESS_CONTINUE;
  bool KillAtHalf = false;
  bool ToDevice = false;
  std::int64_t Last = -1;
};
TRoutineState* g_routine = nullptr;

std::uint32_t HalfwayRoutine(std::int64_t total, std::int64_t done, std::int64_t, std::int64_t,
                             std::uint32_t, std::uint32_t reason, int, int destination, void*) {
  struct stat info {};
  if (::fstat(destination, &info) == 0 && S_ISBLK(info.st_mode)) g_routine->ToDevice = true;
  if (reason == CALLBACK_STREAM_SWITCH) return PROGRESS_CONTINUE;
  g_routine->Last = done;
  if (done * 2 < total) return PROGRESS_CONTINUE;
  if (g_routine->KillAtHalf) ::kill(::getpid(), SIGKILL);
  return g_routine->Answer;
}

class NtfsVolumeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const std::string why =
            LoopDevicesUnavailable({"losetup", "sfdisk", "wipefs", "blockdev", "mkfs.ntfs",
                                    "ntfsresize", "ntfsfix", "ntfsinfo", "ntfs-3g", "umount"});
        !why.empty())
      GTEST_SKIP() << "no loop devices: " << why;
    table = MakeImageDriveTable(temp / "mnt");
    image = temp / "stick.img";
    ASSERT_TRUE(table->AttachImageDrive(image, kDriveBytes, letter, error)) << error;
    TDiskPartWorks works(table, FileSystemNTFS);
    ASSERT_TRUE(works.DosAppSuccessfullyStarted) << works.MissingTool;
    ASSERT_TRUE(works.CreateFreshNTFSUSB(letter, error)) << error;
    // What the drive step writes goes into the small volume first, as in a burn.
    WriteFile(Root() + "grldr", std::string(300000, 'g'));
    for (int i = 0; i < 8; ++i)
      WriteFile(Root() + "Quorvane/NTBOOT/file" + std::to_string(i), std::string(5000, 'n'));
    ASSERT_TRUE(works.GrowNTFSUSB(letter, error)) << error;
  }

  void TearDown() override {
    SetLargeFileWriter(nullptr);
    if (table) CloseImageDriveTable(*table, temp / "mnt", {image});
  }

  // The drive's root, mounted by the program (through ntfs-3g here).
  std::string Root() {
    const std::string root = table->RootOf(letter, error);
    EXPECT_FALSE(root.empty()) << error;
    return root;
  }

  std::string Device() { return NtfsDeviceOfPath(Root()); }

  // The volume unmounted, the partition on a loop device of the test's own for `check`.
  // `release`: the program's mounts first (false: nothing is mounted).
  void OnPartition(const std::function<void(const std::string&)>& check, bool release = true) {
    if (release) ASSERT_EQ(table->ReleaseProgramMounts(), "");
    const TToolResult attach = runner.Run(
        {"losetup",
         {"--find", "--show", "--offset", std::to_string(PartitionStart()), "--sizelimit",
          std::to_string(PartitionBytes()), image},
         ""});
    ASSERT_TRUE(attach.Succeeded()) << attach.ErrorText();
    const std::string node = OneLine(attach.Output);
    check(node);
    EXPECT_TRUE(runner.Run({"losetup", {"--detach", node}, ""}).Succeeded());
  }

  // ntfsfix finds nothing to mend.
  void ExpectClean() {
    OnPartition([&](const std::string& node) {
      const TToolResult r = runner.Run({"ntfsfix", {"-n", node}, ""});
      EXPECT_TRUE(r.Succeeded()) << r.ErrorText();
      EXPECT_EQ(r.Output.find("fix"), std::string::npos) << r.Output;
    });
  }

  // Fills the free clusters with a marker through ntfs-3g and deletes the file again: the
  // clusters then hold what a new file must never show.
  void LeaveForeignData() {
    const std::string path = Root() + "foreign.bin";
    struct statvfs info {};
    ASSERT_EQ(::statvfs(Root().c_str(), &info), 0);
    const std::uint64_t free_bytes = static_cast<std::uint64_t>(info.f_bavail) * info.f_frsize;
    std::ofstream out(path, std::ios::binary);
    std::string block;
    while (block.size() < kMiB) block += kMarker;
    block.resize(kMiB);
    for (std::uint64_t done = 0; done + 4 * kMiB < free_bytes; done += kMiB) out << block;
    out.close();
    ASSERT_TRUE(out.good());
    ASSERT_EQ(table->ReleaseProgramMounts(), "");  // flushed by ntfs-3g
    ASSERT_TRUE(fs::remove(Root() + "foreign.bin"));
    ASSERT_EQ(table->ReleaseProgramMounts(), "");
  }

  std::string Folder() {
    const std::string folder = Root() + "Quorvane/ID/";
    fs::create_directories(folder);
    return folder;
  }

  static constexpr const char* kMarker = "FOREIGN-DATA!";
  TTempDir temp;
  TSystemToolRunner runner;
  std::shared_ptr<TUSBDriveLetters> table;
  std::string image, error;
  char letter = 0;
  TRoutineState routine;
};

// The first LCN of the unnamed data of inode `inode` in ntfsinfo's dump.
std::uint64_t FirstLcn(TSystemToolRunner& runner, const std::string& node, int inode) {
  const TToolResult r =
      runner.Run({"ntfsinfo", {"--force", "--verbose", "--inode", std::to_string(inode), node}, ""});
  EXPECT_TRUE(r.Succeeded()) << r.ErrorText();
  const std::regex row(R"(Runlist:[^\n]*\n\s*0x0\s+0x([0-9a-fA-F]+)\s+0x[0-9a-fA-F]+)");
  std::smatch m;
  EXPECT_TRUE(std::regex_search(r.Output, m, row)) << r.Output;
  return m.size() > 1 ? std::stoull(m[1].str(), nullptr, 16) : ~0ULL;
}

TEST_F(NtfsVolumeTest, ANewVolumeKeepsItsMetadataAtTheStartAndTheRestInOneFreeRun) {
  const std::string device = Device();
  ASSERT_FALSE(device.empty());
  TNtfsFreeSpace space;
  ASSERT_TRUE(ReadNtfsFreeSpace(device, space, error)) << error;
  ASSERT_EQ(space.ClusterSize, 4096u);
  ASSERT_FALSE(space.FreeRuns.empty());
  // The largest run starts after $MFTMirr (inode 1) and $LogFile (inode 2), which lie in
  // the first 64 MiB, and ends with the volume (whose last cluster holds the copy of the
  // boot sector); what else is free lies before them.
  const TClusterRun run = space.FreeRuns.back();
  EXPECT_EQ(run.Clusters, LargestRun(space.FreeRuns));
  EXPECT_GE(run.Clusters * 4096, NewNtfsLargestFreeRun(PartitionBytes()));
  EXPECT_GE(run.Lcn + run.Clusters + 2, space.Clusters);
  for (int inode : {1, 2}) {
    const std::uint64_t lcn = FirstLcn(runner, device, inode);
    EXPECT_LT(lcn * 4096, 64 * kMiB) << "inode " << inode;
    EXPECT_LT(lcn, run.Lcn) << "inode " << inode;
  }
  // It mounts and takes a file.
  WriteFile(Root() + "hello.txt", "hello");
  ASSERT_EQ(table->ReleaseProgramMounts(), "");
  EXPECT_EQ(ReadFile(Root() + "hello.txt"), "hello");
  ExpectClean();
}

TEST_F(NtfsVolumeTest, ASeventyPercentImageLiesInOneRunAndReadsBackWhole) {
  if (KernelHasNtfs3()) GTEST_SKIP() << "the kernel mounts NTFS itself (ntfs3): no direct write";
  const std::string source = temp / "big.iso";
  MakeSource(source, PartitionBytes() * 7 / 10, 1);
  InstallNtfsDirectWriter(table);
  g_routine = &routine;
  const std::string target = Folder() + "big.iso";
  const TCopyOutcome outcome = CopyFileContents(source, target, HalfwayRoutine, nullptr, false);
  ASSERT_EQ(outcome.State, TCopyOutcome::Copied) << outcome.Error << " " << outcome.Detail;
  EXPECT_TRUE(routine.ToDevice);
  EXPECT_EQ(routine.Last, static_cast<std::int64_t>(fs::file_size(source)));
  EXPECT_EQ(CheckFileContiguous(target), TContiguity::Contiguous);
  EXPECT_TRUE(SameContent(source, target));
  // Read again from a fresh mount, past any cache of the driver.
  ASSERT_EQ(table->ReleaseProgramMounts(), "");
  EXPECT_TRUE(SameContent(source, Root() + "Quorvane/ID/big.iso"));
  ExpectClean();
}

// The place of `needle` in the file `haystack`, searched block by block; -1 when absent.
std::int64_t FindInFile(const std::string& haystack, const std::string& needle) {
  std::ifstream in(haystack, std::ios::binary);
  std::string window;
  std::int64_t base = 0;
  std::string block(kMiB, '\0');
  while (in.read(block.data(), static_cast<std::streamsize>(block.size())) || in.gcount() > 0) {
    window.append(block.data(), static_cast<std::size_t>(in.gcount()));
    const std::size_t at = window.find(needle);
    if (at != std::string::npos) return base + static_cast<std::int64_t>(at);
    const std::size_t keep = std::min(window.size(), needle.size());
    base += static_cast<std::int64_t>(window.size() - keep);
    window.erase(0, window.size() - keep);
  }
  return -1;
}

// What the direct write put on the clusters is digested as it goes, and read back from the
// disk itself: a change made beneath every cache (in the loop device's backing file, after
// the file was read once through the driver) is found.
TEST_F(NtfsVolumeTest, ADirectWriteIsDigestedAndVerifiedFromTheDisk) {
  if (KernelHasNtfs3()) GTEST_SKIP() << "the kernel mounts NTFS itself (ntfs3): no direct write";
  const std::string source = temp / "big.iso";
  MakeSource(source, 64 * kMiB, 7);
  InstallNtfsDirectWriter(table);
  g_routine = &routine;
  const std::string folder = Folder();
  const std::string target = folder + "big.iso";
  TWriteDigest digest;
  const TCopyOutcome outcome =
      CopyFileContents(source, target, HalfwayRoutine, nullptr, false, &digest);
  ASSERT_EQ(outcome.State, TCopyOutcome::Copied) << outcome.Error << " " << outcome.Detail;
  ASSERT_TRUE(routine.ToDevice);
  const TWrittenFile written = digest.Finish(target, source);
  EXPECT_EQ(written.Size, fs::file_size(source));
  EXPECT_EQ(written.Sha256, Sha256Hex(ReadFile(source)));
  bool stopped = false;
  EXPECT_EQ(VerifyWrittenFiles({written}, folder, nullptr, stopped), "");

  // Into every cache on the way, then changed on the disk only.
  EXPECT_TRUE(SameContent(source, target));
  const std::string start = ReadFile(source).substr(5 * kMiB, 4096);
  const std::int64_t at = FindInFile(image, start);
  ASSERT_GE(at, 0) << "the image's bytes are not on the disk";
  {
    const int disk = ::open(image.c_str(), O_WRONLY | O_CLOEXEC);
    ASSERT_GE(disk, 0);
    const char flipped = static_cast<char>(~start[1000]);
    EXPECT_EQ(::pwrite(disk, &flipped, 1, static_cast<off_t>(at + 1000)), 1);
    EXPECT_EQ(::fsync(disk), 0);  // also for a loop device that reads its file directly
    ::close(disk);
  }
  EXPECT_EQ(VerifyWrittenFiles({written}, folder, nullptr, stopped),
            "Verification failed: big.iso differs on USB drive at byte " +
                std::to_string(5 * kMiB + 1000));
  EXPECT_FALSE(stopped);
}

TEST_F(NtfsVolumeTest, AddingToAVolumeNeedsAFreeRunAsLargeAsTheImage) {
  if (KernelHasNtfs3()) GTEST_SKIP() << "the kernel mounts NTFS itself (ntfs3): no direct write";
  InstallNtfsDirectWriter(table);
  // Two images one after the other, then the first deleted: its run is the largest hole.
  const std::string a = temp / "a.iso", b = temp / "b.iso";
  MakeSource(a, 100 * kMiB, 2);
  MakeSource(b, 100 * kMiB, 3);
  const std::string folder = Folder();
  ASSERT_EQ(CopyFileContents(a, folder + "a.iso", nullptr, nullptr, false).State, TCopyOutcome::Copied);
  ASSERT_EQ(CopyFileContents(b, folder + "b.iso", nullptr, nullptr, false).State, TCopyOutcome::Copied);
  ASSERT_TRUE(fs::remove(folder + "a.iso"));
  ASSERT_EQ(table->ReleaseProgramMounts(), "");

  const std::string target = Folder() + "c.iso";
  EXPECT_EQ(ContiguousRoomProblem(target, 120 * kMiB, "c.iso"),
            "Not enough contiguous free space on USB drive for c.iso (needs 120 MiB, the largest "
            "free run is 100 MiB)");
  EXPECT_EQ(ContiguousRoomProblem(target, 90 * kMiB, "c.iso"), "");
  const std::string c = temp / "c.iso";
  MakeSource(c, 90 * kMiB, 4);
  ASSERT_EQ(CopyFileContents(c, target, nullptr, nullptr, false).State, TCopyOutcome::Copied);
  EXPECT_EQ(CheckFileContiguous(target), TContiguity::Contiguous);
  EXPECT_TRUE(SameContent(c, target));
  EXPECT_TRUE(SameContent(b, Folder() + "b.iso"));
  ExpectClean();
}

TEST_F(NtfsVolumeTest, ACancelledDirectWriteLeavesNoFileAndASoundVolume) {
  if (KernelHasNtfs3()) GTEST_SKIP() << "the kernel mounts NTFS itself (ntfs3): no direct write";
  LeaveForeignData();
  const std::string source = temp / "img.iso";
  MakeSource(source, 96 * kMiB, 5);
  InstallNtfsDirectWriter(table);
  g_routine = &routine;
  struct TCase {
    std::uint32_t Answer;
    bool Kept;
  };
  for (const TCase& c : {TCase{PROGRESS_CANCEL, false}, TCase{PROGRESS_STOP, true}}) {
    SCOPED_TRACE(c.Answer);
    routine = {c.Answer};
    const std::string target = Folder() + "img.iso";
    const TCopyOutcome outcome = CopyFileContents(source, target, HalfwayRoutine, nullptr, false);
    EXPECT_EQ(outcome.State, TCopyOutcome::Cancelled);
    EXPECT_TRUE(routine.ToDevice);
    EXPECT_EQ(Exists(target), c.Kept);
    if (c.Kept) {
      // Half of it is on its clusters, none of it counts: it reads as zeros.
      const TContentKind kind = KindOf(target, kMarker);
      EXPECT_TRUE(kind.AllZero);
      EXPECT_FALSE(kind.HasMarker);
      EXPECT_EQ(fs::file_size(target), fs::file_size(source));
      fs::remove(target);
    }
  }
  ExpectClean();
}

TEST_F(NtfsVolumeTest, AKilledDirectWriteLeavesAFileOfZerosAndASoundVolume) {
  if (KernelHasNtfs3()) GTEST_SKIP() << "the kernel mounts NTFS itself (ntfs3): no direct write";
  LeaveForeignData();
  const std::string source = temp / "img.iso";
  MakeSource(source, 96 * kMiB, 6);
  const std::string target = Folder() + "img.iso";
  InstallNtfsDirectWriter(table);
  routine = {PROGRESS_CONTINUE, true};
  g_routine = &routine;
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    CopyFileContents(source, target, HalfwayRoutine, nullptr, false);
    ::_exit(3);  // not killed: the write never got half way
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
  // The volume was left unmounted, the file made but none of its data counted.
  OnPartition(
      [&](const std::string& node) {
        const TToolResult r = runner.Run({"ntfsfix", {"-n", node}, ""});
        EXPECT_TRUE(r.Succeeded()) << r.ErrorText();
      },
      false);
  ASSERT_TRUE(Exists(Root() + "Quorvane/ID/img.iso"));
  const TContentKind kind = KindOf(Root() + "Quorvane/ID/img.iso", kMarker);
  EXPECT_TRUE(kind.AllZero);
  EXPECT_FALSE(kind.HasMarker);
  // The roll-back deletes it as any other file.
  EXPECT_TRUE(fs::remove(Root() + "Quorvane/ID/img.iso"));
  ExpectClean();
}

}  // namespace
}  // namespace quorvane::testing
