// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The one tool runner and the piped console program under it.
#include <gtest/gtest.h>

#include "common/dos_app_works.h"
#include "common/tool_runner.h"

namespace quorvane {
namespace {

TEST(ToolRunnerTest, ExitStatusErrorTextAndCommandLineAreKept) {
  TSystemToolRunner runner;
  const TToolResult r =
      runner.Run({"sh", {"-c", "echo out; echo 'sh: it broke' >&2; echo again >&2; exit 3"}, ""});
  EXPECT_TRUE(r.Started);
  EXPECT_FALSE(r.Succeeded());
  EXPECT_EQ(r.ExitStatus, 3);
  EXPECT_EQ(r.Output, "out\n");
  EXPECT_EQ(r.CommandLine, "/usr/bin/sh -c 'echo out; echo '\\''sh: it broke'\\'' >&2; echo again >&2; exit 3'");
  EXPECT_EQ(r.ErrorText(), "sh: it broke; again [" + r.CommandLine + ": exit status 3]");
  EXPECT_TRUE(runner.Run({"true", {}, ""}).Succeeded());
}

TEST(ToolRunnerTest, ToolsRunByAbsolutePathInAFixedEnvironment) {
  setenv("QUORVANE_LEAK", "1", 1);
  TSystemToolRunner runner;
  const TToolResult r = runner.Run({"env", {}, ""});
  unsetenv("QUORVANE_LEAK");
  ASSERT_TRUE(r.Succeeded()) << r.ErrorText();
  EXPECT_EQ(r.Output, "LC_ALL=C\nLANG=C\nPATH=/usr/sbin:/usr/bin:/sbin:/bin\n");
  EXPECT_EQ(r.CommandLine, "/usr/bin/env");

  const TToolResult missing = runner.Run({"no-such-tool-here", {"x"}, ""});
  EXPECT_FALSE(missing.Started);
  EXPECT_EQ(missing.ErrorText(), "no-such-tool-here is not installed");
  // A name with a slash is never looked up.
  EXPECT_FALSE(runner.Run({"/bin/true", {}, ""}).Started);
  EXPECT_FALSE(runner.Available("../bin/true"));
}

TEST(ToolRunnerTest, BigInputAndOutputAtOnceDoNotDeadlock) {
  // More than a pipe holds in each direction while the tool writes as it reads.
  std::string input;
  for (int i = 0; i < 40000; ++i) input += "line " + std::to_string(i) + "\n";
  TSystemToolRunner runner;
  const TToolResult r = runner.Run({"sh", {"-c", "cat; head -c 300000 /dev/zero >&2"}, input});
  ASSERT_TRUE(r.Succeeded()) << r.ErrorText();
  EXPECT_EQ(r.Output, input);
  EXPECT_EQ(r.ErrorOutput.size(), 300000u);
}

TEST(ToolRunnerTest, AToolThatLeavesADaemonBehindStillEnds) {
  // The daemon keeps the output pipe open; the tool's own end is what counts.
  TSystemToolRunner runner;
  const auto start = std::chrono::steady_clock::now();
  const TToolResult r = runner.Run({"sh", {"-c", "sleep 3 & echo started"}, ""});
  EXPECT_TRUE(r.Succeeded());
  EXPECT_EQ(r.Output, "started\n");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2500));
}

TEST(ToolRunnerTest, AHungToolIsKilledAtItsLimit) {
  TSystemToolRunner runner;
  const TToolResult r = runner.Run({"sleep", {"30"}, "", std::chrono::milliseconds(200)});
  EXPECT_TRUE(r.TimedOut);
  EXPECT_FALSE(r.Succeeded());
  EXPECT_EQ(r.ErrorText(), "[/usr/bin/sleep 30: did not end in time]");
}

TEST(DosAppWorksTest, CommandsGoToStandardInputLineByLine) {
  TDosAppWorks app({"/usr/bin/sh"}, {"PATH=/usr/bin:/bin"});
  ASSERT_TRUE(app.DosAppSuccessfullyStarted);
  app.SendCommand("echo first");
  app.SendCommand("echo second >&2");
  app.SendCommand("exit 4");
  app.CloseInput();
  EXPECT_TRUE(app.WaitForExit(std::chrono::seconds(10)));
  EXPECT_EQ(app.ExitStatus, 4);
  EXPECT_EQ(app.Output, "first\n");
  EXPECT_EQ(app.ErrorOutput, "second\n");

  // A program that stops reading: the rest of its input is dropped, no SIGPIPE.
  TDosAppWorks quitter({"/usr/bin/true"}, {});
  ASSERT_TRUE(quitter.DosAppSuccessfullyStarted);
  EXPECT_TRUE(quitter.WaitForExit(std::chrono::seconds(10)));
  quitter.SendText(std::string(200000, 'x'));
  EXPECT_TRUE(quitter.InputFailed);

  TDosAppWorks nothing({"/no/such/program"}, {});
  EXPECT_FALSE(nothing.DosAppSuccessfullyStarted);
  EXPECT_EQ(nothing.StartErrno, ENOENT);
}

}  // namespace
}  // namespace quorvane
