// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "common/worker_thread.h"

#include "common/main_thread.h"

namespace quorvane {

TWorkerThread::TWorkerThread() : FAlive(std::make_shared<int>(0)) {}

TWorkerThread::~TWorkerThread() {
  WaitFor();
  FAlive.reset();
}

void TWorkerThread::Start() {
  bool expected = false;
  if (!FStarted.compare_exchange_strong(expected, true)) return;
  FThread = std::thread([this] { Body(); });
}

void TWorkerThread::Body() {
  try {
    Execute();
  } catch (...) {
    // The body reports its failures through its own fields; nothing may escape the thread.
  }
  std::weak_ptr<int> alive = FAlive;
  FFinished = true;
  MainThread().Post([this, alive] {
    std::shared_ptr<int> keep = alive.lock();
    if (!keep) return;
    if (OnTerminate) {
      try {
        OnTerminate(this);
      } catch (...) {
      }
    }
    if (FreeOnTerminate) delete this;
  });
}

void TWorkerThread::WaitFor() {
  if (!FThread.joinable()) return;
  if (FThread.get_id() == std::this_thread::get_id()) return;  // never join oneself
  if (HasMainThreadDispatcher() && MainThread().OnMainThread())
    MainThread().ServeUntil([this] { return FFinished.load(); });
  FThread.join();
}

}  // namespace quorvane
