// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <charconv>
#include <cstdlib>
#include <mutex>

#include "common/desktop_user.h"

namespace quorvane {

namespace {

std::mutex g_runtime_lock;
std::string g_runtime_dir;

std::optional<uid_t> UidFromEnvironment(const char* name) {
  const char* value = std::getenv(name);
  if (!value || !*value) return std::nullopt;
  unsigned long uid = 0;
  const char* end = value + std::char_traits<char>::length(value);
  const auto [rest, ec] = std::from_chars(value, end, uid);
  if (ec != std::errc() || rest != end) return std::nullopt;
  return static_cast<uid_t>(uid);
}

bool OwnedFolder(const std::string& path, uid_t uid) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == uid;
}

}  // namespace

std::optional<TDesktopUser> DesktopUser() {
  if (::geteuid() != 0) return std::nullopt;
  std::optional<uid_t> uid = UidFromEnvironment("PKEXEC_UID");
  if (!uid) uid = UidFromEnvironment("SUDO_UID");
  if (!uid || *uid == 0) return std::nullopt;
  passwd entry{};
  passwd* found = nullptr;
  char buffer[4096];
  if (::getpwuid_r(*uid, &entry, buffer, sizeof buffer, &found) != 0 || !found) return std::nullopt;
  TDesktopUser user;
  user.Uid = found->pw_uid;
  user.Gid = found->pw_gid;
  user.Name = found->pw_name ? found->pw_name : "";
  user.Home = found->pw_dir ? found->pw_dir : "";
  if (user.Name.empty()) return std::nullopt;
  return user;
}

void SetDesktopRuntimeDir(const std::string& folder) {
  std::lock_guard<std::mutex> guard(g_runtime_lock);
  g_runtime_dir = folder;
}

std::string DesktopRuntimeDir() {
  {
    std::lock_guard<std::mutex> guard(g_runtime_lock);
    if (!g_runtime_dir.empty()) return g_runtime_dir;
  }
  if (const std::optional<TDesktopUser> user = DesktopUser()) {
    const std::string folder = "/run/user/" + std::to_string(user->Uid);
    return OwnedFolder(folder, user->Uid) ? folder : std::string();
  }
  const char* value = std::getenv("XDG_RUNTIME_DIR");
  return value ? value : "";
}

TToolCommand AsDesktopUser(TToolCommand command) {
  const std::optional<TDesktopUser> user = DesktopUser();
  if (!user) return command;
  const std::string program = !command.Program.empty() ? command.Program : FindTool(command.Tool);
  if (program.empty()) return command;  // the runner says that it is missing
  command.Args.insert(command.Args.begin(), {"-u", user->Name, "--", program});
  command.Tool = "runuser";
  command.Program.clear();
  return command;
}

}  // namespace quorvane
