// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "archive/item_paths.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "common/text.h"

namespace quorvane {

namespace {

bool IsSymbolicLinkAt(int dir_fd, const std::string& name) {
  struct stat info {};
  return ::fstatat(dir_fd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(info.st_mode);
}

// Closes a descriptor of a folder on the way unless it is the caller's own.
class TFolderOnTheWay {
 public:
  explicit TFolderOnTheWay(int fd) : FBase(fd), FFd(fd) {}
  ~TFolderOnTheWay() { Reset(-1); }
  int Get() const { return FFd; }
  void Reset(int fd) {
    if (FFd != FBase && FFd >= 0) ::close(FFd);
    FFd = fd;
  }

 private:
  int FBase;
  int FFd;
};

}  // namespace

bool SplitItemPath(const std::string& path, std::vector<std::string>& parts, std::string& why) {
  parts.clear();
  if (path.empty()) {
    why = "Item without a path";
    return false;
  }
  // "\" separates as well: a name such as "..\..\x" climbs on the drive's own system.
  const bool absolute = path.front() == '/' || path.front() == '\\';
  bool climbs = false;
  std::string part;
  for (std::size_t i = 0; i <= path.size(); ++i) {
    if (i < path.size() && path[i] != '/' && path[i] != '\\') {
      part.push_back(path[i]);
      continue;
    }
    if (part == "..") {
      climbs = true;
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    part.clear();
  }
  if (absolute || climbs) {
    parts.clear();
    why = "Item path leaves the target folder " + Quoted(path);
    return false;
  }
  if (parts.empty()) {
    why = "Item path names no file " + Quoted(path);
    return false;
  }
  return true;
}

int CreateItemFile(int dir_fd, const std::vector<std::string>& parts, bool& through_link) {
  through_link = false;
  if (parts.empty()) {
    errno = EINVAL;
    return -1;
  }
  TFolderOnTheWay folder(dir_fd);
  for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
    const char* name = parts[i].c_str();
    if (::mkdirat(folder.Get(), name, 0755) != 0 && errno != EEXIST) return -1;
    const int next = ::openat(folder.Get(), name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (next < 0) {
      const int error = errno;
      through_link = IsSymbolicLinkAt(folder.Get(), parts[i]);
      errno = error;
      return -1;
    }
    folder.Reset(next);
  }
  const std::string& name = parts.back();
  const int flags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
  int fd = ::openat(folder.Get(), name.c_str(), flags, 0644);
  if (fd < 0 && errno == EEXIST) {
    // Replace what is there, unless it is a link or a folder.
    struct stat info {};
    if (::fstatat(folder.Get(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) return -1;
    if (S_ISLNK(info.st_mode)) {
      through_link = true;
      errno = ELOOP;
      return -1;
    }
    if (S_ISDIR(info.st_mode)) {
      errno = EISDIR;
      return -1;
    }
    if (::unlinkat(folder.Get(), name.c_str(), 0) != 0) return -1;
    fd = ::openat(folder.Get(), name.c_str(), flags, 0644);
  }
  return fd;
}

}  // namespace quorvane
