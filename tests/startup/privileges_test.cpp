// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The re-run through pkexec with stand-ins for pkexec and xhost that record how they were
// called; the re-run's take-over of the desktop session; the start without root.
#include "startup/privileges.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <sstream>

#include "common/desktop_user.h"
#include "support/temp_dir.h"

namespace quorvane {
namespace {

using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using testing::ReadFile;
using testing::TTempDir;
using testing::WriteFile;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// Sets or clears variables for one test and puts the old values back.
class TScopedEnvironment {
 public:
  void Set(const std::string& name, const std::optional<std::string>& value) {
    if (!FOld.count(name)) {
      const char* old = std::getenv(name.c_str());
      FOld[name] = old ? std::optional<std::string>(old) : std::nullopt;
    }
    if (value)
      ::setenv(name.c_str(), value->c_str(), 1);
    else
      ::unsetenv(name.c_str());
  }
  ~TScopedEnvironment() {
    for (const auto& [name, value] : FOld) {
      if (value)
        ::setenv(name.c_str(), value->c_str(), 1);
      else
        ::unsetenv(name.c_str());
    }
  }

 private:
  std::map<std::string, std::optional<std::string>> FOld;
};

class RerunTest : public ::testing::Test {
 protected:
  RerunTest() {
    // Both stand-ins write one line per call into one log, so that their order shows.
    WriteFile(pkexec, "#!/bin/sh\n{ printf 'pkexec'; for a in \"$@\"; do printf ' [%s]' \"$a\"; done; "
                      "echo; } >> '" + log + "'\nexit $(cat '" + status_file + "')\n");
    WriteFile(xhost, "#!/bin/sh\necho \"xhost $* DISPLAY=$DISPLAY XAUTHORITY=$XAUTHORITY\" >> '" +
                         log + "'\n"
                         "if [ $# -eq 0 ]; then echo 'access control enabled, only authorized "
                         "clients can connect'; echo 'SI:localuser:alice';\n"
                         "  [ -e '" + admitted + "' ] && echo 'SI:localuser:root'; exit 0; fi\n"
                         "exit $(cat '" + xhost_status + "')\n");
    ::chmod(pkexec.c_str(), 0755);
    ::chmod(xhost.c_str(), 0755);
    WriteFile(status_file, "0\n");
    WriteFile(xhost_status, "0\n");
    setup.Pkexec = pkexec;
    setup.Xhost = xhost;
    setup.Program = "/usr/bin/quorvane";
    setup.Runner = SystemToolRunner();
    setup.Err = err;
  }
  ~RerunTest() override { std::fclose(err); }

  std::string Errors() {
    std::fflush(err);
    return ReadFile(err_path);
  }

  TTempDir temp;
  std::string log = temp / "log", pkexec = temp / "pkexec", xhost = temp / "xhost";
  std::string status_file = temp / "status", xhost_status = temp / "xhost-status";
  std::string admitted = temp / "admitted", err_path = temp / "err";
  std::FILE* err = std::fopen(err_path.c_str(), "w+");
  TRerunSetup setup;
};

struct TRerunCase {
  const char* name;
  std::vector<TSessionVariable> session;
  bool xhost_installed;
  bool root_admitted_before;
  int xhost_grant_status;
  std::vector<std::string> calls;
};

TEST_F(RerunTest, TheSessionIsHandedOverAndRootIsLetOntoTheXDisplayForTheRunOnly) {
  const std::string x = " DISPLAY=:5 XAUTHORITY=/home/alice/.Xauthority";
  const std::string pk =
      "pkexec [/usr/bin/quorvane] [--desktop-session=DISPLAY=:5] "
      "[--desktop-session=XAUTHORITY=/home/alice/.Xauthority] [online] [S1] [a b]";
  const std::vector<TSessionVariable> on_x = {{"DISPLAY", ":5"},
                                              {"XAUTHORITY", "/home/alice/.Xauthority"}};
  const TRerunCase cases[] = {
      {"X", on_x, true, false, 0,
       {"xhost " + x, "xhost +SI:localuser:root" + x, pk, "xhost -SI:localuser:root" + x}},
      // A grant the user made himself stays.
      {"X, root already admitted", on_x, true, true, 0, {"xhost " + x, pk}},
      {"X without xhost", on_x, false, false, 0, {pk}},
      {"X, grant refused", on_x, true, false, 1, {"xhost " + x, "xhost +SI:localuser:root" + x, pk}},
      {"Wayland",
       {{"WAYLAND_DISPLAY", "wayland-0"}, {"XDG_RUNTIME_DIR", "/run/user/1000"}},
       true, false, 0,
       {"pkexec [/usr/bin/quorvane] [--desktop-session=WAYLAND_DISPLAY=wayland-0] "
        "[--desktop-session=XDG_RUNTIME_DIR=/run/user/1000] [online] [S1] [a b]"}},
  };
  for (const TRerunCase& c : cases) {
    std::remove(log.c_str());
    std::remove(admitted.c_str());
    if (c.root_admitted_before) WriteFile(admitted, "");
    WriteFile(xhost_status, std::to_string(c.xhost_grant_status) + "\n");
    setup.Session = c.session;
    setup.Xhost = c.xhost_installed ? xhost : "";
    EXPECT_EQ(RerunThroughPkexec(setup, {"online", "S1", "a b"}), 0) << c.name;
    EXPECT_THAT(Lines(ReadFile(log)), ElementsAreArray(c.calls)) << c.name;
  }
  EXPECT_THAT(Errors(), HasSubstr("cannot let root onto the display"));
}

TEST_F(RerunTest, TheReRunsStatusIsTheProcesssAndPkexecsRefusalsAreSaid) {
  setup.Session = {{"WAYLAND_DISPLAY", "wayland-0"}};
  const std::pair<int, const char*> cases[] = {
      {0, ""},
      {1, ""},
      {2, ""},
      {126, "the administrator's password was not given"},
      {127, "pkexec could not run it as root"},
  };
  for (const auto& [status, said] : cases) {
    WriteFile(status_file, std::to_string(status) + "\n");
    EXPECT_EQ(RerunThroughPkexec(setup, {}), status);
    if (*said) {
      EXPECT_THAT(Errors(), HasSubstr(said)) << status;
    }
  }
}

TEST_F(RerunTest, WithoutRootTheWindowNeedsADisplayAndPkexecElseOneLineSaysWhatToDo) {
  setup.Session = {{"DISPLAY", ":5"}};
  setup.Xhost.clear();
  TStartCommand window;
  window.Action = TStartAction::Portable;
  window.Args = {"/usr/bin/quorvane"};
  TStartCommand online;
  online.Action = TStartAction::Online;
  online.Args = {"/usr/bin/quorvane", "online", "S1", "t"};

  EXPECT_EQ(StartWithoutRoot(window, setup, false), 1);
  EXPECT_THAT(Errors(), HasSubstr("no display for the window"));
  EXPECT_FALSE(testing::Exists(log));  // nobody was asked for a password in vain

  EXPECT_EQ(StartWithoutRoot(window, setup, true), 0);
  EXPECT_EQ(ReadFile(log), "pkexec [/usr/bin/quorvane] [--desktop-session=DISPLAY=:5]\n");
  std::remove(log.c_str());
  // Online mode needs no display of its own.
  EXPECT_EQ(StartWithoutRoot(online, setup, false), 0);
  EXPECT_EQ(ReadFile(log),
            "pkexec [/usr/bin/quorvane] [--desktop-session=DISPLAY=:5] [online] [S1] [t]\n");

  setup.Pkexec = temp / "no-pkexec";
  for (const TStartCommand& start : {window, online}) {
    EXPECT_EQ(StartWithoutRoot(start, setup, true), 1);
    const std::vector<std::string> said = Lines(Errors());
    ASSERT_FALSE(said.empty());
    EXPECT_EQ(said.back(), NeedRootHint(start.Action));
    EXPECT_THAT(said.back(), HasSubstr("apt install pkexec"));
  }
}

TEST(Xhost, TheListSaysWhetherRootIsAdmitted) {
  const std::string captured =
      "access control enabled, only authorized clients can connect\n"
      "SI:localuser:alice\n";
  EXPECT_FALSE(XhostAdmitsLocalRoot(captured));
  EXPECT_TRUE(XhostAdmitsLocalRoot(captured + "SI:localuser:root\n"));
  EXPECT_FALSE(XhostAdmitsLocalRoot(captured + "SI:localuser:rootkit\n"));
  EXPECT_FALSE(XhostAdmitsLocalRoot("access control disabled, clients can connect from any host\n"));
}

// The re-run's side: what it takes over must belong to the user pkexec names.
class TakeOverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to give the fixture files to another user";
    ::chmod(temp.path().c_str(), 0755);
    WriteFile(xauth, "cookie");
    WriteFile(foreign, "cookie");
    ::symlink(xauth.c_str(), link.c_str());
    ::mkdir(runtime.c_str(), 0700);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string socket_path = runtime + "/wayland-9";
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", socket_path.c_str());
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::close(fd);
    for (const std::string& path : {xauth, runtime, socket_path})
      ASSERT_EQ(::lchown(path.c_str(), kUser, kUser), 0) << path;
    for (const char* name : {"DISPLAY", "XAUTHORITY", "WAYLAND_DISPLAY", "XDG_RUNTIME_DIR"})
      environment.Set(name, std::nullopt);
  }
  void TearDown() override { SetDesktopRuntimeDir(""); }

  static constexpr uid_t kUser = 4242;
  TTempDir temp;
  std::string xauth = temp / "Xauthority", foreign = temp / "root-owned", link = temp / "link";
  std::string runtime = temp / "runtime";
  TScopedEnvironment environment;
};

TEST_F(TakeOverTest, OnlyTheUsersOwnFilesAreTakenOver) {
  const std::pair<std::vector<TSessionVariable>, const char*> refused[] = {
      {{{"XAUTHORITY", foreign}}, "XAUTHORITY"},
      {{{"XAUTHORITY", link}}, "XAUTHORITY"},
      {{{"XAUTHORITY", "Xauthority"}}, "XAUTHORITY"},
      {{{"XDG_RUNTIME_DIR", temp.path()}}, "XDG_RUNTIME_DIR"},
      {{{"WAYLAND_DISPLAY", "wayland-9"}}, "WAYLAND_DISPLAY"},  // no runtime folder
      {{{"XDG_RUNTIME_DIR", runtime}, {"WAYLAND_DISPLAY", "../runtime/wayland-9"}},
       "WAYLAND_DISPLAY"},
      {{{"XDG_RUNTIME_DIR", runtime}, {"WAYLAND_DISPLAY", "wayland-1"}}, "WAYLAND_DISPLAY"},
      {{{"DISPLAY", ":0\nLD_PRELOAD=/tmp/x.so"}}, "DISPLAY"},
  };
  for (const auto& [session, named] : refused) {
    std::string error;
    EXPECT_FALSE(TakeOverDesktopSession(session, kUser, error)) << named;
    EXPECT_THAT(error, HasSubstr(named));
    EXPECT_EQ(std::getenv("XAUTHORITY"), nullptr) << "set although refused: " << named;
  }
}

TEST_F(TakeOverTest, TheDisplaysAreSetAndTheRuntimeFolderIsKeptForTheUsersPrograms) {
  std::string error;
  ASSERT_TRUE(TakeOverDesktopSession({{"DISPLAY", ":0"},
                                      {"XAUTHORITY", xauth},
                                      {"WAYLAND_DISPLAY", "wayland-9"},
                                      {"XDG_RUNTIME_DIR", runtime}},
                                     kUser, error))
      << error;
  EXPECT_STREQ(std::getenv("DISPLAY"), ":0");
  EXPECT_EQ(std::string(std::getenv("XAUTHORITY")), xauth);
  // The socket by its full path: root's own environment gets no runtime folder.
  EXPECT_EQ(std::string(std::getenv("WAYLAND_DISPLAY")), runtime + "/wayland-9");
  EXPECT_EQ(std::getenv("XDG_RUNTIME_DIR"), nullptr);
  EXPECT_EQ(DesktopRuntimeDir(), runtime);
}

}  // namespace
}  // namespace quorvane
