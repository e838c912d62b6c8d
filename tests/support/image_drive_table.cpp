// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "support/image_drive_table.h"

#include <algorithm>

#include <gtest/gtest.h>

#include "common/tool_runner.h"
#include "drive/linux_mount_table.h"
#include "support/loop_devices.h"

namespace quorvane::testing {

std::shared_ptr<TUSBDriveLetters> MakeImageDriveTable(const std::string& mount_root) {
  TDriveEnvironment env;
  env.ListUsbDisks = false;
  env.MountRoot = mount_root;
  auto table = std::make_shared<TUSBDriveLetters>(env);
  SetDriveLetters(table);
  return table;
}

void CloseImageDriveTable(TUSBDriveLetters& table, const std::string& folder,
                          const std::vector<std::string>& images) {
  EXPECT_EQ(table.ReleaseProgramMounts(), "");
  std::string error;
  EXPECT_TRUE(table.DetachImageDrives(error)) << error;
  TSystemToolRunner runner;
  for (const TMountEntry& m : ParseMountInfo(ReadTextFile("/proc/self/mountinfo")))
    if (m.MountPoint.rfind(folder, 0) == 0) runner.Run({"umount", {"-l", m.MountPoint}, ""});
  DetachLeftoverLoops(images);
  SetDriveLetters(nullptr);
}

bool KernelHasFileSystem(const std::string& name) {
  const std::vector<std::string> names = ParseFileSystems(ReadTextFile("/proc/filesystems"));
  return std::find(names.begin(), names.end(), name) != names.end();
}

}  // namespace quorvane::testing
