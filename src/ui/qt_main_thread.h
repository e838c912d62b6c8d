// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The main thread's hand-over through the window toolkit's event loop: a worker's
// notification runs on the interface thread as a queued call, and the worker waits for it.
#pragma once

#include <memory>

#include "common/main_thread.h"

class QObject;

namespace quorvane {

class TQtMainThread : public IMainThreadDispatcher {
 public:
  // Made on the interface thread, after the application object.
  TQtMainThread();
  ~TQtMainThread() override;

  void RunAndWait(std::function<void()> work) override;
  void Post(std::function<void()> work) override;
  // Serves queued calls, timers and repaints until `done` holds; the user's input waits.
  void ServeUntil(const std::function<bool()>& done) override;
  bool OnMainThread() const override;

 private:
  std::unique_ptr<QObject> FReceiver;  // lives on the interface thread
};

// Installs a dispatcher for as long as it lives and puts the earlier one back after.
class TDispatcherScope {
 public:
  explicit TDispatcherScope(IMainThreadDispatcher* dispatcher);
  ~TDispatcherScope();
  TDispatcherScope(const TDispatcherScope&) = delete;
  TDispatcherScope& operator=(const TDispatcherScope&) = delete;

 private:
  IMainThreadDispatcher* FPrevious;
};

}  // namespace quorvane
