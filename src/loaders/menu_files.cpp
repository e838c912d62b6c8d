// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "loaders/menu_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "common/file_writes.h"
#include "common/text.h"
#include "drive/drive_letters.h"

namespace quorvane {

namespace {

// Writes the text, then flushes it to the drive so that an entry reported as written
// survives the stick being pulled.
bool WriteAndFlush(int fd, const std::string& text) {
  const std::string line = text + kLineEnd;
  return WriteAll(fd, line.data(), line.size()) && ::fsync(fd) == 0;
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
