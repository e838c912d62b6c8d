// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// What the loader classes share: the steps of writing a boot entry (copy the image, write
// the entry file, append the main-menu item) under the job's rules for errors and cancel.
#pragma once

#include <initializer_list>
#include <string>

#include "jobs/job.h"
#include "loaders/uefi_boot.h"

namespace quorvane {

class TLoaderJob : public TJob {
 public:
  using TJob::TJob;
  ~TLoaderJob() override { WaitFor(); }

 protected:
  // Copies the image to its place in the job folder with progress, then checks that the
  // copy is whole. An image that GRUB4DOS maps in place must lie contiguously on the
  // drive; `mapped_in_place` checks it.
  bool CopyImage(bool mapped_in_place);
  // Writes the entry file `file_name` in the job folder: `block` (the loader's items, each
  // line ended), an empty line, then the item that returns to the main menu.
  bool WriteEntryFile(const std::string& file_name, const std::string& block);
  // Writes the entry's UEFI menu file `file_name` in the job folder: `items` (GRUB 2
  // items), then the item back to the main menu. Without items the entry boots on BIOS
  // only: no file, and its UEFI main-menu item says so.
  bool WriteUefiEntryFile(const std::string& file_name, const std::string& items);
  // Appends the entry's item, which loads `file_name` from the job folder, to "menu.lst",
  // and its item to the UEFI menu (WriteUefiEntryFile).
  void AppendMainMenuItem(const std::string& file_name);

  // How the image boots on UEFI (UefiBootOf).
  TUefiBoot UefiBoot() const;
  // The UEFI item of an image entry titled with the image's name: by its route, with
  // `kernel_params` for a kernel started from the image; empty when it boots on BIOS only.
  std::string UefiImageItem(const TUefiBoot& boot, const std::string& kernel_params) const;

  // What the image lacks for its loader (ImageBootProblem).
  std::string ImageProblem() const override;
  // After an unpack: whether the files the loader starts came out of the image whole.
  bool UnpackedFilesWhole(const std::string& folder, std::initializer_list<const char*> items);

  // Lines each ended by CR LF.
  static std::string Lines(std::initializer_list<std::string> lines);

  // Windows entries return to the main menu through the full device path and append an
  // item without a line end of its own.
  virtual bool BootsThroughNTBOOT() const { return false; }

 private:
  std::string FUefiMainItem;  // set by WriteUefiEntryFile
};

}  // namespace quorvane
