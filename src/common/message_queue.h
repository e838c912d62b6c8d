// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The main thread's message queue of the online run: worker threads hand notifications and
// completion handlers to it, and the online pump waits for and dispatches its messages.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "common/main_thread.h"

namespace quorvane {

class TMessageQueue : public IMainThreadDispatcher {
 public:
  // The thread that creates the queue is its main thread.
  TMessageQueue();
  ~TMessageQueue() override;

  void RunAndWait(std::function<void()> work) override;
  void Post(std::function<void()> work) override;
  void ServeUntil(const std::function<bool()>& done) override;
  bool OnMainThread() const override;

  // Queues a quit message; the online pump removes it and drops it.
  void PostQuit();

  // True when a message waits (nothing is removed).
  bool HasMessage() const;

  // Blocks until a message waits or `timeout` has passed; true when one waits.
  bool WaitForMessage(std::chrono::milliseconds timeout);

  // Takes the waiting messages one by one, until none is left, and dispatches each; quit
  // messages are removed and dropped. Returns the number of messages taken.
  std::size_t DispatchWaiting();

 private:
  struct TMessage {
    bool quit = false;
    std::function<void()> work;
    std::shared_ptr<struct TDoneSignal> done;  // set for hand-overs that a worker waits on
  };

  void Push(TMessage message);
  static void Dispatch(TMessage& message);

  const std::thread::id FMainThreadId;
  mutable std::mutex FLock;
  std::condition_variable FArrived;
  std::deque<TMessage> FMessages;
};

}  // namespace quorvane
