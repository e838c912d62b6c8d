// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "drive/capacity_check.h"

#include "drive/usb_drive_letters.h"

namespace quorvane {

namespace {

const char* const kNotRepartitioned = " The drive was not repartitioned.";

}  // namespace

std::string CapacityCheckMessage(const TCapacityProbeResult& result) {
  std::string text;
  switch (result.Verdict) {
    case TCapacityVerdict::Honest:
      if (result.RestoreError.empty()) return {};
      text =
          "The capacity check could not write back what it had read: " + result.RestoreError + ".";
      break;
    case TCapacityVerdict::Fake:
      text = CapacityShortfallMessage(result.GoodBytes, result.ClaimedBytes) +
             ": the block at byte " + std::to_string(result.FirstBadOffset) + " " +
             result.FirstBadDetail + ".";
      if (!result.RestoreError.empty())
        text +=
            " Some of its former contents could not be written back: " + result.RestoreError + ".";
      break;
    case TCapacityVerdict::Cancelled:
      text = "The capacity check was cancelled.";
      break;
    case TCapacityVerdict::Failed:
      text = "The capacity check failed: " + result.Error + ".";
      break;
  }
  return text + kNotRepartitioned;
}

std::string CheckDriveCapacity(TUSBDriveLetters& table, char letter,
                               const std::atomic<bool>& cancel, const TCapacityProgress& progress,
                               const TRawDeviceOpener& opener,
                               const TCapacityProbeOptions& options) {
  TDiskTarget disk;
  std::string error;
  if (!table.WritableDiskOf(letter, disk, error))
    return "The capacity check cannot use the drive: " + error + "." + kNotRepartitioned;
  // While the blocks carry the check's stamps, nothing may mount a volume of the disk.
  table.SetDiskBusy(disk.KernelName, true);
  struct TBusyEnd {
    TUSBDriveLetters& Table;
    const std::string& Name;
    ~TBusyEnd() { Table.SetDiskBusy(Name, false); }
  } busy{table, disk.KernelName};
  if (!table.UnmountDisk(disk, error))
    return "The capacity check cannot unmount the drive: " + error + "." + kNotRepartitioned;
  std::unique_ptr<IRawBlockDevice> device = opener(disk.Node, disk.DevNumber, error);
  if (!device) return "The capacity check failed: " + error + "." + kNotRepartitioned;
  return CapacityCheckMessage(ProbeCapacity(*device, options, &cancel, progress));
}

}  // namespace quorvane
