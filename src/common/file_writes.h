// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// Whole buffers written to files and devices: short writes and interruptions handled,
// the data flushed to the medium, and no symbolic link followed to the file written.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace quorvane {

// Writes all `size` bytes to `fd`, at `offset` when it is not negative, else at the file
// position. False (errno set) on a failed or empty write.
bool WriteAll(int fd, const char* data, std::size_t size, off_t offset = -1);

// Makes `path` a file holding exactly `data` (created, or replaced), flushed to the
// medium. False with the system's text in `error`; a symbolic link at `path` is refused.
bool WriteFileFlushed(const std::string& path, const std::string& data, std::string& error);

// Reads the regular file `path` whole into `data` when it is at most `limit` bytes, never
// through a symbolic link at `path` when `no_follow`; a FIFO put in its place does not block.
// 0, else an errno: EINVAL for anything but a regular file, EFBIG above the limit, EIO for a
// short read.
int ReadSmallFile(const std::string& path, std::uint64_t limit, bool no_follow,
                  std::string& data);

}  // namespace quorvane
