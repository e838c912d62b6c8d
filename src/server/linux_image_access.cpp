// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The check runs in a child process that has taken the desktop user's uid, gid and
// groups: the kernel decides with his rights exactly, access lists and all.
#include <fcntl.h>
#include <grp.h>
#include <linux/magic.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <vector>

#include "server/image_access.h"

namespace quorvane {

namespace {

enum : int { kUsable = 0, kUnreadable = 1, kNotRegular = 2, kMissing = 3, kCheckFailed = 4 };

bool Below(const char* path, const char* folder) {
  const std::size_t n = std::strlen(folder);
  return std::strncmp(path, folder, n) == 0 && (path[n] == '/' || path[n] == '\0');
}

// In the child: only calls that are safe after fork in a threaded program.
[[noreturn]] void CheckInChild(const char* path, bool drop, uid_t uid, gid_t gid,
                               const std::vector<gid_t>& groups) {
  if (drop && (::setgroups(groups.size(), groups.data()) != 0 || ::setresgid(gid, gid, gid) != 0 ||
               ::setresuid(uid, uid, uid) != 0))
    ::_exit(kCheckFailed);
  struct stat st {};
  if (::stat(path, &st) != 0) ::_exit(errno == ENOENT || errno == ENOTDIR ? kMissing : kUnreadable);
  // A device node is never opened: opening some of them does something.
  if (!S_ISREG(st.st_mode)) ::_exit(kNotRegular);
  const int fd = ::open(path, O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) ::_exit(errno == ENOENT || errno == ENOTDIR ? kMissing : kUnreadable);
  struct statfs fs {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || ::fstatfs(fd, &fs) != 0) ::_exit(kNotRegular);
  if (fs.f_type == PROC_SUPER_MAGIC || fs.f_type == SYSFS_MAGIC) ::_exit(kNotRegular);
  char link[64];
  char real[4096];
  // The real path of what was opened, links and ".." resolved.
  std::memcpy(link, "/proc/self/fd/", 14);
  int digits = 0;
  char reversed[16];
  for (int v = fd; v > 0 || digits == 0; v /= 10) reversed[digits++] = static_cast<char>('0' + v % 10);
  for (int i = 0; i < digits; ++i) link[14 + i] = reversed[digits - 1 - i];
  link[14 + digits] = '\0';
  const ssize_t size = ::readlink(link, real, sizeof real - 1);
  if (size <= 0) ::_exit(kCheckFailed);
  real[size] = '\0';
  if (Below(real, "/proc") || Below(real, "/sys") || Below(real, "/dev")) ::_exit(kNotRegular);
  ::_exit(kUsable);
}

std::string OwnUserName() {
  passwd entry{};
  passwd* found = nullptr;
  char buffer[4096];
  if (::getpwuid_r(::geteuid(), &entry, buffer, sizeof buffer, &found) == 0 && found && found->pw_name)
    return found->pw_name;
  return std::to_string(::geteuid());
}

}  // namespace

std::string ImageAccessRefusal(const std::string& path, const std::optional<TDesktopUser>& user) {
  if (path.empty()) return {};
  const bool drop = user.has_value() && ::geteuid() == 0;
  const std::string name = user ? user->Name : OwnUserName();
  std::vector<gid_t> groups;
  if (drop) {
    int count = 64;
    groups.resize(static_cast<std::size_t>(count));
    if (::getgrouplist(user->Name.c_str(), user->Gid, groups.data(), &count) < 0) {
      groups.resize(static_cast<std::size_t>(count));
      ::getgrouplist(user->Name.c_str(), user->Gid, groups.data(), &count);
    }
    groups.resize(static_cast<std::size_t>(count < 0 ? 0 : count));
  }
  const pid_t child = ::fork();
  if (child < 0) return "Cannot check the image file as user " + name + ": " + std::strerror(errno);
  if (child == 0) CheckInChild(path.c_str(), drop, drop ? user->Uid : 0, drop ? user->Gid : 0, groups);
  int status = 0;
  while (::waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) return "Cannot check the image file as user " + name;
  }
  const int verdict = WIFEXITED(status) ? WEXITSTATUS(status) : kCheckFailed;
  switch (verdict) {
    case kUsable:
    case kMissing:
      return {};
    case kUnreadable:
      return "Image file is not readable by user " + name;
    case kNotRegular:
      return "Image file is not a regular file outside /proc, /sys and /dev: \"" + path + "\"";
    default:
      return "Cannot check the image file as user " + name;
  }
}

}  // namespace quorvane
