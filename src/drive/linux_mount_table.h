// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The kernel's tables of mounted file systems (/proc/self/mountinfo) and active swap
// areas (/proc/swaps), parsed from their text.
#pragma once

#include <string>
#include <vector>

namespace quorvane {

struct TMountEntry {
  std::string DevNumber;   // "8:17"; "0:45" for file systems without a block device
  std::string Root;        // the folder of the file system that is mounted
  std::string MountPoint;
  std::string Options;
  std::string FsType;      // "vfat", "fuseblk", ...
  std::string Source;      // "/dev/sdb1"
  std::string SuperOptions;  // the file system's own: "rw,user_id=0,group_id=0,..."
};

// One entry per well-formed line; other lines are skipped. Octal escapes ("\040") in
// paths are decoded.
std::vector<TMountEntry> ParseMountInfo(const std::string& text);

// One line of libmount's table of mounts made through mount(8) with extra facts
// (/run/mount/utab): which helper or user mounted what.
struct TUtabEntry {
  std::string Source;
  std::string Target;
  std::string Options;  // "uhelper=udisks2", "user=ann", ...
};

std::vector<TUtabEntry> ParseUtab(const std::string& text);

// The files or devices of the active swap areas.
std::vector<std::string> ParseSwaps(const std::string& text);

// The file systems the kernel offers (the names of /proc/filesystems).
std::vector<std::string> ParseFileSystems(const std::string& text);

// The whole content of a (proc) file; empty when it cannot be read.
std::string ReadTextFile(const std::string& path);

}  // namespace quorvane
