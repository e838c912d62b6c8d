// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// A worker thread object: created idle, started once, its body in Execute, and a
// completion handler that runs on the main thread after the body has ended.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

namespace quorvane {

class TWorkerThread {
 public:
  TWorkerThread();
  TWorkerThread(const TWorkerThread&) = delete;
  TWorkerThread& operator=(const TWorkerThread&) = delete;
  // Waits for the body. Classes that derive from this one must call WaitFor in their own
  // destructor, since the body may still use their members.
  virtual ~TWorkerThread();

  // Starts the body on a new thread; later calls do nothing.
  void Start();

  // Waits until the body has ended. On the main thread it goes on serving the hand-overs
  // of workers meanwhile, so a body that waits for the main thread still ends.
  void WaitFor();

  bool Started() const { return FStarted.load(); }
  bool Finished() const { return FFinished.load(); }

  // Runs on the main thread once the body has ended, unless the object was destroyed
  // first. With FreeOnTerminate the object deletes itself right after it.
  std::function<void(TWorkerThread*)> OnTerminate;
  bool FreeOnTerminate = false;

 protected:
  virtual void Execute() = 0;

 private:
  void Body();

  std::thread FThread;
  std::atomic<bool> FStarted{false};
  std::atomic<bool> FFinished{false};
  std::shared_ptr<int> FAlive;  // lets a queued completion handler see that we are gone
};

}  // namespace quorvane
