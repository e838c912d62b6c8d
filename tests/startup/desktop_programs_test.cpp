// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// Running as root for a desktop user (started through pkexec or sudo), the programs of his
// desktop run as him with his own home: the file dialog of both front ends and the
// opener of web pages. Stand-ins print or record who they run as.
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "archive/file_operations.h"
#include "archive/shell_open.h"
#include "common/desktop_user.h"
#include "server/file_dialog.h"
#include "support/temp_dir.h"

namespace quorvane {
namespace {

using ::testing::HasSubstr;
using testing::ReadFile;
using testing::TTempDir;
using testing::WriteFile;

class DesktopProgramsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const passwd* nobody = ::getpwnam("nobody");
    if (::geteuid() != 0 || !nobody || ::access("/usr/sbin/runuser", X_OK) != 0)
      GTEST_SKIP() << "needs root, runuser and the user nobody to run programs as another user";
    user_home = nobody->pw_dir;
    user_id = std::to_string(nobody->pw_uid);
    ::chmod(temp.path().c_str(), 0755);
    Save("PKEXEC_UID");
    Save("SUDO_UID");
    Save("DISPLAY");
    Save("QUORVANE_FILE_DIALOG");
    ::unsetenv("SUDO_UID");
    ::setenv("DISPLAY", ":5", 1);
    SetDesktopRuntimeDir(temp / "runtime");
  }
  void TearDown() override {
    for (const auto& [name, value] : saved) {
      if (value.first)
        ::setenv(name.c_str(), value.second.c_str(), 1);
      else
        ::unsetenv(name.c_str());
    }
    SetDesktopRuntimeDir("");
    SetShellOpenCommand("");
  }
  void Save(const char* name) {
    const char* value = std::getenv(name);
    saved[name] = {value != nullptr, value ? value : ""};
  }
  std::string Script(const std::string& name, const std::string& body) {
    const std::string path = temp / name;
    WriteFile(path, "#!/bin/sh\n" + body);
    ::chmod(path.c_str(), 0755);
    return path;
  }

  TTempDir temp;
  std::string user_home, user_id;
  std::map<std::string, std::pair<bool, std::string>> saved;
};

TEST_F(DesktopProgramsTest, TheFileDialogRunsAsTheUserBehindPkexecOrSudoInHisHome) {
  // The dialog prints its "chosen file": who it runs as, his home and runtime folder.
  ::setenv("QUORVANE_FILE_DIALOG",
           Script("dialog", "echo \"/chosen/$(id -u)/$HOME/$USER/$XDG_RUNTIME_DIR $4\"\n").c_str(), 1);
  for (const char* variable : {"PKEXEC_UID", "SUDO_UID"}) {
    ::unsetenv("PKEXEC_UID");
    ::unsetenv("SUDO_UID");
    ::setenv(variable, user_id.c_str(), 1);
    const TFileDialogResult result = RunFileOpenDialog({"Open", "ISO files", "*.iso"});
    ASSERT_EQ(result.Outcome, TFileDialogResult::TOutcome::Chosen) << result.Error;
    // It runs as him, with his home and runtime folder, and opens in his home.
    EXPECT_EQ(result.Path, "/chosen/" + user_id + "/" + user_home + "/nobody/" + temp.path() +
                               "runtime --filename=" + user_home + "/")
        << variable;
  }
  // Started by root himself, the dialog stays root's.
  ::unsetenv("PKEXEC_UID");
  ::unsetenv("SUDO_UID");
  const TFileDialogResult own = RunFileOpenDialog({"Open", "ISO files", "*.iso"});
  ASSERT_EQ(own.Outcome, TFileDialogResult::TOutcome::Chosen) << own.Error;
  EXPECT_EQ(own.Path.rfind("/chosen/0/", 0), 0u) << own.Path;
}

TEST_F(DesktopProgramsTest, TheWebPageOpensAsTheUser) {
  const std::string log = temp / "opened";
  WriteFile(log, "");
  ::chmod(log.c_str(), 0666);
  SetShellOpenCommand(Script("opener", "echo \"$(id -u) $HOME $1\" >> '" + log + "'\n"));
  ::setenv("PKEXEC_UID", user_id.c_str(), 1);
  OpenInIExplore("http://127.0.0.1:1792/");
  std::string opened;
  for (int i = 0; i < 1000 && opened.empty(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    opened = ReadFile(log);
  }
  EXPECT_EQ(opened, user_id + " " + user_home + " http://127.0.0.1:1792/\n");
}

}  // namespace
}  // namespace quorvane
