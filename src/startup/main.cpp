// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// quorvane: builds multi-boot USB drives, driven by its own window or by a browser page.
#include <cstdio>
#include <string>
#include <vector>

#include "common/message_queue.h"
#include "drive/usb_drive_letters.h"
#include "service/service_client.h"
#include "startup/main_methods.h"
#include "ui/ui_services.h"

int main(int argc, char** argv) {
  using namespace quorvane;
  std::vector<std::string> args(argv, argv + argc);
  TMessageQueue queue;
  std::unique_ptr<IServiceClient> service = CreateServiceClient();
  SetDefaultFeedbackSender(SendFeedback);
  std::unique_ptr<IFallbackDialog> dialog = CreateFallbackDialog(argc, argv);
  TStartupEnvironment env;
  env.CreateServer = [&args] { return CreateControlServer(args.size() > 3 ? args[3] : ""); };
  env.CreateWindow = [argc, argv] { return CreatePortableWindow(argc, argv); };
  env.Service = service.get();
  env.Dialog = dialog.get();
  env.Queue = &queue;
  env.Now = LocalDateTimeNow;
  // The run's USB drives: letters, mounts made on demand, image drives.
  std::shared_ptr<TUSBDriveLetters> drives = InstallUSBDriveLetters();
  const int exit_code = RunProgram(args, env);
  // Sync and unmount whatever the run mounted, so that every stick can be pulled.
  const std::string drive_errors = drives->ReleaseRunDrives();
  if (!drive_errors.empty()) std::fprintf(stderr, "quorvane: %s\n", drive_errors.c_str());
  SetDriveLetters(nullptr);
  return exit_code;
}
