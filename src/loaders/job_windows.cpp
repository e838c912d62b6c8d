// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "common/text.h"
#include "loaders/loader_classes.h"

namespace quorvane {

std::string TJobWin7::NTBOOTOption() const {
  // Windows 7 also installs from ".vhd" images, which NTBOOT boots as NT6.
  return LowerAscii(Vars.JobFileExt) == ".iso" ? "iso_inst=vboot cdrom=" : "NT6=";
}

void TJobWindows::JobGo() {
  TJob::JobGo();
  if (Status() != kStatusRunning) return;
  if (!CopyImage(true)) return;
  const std::string folder = TemplateFolder();
  const std::string block = Lines({
      "title " + Vars.JobFileNameWOExt,
      "dd if=()/Quorvane/NTBOOT/" + folder + "/ISO.xml of=()/AutoUnattend.xml",
      "dd if=()/Quorvane/NTBOOT/spaces.txt of=()/Quorvane/NTBOOT/namepath.cmd",
      // Written doubled and with GRUB4DOS's line-end escape: "write" undoes both.
      "write ()/Quorvane/NTBOOT/namepath.cmd SET MYOS=" + Vars.JobFileNameDblBackSlash + "\\r\\n",
      "command ()/Quorvane/NTBOOT/NTBOOT " + NTBOOTOption() + Vars.JobFileNameForwardSlash,
  });
  if (!WriteEntryFile("Go.lst", block)) return;
  // Windows setup cannot start from an image file under UEFI.
  if (!WriteUefiEntryFile("Go.cfg", "")) return;
  AppendMainMenuItem("Go.lst");
}

}  // namespace quorvane
