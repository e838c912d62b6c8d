// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// Opening a document or a web page: the desktop's opener runs on its own, and whatever
// it answers is of no concern to the program (the caller ignores errors by design).
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <mutex>
#include <thread>
#include <vector>

#include "archive/file_operations.h"
#include "archive/shell_open.h"
#include "common/desktop_user.h"
#include "common/tool_runner.h"

namespace quorvane {

namespace {

constexpr const char* kOpener = "/usr/bin/xdg-open";
constexpr const char* kRunUser = "/usr/sbin/runuser";

std::mutex g_opener_lock;
std::string g_opener;

std::string Opener() {
  std::lock_guard<std::mutex> guard(g_opener_lock);
  return g_opener.empty() ? kOpener : g_opener;
}

void Launch(const std::string& target) {
  // Browsers refuse to run as root, and the page belongs in the user's own session
  // anyway: running as root for a desktop user, the opener runs as him, in his home.
  const std::optional<TDesktopUser> desktop_user = DesktopUser();
  const std::string user =
      desktop_user && ::access(kRunUser, X_OK) == 0 ? desktop_user->Name : std::string();
  std::vector<std::string> environment = DesktopSessionEnvironment("C");
  std::vector<char*> envp;
  for (std::string& entry : environment) envp.push_back(entry.data());
  envp.push_back(nullptr);
  std::vector<std::string> words;
  if (!user.empty()) words = {kRunUser, "-u", user, "--"};
  words.push_back(Opener());
  words.push_back(target);
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  const std::string opener = words.front();

  posix_spawn_file_actions_t actions;
  if (posix_spawn_file_actions_init(&actions) != 0) return;
  for (int fd : {0, 1, 2}) posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", fd == 0 ? O_RDONLY : O_WRONLY, 0);
  pid_t pid = -1;
  const int started =
      posix_spawn(&pid, opener.c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (started != 0) return;
  // Reap it when it ends so that no zombie stays behind.
  std::thread([pid] {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
  }).detach();
}

}  // namespace

void SetShellOpenCommand(const std::string& path) {
  std::lock_guard<std::mutex> guard(g_opener_lock);
  g_opener = path;
}

void ShellOpen(const std::string& Target) {
  try {
    Launch(Target);
  } catch (...) {
  }
}

// There is no Internet Explorer here: the page opens in the default browser.
void OpenInIExplore(const std::string& Url) { ShellOpen(Url); }

}  // namespace quorvane
