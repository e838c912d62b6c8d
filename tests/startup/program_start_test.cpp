// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The quorvane executable from its command line to its exit status: the questions it
// answers, the options it refuses, and a start by a user, which runs it again through a
// stand-in pkexec that records how it was called.
#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <sys/wait.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <thread>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "common/tool_runner.h"
#include "common/version.h"
#include "support/temp_dir.h"

namespace quorvane {
namespace {

using ::testing::HasSubstr;
using testing::ReadFile;
using testing::TTempDir;
using testing::WriteFile;

const std::string kProgram = std::string(QUORVANE_BUILD_DIR) + "/quorvane";

TToolResult Start(const std::vector<std::string>& args, std::vector<std::string> environment,
                  const std::string& as_user = "") {
  TToolCommand command;
  if (as_user.empty()) {
    command.Program = kProgram;
    command.Args = args;
  } else {
    command.Tool = "runuser";
    command.Args = {"-u", as_user, "--", kProgram};
    command.Args.insert(command.Args.end(), args.begin(), args.end());
  }
  environment.push_back("PATH=/usr/bin:/bin");
  command.Environment = environment;
  command.Limit = std::chrono::minutes(2);
  return SystemToolRunner()->Run(command);
}

TEST(ProgramStart, QuestionsAreAnsweredAndUnknownOptionsRefusedWithoutAWindow) {
  struct TCase {
    std::vector<std::string> args;
    int status;
    const char* out;
    const char* err;
  };
  const std::string version = std::string("quorvane ") + QuorvaneVersion() + "\n";
  const TCase cases[] = {
      {{"--version"}, 0, version.c_str(), ""},
      {{"--help"}, 0, "Usage:\n  quorvane ", ""},
      {{"-h"}, 0, "Usage:\n  quorvane ", ""},
      {{"--versoin"}, 2, "", "quorvane: unknown option \"--versoin\"\nTry \"quorvane --help\".\n"},
      {{"-platform", "offscreen"}, 2, "", "unknown option \"-platform\""},
      // Portable mode without any display says so and fails.
      {{}, 1, "", "no display for the window"},
      {{"Online", "S", "t"}, 1, "", "no display for the window"},
  };
  for (const TCase& c : cases) {
    // No display anywhere: a case that opened a window would fail, not hang.
    const TToolResult r = Start(c.args, {});
    const std::string shown = c.args.empty() ? "(none)" : c.args[0];
    EXPECT_EQ(r.ExitStatus, c.status) << shown << ": " << r.ErrorOutput;
    EXPECT_EQ(r.Output.rfind(c.out, 0), 0u) << shown << ": " << r.Output;
    EXPECT_THAT(r.ErrorOutput, HasSubstr(c.err)) << shown;
  }
}

TEST(ProgramStart, AUserStartRunsItAgainThroughPkexecWithOnlyTheSessionHandedOver) {
  const passwd* nobody = ::getpwnam("nobody");
  if (::geteuid() != 0 || !nobody || ::access("/usr/sbin/runuser", X_OK) != 0)
    GTEST_SKIP() << "needs root, runuser and the user nobody to start the program as a user";
  TTempDir temp;
  ::chmod(temp.path().c_str(), 0755);
  const std::string log = temp / "pkexec.log";
  WriteFile(log, "");
  ::chmod(log.c_str(), 0666);
  const std::string pkexec = temp / "pkexec";
  WriteFile(pkexec, "#!/bin/sh\nfor a in \"$@\"; do echo \"arg $a\"; done >> '" + log +
                        "'\necho \"uid $(id -u)\" >> '" + log + "'\nexit 7\n");
  ::chmod(pkexec.c_str(), 0755);
  const TToolResult r = Start({"online", "S1", "page text"},
                              {"QUORVANE_PKEXEC=" + pkexec, "WAYLAND_DISPLAY=wayland-0",
                               "XDG_RUNTIME_DIR=/run/user/65534", "SECRET=not handed over"},
                              "nobody");
  EXPECT_EQ(r.ExitStatus, 7) << r.ErrorOutput;  // the re-run's status is the program's
  EXPECT_EQ(ReadFile(log), "arg " + kProgram +
                               "\n"
                               "arg --desktop-session=WAYLAND_DISPLAY=wayland-0\n"
                               "arg --desktop-session=XDG_RUNTIME_DIR=/run/user/65534\n"
                               "arg online\narg S1\narg page text\n"
                               "uid " + std::to_string(nobody->pw_uid) + "\n");
}

}  // namespace
}  // namespace quorvane

namespace quorvane {
namespace {

// SIGTERM and SIGHUP end the online run as "FinishWorks" would: the program leaves its
// loop, stops its server and releases its drives, and says by its status which signal
// ended it, instead of dying where it stood.
TEST(ProgramStart, EndingSignalsEndTheOnlineRunInOrder) {
  if (::geteuid() != 0) GTEST_SKIP() << "the online run needs root";
  for (const int signal_number : {SIGTERM, SIGHUP}) {
    SCOPED_TRACE(strsignal(signal_number));
    const pid_t pid = ::fork();
    if (pid == 0) {
      const int null = ::open("/dev/null", O_RDWR);
      ::dup2(null, 0);
      ::dup2(null, 1);
      ::dup2(null, 2);
      char* const argv[] = {const_cast<char*>(kProgram.c_str()), const_cast<char*>("online"),
                            const_cast<char*>("-d"), const_cast<char*>("x"), nullptr};
      char* const envp[] = {const_cast<char*>("PATH=/usr/bin:/bin"), nullptr};
      ::execve(kProgram.c_str(), argv, envp);
      ::_exit(127);
    }
    ASSERT_GT(pid, 0);
    // Well inside the online run's connection time limit.
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    ASSERT_EQ(::kill(pid, signal_number), 0);
    int status = 0;
    pid_t ended = 0;
    for (int i = 0; i < 200 && ended == 0; ++i) {
      ended = ::waitpid(pid, &status, WNOHANG);
      if (ended == 0) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (ended == 0) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      FAIL() << "the program did not end within 10 s of the signal";
    }
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 128 + signal_number);
    EXPECT_NE(::access(("/run/quorvane/" + std::to_string(pid)).c_str(), F_OK), 0);
  }
}

}  // namespace
}  // namespace quorvane
