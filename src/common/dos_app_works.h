// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// One console program run with its three standard streams on pipes: the parent feeds its
// input and collects its output and error text while waiting for it to end.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace quorvane {

class TDosAppWorks {
 public:
  // Starts `argv[0]` (an absolute path) with the arguments argv[1..] and exactly the
  // environment `env`. DosAppSuccessfullyStarted tells whether it runs.
  TDosAppWorks(const std::vector<std::string>& argv, const std::vector<std::string>& env);
  // Kills the program if it still runs and closes every pipe.
  ~TDosAppWorks();
  TDosAppWorks(const TDosAppWorks&) = delete;
  TDosAppWorks& operator=(const TDosAppWorks&) = delete;

  // Queues `line` and a line end for the program's standard input.
  void SendCommand(const std::string& line);
  // Queues raw text for the program's standard input.
  void SendText(const std::string& text);
  // The program's standard input ends once everything queued has been written.
  void CloseInput();

  // Writes the queued input and drains both output pipes until the program has ended, so
  // that neither side ever blocks on a full pipe. False when `limit` passed first; the
  // program is then killed.
  bool WaitForExit(std::chrono::milliseconds limit);

  // Kills the program if it still runs and reaps it.
  void Terminate();

  bool DosAppSuccessfullyStarted = false;
  int StartErrno = 0;         // why the start failed
  int ExitStatus = -1;        // exit code once ended normally
  int TermSignal = 0;         // signal that ended it, 0 when none
  bool InputFailed = false;   // the program stopped reading before its input was written
  std::string Output;         // standard output, up to kOutputLimit bytes
  std::string ErrorOutput;    // standard error, up to kOutputLimit bytes

  static constexpr std::size_t kOutputLimit = 1 << 20;

 private:
  struct TLocalVariables {
    pid_t AppH = -1;
    int InputReadPipe = -1, InputWritePipe = -1;
    int OutputReadPipe = -1, OutputWritePipe = -1;
    int ErrorReadPipe = -1, ErrorWritePipe = -1;
  };

  bool StartApp(const std::vector<std::string>& argv, const std::vector<std::string>& env);
  void ResetHandles();
  void FlushInput();
  void DrainPipe(int& fd, std::string& into);
  bool Reap(bool block);

  TLocalVariables LocalVariables;
  std::string FPendingInput;
  bool FCloseInputWhenFlushed = false;
};

}  // namespace quorvane
