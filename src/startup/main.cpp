// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// quorvane: builds multi-boot USB drives, driven by its own window or by a browser page.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <QCoreApplication>

#include "common/desktop_user.h"
#include "common/session_state.h"
#include "common/message_queue.h"
#include "common/version.h"
#include "drive/grub4dos_images.h"
#include "drive/linux_dead_runs.h"
#include "drive/usb_drive_letters.h"
#include "service/service_client.h"
#include "startup/ending_signals.h"
#include "startup/main_methods.h"
#include "startup/privileges.h"
#include "startup/start_arguments.h"
#include "ui/qt_application.h"
#include "ui/start_notice.h"
#include "ui/ui_services.h"

int main(int argc, char** argv) {
  using namespace quorvane;
  // Started by pkexec for a desktop user: the session comes by argument.
  const bool rerun = ::geteuid() == 0 && std::getenv("PKEXEC_UID");
  const TStartCommand start = ParseStartArguments({argv, argv + argc}, rerun);
  switch (start.Action) {
    case TStartAction::Help:
      std::fputs(StartUsage().c_str(), stdout);
      return kExitRan;
    case TStartAction::Version:
      std::printf("quorvane %s\n", QuorvaneVersion());
      return kExitRan;
    case TStartAction::Usage:
      std::fprintf(stderr, "quorvane: %s\nTry \"quorvane --help\".\n", start.Error.c_str());
      return kExitUsage;
    case TStartAction::Portable:
    case TStartAction::Online:
      break;
  }
  if (::geteuid() != 0) return StartWithoutRoot(start, SystemRerunSetup(), DisplayAvailable());
  if (rerun) {
    std::string error;
    const std::optional<TDesktopUser> user = DesktopUser();
    if (!user || !TakeOverDesktopSession(start.Session, user->Uid, error)) {
      std::fprintf(stderr, "quorvane: the desktop session cannot be taken over: %s\n",
                   user ? error.c_str() : "the user who started it is unknown");
      return kExitFailed;
    }
  }

  // What the toolkit reads of the command line: the run's own arguments.
  std::vector<std::string> args = start.Args;
  std::vector<char*> run_argv;
  for (std::string& arg : args) run_argv.push_back(arg.data());
  run_argv.push_back(nullptr);
  const int run_argc = static_cast<int>(args.size());

  TMessageQueue queue;
  std::unique_ptr<IServiceClient> service = CreateServiceClient();
  SetDefaultFeedbackSender(SendFeedback);
  std::unique_ptr<IFallbackDialog> dialog = CreateFallbackDialog(run_argc, run_argv.data());
  // Without GRUB4DOS's images no drive can be made bootable: the first start says how to
  // install them (on the window's display, or on the terminal).
  std::shared_ptr<void> notice_app;
  if (const std::string missing = Grub4DosImagesMissingMessage(); !missing.empty()) {
    std::fprintf(stderr, "quorvane: %s\n", missing.c_str());
    if (start.Action == TStartAction::Portable && DisplayAvailable())
      notice_app = ShowStartNotice(run_argc, run_argv.data(), missing);
  }
  TStartupEnvironment env;
  env.CreateServer = [&args] { return CreateControlServer(args.size() > 3 ? args[3] : ""); };
  env.CreateWindow = [run_argc, &run_argv] {
    return CreatePortableWindow(run_argc, run_argv.data());
  };
  env.Service = service.get();
  env.Dialog = dialog.get();
  env.Queue = &queue;
  env.Now = LocalDateTimeNow;
  // The run's USB drives: letters, mounts made on demand, image drives.
  std::shared_ptr<TUSBDriveLetters> drives = InstallUSBDriveLetters();
  // What a run that was killed left: its mounts and loop devices.
  const TDeadRunCleanup cleaned = CleanUpDeadRuns(drives->Environment(), drives->Runner());
  for (const std::string& done : cleaned.Done)
    std::fprintf(stderr, "quorvane: after an earlier run that was ended: %s\n", done.c_str());
  for (const std::string& error : cleaned.Errors) std::fprintf(stderr, "quorvane: %s\n", error.c_str());
  int exit_code = 0;
  {
    // Ctrl-C, SIGTERM and SIGHUP end the run as closing it does.
    TEndingSignals ending([] {
      QuitRequested = true;
      if (QCoreApplication::instance()) QCoreApplication::quit();
    });
    exit_code = RunProgram(args, env);
    if (ending.Received() != 0) exit_code = 128 + ending.Received();
  }
  // Sync and unmount whatever the run mounted, so that every stick can be pulled.
  const std::string drive_errors = drives->ReleaseRunDrives();
  if (!drive_errors.empty()) {
    std::fprintf(stderr, "quorvane: %s\n", drive_errors.c_str());
    exit_code = kExitFailed;
  }
  SetDriveLetters(nullptr);
  return exit_code;
}
