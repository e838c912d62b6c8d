// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// What the end-to-end tests of quorvane-cli need: the program run as a process of its
// own, ISO images made with xorriso, and the NTFS volume of a burned image drive read
// through ntfs-3g, independently of the program.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

#include "support/iso_images.h"

namespace quorvane::testing {

struct TProcessResult {
  int ExitStatus = -1;  // -1 when it did not end by itself
  std::string Out, Err;
};

// Runs quorvane-cli with `args` (standard input empty), calling `on_line` for each line of
// its standard output as it comes, with the process's id.
TProcessResult RunCli(const std::vector<std::string>& args,
                      const std::function<void(const std::string& line, pid_t pid)>& on_line = {});

// The first partition of a disk image file, mounted read-only (or writable) through
// ntfs-3g on a loop device of its own for as long as the object lives.
class TMountedVolume {
 public:
  TMountedVolume(const std::string& image, const std::string& mount_point, bool writable = false);
  ~TMountedVolume();
  TMountedVolume(const TMountedVolume&) = delete;
  TMountedVolume& operator=(const TMountedVolume&) = delete;

  bool Ok() const { return FMounted; }
  const std::string& Error() const { return FError; }
  // Path of `name` on the volume ("menu.lst", "Quorvane/NTBOOT/NTBOOT").
  std::string operator/(const std::string& name) const { return FMountPoint + "/" + name; }

 private:
  std::string FMountPoint, FLoop, FError;
  bool FMounted = false;
};

// The loop devices attached to `file`, as losetup lists them; empty when there are none.
std::string LoopDevicesOver(const std::string& file);

// A file of the source tree.
std::string SourcePath(const std::string& path);

// The first bytes of a file.
std::string FileHead(const std::string& path, std::size_t size);

// Folder identifiers are fresh GUIDs: `text` with `id` written as "ID".
std::string WithId(const std::string& text, const std::string& id);

// The identifiers in `text`, in order of appearance.
std::vector<std::string> IdsIn(const std::string& text);

}  // namespace quorvane::testing
