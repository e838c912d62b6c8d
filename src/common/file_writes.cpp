// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "common/file_writes.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "common/text.h"

namespace quorvane {

bool WriteAll(int fd, const char* data, std::size_t size, off_t offset) {
  while (size > 0) {
    const ssize_t n = offset >= 0 ? ::pwrite(fd, data, size, offset) : ::write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;
      return false;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
    if (offset >= 0) offset += n;
  }
  return true;
}

bool WriteFileFlushed(const std::string& path, const std::string& data, std::string& error) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644);
  if (fd < 0) {
    error = SystemErrorText(errno);
    return false;
  }
  const bool ok = WriteAll(fd, data.data(), data.size()) && ::fsync(fd) == 0;
  const int saved = errno;
  if (::close(fd) != 0 && ok) {
    error = SystemErrorText(errno);
    return false;
  }
  if (!ok) error = SystemErrorText(saved);
  return ok;
}

int ReadSmallFile(const std::string& path, std::uint64_t limit, bool no_follow,
                  std::string& data) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK |
                                          (no_follow ? O_NOFOLLOW : 0));
  if (fd < 0) return errno;
  struct stat st {};
  int result = 0;
  if (::fstat(fd, &st) != 0)
    result = errno;
  else if (!S_ISREG(st.st_mode))
    result = EINVAL;
  else if (static_cast<std::uint64_t>(st.st_size) > limit)
    result = EFBIG;
  if (result == 0) {
    data.assign(static_cast<std::size_t>(st.st_size), '\0');
    std::size_t done = 0;
    while (done < data.size()) {
      const ssize_t got = ::read(fd, data.data() + done, data.size() - done);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) break;
      done += static_cast<std::size_t>(got);
    }
    if (done != data.size()) result = EIO;
  }
  ::close(fd);
  return result;
}

}  // namespace quorvane
