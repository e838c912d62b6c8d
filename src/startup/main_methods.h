// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The program's entry: command line, run identifier, the online run with its connection
// time limit, the portable run, and the offer of portable mode when online start fails.
#pragma once

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/message_queue.h"
#include "startup/front_ends.h"

namespace quorvane {

// A failure of the online start-up; carries only its message.
class EServerStartError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Everything the start-up uses, so that tests can stand in for each part.
struct TStartupEnvironment {
  std::function<std::unique_ptr<IControlServer>()> CreateServer;
  std::function<std::unique_ptr<IPortableWindow>()> CreateWindow;
  IServiceClient* Service = nullptr;
  IFallbackDialog* Dialog = nullptr;
  // The main thread's queue of the online run.
  TMessageQueue* Queue = nullptr;
  // The local date-time as days since 1899-12-30 (fraction = time of day).
  std::function<double()> Now;
};

// Moment at which the online run began, in the form of TStartupEnvironment::Now.
extern double AppStartTime;

// The local date-time now, as days since 1899-12-30.
double LocalDateTimeNow();

// Fills the run identifier with a fresh one: 32 upper-case hexadecimal digits.
void CreateSessionId();

// Exit statuses of quorvane: the run ended normally; it could not run or online mode
// failed and portable mode was declined; a command line it refuses.
inline constexpr int kExitRan = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

// Runs the program for the command line `args` (args[0] is the program path); returns the
// process's exit status.
int RunProgram(const std::vector<std::string>& args, TStartupEnvironment& env);

void RunOnline(const std::vector<std::string>& args, TStartupEnvironment& env);
// Both answer the process's exit status: kExitRan once a window has run, else
// kExitFailed (no window could be shown, or portable mode was declined).
int RunPortable(TStartupEnvironment& env);
int OfferPortableMode(const std::string& Message, TStartupEnvironment& env);

}  // namespace quorvane
