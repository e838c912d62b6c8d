// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The control server as the browser test drives it: the program's server, page and file
// dialog, over one folder-backed USB drive "e" and loaders that write a small entry in
// visible steps. Prints the run's secret ("TOKEN t"), then "PORT n" once it listens, and
// "FINISHED" when the page has ended the run with "FinishWorks". What a virtual machine
// would need is read from the file QUORVANE_VM_TOOLS names ("none": no QEMU, "bios": no
// OVMF, else all there); each start it is asked for prints "VMTEST letter firmware".
//
//   online_page_host DRIVE_FOLDER
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <thread>

#include "archive/file_operations.h"
#include "common/message_queue.h"
#include "common/session_state.h"
#include "drive/drive_letters.h"
#include "drive/usb_drive_set.h"
#include "jobs/jobs.h"
#include "server/control_server.h"
#include "service/service_client.h"
#include "support/temp_dir.h"

namespace {

using namespace quorvane;

class THostDrives : public TFolderDriveLetters, public IDriveLister {
 public:
  TUSBDrives ListUSBDrives() override { return {drive}; }
  void VolumeNameAndFS(char, std::string& name, std::string& fs) override {
    name = drive.Name;
    fs = drive.FileSystem;
  }
  TUSBDriveSet drive;
};

// Copies in twenty visible steps, then writes its menu entry.
class TStepLoader : public TJob {
 public:
  using TJob::TJob;
  ~TStepLoader() override { WaitFor(); }

 protected:
  void JobGo() override {
    TJob::JobGo();
    if (Status() != kStatusRunning) return;
    const int steps = 20;
    for (int i = 1; i <= steps; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(60));
      if (CopyProgressRoutine(steps, i, steps, i, 1, CALLBACK_CHUNK_FINISHED, -1, -1, this) !=
          PROGRESS_CONTINUE)
        break;
    }
    if (!Canceled()) testing::WriteFile(Vars.JobFileNameOnDriveBackSlash, "image");
    if (!StepSucceeded("")) return;
    AppendEntryToMainMenu("\r\ntitle " + Vars.JobFileNameWOExt + "\r\n");
  }
};

class TSlowPreparation : public TDrivePreparation {
 public:
  ~TSlowPreparation() override { WaitFor(); }

 protected:
  void Execute() override { std::this_thread::sleep_for(std::chrono::milliseconds(500)); }
};

// What the file QUORVANE_VM_TOOLS says a boot under this firmware lacks.
std::string MissingVmTools(bool uefi) {
  const char* file = std::getenv("QUORVANE_VM_TOOLS");
  std::string state;
  if (file) {
    std::ifstream in(file);
    std::getline(in, state);
  }
  if (state == "none") return "QEMU is not installed: install the package qemu-system-x86";
  if (state == "bios" && uefi)
    return "The UEFI firmware for virtual machines is not installed: install the package ovmf";
  return {};
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: online_page_host DRIVE_FOLDER\n");
    return 2;
  }
  TMessageQueue queue;
  SetMainThreadDispatcher(&queue);
  auto drives = std::make_shared<THostDrives>();
  drives->Map('e', argv[1]);
  drives->SetFreeSpace('e', 6979321856LL);
  drives->drive.Letter = 'e';
  drives->drive.Name = "MULTIBOOT";
  drives->drive.FileSystem = "FAT32";
  drives->drive.IntFileSystem = 0;
  drives->drive.FreeSpace = 6979321856LL;
  drives->drive.FullSize = 8004304896LL;
  drives->drive.VolumeDevice = "/dev/sdx1";
  drives->drive.DiskDevice = "/dev/sdx";
  drives->drive.Vendor = "Kingston";
  drives->drive.Model = "DataTraveler 3.0";
  SetDriveLetters(drives);

  TControlModuleSetup setup;
  setup.ExistLoaders = "browser test";
  setup.PrepareArchiveLibrary = [] { return std::string(); };
  setup.Preflight = RunPlanPreflight;
  setup.CreateJobs = [] {
    return std::make_unique<TJobs>(
        [](std::int32_t type, const std::string& file, char drive, const std::string& name) {
          return std::unique_ptr<TJob>(std::make_unique<TStepLoader>(type, file, drive, name));
        },
        [](char, std::uint8_t, std::uint8_t) {
          return std::unique_ptr<TDrivePreparation>(std::make_unique<TSlowPreparation>());
        });
  };
  setup.VmTestBoot.MissingTools = MissingVmTools;
  setup.VmTestBoot.Start = [](char letter, bool uefi) {
    std::string missing = MissingVmTools(uefi);
    if (!missing.empty()) return missing;
    std::printf("VMTEST %c %s\n", letter, uefi ? "UEFI" : "BIOS");
    std::fflush(stdout);
    return std::string();
  };
  TControlServer server(setup);
  // Other test programs may take the same free port at the same moment: try others then.
  std::mt19937 random(std::random_device{}());
  int port = 0;
  for (int attempt = 0;; ++attempt) {
    port = attempt == 0 ? FindFreePort(8080) : 20000 + static_cast<int>(random() % 30000);
    server.SetDefaultPort(port);
    try {
      server.Activate();
      break;
    } catch (const std::exception& error) {
      if (attempt < 50) continue;
      std::fprintf(stderr, "cannot start: %s\n", error.what());
      return 1;
    }
  }
  std::printf("TOKEN %s\n", server.Token().c_str());
  std::printf("PORT %d\n", port);
  std::fflush(stdout);
  while (!QuitRequested) {
    if (queue.WaitForMessage(std::chrono::milliseconds(200))) queue.DispatchWaiting();
  }
  queue.DispatchWaiting();
  server.Deactivate();
  std::printf("FINISHED\n");
  std::fflush(stdout);
  SetDriveLetters(nullptr);
  SetMainThreadDispatcher(nullptr);
  return 0;
}
