// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "common/tool_runner.h"

#include <unistd.h>

#include <cstdlib>

#include <sstream>

#include "common/text.h"
#include "common/desktop_user.h"
#include "common/dos_app_works.h"

namespace quorvane {

namespace {

std::string Trim(const std::string& text) {
  const std::size_t begin = text.find_first_not_of(" \t\r\n");
  if (begin == std::string::npos) return {};
  const std::size_t end = text.find_last_not_of(" \t\r\n");
  return text.substr(begin, end - begin + 1);
}

std::string ShellWord(const std::string& word) {
  if (!word.empty() && word.find_first_of(" \t\n'\"\\$`*?[]{}();&|<>") == std::string::npos)
    return word;
  return "'" + ReplaceAll(word, "'", "'\\''") + "'";
}

}  // namespace

std::string OneLine(const std::string& text) {
  std::istringstream lines(text);
  std::string line, out;
  while (std::getline(lines, line)) {
    line = Trim(line);
    if (line.empty()) continue;
    if (!out.empty()) out += "; ";
    out += line;
  }
  return out;
}

bool TToolResult::Succeeded() const {
  return Started && !TimedOut && TermSignal == 0 && ExitStatus == 0;
}

std::string TToolResult::ErrorText() const {
  if (!Started) return StartError;
  std::string how;
  if (TimedOut)
    how = "did not end in time";
  else if (TermSignal != 0)
    how = "ended by signal " + std::to_string(TermSignal);
  else
    how = "exit status " + std::to_string(ExitStatus);
  std::string text = OneLine(ErrorOutput);
  if (text.empty()) text = OneLine(Output);
  if (text.size() > 2000) text = text.substr(0, 2000) + "...";
  const std::string where = "[" + CommandLine + ": " + how + "]";
  return text.empty() ? where : text + " " + where;
}

std::string FindTool(const std::string& tool) {
  if (tool.empty() || tool.find('/') != std::string::npos) return {};
  for (const char* dir : {"/usr/sbin/", "/usr/bin/", "/sbin/", "/bin/"}) {
    const std::string path = dir + tool;
    if (::access(path.c_str(), X_OK) == 0) return path;
  }
  return {};
}

const std::vector<std::string>& ToolEnvironment() {
  static const std::vector<std::string> env = {
      "LC_ALL=C", "LANG=C", "PATH=/usr/sbin:/usr/bin:/sbin:/bin"};
  return env;
}

std::vector<std::string> DesktopSessionEnvironment(const std::string& locale) {
  std::vector<std::string> env = {"LC_ALL=" + locale, "PATH=/usr/local/bin:/usr/bin:/bin"};
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "XAUTHORITY", "XDG_CURRENT_DESKTOP"}) {
    if (const char* value = std::getenv(name)) env.push_back(std::string(name) + "=" + value);
  }
  // Running as root for a desktop user, his programs get his home, name and runtime
  // folder (and through it his session bus), not root's.
  const std::optional<TDesktopUser> user = DesktopUser();
  const std::string runtime = DesktopRuntimeDir();
  if (!runtime.empty()) env.push_back("XDG_RUNTIME_DIR=" + runtime);
  if (user) {
    env.push_back("HOME=" + user->Home);
    env.push_back("USER=" + user->Name);
    env.push_back("LOGNAME=" + user->Name);
    if (const char* bus = std::getenv("DBUS_SESSION_BUS_ADDRESS"))  // kept by sudo -E
      env.push_back(std::string("DBUS_SESSION_BUS_ADDRESS=") + bus);
    else if (!runtime.empty())
      env.push_back("DBUS_SESSION_BUS_ADDRESS=unix:path=" + runtime + "/bus");
    return env;
  }
  for (const char* name : {"DBUS_SESSION_BUS_ADDRESS", "HOME", "USER"}) {
    if (const char* value = std::getenv(name)) env.push_back(std::string(name) + "=" + value);
  }
  return env;
}

TToolResult TSystemToolRunner::Run(const TToolCommand& command) {
  TToolResult result;
  const bool own_program = !command.Program.empty();
  std::string path = own_program ? command.Program : FindTool(command.Tool);
  if (own_program && (path.front() != '/' || ::access(path.c_str(), X_OK) != 0)) path.clear();
  const std::string name = own_program ? command.Program : command.Tool;
  std::vector<std::string> argv{path.empty() ? name : path};
  argv.insert(argv.end(), command.Args.begin(), command.Args.end());
  for (const std::string& word : argv) {
    if (!result.CommandLine.empty()) result.CommandLine += ' ';
    result.CommandLine += ShellWord(word);
  }
  if (path.empty()) {
    result.StartError = name + (own_program ? " is not an executable program" : " is not installed");
    return result;
  }
  TDosAppWorks app(argv, command.Environment.empty() ? ToolEnvironment() : command.Environment);
  if (!app.DosAppSuccessfullyStarted) {
    result.StartError = "cannot run " + path + ": " + SystemErrorText(app.StartErrno);
    return result;
  }
  result.Started = true;
  app.SendText(command.Input);
  app.CloseInput();
  result.TimedOut = !app.WaitForExit(command.Limit);
  result.ExitStatus = app.ExitStatus;
  result.TermSignal = app.TermSignal;
  result.Output = std::move(app.Output);
  result.ErrorOutput = std::move(app.ErrorOutput);
  return result;
}

bool TSystemToolRunner::Available(const std::string& tool) { return !FindTool(tool).empty(); }

std::shared_ptr<IToolRunner> SystemToolRunner() {
  static const std::shared_ptr<IToolRunner> runner = std::make_shared<TSystemToolRunner>();
  return runner;
}

}  // namespace quorvane
