// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "startup/main_methods.h"

#include <chrono>
#include <cmath>
#include <ctime>

#include "common/guid.h"
#include "common/main_thread.h"
#include "common/session_state.h"
#include "common/text.h"
#include "startup/online_pump.h"

namespace quorvane {

double AppStartTime = 0;

namespace {

// The argument at `index`, or an empty text when the command line is shorter.
std::string Arg(const std::vector<std::string>& args, std::size_t index) {
  return index < args.size() ? args[index] : std::string();
}

// Whole seconds of a date-time on a second counter.
std::int64_t SecondCounter(double date_time) {
  return static_cast<std::int64_t>(std::trunc(date_time * 86400.0));
}

}  // namespace

double LocalDateTimeNow() {
  using namespace std::chrono;
  const auto now = system_clock::now();
  const std::time_t seconds = system_clock::to_time_t(now);
  std::tm local{};
  localtime_r(&seconds, &local);
  const double fraction =
      duration<double>(now - system_clock::from_time_t(seconds)).count();
  // Days from 1899-12-30 to 1970-01-01 are 25569.
  const double local_seconds = static_cast<double>(seconds) + local.tm_gmtoff + fraction;
  return 25569.0 + local_seconds / 86400.0;
}

void CreateSessionId() {
  std::string id = NewGuidRegistryForm();
  id = ReplaceAll(id, "{", "");
  id = ReplaceAll(id, "}", "");
  id = ReplaceAll(id, "-", "");
  SetSessionId(id);
}

int RunProgram(const std::vector<std::string>& args, TStartupEnvironment& env) {
  OnlineRunning = true;
  CreateSessionId();
  if (Arg(args, 1) != "online") return RunPortable(env);
  try {
    if (Arg(args, 3).empty()) throw EServerStartError("Initial params incorrect");
    if (Arg(args, 2).empty()) throw EServerStartError("Session id is empty");
    SetSessionId(Arg(args, 2));
    RunOnline(args, env);
  } catch (const std::exception& error) {
    return OfferPortableMode(error.what(), env);
  }
  return kExitRan;
}

void RunOnline(const std::vector<std::string>& args, TStartupEnvironment& env) {
  const bool debugging = Arg(args, 2) == "-d";
  SetMainThreadDispatcher(env.Queue);
  std::unique_ptr<IControlServer> server = env.CreateServer();
  OnlineRunning = true;
  AppStartTime = env.Now();
  auto stop_server = [&server] {
    try {
      server->Deactivate();
    } catch (...) {
    }
    try {
      server.reset();
    } catch (...) {
    }
  };
  try {
    const int port = env.Service->FindFreePort(8080);
    server->SetDefaultPort(port);
    try {
      server->Activate();
    } catch (const std::exception& error) {
      throw EServerStartError(error.what());
    } catch (...) {
      throw EServerStartError("Unknown error while starting the control server");
    }
    if (!debugging && !env.Service->PostPort(port)) throw EServerStartError("port not posted");
    // The page needs the run's secret, which only the desktop user's browser is given.
    server->OpenPage();
    while (OnlineRunning) {
      const std::int64_t elapsed = SecondCounter(env.Now()) - SecondCounter(AppStartTime);
      if (elapsed > 7 && !ClientConnected) throw EServerStartError("connection timeout");
      WaitAndPump(*env.Queue, AppStartTime);
    }
    if (!debugging) {
      try {
        env.Service->SendJobsLog(server->Jobs());
      } catch (...) {
      }
    }
  } catch (...) {
    stop_server();
    throw;
  }
  stop_server();
}

int RunPortable(TStartupEnvironment& env) {
  std::unique_ptr<IPortableWindow> window = env.CreateWindow();
  if (!window) return kExitFailed;
  const bool shown = window->RunUntilClosed();
  try {
    env.Service->SendJobsLog(window->Jobs());
  } catch (...) {
  }
  return shown ? kExitRan : kExitFailed;
}

int OfferPortableMode(const std::string& Message, TStartupEnvironment& env) {
  const std::string text = "Sorry, online application could not start :(\r\nOnline start error: " +
                           Message + "\r\n" +
                           "Would you like to launch application in portable mode?";
  const TDialogAnswer answer = env.Dialog->AskYesNo(text);
  if (answer == TDialogAnswer::No) {
    env.Service->SendErrorLog("EC0 " + Message);
    return kExitFailed;
  }
  env.Service->SendErrorLog("EC1 " + Message);
  return RunPortable(env);
}

}  // namespace quorvane
