#include "server/file_dialog.h"

#include <cstdlib>
#include <vector>

#include "server/program_runner.h"

namespace quorvane {

namespace {

const char* const kSearchPath = "/usr/local/bin:/usr/bin:/bin";

std::string EnvOrEmpty(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

// The dialog needs the user's desktop session; nothing else of our environment goes to
// it. The locale is C with UTF-8, since GTK prints a chosen file name in the locale's
// character set and plain C would mangle names outside ASCII.
std::vector<std::string> DialogEnvironment() {
  std::vector<std::string> env = {"LC_ALL=C.UTF-8", std::string("PATH=") + kSearchPath};
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "XAUTHORITY", "XDG_RUNTIME_DIR",
                           "DBUS_SESSION_BUS_ADDRESS", "HOME", "USER"}) {
    const char* value = std::getenv(name);
    if (value) env.push_back(std::string(name) + "=" + value);
  }
  return env;
}

std::string FirstLine(const std::string& text) {
  const std::size_t end = text.find_first_of("\r\n");
  return end == std::string::npos ? text : text.substr(0, end);
}

}  // namespace

TFileDialogResult RunFileOpenDialog(const TFileDialogRequest& request) {
  TFileDialogResult result;
  std::string program;
  std::vector<std::string> args;
  const std::string chosen = EnvOrEmpty("QUORVANE_FILE_DIALOG");
  const std::string zenity_filter = request.FilterName + " | " + request.Pattern;
  if (!chosen.empty()) {
    program = FindExecutable(chosen, kSearchPath);
    args = {"--file-selection", "--title=" + request.Title, "--file-filter=" + zenity_filter};
  } else if (!(program = FindExecutable("zenity", kSearchPath)).empty()) {
    args = {"--file-selection", "--title=" + request.Title, "--file-filter=" + zenity_filter};
  } else if (!(program = FindExecutable("kdialog", kSearchPath)).empty()) {
    const std::string home = EnvOrEmpty("HOME");
    args = {"--title", request.Title, "--getopenfilename", home.empty() ? "/" : home,
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
  const TProgramResult run = RunProgramAndWait(program, args, DialogEnvironment());
  if (!run.Started || !run.Error.empty()) {
    result.Error = run.Error;
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
