// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// A tiny FUSE file system served by the test itself over /dev/fuse, speaking the kernel's
// protocol directly: one file "disk" whose bytes come from an in-memory disk (one that
// aliases past its real size, say), opened with direct I/O so that every read and write
// reaches it. A loop device over that file is a drive that lies about its size.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <thread>

#include "drive/raw_block_device.h"

namespace quorvane::testing {

class TFuseDiskFile {
 public:
  // Mounts the file system at `dir` (an empty folder), serving `store` as "disk".
  TFuseDiskFile(const std::string& dir, IRawBlockDevice& store);
  // Unmounts (detach loop devices over the file first) and ends the server.
  ~TFuseDiskFile();
  TFuseDiskFile(const TFuseDiskFile&) = delete;
  TFuseDiskFile& operator=(const TFuseDiskFile&) = delete;

  // Why the file system could not be mounted here; empty when it is mounted.
  const std::string& Unavailable() const { return FUnavailable; }
  std::string File() const { return FDir + "/disk"; }
  // Requests the server could not answer as asked; empty when all went well.
  std::string Errors() const;

 private:
  void Serve();
  void Handle(const char* request, std::size_t length);
  void Reply(std::uint64_t unique, int error, const void* data = nullptr, std::size_t length = 0);
  void Note(const std::string& error);

  std::string FDir;
  IRawBlockDevice& FStore;
  std::string FUnavailable;
  int FFd = -1;
  int FStopPipe[2] = {-1, -1};
  bool FMounted = false;
  std::thread FServer;
  mutable std::mutex FLock;
  std::string FErrors;
};

}  // namespace quorvane::testing
