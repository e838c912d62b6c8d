// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "startup/start_arguments.h"

#include <algorithm>
#include <iterator>

namespace quorvane {

namespace {

bool IsSessionVariable(const std::string& name) {
  return std::find(std::begin(kSessionVariableNames), std::end(kSessionVariableNames), name) !=
         std::end(kSessionVariableNames);
}

TStartCommand Refused(std::string error) {
  TStartCommand command;
  command.Action = TStartAction::Usage;
  command.Error = std::move(error);
  return command;
}

}  // namespace

TStartCommand ParseStartArguments(const std::vector<std::string>& args, bool rerun) {
  TStartCommand command;
  command.Args.push_back(args.empty() ? std::string("quorvane") : args[0]);
  std::size_t i = 1;
  const std::string option = kSessionOption;
  for (; rerun && i < args.size() && args[i].rfind(option, 0) == 0; ++i) {
    const std::string assignment = args[i].substr(option.size());
    const std::size_t eq = assignment.find('=');
    const std::string name = assignment.substr(0, eq);
    if (eq == std::string::npos || !IsSessionVariable(name))
      return Refused("\"" + args[i] + "\" names no variable of the desktop session");
    for (const TSessionVariable& given : command.Session)
      if (given.first == name) return Refused(name + " is handed over twice");
    command.Session.emplace_back(name, assignment.substr(eq + 1));
  }
  command.Args.insert(command.Args.end(), args.begin() + static_cast<std::ptrdiff_t>(std::min(i, args.size())),
                      args.end());
  const std::string first = command.Args.size() > 1 ? command.Args[1] : std::string();
  if (first == "online") {
    command.Action = TStartAction::Online;
  } else if (first == "--help" || first == "-h") {
    command.Action = TStartAction::Help;
  } else if (first == "--version") {
    command.Action = TStartAction::Version;
  } else if (first.size() > 1 && first[0] == '-') {
    // A mistyped option must not open a window that runs as root.
    return Refused("unknown option \"" + first + "\"");
  } else {
    command.Action = TStartAction::Portable;
  }
  return command;
}

std::string StartUsage() {
  return "Usage:\n"
         "  quorvane                        the window (portable mode)\n"
         "  quorvane online SESSION TEXT    the control server of the browser page (online "
         "mode)\n"
         "  quorvane --help | --version\n"
         "\n"
         "quorvane builds multi-boot USB drives. It writes to disks and so runs as root:\n"
         "started by a user, it asks for the administrator's password through pkexec and\n"
         "starts again as root on the same desktop. From a terminal or a script, use\n"
         "quorvane-cli (quorvane-cli --help).\n"
         "\n"
         "SESSION \"-d\" is a debugging run of online mode: no port registration, no job log.\n"
         "\n"
         "Exit status: 0 when the run ended normally; 1 when it could not run (no display,\n"
         "no root, online mode failed and portable mode was declined); 2 for an unknown\n"
         "option.\n";
}

}  // namespace quorvane
