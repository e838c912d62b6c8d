// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// Copying and unpacking onto file systems other than the test folder's: an NTFS volume
// through ntfs-3g (no reservation, no in-kernel copy, a real full drive), and tmpfs (a
// copy across file systems).
#include <sys/statfs.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include <gtest/gtest.h>

#include "archive/file_operations.h"
#include "common/tool_runner.h"
#include "fixtures.h"
#include "support/main_thread_fixture.h"
#include "support/temp_dir.h"

namespace quorvane {
namespace {

namespace fs = std::filesystem;
using testing::Exists;
using testing::ListTree;
using testing::MakeIso;
using testing::MakeTree;
using testing::ReadFile;
using testing::WriteFile;

std::string Random(std::size_t size, std::uint32_t seed) {
  std::string data(size, '\0');
  for (char& c : data) {
    seed = seed * 1664525u + 1013904223u;
    c = static_cast<char>(seed >> 24);
  }
  return data;
}

// An NTFS volume in an image file, mounted through ntfs-3g for the test's lifetime.
class NtfsDrive : public testing::MainThreadTest {
 protected:
  void SetUp() override {
    if (::geteuid() != 0) GTEST_SKIP() << "mounting an NTFS image needs root";
    if (::access("/dev/fuse", R_OK | W_OK) != 0) GTEST_SKIP() << "no usable /dev/fuse on this machine";
    const std::string image = temp / "ntfs.img";
    WriteFile(image, "");
    fs::resize_file(image, 16 << 20);
    const TToolResult made = SystemToolRunner()->Run({"mkntfs", {"-F", "-Q", "-q", image}, ""});
    ASSERT_TRUE(made.Succeeded()) << made.ErrorText();
    mount_point = temp / "mnt";
    fs::create_directories(mount_point);
    const TToolResult mount = SystemToolRunner()->Run({"ntfs-3g", {image, mount_point}, ""});
    if (!mount.Succeeded()) GTEST_SKIP() << "ntfs-3g cannot mount here: " << mount.ErrorText();
    mounted = true;
    letters->Map('n', mount_point);
    target = mount_point + "/Quorvane/JOB/";
    fs::create_directories(target);
  }
  void TearDown() override {
    if (!mounted) return;
    const TToolResult unmount = SystemToolRunner()->Run({"fusermount", {"-u", mount_point}, ""});
    EXPECT_TRUE(unmount.Succeeded()) << unmount.ErrorText();
  }
  std::string mount_point, target;
  bool mounted = false;
};

TEST_F(NtfsDrive, CopyAndUnpackArriveWhole) {
  const std::string data = Random(3 << 20, 7);
  WriteFile(temp / "image.iso", data);
  std::string error = "unset";
  CopyFileWithProgress(temp / "image.iso", target + "image.iso", nullptr, error, false, nullptr);
  EXPECT_EQ(error, "");
  EXPECT_EQ(ReadFile(target + "image.iso"), data);

  MakeTree(temp / "tree", {{"casper/vmlinuz", Random(200000, 1)}, {"boot/grub/grub.cfg", "menu"}});
  MakeIso(temp / "tree", temp / "tree.iso", true);
  UnpackArchive(nullptr, nullptr, temp / "tree.iso", error, target + "unpacked/");
  EXPECT_EQ(error, "");
  EXPECT_EQ(ReadFile(target + "unpacked/casper/vmlinuz"), ReadFile(temp / "tree/casper/vmlinuz"));
  UnpackSingleFile(nullptr, nullptr, temp / "tree.iso", error, target, "casper\\vmlinuz");
  EXPECT_EQ(error, "");
  EXPECT_EQ(ReadFile(target + "vmlinuz"), ReadFile(temp / "tree/casper/vmlinuz"));
}

TEST_F(NtfsDrive, FullDriveIsReportedAndLeavesNoPartialFile) {
  const std::string data = Random(24 << 20, 3);  // more than the volume holds
  WriteFile(temp / "big.iso", data);
  std::string error;
  CopyFileWithProgress(temp / "big.iso", target + "big.iso", nullptr, error, false, nullptr);
  EXPECT_EQ(error, "Error in file copy operation: No space left on device");
  EXPECT_FALSE(Exists(target + "big.iso"));

  MakeTree(temp / "tree", {{"a.bin", Random(6 << 20, 4)}, {"b.bin", Random(6 << 20, 5)},
                           {"c.bin", Random(6 << 20, 6)}});
  MakeIso(temp / "tree", temp / "tree.iso", true);
  UnpackArchive(nullptr, nullptr, temp / "tree.iso", error, target + "unpacked/");
  EXPECT_EQ(error.rfind("Failed to unpack files: No space left on device \"", 0), 0u) << error;
}

TEST(CrossFileSystemCopy, CopiesThroughTheBufferWhereTheKernelCannot) {
  testing::TTempDir temp;
  struct statfs shm {}, ours {};
  if (::statfs("/dev/shm", &shm) != 0 || ::statfs(temp.path().c_str(), &ours) != 0 ||
      shm.f_type == ours.f_type)
    GTEST_SKIP() << "no tmpfs at /dev/shm beside the test folder's file system";
  std::string folder = "/dev/shm/quorvane-copy-XXXXXX";
  ASSERT_NE(::mkdtemp(folder.data()), nullptr);
  const std::string data = Random((5 << 20) + 4321, 9);
  WriteFile(temp / "image.iso", data);
  std::string error = "unset";
  CopyFileWithProgress(temp / "image.iso", folder + "/image.iso", nullptr, error, false, nullptr);
  EXPECT_EQ(error, "");
  EXPECT_EQ(ReadFile(folder + "/image.iso"), data);
  fs::remove_all(folder);
}

}  // namespace
}  // namespace quorvane
