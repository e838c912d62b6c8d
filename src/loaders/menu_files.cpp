#include "loaders/menu_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "common/text.h"
#include "drive/drive_letters.h"

namespace quorvane {

namespace {

// Writes all of `data`; false on any short or failed write.
bool WriteAll(int fd, const std::string& data) {
  const char* p = data.data();
  std::size_t left = data.size();
  while (left > 0) {
    const ssize_t n = ::write(fd, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  return true;
}

// Writes the text, then flushes it to the drive so that an entry reported as written
// survives the stick being pulled.
bool WriteAndFlush(int fd, const std::string& text) {
  return WriteAll(fd, text + kLineEnd) && ::fsync(fd) == 0;
}

}  // namespace

void CreateTextFile(const std::string& FileName, const std::string& Content, std::string& Error) {
  Error = "Unhandled error while creating new instructions file";
  int fd = -1;
  try {
    std::error_code ec;
    if (std::filesystem::exists(std::filesystem::symlink_status(FileName, ec))) {
      Error = "File already exists";
      return;
    }
    fd = ::open(FileName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0) {
      Error = errno == EEXIST ? "File already exists"
                              : "Failed to create txt file " + Quoted(FileName);
      return;
    }
    if (!WriteAndFlush(fd, Content)) {
      Error = "Failed to write file content";
    } else {
      Error.clear();
    }
  } catch (...) {
  }
  if (fd >= 0) ::close(fd);
}

void AppendMenuPoint(const std::string& Drive, const std::string& Text, std::string& Error) {
  Error = "Unhandled error while appending new menu point";
  int fd = -1;
  try {
    const std::string root = Drive.empty() ? std::string() : DriveRoot(Drive[0]);
    std::error_code ec;
    if (root.empty() || !std::filesystem::is_directory(root, ec)) {
      Error = "Drive not found";
      return;
    }
    const std::string menu = root + "menu.lst";
    fd = ::open(menu.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0) {
      Error = "Failed to create/open menu file " + Quoted(menu);
      return;
    }
    if (!WriteAndFlush(fd, Text)) {
      Error = "Failed to write new menu file option";
    } else {
      Error.clear();
    }
  } catch (...) {
  }
  if (fd >= 0) ::close(fd);
}

}  // namespace quorvane
