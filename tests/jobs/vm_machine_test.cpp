// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// What a virtual machine is handed: the disk opened read-only and never by a link, the
// variable store as a file in memory, a private folder, and QEMU's arguments, which name
// only handed-over files and write nothing to the disk.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <optional>

#include "drive/drive_letters.h"
#include "jobs/linux_vm_process.h"
#include "jobs/vm_machine.h"
#include "jobs/vm_test_boot.h"
#include "support/temp_dir.h"

namespace quorvane {
namespace {

using testing::TTempDir;

int AccessMode(int fd) { return ::fcntl(fd, F_GETFL) & O_ACCMODE; }

TEST(VmDisk, OpenedReadOnlyAndNeverThroughALink) {
  TTempDir temp;
  const std::string image = temp / "drive.img";
  testing::WriteFile(image, std::string(4096, 'x'));
  std::filesystem::create_symlink(image, temp / "link.img");
  std::string error;
  const int fd = OpenDiskReadOnly(image, false, error);
  ASSERT_GE(fd, 0) << error;
  EXPECT_EQ(AccessMode(fd), O_RDONLY);
  EXPECT_TRUE(::fcntl(fd, F_GETFD) & FD_CLOEXEC);
  EXPECT_LT(::write(fd, "y", 1), 0);
  ::close(fd);
  struct TCase {
    std::string path;
    bool device;
  } refused[] = {{temp / "link.img", false}, {"/dev/null", true}, {temp.path(), true},
                 {temp / "missing.img", false}};
  for (const TCase& c : refused) {
    error.clear();
    EXPECT_LT(OpenDiskReadOnly(c.path, c.device, error), 0) << c.path;
    EXPECT_FALSE(error.empty()) << c.path;
  }
}

TEST(VmDisk, ABlockDeviceOnlyWhenADiskIsMeant) {
  std::string device;
  for (const auto& entry : std::filesystem::directory_iterator("/dev")) {
    struct stat st {};
    if (::lstat(entry.path().c_str(), &st) == 0 && S_ISBLK(st.st_mode) &&
        ::access(entry.path().c_str(), R_OK) == 0) {
      const int probe = ::open(entry.path().c_str(), O_RDONLY | O_CLOEXEC);
      if (probe < 0) continue;
      ::close(probe);
      device = entry.path();
      break;
    }
  }
  if (device.empty()) GTEST_SKIP() << "no block device can be opened here";
  std::string error;
  EXPECT_LT(OpenDiskReadOnly(device, false, error), 0) << device;
  const int fd = OpenDiskReadOnly(device, true, error);
  ASSERT_GE(fd, 0) << device << ": " << error;
  EXPECT_EQ(AccessMode(fd), O_RDONLY) << device;
  ::close(fd);
}

TEST(VmFiles, TheVariableStoreIsACopyInMemoryHandedOverBothWays) {
  TTempDir temp;
  const std::string vars = temp / "VARS.fd";
  testing::WriteFile(vars, std::string(200000, 'v') + "end");
  std::string error;
  const int copy = MemoryCopyOf(vars, error);
  ASSERT_GE(copy, 0) << error;
  EXPECT_EQ(AccessMode(copy), O_RDWR);
  const int read_only = ReopenReadOnly(copy, error);
  ASSERT_GE(read_only, 0) << error;
  EXPECT_EQ(AccessMode(read_only), O_RDONLY);
  char tail[3] = {};
  EXPECT_EQ(::pread(read_only, tail, 3, 200000), 3);
  EXPECT_EQ(std::string(tail, 3), "end");
  // What the machine writes stays in memory.
  EXPECT_EQ(::pwrite(copy, "W", 1, 0), 1);
  EXPECT_EQ(testing::ReadFile(vars)[0], 'v');
  ::close(copy);
  ::close(read_only);
}

TEST(VmFiles, TheMachinesFolderIsPrivateToItsUser) {
  const TVmUser user = VmUser();
  if (::geteuid() == 0) {
    EXPECT_TRUE(user.Change);
    EXPECT_NE(user.Uid, 0u) << "QEMU never runs as root";
  }
  std::string error;
  const std::string folder = MakeVmFolder(user, error);
  ASSERT_FALSE(folder.empty()) << error;
  struct stat st {};
  ASSERT_EQ(::lstat(folder.c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  EXPECT_EQ(st.st_uid, user.Change ? user.Uid : ::geteuid());
  const std::string second = MakeVmFolder(user, error);
  EXPECT_NE(second, folder);
  EXPECT_TRUE(RemoveVmFolder(folder));
  EXPECT_TRUE(RemoveVmFolder(second));
  EXPECT_FALSE(std::filesystem::exists(folder));
}

std::string Joined(const std::vector<std::string>& args) {
  std::string line;
  for (const std::string& a : args) line += a + " ";
  return line;
}

TEST(VmQemuArguments, OnlyHandedOverFilesAndTheDiskWrittenToAnOverlay) {
  TVmTools tools;
  tools.Qemu = "/usr/bin/qemu-system-x86_64";
  tools.OvmfCode = "/usr/share/OVMF/OVMF_CODE.fd";
  tools.OvmfVars = "/usr/share/OVMF/OVMF_VARS.fd";
  struct TCase {
    const char* name;
    TVmMachineSetup setup;
    std::vector<std::string> present, absent;
    int files;  // handed over
  } cases[] = {
      {"BIOS, text only",
       {.Disk = "/srv/stick.img"},
       {"-drive file=/dev/fdset/1,format=raw,snapshot=on ", "-add-fd fd=3,set=1,opaque=disk ",
        "-display none ", "-no-reboot ", "-accel tcg ", "socket,id=monitor,fd=4 ",
        "socket,id=serial,fd=5 "},
       {"/srv/stick.img", "kvm", "pflash", "unix:", "file:"},
       3},
      {"UEFI with KVM",
       {.Uefi = true, .Disk = "/dev/sdz", .DiskIsDevice = true, .Kvm = true},
       {"-accel kvm -accel tcg ", "if=pflash,format=raw,readonly=on,file=/usr/share/OVMF/OVMF_CODE.fd ",
        "-add-fd fd=4,set=2,opaque=vars -add-fd fd=5,set=2,opaque=vars ",
        "if=pflash,format=raw,file=/dev/fdset/2 ", "socket,id=monitor,fd=6 ",
        "socket,id=serial,fd=7 "},
       {"/dev/sdz", "OVMF_VARS"},
       5},
      {"a CD too",
       {.Disk = "/srv/stick.img", .Cdrom = "/srv/cd.iso"},
       {"-add-fd fd=4,set=2,opaque=cdrom ", "file=/dev/fdset/2,format=raw,media=cdrom,readonly=on "},
       {"/srv/cd.iso"},
       4},
      {"a window of its own",
       {.Uefi = true, .Disk = "/srv/stick.img", .Window = "gtk", .Title = "Drive b", .Detached = true},
       {"-display gtk ", "-name Drive b "},
       {"-no-reboot", "monitor", "serial"},
       3},
  };
  for (const TCase& c : cases) {
    const std::vector<std::string> args = VmQemuArguments(c.setup, tools);
    const std::string line = Joined(args);
    for (const std::string& p : c.present) EXPECT_NE(line.find(p), std::string::npos) << c.name << ": " << p << "\n" << line;
    for (const std::string& a : c.absent) EXPECT_EQ(line.find(a), std::string::npos) << c.name << ": " << a << "\n" << line;
    // Every handed-over file is named once, and none past them.
    const std::string past = "fd=" + std::to_string(HandedOverFile(c.files));
    EXPECT_EQ(line.find(past + ","), std::string::npos) << c.name << "\n" << line;
    EXPECT_EQ(line.find(past + " "), std::string::npos) << c.name << "\n" << line;
    const std::string last = "fd=" + std::to_string(HandedOverFile(c.files - 1));
    EXPECT_NE(line.find(last), std::string::npos) << c.name << "\n" << line;
  }
}

// The variable as it was, again when the test ends.
class TEnvironmentVariable {
 public:
  explicit TEnvironmentVariable(const char* name) : FName(name) {
    if (const char* value = std::getenv(name)) FValue = value;
  }
  ~TEnvironmentVariable() {
    if (FValue)
      ::setenv(FName, FValue->c_str(), 1);
    else
      ::unsetenv(FName);
  }

 private:
  const char* FName;
  std::optional<std::string> FValue;
};

// The window's start says what is missing before it looks for the drive: QEMU, a
// display, QEMU's window; then a letter that names no drive.
TEST(VmWindow, SaysWhatIsMissingFirst) {
  TVmTools tools;
  if (const std::string missing = FindVmTools(false, tools); !missing.empty()) {
    EXPECT_EQ(StartVmTestBootWindow('b', false), missing);
    return;
  }
  TEnvironmentVariable display("DISPLAY"), wayland("WAYLAND_DISPLAY");
  ::unsetenv("DISPLAY");
  ::unsetenv("WAYLAND_DISPLAY");
  EXPECT_FALSE(VmDisplayPresent());
  EXPECT_EQ(StartVmTestBootWindow('b', false), "There is no display to show the virtual machine on");
  ::setenv("WAYLAND_DISPLAY", "wayland-9", 1);
  EXPECT_TRUE(VmDisplayPresent());
  std::string missing;
  const std::string window = VmWindowKind(tools, missing);
  SetDriveLetters(nullptr);
  if (window.empty()) {
    EXPECT_NE(missing.find("install the package qemu-system-gui"), std::string::npos) << missing;
    EXPECT_EQ(StartVmTestBootWindow('b', false), missing);
  } else {
    EXPECT_TRUE(window == "gtk" || window == "sdl") << window;
    EXPECT_EQ(StartVmTestBootWindow('b', false), "Drive not found");
  }
}

}  // namespace
}  // namespace quorvane
