// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "startup/main_methods.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <regex>
#include <thread>

#include "common/main_thread.h"
#include "common/session_state.h"
#include "jobs/jobs.h"
#include "startup/online_pump.h"

namespace quorvane {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// Every stand-in writes what happens to it into one shared log.
struct TLog {
  std::vector<std::string> lines;
  void Add(std::string line) { lines.push_back(std::move(line)); }
};

class TFakeServer : public IControlServer {
 public:
  TFakeServer(TLog& log, std::function<void()> on_activate) : FLog(log), FOnActivate(on_activate) {}
  ~TFakeServer() override { FLog.Add("server destroyed"); }
  void SetDefaultPort(int port) override { FLog.Add("port " + std::to_string(port)); }
  void Activate() override {
    FLog.Add("activate");
    if (FOnActivate) FOnActivate();
  }
  void Deactivate() override { FLog.Add("deactivate"); }
  TJobs* Jobs() override { return &FJobs; }
  void OpenPage() override { FLog.Add("open page"); }
  TJobs FJobs;

 private:
  TLog& FLog;
  std::function<void()> FOnActivate;
};

class TFakeService : public IServiceClient {
 public:
  explicit TFakeService(TLog& log) : FLog(log) {}
  int FindFreePort(int default_port) override { return default_port + 1; }
  bool PostPort(int port) override {
    FLog.Add("post port " + std::to_string(port) + " id " + GetSessionId());
    return post_port_result;
  }
  void SendErrorLog(const std::string& text) override { FLog.Add("error log " + text); }
  void SendJobsLog(TJobs* jobs) override {
    FLog.Add(std::string("jobs log ") + (jobs == logged_jobs ? "of the front end" : "of another list"));
  }
  bool post_port_result = true;
  TJobs* logged_jobs = nullptr;

 private:
  TLog& FLog;
};

class TFakeWindow : public IPortableWindow {
 public:
  explicit TFakeWindow(TLog& log) : FLog(log) {}
  bool RunUntilClosed() override {
    FLog.Add("window");
    return shown;
  }
  bool shown = true;
  TJobs* Jobs() override { return &FJobs; }
  TJobs FJobs;

 private:
  TLog& FLog;
};

class TFakeDialog : public IFallbackDialog {
 public:
  explicit TFakeDialog(TLog& log) : FLog(log) {}
  TDialogAnswer AskYesNo(const std::string& text) override {
    FLog.Add("ask");
    asked = text;
    return answer;
  }
  TDialogAnswer answer = TDialogAnswer::No;
  std::string asked;

 private:
  TLog& FLog;
};

class StartupTest : public ::testing::Test {
 public:
  StartupTest() : service(log), dialog(log) {
    ClientConnected = false;
    QuitRequested = false;
    OnlineRunning = true;
    env.CreateServer = [this] {
      auto server = std::make_unique<TFakeServer>(log, on_activate);
      service.logged_jobs = server->Jobs();
      return std::unique_ptr<IControlServer>(std::move(server));
    };
    env.CreateWindow = [this] {
      auto window = std::make_unique<TFakeWindow>(log);
      service.logged_jobs = window->Jobs();
      return std::unique_ptr<IPortableWindow>(std::move(window));
    };
    env.Service = &service;
    env.Dialog = &dialog;
    env.Queue = &queue;
    // A clock that moves one second each time it is read, and wakes the pump so that no
    // test waits for real time to pass.
    env.Now = [this] {
      ++clock_reads;
      queue.Post([] {});
      return 46000.0 + clock_reads / 86400.0;
    };
  }
  ~StartupTest() override {
    if (browser.joinable()) browser.join();
    SetMainThreadDispatcher(nullptr);
  }

  void Run(std::vector<std::string> args) {
    args.insert(args.begin(), "/usr/bin/quorvane");
    RunProgram(args, env);
  }

  // The dialog's text for an online start that failed with `message`.
  static std::string Offer(const std::string& message) {
    return "Sorry, online application could not start :(\r\nOnline start error: " + message +
           "\r\nWould you like to launch application in portable mode?";
  }

  TLog log;
  TMessageQueue queue;
  TFakeService service;
  TFakeDialog dialog;
  TStartupEnvironment env;
  std::function<void()> on_activate;
  int clock_reads = 0;
  std::thread browser;
};

TEST_F(StartupTest, WithoutArgumentsThePortableWindowRunsAndItsJobsAreLogged) {
  Run({});
  EXPECT_THAT(log.lines, ElementsAre("window", "jobs log of the front end"));
  EXPECT_TRUE(std::regex_match(GetSessionId(), std::regex("[0-9A-F]{32}"))) << GetSessionId();
}

TEST_F(StartupTest, OnlyTheExactWordOnlineSelectsOnlineMode) {
  for (const char* mode : {"Online", "ONLINE", "online ", "portable"}) {
    log.lines.clear();
    Run({mode, "S1", "text"});
    EXPECT_THAT(log.lines, ElementsAre("window", "jobs log of the front end")) << mode;
  }
}

TEST_F(StartupTest, ArgumentChecksInTheirOrder) {
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"online"}, "Initial params incorrect"},
      {{"online", "S1"}, "Initial params incorrect"},  // the text is tested first
      {{"online", "", ""}, "Initial params incorrect"},
      {{"online", "", "text"}, "Session id is empty"},
  };
  for (const auto& [args, message] : cases) {
    log.lines.clear();
    Run(args);
    EXPECT_EQ(dialog.asked, Offer(message));
    EXPECT_THAT(log.lines, ElementsAre("ask", "error log EC0 " + message));
  }
}

TEST_F(StartupTest, AnsweringYesOrClosingTheDialogOpensTheWindow) {
  for (TDialogAnswer answer : {TDialogAnswer::Yes, TDialogAnswer::Closed}) {
    log.lines.clear();
    dialog.answer = answer;
    Run({"online", "S1"});
    EXPECT_THAT(log.lines, ElementsAre("ask", "error log EC1 Initial params incorrect", "window",
                                       "jobs log of the front end"));
  }
}

TEST_F(StartupTest, ServerThatCannotStartShowsItsOwnError) {
  on_activate = [] { throw std::runtime_error("Address already in use"); };
  Run({"online", "S1", "text"});
  EXPECT_EQ(dialog.asked, Offer("Address already in use"));
  EXPECT_THAT(log.lines, ElementsAre("port 8081", "activate", "deactivate", "server destroyed",
                                     "ask", "error log EC0 Address already in use"));
}

TEST_F(StartupTest, PortThatCannotBeRegisteredEndsTheOnlineStart) {
  service.post_port_result = false;
  Run({"online", "S1", "text"});
  EXPECT_EQ(dialog.asked, Offer("port not posted"));
  EXPECT_THAT(log.lines, ::testing::Contains("post port 8081 id S1"));
  // The page is opened only for a run that has started.
  EXPECT_THAT(log.lines, ::testing::Not(::testing::Contains("open page")));
}

TEST_F(StartupTest, WithoutARequestTheConnectionTimesOutOnceTheCounterPassesSeven) {
  Run({"online", "S1", "text"});
  EXPECT_EQ(dialog.asked, Offer("connection timeout"));
  // One read for the start, then one per wake-up: the eighth second is the first > 7.
  EXPECT_EQ(clock_reads, 1 + 8);
  EXPECT_THAT(log.lines, ElementsAre("port 8081", "activate", "post port 8081 id S1", "open page",
                                     "deactivate", "server destroyed", "ask",
                                     "error log EC0 connection timeout"));
}

TEST_F(StartupTest, DebugSessionRegistersNoPortAndLogsNoJobsButStillTimesOut) {
  Run({"online", "-d", "text"});
  EXPECT_EQ(dialog.asked, Offer("connection timeout"));
  for (const std::string& line : log.lines) EXPECT_EQ(line.find("post port"), std::string::npos);
}

// A browser that connects at once and asks to finish after some wake-ups; a quit message
// posted meanwhile must not end the run.
std::thread ConnectThenFinish(TMessageQueue& queue) {
  ClientConnected = true;
  return std::thread([&queue] {
    queue.PostQuit();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    queue.Post([] { QuitRequested = true; });
  });
}

TEST_F(StartupTest, ConnectedSessionRunsUntilFinishThenLogsItsJobs) {
  env.Now = [this] {
    ++clock_reads;
    return 46000.0 + clock_reads;  // whole days apart: any limit would have fired
  };
  on_activate = [this] { browser = ConnectThenFinish(queue); };
  Run({"online", "S1", "text"});
  EXPECT_EQ(GetSessionId(), "S1");
  EXPECT_THAT(log.lines, ElementsAre("port 8081", "activate", "post port 8081 id S1", "open page",
                                     "jobs log of the front end", "deactivate", "server destroyed"));
  EXPECT_FALSE(OnlineRunning);
}

TEST_F(StartupTest, DebugSessionPostsNoJobsLogAtTheEnd) {
  on_activate = [this] { browser = ConnectThenFinish(queue); };
  Run({"online", "-d", "text"});
  EXPECT_THAT(log.lines,
              ElementsAre("port 8081", "activate", "open page", "deactivate", "server destroyed"));
}

TEST(OnlinePump, WaitWakesUpWithoutAnyMessage) {
  TMessageQueue queue;
  OnlineRunning = true;
  QuitRequested = false;
  std::atomic<bool> returned{false};
  std::thread waiter([&] {
    WaitAndPump(queue, 0);
    returned = true;
  });
  // Generous: the pump wakes about once a second; only a pump that never wakes fails.
  for (int i = 0; i < 500 && !returned; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_TRUE(returned.load());
  if (!returned) queue.Post([] {});
  waiter.join();
}

TEST(OnlinePump, PumpOnceDispatchesTheBatchAndEndsAfterAFinishRequest) {
  TMessageQueue queue;
  OnlineRunning = true;
  QuitRequested = false;
  EXPECT_FALSE(PumpOnce(queue, 0));  // nothing waits
  int runs = 0;
  queue.Post([&] { ++runs; });
  queue.PostQuit();
  queue.Post([&] { ++runs; });
  EXPECT_TRUE(PumpOnce(queue, 0));
  EXPECT_EQ(runs, 2);
  queue.Post([] { QuitRequested = true; });
  EXPECT_FALSE(PumpOnce(queue, 0));
  EXPECT_FALSE(OnlineRunning);
  queue.Post([&] { ++runs; });
  PumpMessages(queue, 0);
  EXPECT_EQ(runs, 2);  // the loop has ended: nothing more is dispatched
  OnlineRunning = true;
  QuitRequested = false;
}

}  // namespace
}  // namespace quorvane
