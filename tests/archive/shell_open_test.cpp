// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// Opening documents and pages: the opener gets the address as one argument, untouched.
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "archive/file_operations.h"
#include "archive/shell_open.h"
#include "support/temp_dir.h"

namespace quorvane {
namespace {

using testing::ReadFile;
using testing::TTempDir;
using testing::WriteFile;

TEST(ShellOpen, OpenerGetsTheAddressAsOneArgument) {
  TTempDir temp;
  const std::string opener = temp / "opener.sh";
  const std::string log = temp / "log";
  WriteFile(opener, "#!/bin/sh\nprintf '%s|%s|%s\\n' \"$#\" \"$1\" \"$LC_ALL\" >> '" + log + "'\n");
  ::chmod(opener.c_str(), 0755);
  SetShellOpenCommand(opener);
  const std::string tricky = "https://example.org/a b?x=1&y=$(touch " + temp.path() + "pwned);z";
  ShellOpen(tricky);
  OpenInIExplore("https://example.org/");
  std::string lines;
  for (int i = 0; i < 500; ++i) {
    lines = ReadFile(log);
    if (std::count(lines.begin(), lines.end(), '\n') >= 2) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_NE(lines.find("1|" + tricky + "|C\n"), std::string::npos) << lines;
  EXPECT_NE(lines.find("1|https://example.org/|C\n"), std::string::npos) << lines;
  EXPECT_FALSE(testing::Exists(temp / "pwned"));

  // A missing opener is no error of the caller's.
  SetShellOpenCommand(temp / "missing");
  ShellOpen("https://example.org/");
  SetShellOpenCommand("");
}

}  // namespace
}  // namespace quorvane
