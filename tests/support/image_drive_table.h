// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The drive table of the tests on image files attached to loop devices: it lists image
// files only, so that no real disk is ever touched, and is cleaned up after the test.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "drive/usb_drive_letters.h"

namespace quorvane::testing {

// A table of image drives mounting below `mount_root`, installed as the run's letters.
std::shared_ptr<TUSBDriveLetters> MakeImageDriveTable(const std::string& mount_root);

// The end of a test on `table`: its mounts released and its image drives detached (the
// test fails when they cannot be), then whatever a failed step left mounted below
// `folder` or attached to `images` is removed too; the run's letters are uninstalled.
void CloseImageDriveTable(TUSBDriveLetters& table, const std::string& folder,
                          const std::vector<std::string>& images);

// Whether the kernel has the file system `name` ("vfat", "ntfs3") now.
bool KernelHasFileSystem(const std::string& name);

}  // namespace quorvane::testing
