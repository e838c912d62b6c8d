// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "loaders/loader_classes.h"
#include "loaders/menu_text_escape.h"

namespace quorvane {

void TJobAVG::JobGo() {
  TJob::JobGo();
  if (Status() != kStatusRunning) return;
  if (!CopyImage(true)) return;
  const std::string& F = Vars.JobFileNameOnHDForwardSlash;
  const std::string block = Lines({
      "title " + Vars.JobFileNameWOExt,
      "map " + F + " (0xff)",
      "map --hook",
      "root (0xff)",
      "kernel /isolinux/vmlinuz boot=casper persistent iso-scan/filename=" +
          Vars.JobFileNameForwardSlash,
      "initrd /isolinux/initrd.lzm",
  });
  if (!WriteEntryFile("AVGResque.lst", block)) return;
  const std::string params =
      "boot=casper persistent " + Grub2MenuWord("iso-scan/filename=" + Vars.JobFileNameForwardSlash);
  if (!WriteUefiEntryFile("AVGResque.cfg", UefiImageItem(UefiBoot(), params))) return;
  AppendMainMenuItem("AVGResque.lst");
}

}  // namespace quorvane
