// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>

#include "common/desktop_user.h"
#include "common/text.h"
#include "startup/privileges.h"

extern char** environ;

namespace quorvane {

namespace {

constexpr const char* kLocalRoot = "SI:localuser:root";
// pkexec's own statuses when it runs nothing.
constexpr int kPkexecDismissed = 126;
constexpr int kPkexecRefused = 127;

std::string SessionValue(const std::vector<TSessionVariable>& session, const std::string& name) {
  for (const auto& [key, value] : session)
    if (key == name) return value;
  return {};
}

// xhost with the user's display and authority.
TToolResult RunXhost(const TRerunSetup& setup, const std::string& argument) {
  TToolCommand command;
  command.Program = setup.Xhost;
  if (!argument.empty()) command.Args = {argument};
  command.Limit = std::chrono::seconds(30);
  command.Environment = {"LC_ALL=C", "PATH=/usr/bin:/bin"};
  for (const char* name : {"DISPLAY", "XAUTHORITY"}) {
    const std::string value = SessionValue(setup.Session, name);
    if (!value.empty()) command.Environment.push_back(std::string(name) + "=" + value);
  }
  return setup.Runner->Run(command);
}

// Lets the local root user onto the X display for the re-run; true when this run did so
// (and so must take it back).
bool GrantDisplay(const TRerunSetup& setup) {
  if (setup.Xhost.empty() || SessionValue(setup.Session, "DISPLAY").empty()) return false;
  const TToolResult listed = RunXhost(setup, "");
  if (listed.Succeeded() && XhostAdmitsLocalRoot(listed.Output)) return false;
  const TToolResult granted = RunXhost(setup, std::string("+") + kLocalRoot);
  if (!granted.Succeeded()) {
    // The window may still reach the display (Wayland, an authority file root can use).
    std::fprintf(setup.Err, "quorvane: cannot let root onto the display: %s\n",
                 granted.ErrorText().c_str());
    return false;
  }
  return true;
}

void RevokeDisplay(const TRerunSetup& setup) {
  const TToolResult revoked = RunXhost(setup, std::string("-") + kLocalRoot);
  if (!revoked.Succeeded())
    std::fprintf(setup.Err, "quorvane: root could not be shut out of the display again: %s\n",
                 revoked.ErrorText().c_str());
}

volatile sig_atomic_t g_ending_signal = 0;
void OnEndingSignal(int signal_number) { g_ending_signal = signal_number; }

// While the re-run goes on: Ctrl-C reaches it from the terminal, so this side ignores
// it; an end of the session or a kill ends the wait, so that the grant is taken back.
class TWaitSignals {
 public:
  TWaitSignals() {
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    struct sigaction ending {};
    ending.sa_handler = OnEndingSignal;
    sigemptyset(&ending.sa_mask);
    ::sigaction(SIGINT, &ignore, &FOld[0]);
    ::sigaction(SIGQUIT, &ignore, &FOld[1]);
    ::sigaction(SIGTERM, &ending, &FOld[2]);
    ::sigaction(SIGHUP, &ending, &FOld[3]);
  }
  ~TWaitSignals() {
    ::sigaction(SIGINT, &FOld[0], nullptr);
    ::sigaction(SIGQUIT, &FOld[1], nullptr);
    ::sigaction(SIGTERM, &FOld[2], nullptr);
    ::sigaction(SIGHUP, &FOld[3], nullptr);
  }

 private:
  struct sigaction FOld[4] {};
};

bool OwnedBy(const struct stat& st, uid_t uid) { return st.st_uid == uid; }

bool Printable(const std::string& value) {
  if (value.empty() || value.size() > 4096) return false;
  for (unsigned char c : value)
    if (c < 0x20 || c == 0x7F) return false;
  return true;
}

}  // namespace

TRerunSetup SystemRerunSetup() {
  TRerunSetup setup;
  const char* stand_in = std::getenv("QUORVANE_PKEXEC");
  setup.Pkexec = stand_in && *stand_in ? std::string(stand_in) : FindTool("pkexec");
  setup.Xhost = FindTool("xhost");
  std::error_code ec;
  setup.Program = std::filesystem::read_symlink("/proc/self/exe", ec).string();
  for (const char* name : kSessionVariableNames) {
    const char* value = std::getenv(name);
    if (value && *value) setup.Session.emplace_back(name, value);
  }
  setup.Runner = SystemToolRunner();
  return setup;
}

std::vector<std::string> PkexecCommandLine(const TRerunSetup& setup,
                                           const std::vector<std::string>& args) {
  std::vector<std::string> line = {setup.Pkexec, setup.Program};
  for (const auto& [name, value] : setup.Session)
    line.push_back(std::string(kSessionOption) + name + "=" + value);
  line.insert(line.end(), args.begin(), args.end());
  return line;
}

bool XhostAdmitsLocalRoot(const std::string& xhost_output) {
  std::istringstream lines(xhost_output);
  std::string line;
  while (std::getline(lines, line)) {
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    if (line == kLocalRoot) return true;
  }
  return false;
}

int RerunThroughPkexec(const TRerunSetup& setup, const std::vector<std::string>& args) {
  const bool granted = GrantDisplay(setup);
  std::vector<std::string> words = PkexecCommandLine(setup, args);
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);

  int status = 0;
  {
    TWaitSignals signals;
    g_ending_signal = 0;
    pid_t pid = -1;
    // pkexec asks on the terminal or through the desktop's agent, and the re-run prints
    // to the same terminal: both keep this process's streams and environment.
    const int started = ::posix_spawn(&pid, words[0].c_str(), nullptr, nullptr, argv.data(), environ);
    if (started != 0) {
      std::fprintf(setup.Err, "quorvane: cannot run %s: %s\n", words[0].c_str(),
                   std::strerror(started));
      if (granted) RevokeDisplay(setup);
      return 1;
    }
    while (::waitpid(pid, &status, 0) < 0) {
      if (errno != EINTR || g_ending_signal != 0) break;
    }
  }
  if (granted) RevokeDisplay(setup);
  if (g_ending_signal != 0) return 128 + g_ending_signal;
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  const int code = WIFEXITED(status) ? WEXITSTATUS(status) : 1;
  if (code == kPkexecDismissed)
    std::fprintf(setup.Err, "quorvane: not started: the administrator's password was not given\n");
  else if (code == kPkexecRefused)
    std::fprintf(setup.Err, "quorvane: not started: pkexec could not run it as root\n");
  return code;
}

bool TakeOverDesktopSession(const std::vector<TSessionVariable>& session, uid_t uid,
                            std::string& error) {
  namespace fs = std::filesystem;
  std::string runtime, wayland;
  for (const auto& [name, value] : session) {
    if (!Printable(value)) {
      error = name + " handed over is empty, too long or has control characters";
      return false;
    }
    struct stat st {};
    if (name == "XAUTHORITY") {
      if (value[0] != '/' || ::lstat(value.c_str(), &st) != 0 || !S_ISREG(st.st_mode) ||
          !OwnedBy(st, uid)) {
        error = "XAUTHORITY " + Quoted(value) + " is not a file of the desktop user's";
        return false;
      }
    } else if (name == "XDG_RUNTIME_DIR") {
      if (value[0] != '/' || ::lstat(value.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) ||
          !OwnedBy(st, uid)) {
        error = "XDG_RUNTIME_DIR " + Quoted(value) + " is not a folder of the desktop user's";
        return false;
      }
      runtime = value;
    } else if (name == "WAYLAND_DISPLAY") {
      wayland = value;
    }
  }
  // The Wayland socket by its full path, since the program's own environment gets no
  // runtime folder.
  if (!wayland.empty()) {
    if (wayland[0] != '/') {
      if (runtime.empty() || wayland.find('/') != std::string::npos) {
        error = "WAYLAND_DISPLAY " + Quoted(wayland) + " names no socket in the runtime folder";
        return false;
      }
      wayland = runtime + "/" + wayland;
    }
    struct stat st {};
    if (::lstat(wayland.c_str(), &st) != 0 || !S_ISSOCK(st.st_mode) || !OwnedBy(st, uid)) {
      error = "WAYLAND_DISPLAY " + Quoted(wayland) + " is not a socket of the desktop user's";
      return false;
    }
  }
  for (const auto& [name, value] : session) {
    if (name == "DISPLAY" || name == "XAUTHORITY") ::setenv(name.c_str(), value.c_str(), 1);
  }
  if (!wayland.empty()) ::setenv("WAYLAND_DISPLAY", wayland.c_str(), 1);
  if (!runtime.empty()) SetDesktopRuntimeDir(runtime);
  error.clear();
  return true;
}

int StartWithoutRoot(const TStartCommand& start, const TRerunSetup& setup, bool display) {
  if (start.Action == TStartAction::Portable && !display) {
    std::fputs("quorvane: no display for the window of portable mode (DISPLAY and "
               "WAYLAND_DISPLAY are not set)\n",
               setup.Err);
    return 1;
  }
  if (setup.Pkexec.empty() || ::access(setup.Pkexec.c_str(), X_OK) != 0) {
    std::fprintf(setup.Err, "%s\n", NeedRootHint(start.Action).c_str());
    return 1;
  }
  return RerunThroughPkexec(setup, {start.Args.begin() + 1, start.Args.end()});
}

std::string NeedRootHint(TStartAction action) {
  if (action == TStartAction::Online)
    return "quorvane: online mode writes to USB drives and needs root, and pkexec is not "
           "installed: install it (apt install pkexec), or start \"sudo quorvane online "
           "SESSION TEXT\"";
  return "quorvane: the window writes to USB drives and needs root, and pkexec is not "
         "installed: install it (apt install pkexec) and start quorvane again, or use "
         "\"sudo quorvane-cli\" from a terminal";
}

}  // namespace quorvane
