// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "server/file_dialog.h"

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <vector>

#include "common/desktop_user.h"
#include "common/tool_runner.h"

namespace quorvane {

namespace {

std::string EnvOrEmpty(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

// The dialog needs the user's desktop session (his own home and runtime folder when the
// program runs as root for him); nothing else of our environment goes to it. The locale is C with UTF-8, since GTK prints a chosen file name in the locale's
// character set and plain C would mangle names outside ASCII.
std::vector<std::string> DialogEnvironment() { return DesktopSessionEnvironment("C.UTF-8"); }

std::string FirstLine(const std::string& text) {
  const std::size_t end = text.find_first_of("\r\n");
  return end == std::string::npos ? text : text.substr(0, end);
}

}  // namespace

TFileDialogResult RunFileOpenDialog(const TFileDialogRequest& request) {
  TFileDialogResult result;
  TToolCommand command;
  // The person waits at the dialog for as long as it takes.
  command.Limit = std::chrono::hours(24);
  command.Environment = DialogEnvironment();
  const std::string chosen = EnvOrEmpty("QUORVANE_FILE_DIALOG");
  const std::string zenity_filter = request.FilterName + " | " + request.Pattern;
  std::vector<std::string> zenity_args = {"--file-selection", "--title=" + request.Title,
                                          "--file-filter=" + zenity_filter};
  // For a desktop user the dialog opens in his home, whatever folder root started in.
  const std::optional<TDesktopUser> user = DesktopUser();
  if (user && !user->Home.empty()) zenity_args.push_back("--filename=" + user->Home + "/");
  std::string program;
  if (!chosen.empty()) {
    program = chosen.find('/') == std::string::npos             ? FindTool(chosen)
              : ::access(chosen.c_str(), X_OK) == 0 ? chosen
                                                    : std::string();
    command.Program = program;
    command.Args = zenity_args;
  } else if (!(program = FindTool("zenity")).empty()) {
    command.Tool = "zenity";
    command.Args = zenity_args;
  } else if (!(program = FindTool("kdialog")).empty()) {
    const std::string home = user ? user->Home : EnvOrEmpty("HOME");
    command.Tool = "kdialog";
    command.Args = {"--title", request.Title, "--getopenfilename", home.empty() ? "/" : home,
                    request.Pattern + "|" + request.FilterName};
  }
  if (program.empty()) {
    result.Error = chosen.empty() ? "no file dialog program (zenity or kdialog) is installed"
                                  : "file dialog program not found: " + chosen;
    return result;
  }
  // Without a desktop session zenity and kdialog end as if cancelled; say why instead.
  if (chosen.empty() && EnvOrEmpty("DISPLAY").empty() && EnvOrEmpty("WAYLAND_DISPLAY").empty()) {
    result.Error = "no desktop session (DISPLAY or WAYLAND_DISPLAY) to show the file dialog on";
    return result;
  }
  // Running as root for a desktop user, the dialog runs as him: it shows his files,
  // starts in his home and uses his session's settings.
  const TToolResult run = SystemToolRunner()->Run(AsDesktopUser(command));
  if (!run.Started || run.TimedOut || run.TermSignal != 0) {
    result.Error = run.ErrorText();
    return result;
  }
  const std::string path = FirstLine(run.Output);
  if (run.ExitStatus == 0 && !path.empty()) {
    result.Outcome = TFileDialogResult::TOutcome::Chosen;
    result.Path = path;
  } else if (run.ExitStatus == 0 || run.ExitStatus == 1) {
    result.Outcome = TFileDialogResult::TOutcome::Cancelled;
  } else {
    result.Error = run.CommandLine + " ended with status " + std::to_string(run.ExitStatus) +
                   ": " + run.ErrorOutput;
  }
  return result;
}

}  // namespace quorvane
