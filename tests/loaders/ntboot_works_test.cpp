// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The NTBOOT package deployed onto a folder-backed drive.
#include "loaders/ntboot_works.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/main_thread_fixture.h"

namespace quorvane::testing {
namespace {

namespace fs = std::filesystem;

class NtbootWorksTest : public MainThreadTest {
 public:
  NtbootWorksTest() {
    root = MapDrive('e');
    fs::create_directories(outside);
    WriteFile(outside + "/kept.txt", "not the drive's");
  }

  // The package is on the drive and the root answer file is its Windows 7 template.
  void ExpectDeployed() {
    EXPECT_TRUE(fs::is_directory(fs::symlink_status(root + "Quorvane/NTBOOT")));
    EXPECT_TRUE(Exists(root + "Quorvane/NTBOOT/NTBOOT"));
    EXPECT_FALSE(Exists(root + "Quorvane/NTBOOT.7z"));
    EXPECT_EQ(ReadFile(root + "AutoUnattend.xml"), ReadFile(root + "Quorvane/NTBOOT/W7/ISO.xml"));
  }

  // Nothing outside the drive changed.
  void ExpectOutsideUntouched() {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(outside)) names.push_back(e.path().filename());
    EXPECT_EQ(names, std::vector<std::string>{"kept.txt"});
    EXPECT_EQ(ReadFile(outside + "/kept.txt"), "not the drive's");
  }

  std::string root;
  std::string outside = temp / "outside";
  std::string error;
};

TEST_F(NtbootWorksTest, ThePackageReplacesAnOlderOne) {
  WriteFile(root + "Quorvane/NTBOOT/old.txt", "an older package");
  DeployNTBOOT('e', error);
  ASSERT_EQ(error, "");
  ExpectDeployed();
  EXPECT_FALSE(Exists(root + "Quorvane/NTBOOT/old.txt"));
}

TEST_F(NtbootWorksTest, LinksOnTheDriveNeverCarryThePackageOffIt) {
  // "Quorvane" itself a link: refused.
  fs::create_directory_symlink(outside, root + "Quorvane");
  DeployNTBOOT('e', error);
  EXPECT_EQ(error, "NTBOOT directory creation failed with error Not a directory");
  ExpectOutsideUntouched();

  // "Quorvane/NTBOOT" a link: the link goes, the package takes its place on the drive.
  fs::remove(root + "Quorvane");
  fs::create_directories(root + "Quorvane");
  fs::create_directory_symlink(outside, root + "Quorvane/NTBOOT");
  DeployNTBOOT('e', error);
  ASSERT_EQ(error, "");
  ExpectDeployed();
  ExpectOutsideUntouched();
}

}  // namespace
}  // namespace quorvane::testing
