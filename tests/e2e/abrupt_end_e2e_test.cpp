// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// quorvane-cli ended abruptly in the middle of a copy onto an image drive: by a signal it
// handles (the entry is rolled back and everything released), by SIGKILL (the next run
// cleans up what was left), or by the death of the NTFS process under the copy. Each time
// the drive stays one that the next run adds to.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <cstdlib>
#include <cstring>
#include <set>

#include "drive/linux_mount_table.h"
#include "e2e_support.h"
#include "support/loop_devices.h"
#include "support/grub4dos_images.h"
#include "support/temp_dir.h"

namespace quorvane::testing {
namespace {

namespace fs = std::filesystem;

std::string Bytes(std::size_t size, unsigned seed) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) {
    seed = seed * 1103515245u + 12345u;
    bytes[i] = static_cast<char>(seed >> 16);
  }
  return bytes;
}

// The program's mounts under its run folder /run/quorvane/<pid>.
std::vector<std::string> RunMounts(pid_t pid) {
  const std::string folder = "/run/quorvane/" + std::to_string(pid) + "/";
  std::vector<std::string> points;
  for (const TMountEntry& m : ParseMountInfo(ReadTextFile("/proc/self/mountinfo")))
    if (m.MountPoint.compare(0, folder.size(), folder) == 0) points.push_back(m.MountPoint);
  return points;
}

// The processes whose command line names `text`.
std::vector<pid_t> ProcessesNaming(const std::string& text) {
  std::vector<pid_t> pids;
  for (const auto& e : fs::directory_iterator("/proc")) {
    const std::string name = e.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::ifstream in(e.path() / "cmdline", std::ios::binary);
    std::string line((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (line.find(text) != std::string::npos) pids.push_back(std::stoi(name));
  }
  return pids;
}

// The job folders of the drive's volume.
std::set<std::string> JobFolders(const TMountedVolume& v) {
  std::set<std::string> folders;
  for (const auto& e : fs::directory_iterator(v / "Quorvane"))
    if (e.is_directory() && e.path().filename() != "NTBOOT")
      folders.insert(e.path().filename().string());
  return folders;
}

class AbruptEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    QUORVANE_SKIP_WITHOUT_GRUB4DOS_IMAGES();
    if (const std::string why =
            LoopDevicesUnavailable({"losetup", "sfdisk", "wipefs", "blockdev", "mkfs.ntfs",
                                    "ntfs-3g", "umount", "xorriso"});
        !why.empty())
      GTEST_SKIP() << "no loop devices: " << why;
    fs::create_directories(temp / "images");
    big = temp / "images/pmagic.iso";
    MakeBootableIso(big, {{"pmagic/files.img", Bytes(48 << 20, 9)}});
    small = temp / "images/hbcd.iso";
    MakeBootableIso(small, {{"HBCD/menu.lst", "title x\n"}});
    drive = temp / "drive.img";
  }

  void TearDown() override {
    if (drive.empty()) return;
    // What a failed case left: the killed run's mounts, then the loop devices.
    if (cli > 0) {
      for (const std::string& point : RunMounts(cli))
        std::system(("umount -l '" + point + "'").c_str());
    }
    DetachLeftoverLoops({drive});
    if (cli > 0) fs::remove_all("/run/quorvane/" + std::to_string(cli));
  }

  // A burn of the big entry onto a new NTFS image drive; `when_copying` runs once the
  // entry is being copied, with the program's process id.
  TProcessResult BurnBig(const std::function<void(pid_t)>& when_copying) {
    bool acted = false;
    // The drive holds the EFI partition and, in the NTFS partition before it, the free run
    // the check before the burn counts on for the 48 MiB image.
    return RunCli({"burn", "--image", drive, "--size", "140M", "--mode", "new", "--fs", "ntfs",
                   "--entry", "7:" + big, "--yes"},
                  [&](const std::string& line, pid_t pid) {
                    cli = pid;
                    if (line == "[1 pmagic.iso] Running" && !acted) {
                      acted = true;
                      when_copying(pid);
                    }
                  });
  }

  // The drive takes one more entry in mode add, and holds it alone.
  void ExpectTheNextRunAddsToTheDrive() {
    const TProcessResult next =
        RunCli({"burn", "--image", drive, "--mode", "add", "--entry", "6:" + small, "--yes"});
    EXPECT_EQ(next.ExitStatus, 0) << next.Out << next.Err;
    EXPECT_EQ(next.Err.find("mode new"), std::string::npos) << next.Err;
    EXPECT_EQ(LoopDevicesOver(drive), "");
    TMountedVolume v(drive, temp / "mnt");
    ASSERT_TRUE(v.Ok()) << v.Error();
    const std::vector<std::string> ids = IdsIn(ReadFile(v / "menu.lst"));
    ASSERT_EQ(ids.size(), 1u) << ReadFile(v / "menu.lst");
    EXPECT_EQ(JobFolders(v), std::set<std::string>({ids[0]}));
  }

  TTempDir temp;
  std::string big, small, drive;
  pid_t cli = 0;  // the last burn's process
};

TEST_F(AbruptEnd, EndingSignalsStopTheBurnLikeCtrlC) {
  for (const int signal_number : {SIGTERM, SIGHUP}) {
    SCOPED_TRACE(strsignal(signal_number));
    fs::remove(drive);
    const TProcessResult run = BurnBig([signal_number](pid_t pid) { ::kill(pid, signal_number); });
    EXPECT_EQ(run.ExitStatus, 1) << run.Out << run.Err;
    EXPECT_NE(run.Out.find("Stopping:"), std::string::npos) << run.Out;
    EXPECT_NE(run.Out.find("1 pmagic.iso: Cancelled\n"), std::string::npos) << run.Out;
    // Released: no mount, no loop device; the entry's folder rolled back.
    EXPECT_EQ(RunMounts(cli), std::vector<std::string>());
    EXPECT_FALSE(Exists("/run/quorvane/" + std::to_string(cli)));
    EXPECT_EQ(LoopDevicesOver(drive), "");
    {
      TMountedVolume v(drive, temp / "mnt");
      ASSERT_TRUE(v.Ok()) << v.Error();
      EXPECT_EQ(JobFolders(v), std::set<std::string>());
    }
  }
  ExpectTheNextRunAddsToTheDrive();
}

TEST_F(AbruptEnd, WhatAKilledRunLeftIsCleanedUpByTheNext) {
  const TProcessResult run = BurnBig([](pid_t pid) { ::kill(pid, SIGKILL); });
  EXPECT_EQ(run.ExitStatus, -1) << run.Out << run.Err;
  // Left behind: the mount under the dead run's folder, and its loop devices.
  const std::vector<std::string> left = RunMounts(cli);
  EXPECT_EQ(left.size(), 1u);
  EXPECT_NE(LoopDevicesOver(drive), "");
  // The next run cleans up at its start and says so, then burns.
  const TProcessResult next =
      RunCli({"burn", "--image", drive, "--mode", "add", "--entry", "6:" + small, "--yes"});
  EXPECT_EQ(next.ExitStatus, 0) << next.Out << next.Err;
  for (const std::string& point : left)
    EXPECT_NE(next.Err.find("after an earlier run that was ended: unmounted " + point),
              std::string::npos)
        << next.Err;
  EXPECT_NE(next.Err.find("after an earlier run that was ended: detached /dev/loop"),
            std::string::npos)
      << next.Err;
  EXPECT_EQ(RunMounts(cli), std::vector<std::string>());
  EXPECT_FALSE(Exists("/run/quorvane/" + std::to_string(cli)));
  EXPECT_EQ(LoopDevicesOver(drive), "");
  // The killed entry's folder, which no menu names, went with the burn in mode add.
  TMountedVolume v(drive, temp / "mnt");
  ASSERT_TRUE(v.Ok()) << v.Error();
  const std::vector<std::string> ids = IdsIn(ReadFile(v / "menu.lst"));
  ASSERT_EQ(ids.size(), 1u);
  EXPECT_EQ(JobFolders(v), std::set<std::string>({ids[0]}));
}

TEST_F(AbruptEnd, ADeadNtfsProcessFailsTheEntryAndLeavesNothingMounted) {
  std::size_t killed = 0;
  const TProcessResult run = BurnBig(
      [&killed](pid_t pid) {
        for (pid_t ntfs : ProcessesNaming("/run/quorvane/" + std::to_string(pid) + "/")) {
          ::kill(ntfs, SIGKILL);
          ++killed;
        }
      });
  ASSERT_EQ(killed, 1u) << run.Out << run.Err;
  EXPECT_EQ(run.ExitStatus, 1) << run.Out << run.Err;
  EXPECT_NE(run.Out.find("1 pmagic.iso: Failed"), std::string::npos) << run.Out;
  // The dead mount was detached and the loop devices with it.
  EXPECT_EQ(run.Err.find("could not be released"), std::string::npos) << run.Err;
  EXPECT_EQ(RunMounts(cli), std::vector<std::string>());
  EXPECT_EQ(LoopDevicesOver(drive), "");
  ExpectTheNextRunAddsToTheDrive();
}

}  // namespace
}  // namespace quorvane::testing
