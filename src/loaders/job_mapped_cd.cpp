// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// Hiren's Boot CD, Parted Magic, Dr.Web LiveDisk and Clonezilla boot their image as a CD
// mapped in place.
#include "loaders/loader_classes.h"

namespace quorvane {

void TMappedCdJob::JobGo() {
  TJob::JobGo();
  if (Status() != kStatusRunning) return;
  // GRUB4DOS maps an image in place only when it lies contiguously on the drive.
  if (!CopyImage(true)) return;
  const std::string& n = Vars.JobFileNameWOExt;
  const std::string& F = Vars.JobFileNameOnHDForwardSlash;
  // The partition entry makes the image a partition of the stick for the system started
  // from it: Linux finds its live folder there.
  const std::string block = Lines({"title " + n, "partnew (hd0,3) 0x00 " + F,
                                   "map " + F + " (0xff)", "map --hook", "root (0xff)",
                                   "chainloader (0xff)"});
  if (!WriteEntryFile(n + ".lst", block)) return;
  AppendMainMenuItem(n + ".lst");
}

}  // namespace quorvane
