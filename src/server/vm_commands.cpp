// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The virtual-machine commands: what a boot under BIOS and UEFI lacks, and the start of a
// drive in a virtual machine from the page.
#include "jobs/jobs.h"
#include "server/command_replies.h"
#include "server/web_module.h"

namespace quorvane {

namespace {

// "Drive" (a drive letter) and "Firmware" ("BIOS" or "UEFI"); false with the reply to
// give when they name no test boot.
bool ReadVmTestFields(const TFormFields& fields, char& letter, bool& uefi, TJsonValue& refusal) {
  const std::string drive = fields.Get("Drive");
  if (drive.empty()) {
    refusal = DataReply("Error", "Drive not selected");
    return false;
  }
  if (drive.size() != 1 || !IsVmTestDriveLetter(drive[0])) {
    refusal = DataReply("Error", "Drive letter not recognized");
    return false;
  }
  const std::string firmware = fields.Get("Firmware");
  if (firmware != "BIOS" && firmware != "UEFI") {
    refusal = DataReply("Error", "Firmware not recognized: BIOS or UEFI");
    return false;
  }
  letter = drive[0];
  uefi = firmware == "UEFI";
  return true;
}

}  // namespace

TJsonValue TWebModule1::GetVmToolsAction() {
  TJsonValue reply;
  reply.AddStatus("BIOS", FSetup.VmTestBoot.MissingTools(false))
      .AddStatus("UEFI", FSetup.VmTestBoot.MissingTools(true));
  return reply;
}

TJsonValue TWebModule1::TestInVmAction(const TFormFields& fields) {
  char letter = 0;
  bool uefi = false;
  TJsonValue refusal;
  if (!ReadVmTestFields(fields, letter, uefi, refusal)) return refusal;
  // What the machine would read of a drive being written is no drive at all.
  if (FJobs && (FJobs->Starting() || FJobs->Busy()))
    return DataReply("Error", "A burn is under way: test the drive once it has ended");
  const std::string error = FSetup.VmTestBoot.Start(letter, uefi);
  if (!error.empty()) return DataReply("Error", error);
  return StatusReply("Success", "");
}

}  // namespace quorvane
