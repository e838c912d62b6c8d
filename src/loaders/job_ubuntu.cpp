// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "archive/archive_queries.h"
#include "archive/file_operations.h"
#include "loaders/loader_classes.h"

namespace quorvane {

void TJobUbuntu::JobGo() {
  TJob::JobGo();
  if (Status() != kStatusRunning) return;
  std::string kernel;
  if (GetArchiveItemSize(Consts.SrcFile, "casper\\vmlinuz.efi") >= 0) {
    kernel = "vmlinuz.efi";
  } else if (GetArchiveItemSize(Consts.SrcFile, "casper\\vmlinuz") >= 0) {
    kernel = "vmlinuz";
  } else {
    SetError("Ubuntu kernel file not found on ISO");
    return;
  }
  for (const std::string& item : {"casper\\" + kernel, std::string("casper\\initrd.lz")}) {
    std::string error;
    try {
      UnpackSingleFile(this, nullptr, Consts.SrcFile, error, Vars.JobDir, item);
    } catch (...) {
      error = "Unhandled error in unpacking files process";
    }
    if (!StepSucceeded(error)) return;
  }
  if (!CopyImage(false)) return;
  const std::string& p = Vars.JobDirOnHDForwardSlash;
  const std::string iso = "iso-scan/filename=" + Vars.JobFileNameForwardSlash + " ";
  const std::string block = Lines({
      "title Try Ubuntu without installing",
      "root (hd0,0)",
      "kernel " + p + kernel + " " + iso +
          "noprompt boot=casper persistent initrd=/casper/initrd.lz quiet splash --",
      "initrd " + p + "initrd.lz",
      "",
      "title Install Ubuntu",
      "root (hd0,0)",
      "kernel " + p + kernel + " " + iso +
          "noprompt boot=casper only-ubiquity initrd=/casper/initrd.lz quiet splash --",
      "initrd " + p + "initrd.lz",
  });
  if (!WriteEntryFile("UbuntuX64.lst", block)) return;
  AppendMainMenuItem("UbuntuX64.lst");
}

}  // namespace quorvane
