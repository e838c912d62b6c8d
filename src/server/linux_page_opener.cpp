// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>

#include "common/text.h"
#include "server/page_opener.h"

namespace quorvane {

namespace {

// A folder of `uid`'s that nobody else may write to, opened without following a link.
int OpenOwnFolder(const std::string& folder, uid_t uid) {
  if (folder.empty()) return -1;
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return -1;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || st.st_uid != uid || (st.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

}  // namespace

std::string PageOpenerText(const std::string& url) {
  // The address is hex digits, a port and fixed text: nothing in it needs escaping.
  return "<!doctype html>\n<html><head><meta charset=\"utf-8\">\n"
         "<meta name=\"referrer\" content=\"no-referrer\">\n"
         "<meta http-equiv=\"refresh\" content=\"0;url=" + url + "\">\n"
         "<title>Quorvane</title></head>\n"
         "<body><p><a href=\"" + url + "\">Open Quorvane</a></p>\n"
         "<script>location.replace(\"" + url + "\");</script></body></html>\n";
}

TPageOpenerFile::~TPageOpenerFile() {
  if (!FPath.empty()) ::unlink(FPath.c_str());
  if (!FMadeFolder.empty()) ::rmdir(FMadeFolder.c_str());
}

void TPageOpenerFile::Write(const std::string& text, uid_t uid, gid_t gid, const std::string& folder) {
  std::string where = folder;
  int dir = OpenOwnFolder(folder, uid);
  if (dir < 0) {
    char name[] = "/tmp/quorvane-page-XXXXXX";
    if (!::mkdtemp(name))
      throw std::runtime_error("Cannot make a private folder for the page: " + SystemErrorText(errno));
    FMadeFolder = where = name;
    dir = ::open(name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (dir < 0 || ::fchown(dir, uid, gid) != 0) {
      const int code = errno;
      if (dir >= 0) ::close(dir);
      throw std::runtime_error("Cannot hand the page's folder " + where + " to its user: " +
                               SystemErrorText(code));
    }
  }
  const std::string name = "quorvane-page-" + std::to_string(::getpid()) + ".html";
  // A file of that name left by an earlier run of the same number is ours to replace.
  ::unlinkat(dir, name.c_str(), 0);
  const int fd = ::openat(dir, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  const int open_error = errno;
  ::close(dir);
  if (fd < 0)
    throw std::runtime_error("Cannot write the page's file in " + where + ": " + SystemErrorText(open_error));
  FPath = where + "/" + name;
  bool written = ::fchown(fd, uid, gid) == 0 && ::fchmod(fd, 0600) == 0;
  for (std::size_t done = 0; written && done < text.size();) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) written = false;
    else done += static_cast<std::size_t>(n);
  }
  const int write_error = errno;
  if (::close(fd) != 0) written = false;
  if (!written) throw std::runtime_error("Cannot write the page's file " + FPath + ": " + SystemErrorText(write_error));
}

}  // namespace quorvane
