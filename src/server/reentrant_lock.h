// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// A re-entrant lock that its owner can also let go of entirely for a while, so that a
// request waiting for a job does not keep that job's notifications out.
#pragma once

#include <condition_variable>
#include <mutex>
#include <thread>

namespace quorvane {

class TReentrantLock {
 public:
  void lock();
  void unlock();
  // Lets go of every level the calling thread holds; returns how many that were.
  int ReleaseAll();
  // Takes the lock again `depth` times (after ReleaseAll).
  void Reacquire(int depth);
  bool HeldByCurrentThread() const;

 private:
  mutable std::mutex FLock;
  std::condition_variable FFree;
  std::thread::id FOwner;
  int FDepth = 0;
};

// Lets go of a lock held by this thread for the lifetime of the object.
class TLockRelease {
 public:
  explicit TLockRelease(TReentrantLock& lock) : FLock(lock), FDepth(lock.ReleaseAll()) {}
  ~TLockRelease() { FLock.Reacquire(FDepth); }
  TLockRelease(const TLockRelease&) = delete;
  TLockRelease& operator=(const TLockRelease&) = delete;

 private:
  TReentrantLock& FLock;
  int FDepth;
};

}  // namespace quorvane
