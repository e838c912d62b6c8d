// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// quorvane-cli: builds multi-boot USB drives from a terminal or a script.
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <vector>

#include "cli/cli_progress.h"
#include "cli/cli_run.h"

namespace {

std::atomic<bool> g_interrupted{false};
std::atomic<bool> g_resized{false};

void OnInterrupt(int) { g_interrupted = true; }
void OnResize(int) { g_resized = true; }

}  // namespace

int main(int argc, char** argv) {
  using namespace quorvane;
  // Ctrl-C and a hang-up stop the burn cleanly: the entry being written is rolled back.
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  for (int signal_number : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal_number, &action, nullptr);
  // Output that nobody reads any more must not end a burn half way.
  ::signal(SIGPIPE, SIG_IGN);
  // A resized terminal gets its bars drawn again for its new width.
  struct sigaction resize {};
  resize.sa_handler = OnResize;
  sigemptyset(&resize.sa_mask);
  resize.sa_flags = SA_RESTART;
  sigaction(SIGWINCH, &resize, nullptr);

  TCliEnvironment env;
  env.OutIsTerminal = ::isatty(STDOUT_FILENO) == 1;
  env.Columns = TerminalColumns(STDOUT_FILENO);
  env.Interrupted = &g_interrupted;
  env.Resized = &g_resized;
  env.ColumnsNow = [] { return TerminalColumns(STDOUT_FILENO); };
  return RunCli(std::vector<std::string>(argv + 1, argv + argc), env);
}
