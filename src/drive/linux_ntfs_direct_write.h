// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// Large files onto an NTFS volume that the program mounted through ntfs-3g, written
// straight to their clusters on the partition's device at the device's own speed, in
// place of the copy through the FUSE driver.
#pragma once

#include <memory>

#include "archive/file_copy.h"
#include "drive/usb_drive_letters.h"

namespace quorvane {

// Bytes written to the device in one go (and between two progress reports).
inline constexpr std::size_t kDirectWriteBlock = 8u << 20;

class TNtfsDirectWriter : public ILargeFileWriter {
 public:
  explicit TNtfsDirectWriter(std::weak_ptr<TUSBDriveLetters> table) : FTable(std::move(table)) {}

  // With the program's mount released: the file is made through libntfs-3g in one run of
  // clusters with nothing initialized, the volume closed, the data written to the run on
  // the device node libntfs-3g opened (O_DIRECT, large aligned blocks), the device
  // flushed, the file's initialized size set through libntfs-3g, and the volume mounted
  // again. Interrupted anywhere, the file reads as zeros, never as what its clusters held.
  // Not served (the copy through ntfs-3g instead): a target on no such volume, or no free
  // run that holds the file.
  bool Write(int in, std::uint64_t size, const std::string& target, TCopyProgressRoutine routine,
             void* data, TCopyOutcome& outcome, TWriteDigest* digest) override;

 private:
  std::weak_ptr<TUSBDriveLetters> FTable;
};

// Installs a writer over `table` for every copy of a large file.
void InstallNtfsDirectWriter(const std::shared_ptr<TUSBDriveLetters>& table);

}  // namespace quorvane
