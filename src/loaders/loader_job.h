// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// What the loader classes share: the steps of writing a boot entry (copy the image, write
// the entry file, append the main-menu item) under the job's rules for errors and cancel.
#pragma once

#include <initializer_list>
#include <string>

#include "jobs/job.h"

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
  // Appends the entry's item, which loads `file_name` from the job folder, to "menu.lst".
  void AppendMainMenuItem(const std::string& file_name);

  // What the image lacks for its loader (ImageBootProblem).
  std::string ImageProblem() const override;
  // After an unpack: whether the files the loader starts came out of the image whole.
  bool UnpackedFilesWhole(const std::string& folder, std::initializer_list<const char*> items);

  // Lines each ended by CR LF.
  static std::string Lines(std::initializer_list<std::string> lines);

  // Windows entries return to the main menu through the full device path and append an
  // item without a line end of its own.
  virtual bool BootsThroughNTBOOT() const { return false; }
};

}  // namespace quorvane
