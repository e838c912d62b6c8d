// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The system side of a virtual machine's process: the disk opened read-only for it, a
// private folder, the user it runs as (never root), and QEMU started with the open files
// it is handed, attached to the program or left to run on its own.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace quorvane {

// Who runs QEMU: the desktop user the program runs as root for; else, running as root,
// the user "nobody"; else the program's own user (Change false).
struct TVmUser {
  bool Change = false;
  uid_t Uid = 0;
  gid_t Gid = 0;
  std::vector<gid_t> Groups;
  std::string Name;
};
TVmUser VmUser();

// Whether the user may open /dev/kvm for reading and writing.
bool KvmUsableBy(const TVmUser& user);

// A disk image file (or, with `device`, a disk's block device) opened read-only, never
// through a symbolic link, for the machine; -1 with the reason in `error` when it cannot
// be.
int OpenDiskReadOnly(const std::string& path, bool device, std::string& error);

// A file in memory, never named in any folder, holding a copy of `path` (OVMF's variable
// store, which the machine changes); -1 with the reason when it cannot be made.
int MemoryCopyOf(const std::string& path, std::string& error);

// The same open file once more, read-only; -1 with the reason when it cannot be.
int ReopenReadOnly(int fd, std::string& error);

// A folder of the machine's own (mode 0700, under the system's temporary folder, a name
// nobody can guess), owned by `user`: QEMU's overlay of the disk's writes. Empty with the
// reason when it cannot be made.
std::string MakeVmFolder(const TVmUser& user, std::string& error);
// Removes it once the machine has ended; false when something was left in it.
bool RemoveVmFolder(const std::string& folder);

struct TVmProcess {
  std::string Program;            // absolute path
  std::vector<std::string> Args;  // after the program name
  std::vector<std::string> Environment;
  // Open files handed over as 3, 4, ... in this order; the arguments name them so.
  std::vector<int> Files;
  int ErrorOutput = -1;           // its standard error; -1: /dev/null
  TVmUser User;
  // Left to run on its own: the call returns at once, and the process that waits for it
  // removes `Folder` when it ends.
  bool Detached = false;
  std::string Folder;
};

// The number under which entry `index` of TVmProcess::Files is handed over.
inline int HandedOverFile(std::size_t index) { return 3 + static_cast<int>(index); }

// Starts it. The process id (for a detached start, of none the program waits for: 0);
// -1 with the reason in `error`.
pid_t StartVmProcess(const TVmProcess& process, std::string& error);

}  // namespace quorvane
