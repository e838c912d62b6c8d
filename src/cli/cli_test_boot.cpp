// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "cli/cli_test_boot.h"

#include "cli/cli_run.h"
#include "common/tool_runner.h"
#include "jobs/vm_machine.h"
#include "jobs/vm_test_boot.h"
#include "jobs/vm_tools.h"

namespace quorvane {

namespace {

void PrintLines(std::FILE* out, const char* heading, const std::vector<std::string>& lines) {
  if (lines.empty()) return;
  std::fprintf(out, "%s\n", heading);
  for (const std::string& line : lines) std::fprintf(out, "  %s\n", line.c_str());
}

}  // namespace

int RunCliTestBoot(const TCliCommand& command, const std::string& disk, bool device,
                   std::FILE* out, std::FILE* err) {
  TVmTools tools;
  if (const std::string missing = FindVmTools(command.Uefi, tools); !missing.empty()) {
    std::fprintf(err, "quorvane-cli: %s\n", missing.c_str());
    return kCliExitFailed;
  }
  TVmTestBootRequest request;
  request.Disk = disk;
  request.DiskIsDevice = device;
  request.Uefi = command.Uefi;
  request.Entry = command.MenuEntry;
  request.Wait = std::chrono::seconds(command.WaitSeconds);
  if (!command.NoWindow && VmDisplayPresent()) {
    std::string missing;
    request.Window = VmWindowKind(tools, missing);
    if (request.Window.empty())
      std::fprintf(out, "%s; the menu's text follows instead.\n", missing.c_str());
    else
      request.Environment = DesktopSessionEnvironment("C.UTF-8");
  }
  std::fprintf(out, "Booting %s under %s in a virtual machine; the drive is not written.\n",
               disk.c_str(), command.Uefi ? "UEFI (OVMF)" : "BIOS (SeaBIOS)");
  std::fflush(out);
  const TVmTestBootResult result = RunVmTestBoot(request, [&](const std::string& line) {
    std::fprintf(out, "%s\n", line.c_str());
    std::fflush(out);
  });
  if (!command.MenuEntry.empty() || !result.Error.empty()) {
    PrintLines(out, "Screen (last lines):", result.ScreenLines);
    PrintLines(out, "Serial port (last lines):", result.SerialLines);
  }
  if (!command.MenuEntry.empty() && result.EntryStarted) {
    std::fprintf(out, "Boot loader error: %s\n",
                 result.BootError.empty() ? "none" : result.BootError.c_str());
    std::fprintf(out, "The machine %s.\n",
                 result.StillRunning ? "still runs" : "has ended");
  }
  if (!result.Error.empty()) std::fprintf(err, "quorvane-cli: %s\n", result.Error.c_str());
  return result.Succeeded(!command.MenuEntry.empty()) ? kCliExitFinished : kCliExitFailed;
}

}  // namespace quorvane
