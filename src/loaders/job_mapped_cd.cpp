// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// Hiren's Boot CD, Parted Magic, Dr.Web LiveDisk and Clonezilla boot their image as a CD.
#include "loaders/loader_classes.h"

namespace quorvane {

void TMappedCdJob::JobGo() {
  TJob::JobGo();
  if (Status() != kStatusRunning) return;
  // An image loaded into memory at boot may lie anywhere on the drive; one mapped in
  // place must be contiguous.
  const bool in_memory = LoadsIntoMemory();
  if (!CopyImage(!in_memory)) return;
  const std::string& n = Vars.JobFileNameWOExt;
  const std::string& F = Vars.JobFileNameOnHDForwardSlash;
  std::string block = Lines({"title " + n});
  if (in_memory) {
    block += Lines({"map --mem " + F + " (0xff)"});
  } else {
    block += Lines({"partnew (hd0,3) 0x00 " + F, "map " + F + " (0xff)"});
  }
  block += Lines({"map --hook", "root (0xff)", "chainloader (0xff)"});
  if (!WriteEntryFile(n + ".lst", block)) return;
  AppendMainMenuItem(n + ".lst");
}

}  // namespace quorvane
