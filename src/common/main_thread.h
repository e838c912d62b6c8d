// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The main thread's hand-over: worker threads run notifications on the main thread and
// wait for them, or post completion handlers to it. One backend serves it per run: the
// online message pump or the window toolkit's event loop.
#pragma once

#include <functional>

namespace quorvane {

class IMainThreadDispatcher {
 public:
  virtual ~IMainThreadDispatcher() = default;

  // Runs `work` on the main thread and returns once it has run there. Called on the main
  // thread itself, it runs `work` at once.
  virtual void RunAndWait(std::function<void()> work) = 0;

  // Queues `work` for the main thread and returns at once.
  virtual void Post(std::function<void()> work) = 0;

  // Called on the main thread: serves handed-over and posted work until `done` holds.
  // Lets the main thread wait for a worker without holding back the notifications that
  // the worker still has to deliver.
  virtual void ServeUntil(const std::function<bool()>& done) = 0;

  virtual bool OnMainThread() const = 0;
};

// The dispatcher of this run. Set once by the front end (or a test) before any worker
// starts; MainThread() aborts the program when none has been set.
void SetMainThreadDispatcher(IMainThreadDispatcher* dispatcher);
IMainThreadDispatcher& MainThread();
bool HasMainThreadDispatcher();

}  // namespace quorvane
