// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "archive/file_operations.h"
#include "loaders/grub2_menu.h"
#include "loaders/loader_classes.h"
#include "loaders/menu_text_escape.h"
#include "loaders/ubuntu_boot_files.h"

namespace quorvane {

void TJobUbuntu::JobGo() {
  TJob::JobGo();
  if (Status() != kStatusRunning) return;
  // Releases have named the kernel and the initrd differently (vmlinuz.efi and initrd.lz
  // up to 16.04, vmlinuz and initrd today): the entry takes the names the image has.
  TUbuntuBootFiles files;
  FindUbuntuBootFilesIn(Consts.SrcFile, files);
  if (files.Kernel.empty()) {
    SetError(UbuntuKernelMissing());
    return;
  }
  if (files.Initrd.empty()) {
    SetError(UbuntuInitrdMissing());
    return;
  }
  for (const std::string& name : {files.Kernel, files.Initrd}) {
    std::string error;
    try {
      UnpackSingleFile(this, nullptr, Consts.SrcFile, error, Vars.JobDir, "casper\\" + name,
                       &WrittenFiles());
    } catch (...) {
      error = "Unhandled error in unpacking files process";
    }
    if (!StepSucceeded(error)) return;
  }
  if (FileSize64(Vars.JobDir + files.Kernel) != files.KernelSize ||
      FileSize64(Vars.JobDir + files.Initrd) != files.InitrdSize) {
    StepSucceeded("The kernel or initrd taken out of the image is not whole on the USB drive");
    return;
  }
  if (!CopyImage(false)) return;
  const std::string& p = Vars.JobDirOnHDForwardSlash;
  const std::string& kernel = files.Kernel;
  const std::string iso = "iso-scan/filename=" + Vars.JobFileNameForwardSlash + " ";
  const std::string initrd = "initrd=/casper/" + files.Initrd + " quiet splash --";
  const std::string block = Lines({
      "title Try Ubuntu without installing",
      "root (hd0,0)",
      "kernel " + p + kernel + " " + iso + "noprompt boot=casper persistent " + initrd,
      "initrd " + p + files.Initrd,
      "",
      "title Install Ubuntu",
      "root (hd0,0)",
      "kernel " + p + kernel + " " + iso + "noprompt boot=casper only-ubiquity " + initrd,
      "initrd " + p + files.Initrd,
  });
  if (!WriteEntryFile("UbuntuX64.lst", block)) return;
  // The same two items, the kernel started from the image; the image's own menu first
  // where it has one made for this.
  const TUefiBoot boot = UefiBoot();
  std::string uefi_items;
  if (boot.Route == TUefiRoute::LoopbackCfg)
    uefi_items += Grub2ImageItem(boot, "Boot menu of the image", Vars.JobFileNameForwardSlash, "");
  TUefiBoot own;
  own.Route = TUefiRoute::Kernel;
  own.Kernel = "/casper/" + files.Kernel;
  own.Initrds = {"/casper/" + files.Initrd};
  const std::string uefi_iso =
      "boot=casper " + Grub2MenuWord("iso-scan/filename=" + Vars.JobFileNameForwardSlash) +
      " noprompt ";
  uefi_items += Grub2ImageItem(own, "Try Ubuntu without installing", Vars.JobFileNameForwardSlash,
                               uefi_iso + "persistent quiet splash --") +
                Grub2ImageItem(own, "Install Ubuntu", Vars.JobFileNameForwardSlash,
                               uefi_iso + "only-ubiquity quiet splash --");
  if (!WriteUefiEntryFile("UbuntuX64.cfg", uefi_items)) return;
  AppendMainMenuItem("UbuntuX64.lst");
}

}  // namespace quorvane
