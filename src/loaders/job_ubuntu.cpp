// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "archive/file_operations.h"
#include "loaders/loader_classes.h"
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
      UnpackSingleFile(this, nullptr, Consts.SrcFile, error, Vars.JobDir, "casper\\" + name);
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
  AppendMainMenuItem("UbuntuX64.lst");
}

}  // namespace quorvane
