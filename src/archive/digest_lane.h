// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The buffers of a large copy, and the SHA-256 of what passes through them taken on a
// thread of its own, so that the copy runs at the pace of the slower of the two, not of
// their sum.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "archive/written_files.h"

namespace quorvane {

class TDigestLane {
 public:
  // `slots` buffers of `block` bytes, aligned for O_DIRECT; without a digest one buffer
  // and no thread.
  TDigestLane(TWriteDigest* digest, std::size_t slots, std::size_t block);
  ~TDigestLane();
  TDigestLane(const TDigestLane&) = delete;
  TDigestLane& operator=(const TDigestLane&) = delete;

  // False when the buffers could not be had.
  bool Ready() const { return !FBuffers.empty(); }

  // The buffer for the next block, once the digest is done with what it held before.
  char* NextBuffer();
  // The next block, in the buffer NextBuffer gave, the file's bytes from `offset` on:
  // its pieces' sums are taken here, its SHA-256 on the lane's thread.
  void Hand(const char* bytes, std::size_t length, std::uint64_t offset);
  // Waits until every block handed over is digested; false when the digest failed.
  bool Drain();

 private:
  struct TFreeBuffer {
    void operator()(char* p) const;
  };
  struct TBlock {
    const char* Bytes = nullptr;
    std::size_t Length = 0;
  };
  void Digest();

  TWriteDigest* FDigest;
  std::vector<std::unique_ptr<char, TFreeBuffer>> FBuffers;
  std::vector<TBlock> FQueue;  // one per buffer, in the order handed over
  std::mutex FLock;
  std::condition_variable FChanged;
  std::uint64_t FHanded = 0;
  std::uint64_t FDigested = 0;
  bool FStop = false;
  bool FFailed = false;
  std::thread FThread;  // last: started once the rest is in place, joined first
};

}  // namespace quorvane
