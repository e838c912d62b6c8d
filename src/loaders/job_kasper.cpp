// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "archive/file_operations.h"
#include "loaders/grub2_menu.h"
#include "loaders/loader_classes.h"
#include "loaders/menu_text_escape.h"

namespace quorvane {

void TJobKasper::JobGo() {
  TJob::JobGo();
  if (Status() != kStatusRunning) return;
  const std::string& n = Vars.JobFileNameWOExt;
  std::string error;
  UnpackArchive(this, UnpackProgressCallback, Consts.SrcFile, error, Vars.JobDir + n,
                &WrittenFiles());
  if (!StepSucceeded(error)) return;
  if (!UnpackedFilesWhole(Vars.JobDir + n + "/",
                          {"boot/rescue", "boot/rescue.igz", "rescue/LiveOS/squashfs.img"}))
    return;
  const std::string live = Vars.JobDirOnHDForwardSlashWOhd + n + "/rescue/LiveOS/";
  const std::string block = Lines({
      "title " + n,
      "uuid () > nul",
      "set UUID=%?%",
      "kernel " + Vars.JobDirOnHDForwardSlashWOhd + n + "/boot/rescue " +
          "root=live:UUID=%UUID% " + "live_dir=" + live + " " + "subdir=" + live + " " +
          "rootfstype=auto rw vga=791 init=/linuxrc " + "loop=" + live + "squashfs.img " +
          "kav_lang=en udev liveimg splash quiet doscsi nomodeset",
      "initrd " + Vars.JobDirOnHDForwardSlashWOhd + n + "/boot/rescue.igz",
  });
  if (!WriteEntryFile(n + ".lst", block)) return;
  // The same kernel line, the volume's UUID read by GRUB 2's probe.
  const std::string& w = Vars.JobDirOnHDForwardSlashWOhd;
  const std::string uefi_item = Grub2DriveKernelItem(
      n, w + n + "/boot/rescue", w + n + "/boot/rescue.igz",
      "root=live:UUID=$qv_uuid " + Grub2MenuWord("live_dir=" + live) + " " +
          Grub2MenuWord("subdir=" + live) + " rootfstype=auto rw vga=791 init=/linuxrc " +
          Grub2MenuWord("loop=" + live + "squashfs.img") +
          " kav_lang=en udev liveimg splash quiet doscsi nomodeset");
  if (!WriteUefiEntryFile(n + ".cfg", uefi_item)) return;
  AppendMainMenuItem(n + ".lst");
}

}  // namespace quorvane
