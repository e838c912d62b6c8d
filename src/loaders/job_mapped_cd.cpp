// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// Hiren's Boot CD, Parted Magic, Dr.Web LiveDisk and Clonezilla boot their image as a CD
// mapped in place.
#include "loaders/loader_classes.h"
#include "loaders/menu_text_escape.h"

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
  if (!WriteUefiEntryFile(n + ".cfg", UefiImageItem(UefiBoot(), UefiKernelParams()))) return;
  AppendMainMenuItem(n + ".lst");
}

std::string TMappedCdJob::UefiKernelParams() const { return {}; }

std::string TJobPartedMagic::UefiKernelParams() const {
  return "edd=on vga=normal eject=no load_ramdisk=1 " +
         Grub2MenuWord("iso_filename=" + Vars.JobFileNameForwardSlash);
}

std::string TJobClonezilla::UefiKernelParams() const {
  // Clonezilla's own menu line, with the image's place for live-boot.
  return "boot=live union=overlay username=user config components quiet noswap edd=on "
         "nomodeset locales= keyboard-layouts= ocs_live_run=ocs-live-general "
         "ocs_live_extra_param= ocs_live_batch=no vga=788 ip= net.ifnames=0 splash " +
         Grub2MenuWord("findiso=" + Vars.JobFileNameForwardSlash);
}

}  // namespace quorvane
