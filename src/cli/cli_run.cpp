// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "cli/cli_run.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "cli/cli_arguments.h"
#include "cli/cli_burn.h"
#include "cli/cli_drive_table.h"
#include "cli/cli_json.h"
#include "cli/cli_plan.h"
#include "cli/cli_progress.h"
#include "cli/cli_test_boot.h"
#include "common/constants.h"
#include "common/message_queue.h"
#include "common/resources.h"
#include "common/text.h"
#include "common/version.h"
#include "drive/grub4dos_images.h"
#include "drive/linux_dead_runs.h"
#include "jobs/burn_preflight.h"
#include "jobs/drive_check.h"
#include "jobs/job_status.h"
#include "jobs/vm_test_boot.h"
#include "startup/terminal_dialog.h"

namespace quorvane {

namespace {

namespace fs = std::filesystem;

// The run's main-thread queue and drive table, from the first look at a drive to the
// end: what the run mounted is released and the image drives it attached are detached.
class TRunScope {
 public:
  TRunScope(TCliEnvironment& env, bool list_usb_disks) {
    SetMainThreadDispatcher(&Queue);
    if (env.MakeDriveTable) {
      Table = env.MakeDriveTable(list_usb_disks);
    } else {
      TDriveEnvironment drive_env;
      drive_env.ListUsbDisks = list_usb_disks;
      Table = InstallUSBDriveLetters(drive_env);
      // What a killed run left: its mounts and loop devices.
      if (::geteuid() == 0) {
        const TDeadRunCleanup cleaned = CleanUpDeadRuns(Table->Environment(), Table->Runner());
        for (const std::string& done : cleaned.Done)
          std::fprintf(env.Err, "quorvane-cli: after an earlier run that was ended: %s\n",
                       done.c_str());
        for (const std::string& error : cleaned.Errors)
          std::fprintf(env.Err, "quorvane-cli: %s\n", error.c_str());
      }
    }
    SetDriveLetters(Table);
  }

  ~TRunScope() {
    Close();
    SetDriveLetters(nullptr);
    SetMainThreadDispatcher(nullptr);
  }

  // Empty when all was released.
  std::string Close() {
    if (FClosed) return {};
    FClosed = true;
    return Table->ReleaseRunDrives();
  }

  TMessageQueue Queue;
  std::shared_ptr<TUSBDriveLetters> Table;

 private:
  bool FClosed = false;
};

class TCli {
 public:
  TCli(TCliEnvironment& env) : FEnv(env) {}

  int Run(const std::vector<std::string>& args) {
    TCliCommand command;
    std::string error;
    if (!ParseCliArguments(args, command, error)) return Usage(error);
    switch (command.Action) {
      case TCliAction::Help:
        std::fputs(CliUsage().c_str(), FEnv.Out);
        return kCliExitFinished;
      case TCliAction::Version:
        std::fprintf(FEnv.Out, "quorvane-cli %s\n", QuorvaneVersion());
        return kCliExitFinished;
      case TCliAction::SetupBootImages:
        return SetupBootImages(command);
      case TCliAction::Drives:
        return Drives(command);
      case TCliAction::Burn:
        return Burn(command);
      case TCliAction::Verify:
        return Verify(command);
      case TCliAction::TestBoot:
        return TestBoot(command);
    }
    return kCliExitFailed;
  }

 private:
  int Usage(const std::string& error) {
    std::fprintf(FEnv.Err, "quorvane-cli: %s\n\n%s", error.c_str(), CliUsage().c_str());
    return kCliExitUsage;
  }

  int Fail(const std::string& message) {
    std::fprintf(FEnv.Err, "quorvane-cli: %s\n", message.c_str());
    return kCliExitFailed;
  }

  // Ends the run: releases the drives; a release that fails fails the run.
  int Finish(TRunScope& scope, int status) {
    const std::string errors = scope.Close();
    if (errors.empty()) return status;
    Fail("the drives could not be released: " + errors);
    return kCliExitFailed;
  }

  bool Root() const { return FEnv.Root ? *FEnv.Root : ::geteuid() == 0; }

  int Drives(const TCliCommand& command) {
    TRunScope scope(FEnv, true);
    TUSBDrives drives = scope.Table->ListUSBDrives();
    // Without root the volumes themselves cannot be read: their cells say so.
    const bool marked = !Root() && MarkUnreadableVolumes(drives, [](const std::string& node) {
      return ::access(node.c_str(), R_OK) == 0;
    });
    if (command.Json) {
      std::fputs(DrivesJsonLine(drives, marked).c_str(), FEnv.Out);
    } else {
      std::fputs(FormatDriveTable(drives, command.Bytes).c_str(), FEnv.Out);
      if (marked) std::fprintf(FEnv.Out, "%s\n", kUnreadableVolumesNote);
    }
    return Finish(scope, kCliExitFinished);
  }

  int TestBoot(const TCliCommand& command) {
    if (!command.Image.empty()) {
      std::error_code ec;
      const std::string image = fs::absolute(command.Image, ec).lexically_normal().string();
      if (!fs::is_regular_file(fs::symlink_status(image, ec)))
        return Usage("--image " + command.Image + " is not a regular file");
      return RunCliTestBoot(command, image, false, FEnv.Out, FEnv.Err);
    }
    if (!Root()) return Fail("test-boot --drive reads a disk and needs root: run it again with sudo");
    TRunScope scope(FEnv, true);
    std::string error;
    bool device = false;
    const std::string disk = VmDiskOfDrive(*scope.Table, command.Drive, device, error);
    if (disk.empty()) return Finish(scope, Fail("drive " + std::string(1, command.Drive) + ": " + error));
    return Finish(scope, RunCliTestBoot(command, disk, device, FEnv.Out, FEnv.Err));
  }

  int SetupBootImages(const TCliCommand& command) {
    std::string to = command.To.empty() ? BootImagesDir() : command.To;
    while (to.size() > 1 && to.back() == '/') to.pop_back();
    if (command.To.empty() && !Root())
      return Fail("setup-boot-images installs into " + to +
                  ", which needs root: run it with sudo, or give --to FOLDER");
    std::string error;
    if (!InstallGrub4DosImages(command.From, to, error)) return Fail(error);
    std::fprintf(FEnv.Out,
                 "GRUB4DOS's boot images grldr and grldr.mbr (0.4.6a) are checked and installed "
                 "in %s\n",
                 to.c_str());
    return kCliExitFinished;
  }

  // Makes `image` absolute. The kernel's and the devices' folders hold no disk images: a
  // file there (such as /proc/kcore) is the system's, and a device node would let the
  // burn write to any disk.
  static bool ImageOutsideSystemFolders(std::string& image, std::string& error) {
    std::error_code ec;
    const fs::path path = fs::absolute(image, ec).lexically_normal();
    image = path.string();
    const std::string real = fs::weakly_canonical(path, ec).string();
    for (const char* folder : {"/proc", "/sys", "/dev"}) {
      const std::string f = folder;
      if (real == f || real.compare(0, f.size() + 1, f + "/") == 0) {
        error = "--image " + image + " lies in " + f +
                ": an image drive must be a regular file of its own";
        return false;
      }
    }
    return true;
  }

  // Reads every file the drive's manifest names back from the drive; writes nothing.
  int Verify(TCliCommand command) {
    std::string error;
    const bool image = !command.Image.empty();
    if (image) {
      if (!ImageOutsideSystemFolders(command.Image, error)) return Usage(error);
      std::error_code ec;
      if (!fs::is_regular_file(command.Image, ec))
        return Usage("--image " + command.Image + " is not an existing image file");
      if (!Root())
        return Fail("verify --image attaches the image as a drive and needs root: run it "
                    "again with sudo");
    }
    TRunScope scope(FEnv, !image);
    char letter = command.Drive;
    if (image && !scope.Table->AttachImageDrive(command.Image, 0, letter, error)) {
      Fail("cannot use the image " + command.Image + ": " + error);
      return Finish(scope, kCliExitFailed);
    }
    const std::string root = scope.Table->ReadOnlyRootOf(letter, error);
    if (root.empty()) {
      Fail("drive " + std::string(1, letter) + ": " + error +
           (image ? "" : "; `quorvane-cli drives` lists the drives"));
      return Finish(scope, kCliExitFailed);
    }
    const TDriveCheckResult result = CheckDrive(root, nullptr, FEnv.Interrupted);
    if (command.Json) {
      for (const TEntryCheck& e : result.Entries)
        std::fputs(VerifyEntryJsonLine(e).c_str(), FEnv.Out);
      std::fputs(VerifyResultJsonLine(result).c_str(), FEnv.Out);
    } else {
      std::fputs(DriveCheckText(result).c_str(), FEnv.Out);
    }
    std::fflush(FEnv.Out);
    return Finish(scope, result.AllIntact() ? kCliExitFinished : kCliExitFailed);
  }

  // The checks that need no drive: every image file, and the image drive's file.
  bool CheckFiles(TCliCommand& command, std::string& error) {
    for (std::size_t i = 0; i < command.Entries.size(); ++i) {
      TCliEntry& entry = command.Entries[i];
      std::error_code ec;
      entry.Path = fs::absolute(entry.Path, ec).lexically_normal().string();
      const std::string name = "entry " + EntryJobName(i, entry);
      if (!fs::exists(entry.Path, ec)) {
        error = name + ": file not found: " + entry.Path;
        return false;
      }
      if (!fs::is_regular_file(entry.Path, ec)) {
        error = name + ": not an image file: " + entry.Path;
        return false;
      }
    }
    if (command.Image.empty()) return true;
    if (!ImageOutsideSystemFolders(command.Image, error)) return false;
    std::error_code ec;
    const fs::path image = command.Image;
    const fs::file_status status = fs::status(image, ec);
    if (fs::exists(status)) {
      if (!fs::is_regular_file(status)) {
        error = "--image " + command.Image + " is not a regular file";
        return false;
      }
      for (const TCliEntry& entry : command.Entries) {
        if (fs::equivalent(entry.Path, image, ec)) {
          error = "--image " + command.Image + " is also the image of an entry";
          return false;
        }
      }
      return true;
    }
    if (command.Size == 0) {
      error = "--image " + command.Image + " does not exist; give --size to create it";
      return false;
    }
    if (command.Mode != FormatModeNew) {
      error =
          "--image " + command.Image + " does not exist yet: a new image drive needs --mode new";
      return false;
    }
    if (!fs::is_directory(image.parent_path(), ec)) {
      error = "--image " + command.Image + ": the folder " + image.parent_path().string() +
              " does not exist";
      return false;
    }
    return true;
  }

  int Burn(TCliCommand command) {
    std::string error;
    if (!CheckFiles(command, error)) return Usage(error);
    if (!Root()) return Fail("burn writes to disks and needs root: run it again with sudo");

    const bool image = !command.Image.empty();
    TRunScope scope(FEnv, !image);
    bool created = false;
    // An image file made for this run goes again when nothing was burned onto it.
    const auto refuse = [&](const std::string& message) {
      Fail(message);
      const int status = Finish(scope, kCliExitFailed);
      std::error_code ec;
      if (created && !fs::remove(command.Image, ec) && ec)
        Fail("the image file " + command.Image + " made for this run stays: " + ec.message());
      return status;
    };

    char letter = command.Drive;
    if (image) {
      std::error_code ec;
      created = !fs::exists(command.Image, ec);
      if (!scope.Table->AttachImageDrive(command.Image, created ? command.Size : 0, letter, error))
        return refuse("cannot use the image " + command.Image + ": " + error);
    }
    const TUSBDrives drives = scope.Table->ListUSBDrives();
    const TUSBDriveSet* target = nullptr;
    for (const TUSBDriveSet& d : drives)
      if (d.Letter == letter) target = &d;
    if (!target)
      return refuse("no USB drive has the letter " + std::string(1, letter) +
                    "; `quorvane-cli drives` lists them");
    const std::vector<TPlannedEntry> planned = PlanEntries(command.Entries);
    const std::uint8_t file_system = command.Mode != FormatModeNew ? FileSystemNTFS
                                     : command.FileSystem          ? *command.FileSystem
                                                          : NewDriveFileSystem(*target, planned);
    // Everything that can fail without touching the drive, before anything is written.
    const TPreflightRequest check =
        PreflightRequestOf(letter, command.Mode, file_system, planned);
    const TPreflightReport report =
        FEnv.Preflight ? FEnv.Preflight(check) : RunBurnPreflight(check);
    if (!report.Passed()) {
      for (std::size_t i = 0; i + 1 < report.Refusals.size(); ++i) Fail(report.Refusals[i]);
      return refuse(report.Refusals.back());
    }
    std::string plan = DescribePlan(*target, command.Mode, file_system, planned);
    if (!report.ForeignMounts.empty()) plan += report.MountsText(command.Mode) + "\n";
    if (command.CheckCapacity)
      plan += "First the drive's real capacity is checked; a drive that holds less than it "
              "claims is not repartitioned.\n";
    if (command.NoVerify)
      plan += "The entries are not read back from the drive after they are written.\n";
    const std::string remark = report.RemarkText();
    if (!report.ForeignMounts.empty() && command.Yes && !command.Force)
      return refuse("drive " + std::string(1, letter) +
                    ": is mounted where this program did not mount it:\n" +
                    report.MountsText(command.Mode) +
                    "\nCheck that nothing uses it, then give --force as well as --yes, or leave "
                    "out --yes to be asked.");

    if (command.Json) {
      // The plan for the script; a question, if one is asked, goes to the terminal.
      std::fputs(
          PlanJsonLine(*target, command.Mode, file_system, planned, command.CheckCapacity,
                       !command.NoVerify)
              .c_str(),
          FEnv.Out);
      std::fflush(FEnv.Out);
    }
    if (command.Yes) {
      if (!command.Json)
        std::fprintf(FEnv.Out, "%s%s", plan.c_str(), remark.empty() ? "" : (remark + "\n").c_str());
    } else {
      TTerminalDialog terminal;
      IFallbackDialog* dialog = FEnv.Dialog ? FEnv.Dialog : &terminal;
      const std::string question =
          ConfirmationQuestion(command.Mode, remark.empty() ? plan : plan + remark + "\n");
      if (dialog->AskYesNo(question) != TDialogAnswer::Yes)
        return refuse("nothing was written (give --yes to burn without asking)");
    }

    std::unique_ptr<TJobs> jobs = FEnv.MakeJobs ? FEnv.MakeJobs() : std::make_unique<TJobs>();
    std::unique_ptr<TBurnView> view =
        command.Json         ? MakeJsonView(FEnv.Out, EntryViews(command.Entries))
        : FEnv.OutIsTerminal ? MakeTerminalView(FEnv.Out, EntryViews(command.Entries), FEnv.Columns,
                                              FEnv.Resized, FEnv.ColumnsNow)
                           : MakePlainView(FEnv.Out, EntryViews(command.Entries));
    TBurnRequest request{letter, command.Mode, file_system, command.Entries,
                         command.CheckCapacity, !command.NoVerify};
    const TBurnOutcome outcome = RunBurn(*jobs, request, scope.Queue, *view, FEnv.Interrupted);
    view->End();
    jobs.reset();
    if (command.Json)
      std::fputs(ResultJsonLine(outcome).c_str(), FEnv.Out);
    else
      Summary(outcome);
    if (!outcome.MountReleaseError.empty())
      Fail("the drive could not be released: " + outcome.MountReleaseError);
    return Finish(scope, outcome.AllFinished() ? kCliExitFinished : kCliExitFailed);
  }

  void Summary(const TBurnOutcome& outcome) {
    // A failed drive step was told when it ended ("Drive format error: ..."); only the
    // terminal's step line, cut to the screen's width, may have lost part of it.
    std::string text;
    if (!outcome.DriveStepError.empty() && FEnv.OutIsTerminal)
      text += "The drive step failed: " + outcome.DriveStepError + "\n";
    std::size_t finished = 0;
    for (const TEntryView& e : outcome.Entries) {
      std::string line = e.Name + ": ";
      if (e.Status == kStatusReady)
        line += "not started";
      else
        line += e.Status;
      if (!e.Error.empty()) line += ": " + e.Error;
      text += line + "\n";
      if (e.Status == kStatusFinished) ++finished;
    }
    if (finished == outcome.Entries.size())
      text += "All " + std::to_string(finished) + " entries finished.\n";
    else
      text += std::to_string(finished) + " of " + std::to_string(outcome.Entries.size()) +
              " entries finished.\n";
    std::fputs(text.c_str(), FEnv.Out);
    std::fflush(FEnv.Out);
  }

  TCliEnvironment& FEnv;
};

}  // namespace

int RunCli(const std::vector<std::string>& args, TCliEnvironment& env) {
  TCli cli(env);
  return cli.Run(args);
}

}  // namespace quorvane
