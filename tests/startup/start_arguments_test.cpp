// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The command line of quorvane before anything runs: run mode, help and version, refused
// options, and the session a re-run through pkexec hands over.
#include "startup/start_arguments.h"

#include <gtest/gtest.h>

namespace quorvane {
namespace {

struct TCase {
  std::vector<std::string> args;  // after the program path
  bool rerun;
  TStartAction action;
  std::vector<std::string> run_args;  // after the program path, as the run sees them
  std::vector<TSessionVariable> session;
};

TEST(StartArguments, ModesQuestionsAndRefusals) {
  using A = TStartAction;
  const TCase cases[] = {
      {{}, false, A::Portable, {}, {}},
      {{"online", "S1", "text"}, false, A::Online, {"online", "S1", "text"}, {}},
      {{"online", "--help"}, false, A::Online, {"online", "--help"}, {}},  // a session id
      // Anything else that is no option runs portable mode, as it always did.
      {{"Online", "S1", "text"}, false, A::Portable, {"Online", "S1", "text"}, {}},
      {{"portable"}, false, A::Portable, {"portable"}, {}},
      {{"-"}, false, A::Portable, {"-"}, {}},
      {{"--help"}, false, A::Help, {"--help"}, {}},
      {{"-h", "more"}, false, A::Help, {"-h", "more"}, {}},
      {{"--version"}, false, A::Version, {"--version"}, {}},
      // A mistyped option must not open a window that runs as root.
      {{"--hepl"}, false, A::Usage, {}, {}},
      {{"-d"}, false, A::Usage, {}, {}},
      {{"--"}, false, A::Usage, {}, {}},
      // Only a re-run takes session options, and only before the run's own arguments.
      {{"--desktop-session=DISPLAY=:0"}, false, A::Usage, {}, {}},
      {{"--desktop-session=DISPLAY=:0", "--desktop-session=XDG_RUNTIME_DIR=/run/user/1000",
        "online", "S1", "t"},
       true, A::Online, {"online", "S1", "t"},
       {{"DISPLAY", ":0"}, {"XDG_RUNTIME_DIR", "/run/user/1000"}}},
      {{"--desktop-session=WAYLAND_DISPLAY=wayland-0"}, true, A::Portable, {},
       {{"WAYLAND_DISPLAY", "wayland-0"}}},
      {{"online", "--desktop-session=DISPLAY=:0", "t"}, true, A::Online,
       {"online", "--desktop-session=DISPLAY=:0", "t"}, {}},
      {{"--desktop-session=LD_PRELOAD=/tmp/x.so"}, true, A::Usage, {}, {}},
      {{"--desktop-session=DISPLAY"}, true, A::Usage, {}, {}},
      {{"--desktop-session=DISPLAY=:0", "--desktop-session=DISPLAY=:1"}, true, A::Usage, {}, {}},
  };
  for (const TCase& c : cases) {
    std::vector<std::string> args = {"/usr/bin/quorvane"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    std::string shown;
    for (const std::string& a : c.args) shown += "[" + a + "]";
    const TStartCommand command = ParseStartArguments(args, c.rerun);
    EXPECT_EQ(command.Action, c.action) << shown;
    if (c.action == A::Usage) {
      EXPECT_FALSE(command.Error.empty()) << shown;
      continue;
    }
    std::vector<std::string> expected = {"/usr/bin/quorvane"};
    expected.insert(expected.end(), c.run_args.begin(), c.run_args.end());
    EXPECT_EQ(command.Args, expected) << shown;
    EXPECT_EQ(command.Session, c.session) << shown;
  }
}

TEST(StartArguments, TheRefusalNamesTheOption) {
  const TStartCommand command = ParseStartArguments({"quorvane", "--versoin"}, false);
  EXPECT_EQ(command.Error, "unknown option \"--versoin\"");
}

}  // namespace
}  // namespace quorvane
