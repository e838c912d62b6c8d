// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "jobs/vm_test_boot.h"

#include <cstdlib>
#include <thread>

#include "drive/usb_drive_letters.h"
#include "jobs/linux_vm_process.h"
#include "jobs/vm_machine.h"

namespace quorvane {

namespace {

using namespace std::chrono_literals;
using TClock = std::chrono::steady_clock;

constexpr std::size_t kReportLines = 12;

enum class TOutcome { Done, KvmFault };

std::string MenuText(const TVmMenu& menu) {
  std::string text;
  for (std::size_t i = 0; i < menu.Items.size(); ++i)
    text += (i ? "\n  " : "  ") + std::to_string(i + 1) + "  " + menu.Items[i];
  return text;
}

class TSession {
 public:
  TSession(const TVmTestBootRequest& request, const std::function<void(const std::string&)>& say,
           TVmTestBootResult& result)
      : FRequest(request), FSay(say), FResult(result) {}

  TOutcome Run(bool kvm) {
    const TOutcome outcome = Boot(kvm);
    if (const std::string left = FMachine.Stop(); !left.empty()) FSay(left);
    return outcome;
  }

 private:
  TOutcome Boot(bool kvm) {
    TVmMachineSetup setup;
    setup.Uefi = FRequest.Uefi;
    setup.Disk = FRequest.Disk;
    setup.DiskIsDevice = FRequest.DiskIsDevice;
    setup.Kvm = kvm;
    setup.Window = FRequest.Window;
    setup.Environment = FRequest.Environment;
    setup.Title = "Test boot of " + FRequest.Disk + (FRequest.Uefi ? " (UEFI)" : " (BIOS)");
    if (!FMachine.Start(setup, FResult.Error)) return TOutcome::Done;
    FResult.Kvm = FMachine.UsesKvm();
    if (!FResult.Kvm) FSay(WithoutKvm());
    FSlow = !FResult.Kvm;
    TVmMenu menu;
    if (!WaitForMenu({}, FSlow ? 180s : 60s, menu)) return Outcome();
    FResult.MenuShown = true;
    FResult.Menu = menu.Items;
    FSay(std::string(FRequest.Uefi ? "UEFI" : "BIOS") + " boot menu:\n" + ScreenText(FScreen.Rows) +
         "Entries:\n" + MenuText(menu));
    for (std::size_t level = 0; level < FRequest.Entry.size(); ++level) {
      const int wanted = FRequest.Entry[level];
      if (wanted < 1 || static_cast<std::size_t>(wanted) > menu.Items.size()) {
        FResult.Error = "entry " + std::to_string(wanted) + ": the menu has " +
                        std::to_string(menu.Items.size()) + " entries";
        return TOutcome::Done;
      }
      Choose(menu, wanted - 1);
      FSay("Chose entry " + std::to_string(wanted) + ": " + menu.Items[wanted - 1]);
      if (level + 1 == FRequest.Entry.size()) break;
      const std::vector<std::string> previous = menu.Items;
      if (!WaitForMenu(previous, FSlow ? 120s : 30s, menu)) {
        if (FFault) return TOutcome::KvmFault;
        FResult.BootError = BootLoaderError(ScreenText(FScreen.Rows));
        FResult.Error = "no menu followed entry " + std::to_string(wanted);
        Report();
        return TOutcome::Done;
      }
      FSay("Next menu:\n" + MenuText(menu));
    }
    if (!FRequest.Entry.empty()) {
      FResult.EntryStarted = true;
      if (WaitForEnd() == TOutcome::KvmFault) return TOutcome::KvmFault;
      Report();
    }
    if (!FRequest.Window.empty() && FMachine.Running()) {
      FSay("The machine runs in QEMU's window: close it to end.");
      FMachine.WaitForExit(std::chrono::hours(24 * 365));
    }
    return TOutcome::Done;
  }

  // Why the machine runs without KVM.
  static std::string WithoutKvm() {
    TVmTools tools;
    const TVmUser user = VmUser();
    const bool denied = FindVmTools(false, tools).empty() && tools.Kvm && !KvmUsableBy(user);
    return (denied ? "KVM is not open to " + user.Name + ", as whom QEMU runs"
                   : std::string("KVM is not available")) +
           ": the machine runs without it (TCG), which is slow.";
  }

  TOutcome Outcome() {
    if (FFault) return TOutcome::KvmFault;
    if (FResult.Error.empty()) {
      FResult.Error = FMachine.Running() ? "no boot menu showed" : "the machine ended before a boot menu showed";
      const std::string qemu = FMachine.ErrorOutput();
      if (!FMachine.Running() && !qemu.empty()) FResult.Error += ": " + qemu;
      Report();
    }
    return TOutcome::Done;
  }

  // A fault of KVM stops the machine where it is; false then.
  bool Healthy() {
    if (FResult.Kvm && FMachine.Faulted()) FFault = true;
    return !FFault;
  }

  // Waits for a menu whose items differ from `previous`, drawn in full (the same twice).
  bool WaitForMenu(const std::vector<std::string>& previous, std::chrono::seconds limit,
                   TVmMenu& menu) {
    const auto deadline = TClock::now() + limit;
    std::vector<std::string> seen;
    while (TClock::now() < deadline && FMachine.Running() && Healthy()) {
      FScreen = FMachine.Screen();
      const TVmMenu found = FindMenu(FScreen);
      if (!found.Items.empty() && found.Items != previous) {
        if (found.Items == seen) {
          menu = found;
          return true;
        }
        seen = found.Items;
      } else {
        seen.clear();
      }
      std::this_thread::sleep_for(700ms);
    }
    return false;
  }

  // Moves from the highlighted item (the first when the screen does not tell) to `index`
  // and starts it.
  void Choose(const TVmMenu& menu, int index) {
    const int from = menu.Highlighted >= 0 ? menu.Highlighted : 0;
    for (int i = from; i < index; ++i) FMachine.SendKey("down");
    for (int i = from; i > index; --i) FMachine.SendKey("up");
    FMachine.SendKey("ret");
  }

  TOutcome WaitForEnd() {
    const std::chrono::seconds limit =
        FRequest.Wait.count() > 0 ? FRequest.Wait : (FSlow ? 180s : 60s);
    const auto deadline = TClock::now() + limit;
    while (TClock::now() < deadline && FMachine.Running()) {
      if (!Healthy()) return TOutcome::KvmFault;
      FScreen = FMachine.Screen();
      FResult.BootError = BootLoaderError(ScreenText(FScreen.Rows));
      if (!FResult.BootError.empty()) break;
      std::this_thread::sleep_for(1s);
    }
    return TOutcome::Done;
  }

  void Report() {
    FResult.StillRunning = FMachine.Running();
    // The serial port's last words arrive a moment after the machine has ended; the VGA
    // screen can be read only while it runs.
    if (!FResult.StillRunning) std::this_thread::sleep_for(500ms);
    if (FResult.StillRunning || FRequest.Uefi) FScreen = FMachine.Screen();
    FResult.ScreenLines = LastLines(FScreen.Rows, kReportLines);
    if (!FRequest.Uefi) FResult.SerialLines = LastLines(FMachine.SerialScreen().Rows, kReportLines);
  }

  const TVmTestBootRequest& FRequest;
  const std::function<void(const std::string&)>& FSay;
  TVmTestBootResult& FResult;
  TVmMachine FMachine;
  TVmScreen FScreen;
  bool FSlow = true;
  bool FFault = false;
};

}  // namespace

bool VmDisplayPresent() {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
    const char* value = std::getenv(name);
    if (value && *value) return true;
  }
  return false;
}

std::string VmDiskOfDrive(TUSBDriveLetters& table, char letter, bool& device, std::string& error) {
  TDiskTarget disk;
  if (!table.WritableDiskOf(letter, disk, error)) return {};
  device = !(disk.IsImage && !disk.ImageFile.empty());
  return device ? disk.Node : disk.ImageFile;
}

TVmTestBootResult RunVmTestBoot(const TVmTestBootRequest& request,
                                const std::function<void(const std::string&)>& say) {
  for (bool kvm : {true, false}) {
    TVmTestBootResult result;
    TSession session(request, say, result);
    if (session.Run(kvm) == TOutcome::Done) return result;
    say("KVM failed on this machine (QEMU reported an internal error): starting again "
        "without it.");
  }
  TVmTestBootResult result;
  result.Error = "the machine could not be run";
  return result;
}

}  // namespace quorvane
