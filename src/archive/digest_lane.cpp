// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "archive/digest_lane.h"

#include <algorithm>
#include <cstdlib>

namespace quorvane {

namespace {

// O_DIRECT needs buffers aligned to the device's logical block; a page covers every block
// size in use.
constexpr std::size_t kAlignment = 4096;

}  // namespace

void TDigestLane::TFreeBuffer::operator()(char* p) const { std::free(p); }

TDigestLane::TDigestLane(TWriteDigest* digest, std::size_t slots, std::size_t block)
    : FDigest(digest) {
  const std::size_t count = digest ? std::max<std::size_t>(slots, 2) : 1;
  for (std::size_t i = 0; i < count; ++i) {
    void* memory = nullptr;
    if (::posix_memalign(&memory, kAlignment, block) != 0) {
      FBuffers.clear();
      return;
    }
    FBuffers.emplace_back(static_cast<char*>(memory));
  }
  FQueue.resize(count);
  if (FDigest) FThread = std::thread([this] { Digest(); });
}

TDigestLane::~TDigestLane() {
  if (!FThread.joinable()) return;
  {
    std::lock_guard<std::mutex> guard(FLock);
    FStop = true;
  }
  FChanged.notify_all();
  FThread.join();
}

char* TDigestLane::NextBuffer() {
  const std::size_t count = FBuffers.size();
  std::unique_lock<std::mutex> lock(FLock);
  // The buffer was last used by block FHanded - count: it must be digested.
  FChanged.wait(lock, [&] { return FHanded - FDigested < count; });
  return FBuffers[FHanded % count].get();
}

void TDigestLane::Hand(const char* bytes, std::size_t length, std::uint64_t offset) {
  if (!FDigest) return;
  FDigest->AddPieces(bytes, length, offset);
  {
    std::lock_guard<std::mutex> guard(FLock);
    FQueue[FHanded % FQueue.size()] = {bytes, length};
    ++FHanded;
  }
  FChanged.notify_all();
}

bool TDigestLane::Drain() {
  std::unique_lock<std::mutex> lock(FLock);
  FChanged.wait(lock, [&] { return FDigested == FHanded; });
  return !FFailed;
}

void TDigestLane::Digest() {
  std::unique_lock<std::mutex> lock(FLock);
  for (;;) {
    FChanged.wait(lock, [&] { return FStop || FDigested < FHanded; });
    if (FDigested == FHanded) return;  // stopped, and nothing is left
    const TBlock block = FQueue[FDigested % FQueue.size()];
    lock.unlock();
    bool failed = false;
    try {
      FDigest->AddWhole(block.Bytes, block.Length);
    } catch (...) {
      failed = true;
    }
    lock.lock();
    if (failed) FFailed = true;
    ++FDigested;
    FChanged.notify_all();
  }
}

}  // namespace quorvane
