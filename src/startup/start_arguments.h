// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The command line of quorvane as the start-up reads it before anything runs: the run
// mode, the questions answered without running (help, version), the arguments it refuses,
// and the desktop session that a re-run through pkexec hands over.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace quorvane {

enum class TStartAction { Portable, Online, Help, Version, Usage };

// One variable of the desktop session: name and value.
using TSessionVariable = std::pair<std::string, std::string>;

// The variables a re-run hands over, and the option that carries each one
// ("--desktop-session=DISPLAY=:0"), placed before the run's own arguments.
inline constexpr const char* kSessionVariableNames[] = {"DISPLAY", "XAUTHORITY",
                                                        "WAYLAND_DISPLAY", "XDG_RUNTIME_DIR"};
inline constexpr const char* kSessionOption = "--desktop-session=";

struct TStartCommand {
  TStartAction Action = TStartAction::Portable;
  // The program path and the run's own arguments, without the session options: what
  // the run modes read ("online" stays the first argument).
  std::vector<std::string> Args;
  std::vector<TSessionVariable> Session;
  std::string Error;  // for Usage: what is wrong
};

// Reads `args` (args[0] is the program path). Session options are taken only from a
// re-run (`rerun`: started as root by pkexec); anywhere else they are unknown options.
// Exactly "online" as first argument selects online mode; "--help"/"-h" and "--version"
// are answered; any other argument that starts with "-" is refused; every other start,
// with or without arguments, runs portable mode.
TStartCommand ParseStartArguments(const std::vector<std::string>& args, bool rerun);

// The text of "quorvane --help".
std::string StartUsage();

}  // namespace quorvane
