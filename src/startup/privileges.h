// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// How quorvane comes to run as root: started by a user, it runs itself again through
// pkexec with the desktop session handed over (on X, with the local root user let onto
// the display for that run); the re-run takes the session over after checking it; and
// without root and without pkexec each front end says in one line what to do.
#pragma once

#include <sys/types.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "common/tool_runner.h"
#include "startup/start_arguments.h"

namespace quorvane {

struct TRerunSetup {
  std::string Pkexec;   // absolute path; empty when pkexec is not installed
  std::string Xhost;    // absolute path; empty when xhost is not installed
  std::string Program;  // this program, by absolute path
  // The session variables that are set here, in the order of kSessionVariableNames.
  std::vector<TSessionVariable> Session;
  std::shared_ptr<IToolRunner> Runner;  // runs xhost
  std::FILE* Err = stderr;
};

// The setup of this process: pkexec and xhost from the system's folders (QUORVANE_PKEXEC
// names a stand-in for tests), the executable, the session from the environment.
TRerunSetup SystemRerunSetup();

// pkexec PROGRAM --desktop-session=NAME=VALUE... followed by the run's own arguments
// (`args` without the program path at args[0]).
std::vector<std::string> PkexecCommandLine(const TRerunSetup& setup,
                                           const std::vector<std::string>& args);

// Whether the output of a plain `xhost` already lets the local root user in.
bool XhostAdmitsLocalRoot(const std::string& xhost_output);

// Runs the program again through pkexec and waits for it. On X (DISPLAY set, xhost
// installed) the local root user is let onto the display first, unless it already was,
// and shut out again once the re-run has ended. Answers the exit status for this process:
// the re-run's own, or pkexec's when it refused (126 dismissed, 127 not authorised).
int RerunThroughPkexec(const TRerunSetup& setup, const std::vector<std::string>& args);

// In the re-run (root, started by pkexec for the user `uid`): checks the handed-over
// session and sets it in the environment (the runtime folder is kept for the user's own
// programs, not set). False with the reason when a value is not the user's.
bool TakeOverDesktopSession(const std::vector<TSessionVariable>& session, uid_t uid,
                            std::string& error);

// The one line quorvane prints for the window or online mode when it needs root and
// pkexec is not installed.
std::string NeedRootHint(TStartAction action);

// A start without root (portable or online): a window without a display says so; else
// the re-run through pkexec when it is installed; else the hint. Answers the exit status.
int StartWithoutRoot(const TStartCommand& start, const TRerunSetup& setup, bool display);

}  // namespace quorvane
