// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// Who mounted a file system, as far as the system records it: another run of this
// program, the desktop's disk service, a user through FUSE or mount(8).
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "drive/linux_mount_table.h"

namespace quorvane {

struct TMounterLookups {
  std::function<bool(long pid)> ProcessRuns;
  std::function<std::string(long uid)> UserName;  // empty when the user is unknown
};

// The lookups on this machine: /proc and the user database.
TMounterLookups SystemMounterLookups();

// "by the desktop's disk service (udisks2) for user ann", "by another run of this program
// (process 1234)", "by user ann (through FUSE)", ..., "by someone the system does not
// name". `run_root` holds the per-run folders of this program's mounts.
std::string DescribeMounter(const TMountEntry& mount, const std::vector<TUtabEntry>& utab,
                            const std::string& run_root,
                            const TMounterLookups& lookups = SystemMounterLookups());

// The process id of a per-run folder below `run_root` that holds `path`; 0 when none.
long RunFolderProcess(const std::string& run_root, const std::string& path);

}  // namespace quorvane
