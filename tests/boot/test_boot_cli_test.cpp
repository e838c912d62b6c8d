// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// quorvane-cli test-boot on a drive burned with the kit's media, under SeaBIOS and OVMF:
// it prints the boot menu, starts the chosen entry (which reaches the kit's init) and
// leaves the image byte for byte as it was; and the machine it runs has the disk open
// read-only only, as a user other than root.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "boot_kit.h"
#include "common/sha256.h"
#include "jobs/vm_machine.h"
#include "support/grub4dos_images.h"
#include "support/temp_dir.h"

namespace quorvane::testing {
namespace {

using namespace std::chrono_literals;

std::string FileSha256(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  TSha256 sha;
  char buffer[1 << 16];
  while (in.read(buffer, sizeof buffer) || in.gcount() > 0)
    sha.Update(buffer, static_cast<std::size_t>(in.gcount()));
  return sha.Hex();
}

// A disk image of zeros: the machine starts and finds nothing to boot.
std::string BlankDisk(const TTempDir& temp) {
  const std::string disk = temp / "disk.img";
  WriteFile(disk, "");
  std::filesystem::resize_file(disk, 16 << 20);
  return disk;
}

struct TTestBootCase {
  TFirmware firmware;
  const char* entry;    // --entry
  const char* chosen;   // the item of the entry's own menu that it starts
  const char* cmdline;  // on the kit's kernel command line
};

class TestBootCli : public ::testing::TestWithParam<TTestBootCase> {};

TEST_P(TestBootCli, ShowsTheMenuStartsTheEntryAndWritesNothing) {
  const TTestBootCase& c = GetParam();
  TBootMedia media;
  if (const std::string why = BurnAndBootUnavailable(c.firmware, &media); !why.empty())
    GTEST_SKIP() << why;

  TTempDir temp;
  const std::string drive = temp / "drive.img";
  const TProcessResult burn = BurnNewNtfsDrive(
      drive, "128M", {{6, media.Iso(kIsolinuxCdIso)}, {5, media.Iso(kUbuntuCurrentIso)}});
  ASSERT_EQ(burn.ExitStatus, 0) << burn.Out << burn.Err;
  const std::string before = FileSha256(drive);

  std::vector<std::string> args{"test-boot", "--image", drive, "--no-window", "--entry",
                                c.entry, "--wait", "240"};
  if (c.firmware == TFirmware::OVMF) args.push_back("--uefi");
  const TProcessResult run = RunCli(args);
  const std::string out = run.Out;
  EXPECT_EQ(run.ExitStatus, 0) << out << run.Err;
  // The menu as printed, numbered as --entry takes it.
  EXPECT_NE(out.find("Entries:\n  1  isolinux_cd"), std::string::npos) << out;
  EXPECT_NE(out.find("\n  2  ubuntu_current\n"), std::string::npos) << out;
  EXPECT_NE(out.find(std::string("Chose entry 1: ") + c.chosen), std::string::npos) << out;
  // The entry reached the kit's init, which then powered the machine off.
  EXPECT_NE(out.find(kInitDone), std::string::npos) << out;
  EXPECT_NE(out.find(c.cmdline), std::string::npos) << out;
  EXPECT_NE(out.find("Boot loader error: none"), std::string::npos) << out;
  EXPECT_EQ(FileSha256(drive), before) << "the image drive was written";

  if (c.firmware == TFirmware::SeaBIOS) {
    // An entry the menu does not have fails the run once the menu is printed.
    const TProcessResult missing = RunCli({"test-boot", "--image", drive, "--no-window", "--entry", "3"});
    EXPECT_EQ(missing.ExitStatus, 1) << missing.Out << missing.Err;
    EXPECT_NE(missing.Err.find("entry 3: the menu has 2 entries"), std::string::npos) << missing.Err;
    EXPECT_EQ(FileSha256(drive), before);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Kit, TestBootCli,
    ::testing::Values(
        TTestBootCase{TFirmware::SeaBIOS, "1,1", "isolinux_cd", "kit=isolinux-cd"},
        // isolinux_cd boots on BIOS only: under UEFI the Ubuntu-like entry, from its ISO file.
        TTestBootCase{TFirmware::OVMF, "2,1", "Try Ubuntu without installing", "KIT: medium found"}),
    [](const auto& info) { return std::string(FirmwareName(info.param.firmware)); });

// QEMU, as it runs, holds every file of the disk read-only and runs as a user who is not
// root; it was handed no path to the disk at all.
TEST(TestBootMachine, QemuHoldsTheDiskReadOnlyAndIsNoRoot) {
  if (const std::string why = FirmwareUnavailable(TFirmware::SeaBIOS); !why.empty())
    GTEST_SKIP() << why;
  TTempDir temp;
  const std::string disk = BlankDisk(temp);
  TVmMachine machine;
  TVmMachineSetup setup;
  setup.Disk = disk;
  setup.MemoryMiB = 64;
  std::string error;
  ASSERT_TRUE(machine.Start(setup, error)) << error;
  ASSERT_TRUE(machine.Running()) << machine.ErrorOutput();
  const std::string proc = "/proc/" + std::to_string(machine.Pid());
  int held = 0;
  for (const auto& entry : std::filesystem::directory_iterator(proc + "/fd")) {
    std::error_code ec;
    const auto target = std::filesystem::read_symlink(entry.path(), ec);
    if (ec || !std::filesystem::equivalent(target, disk, ec)) continue;
    ++held;
    std::ifstream info(proc + "/fdinfo/" + entry.path().filename().string());
    std::string key, flags;
    while (info >> key >> flags && key != "flags:") {
    }
    ASSERT_EQ(key, "flags:");
    EXPECT_EQ(std::stoi(flags, nullptr, 8) & O_ACCMODE, O_RDONLY) << entry.path();
  }
  EXPECT_GE(held, 1);
  std::ifstream cmdline(proc + "/cmdline");
  const std::string args((std::istreambuf_iterator<char>(cmdline)), {});
  EXPECT_EQ(args.find(disk), std::string::npos) << "the disk was named to QEMU";
  std::ifstream status(proc + "/status");
  std::string line;
  while (std::getline(status, line) && line.rfind("Uid:", 0) != 0) {
  }
  if (::geteuid() == 0) {
    EXPECT_EQ(line.find("\t0\t"), std::string::npos) << line;
  }
  machine.Stop();
  EXPECT_FALSE(machine.Running());
}

// A machine started for QEMU's window lives on after the call, on its own, and its
// private folder goes once it has ended.
TEST(TestBootMachine, ADetachedMachineRunsOnItsOwnAndLeavesNoFolder) {
  if (const std::string why = FirmwareUnavailable(TFirmware::SeaBIOS); !why.empty())
    GTEST_SKIP() << why;
  TTempDir temp;
  const std::string disk = BlankDisk(temp);
  TVmMachineSetup setup;
  setup.Disk = disk;
  setup.MemoryMiB = 32;
  setup.Title = "detached-" + std::to_string(::getpid());
  setup.Detached = true;  // no window here: "-display none"
  std::string error;
  {
    TVmMachine machine;
    ASSERT_TRUE(machine.Start(setup, error)) << error;
  }
  // Found by its title among the processes; it is not this one's child.
  pid_t qemu = 0;
  std::string folder;
  for (int tries = 0; tries < 50 && !qemu; ++tries) {
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
      std::ifstream cmdline(entry.path() / "cmdline");
      const std::string args((std::istreambuf_iterator<char>(cmdline)), {});
      if (args.find(setup.Title) == std::string::npos) continue;
      std::ifstream environ(entry.path() / "environ");
      for (std::string var; std::getline(environ, var, '\0');)
        if (var.rfind("TMPDIR=", 0) == 0) folder = var.substr(7);
      qemu = std::stoi(entry.path().filename().string());
    }
    if (!qemu) std::this_thread::sleep_for(100ms);
  }
  ASSERT_GT(qemu, 0) << "no QEMU runs after the call";
  EXPECT_EQ(folder.rfind("/tmp/quorvane-vm-", 0), 0u) << folder;
  EXPECT_TRUE(std::filesystem::is_directory(folder)) << folder;
  ASSERT_EQ(::kill(qemu, SIGTERM), 0);
  bool gone = false;
  for (int tries = 0; tries < 100 && !gone; ++tries) {
    gone = !std::filesystem::exists(folder);
    if (!gone) std::this_thread::sleep_for(100ms);
  }
  EXPECT_TRUE(gone) << folder << " stays after the machine ended";
}

}  // namespace
}  // namespace quorvane::testing
