// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// Where the program finds its data: beside the executable in a build tree, under
// PREFIX/share/quorvane for an installed one.
#include "common/resources.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/temp_dir.h"

namespace quorvane {
namespace {

using testing::TTempDir;

TEST(ResourceFolder, ABuildTreeHasItBesideTheExecutableAnInstallationUnderShare) {
  TTempDir temp;
  std::filesystem::create_directories(temp / "build/resources");
  std::filesystem::create_directories(temp / "usr/bin");
  std::filesystem::create_directories(temp / "usr/share/quorvane");
  EXPECT_EQ(ResourceDirBeside(temp / "build"), temp / "build/resources/");
  EXPECT_EQ(ResourceDirBeside(temp / "usr/bin/"), temp / "usr/share/quorvane/");
  // A plain file named "resources" is no resource folder.
  testing::WriteFile(temp / "usr/bin/resources", "");
  EXPECT_EQ(ResourceDirBeside(temp / "usr/bin"), temp / "usr/share/quorvane/");
}

}  // namespace
}  // namespace quorvane
