// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "server/reentrant_lock.h"

namespace quorvane {

void TReentrantLock::lock() {
  const std::thread::id me = std::this_thread::get_id();
  std::unique_lock<std::mutex> guard(FLock);
  if (FDepth > 0 && FOwner == me) {
    ++FDepth;
    return;
  }
  FFree.wait(guard, [&] { return FDepth == 0; });
  FOwner = me;
  FDepth = 1;
}

void TReentrantLock::unlock() {
  std::lock_guard<std::mutex> guard(FLock);
  if (FDepth == 0 || FOwner != std::this_thread::get_id()) return;
  if (--FDepth == 0) {
    FOwner = std::thread::id();
    FFree.notify_one();
  }
}

int TReentrantLock::ReleaseAll() {
  std::lock_guard<std::mutex> guard(FLock);
  if (FDepth == 0 || FOwner != std::this_thread::get_id()) return 0;
  const int depth = FDepth;
  FDepth = 0;
  FOwner = std::thread::id();
  FFree.notify_one();
  return depth;
}

void TReentrantLock::Reacquire(int depth) {
  if (depth <= 0) return;
  lock();
  std::lock_guard<std::mutex> guard(FLock);
  FDepth += depth - 1;
}

bool TReentrantLock::HeldByCurrentThread() const {
  std::lock_guard<std::mutex> guard(FLock);
  return FDepth > 0 && FOwner == std::this_thread::get_id();
}

}  // namespace quorvane
