// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "common/message_queue.h"

namespace quorvane {

struct TDoneSignal {
  std::mutex lock;
  std::condition_variable cv;
  bool done = false;
};

TMessageQueue::TMessageQueue() : FMainThreadId(std::this_thread::get_id()) {}

TMessageQueue::~TMessageQueue() {
  // Release any worker still waiting on a hand-over that will never be dispatched.
  std::deque<TMessage> left;
  {
    std::lock_guard<std::mutex> guard(FLock);
    left.swap(FMessages);
  }
  for (TMessage& message : left) {
    if (!message.done) continue;
    std::lock_guard<std::mutex> guard(message.done->lock);
    message.done->done = true;
    message.done->cv.notify_all();
  }
}

bool TMessageQueue::OnMainThread() const { return std::this_thread::get_id() == FMainThreadId; }

void TMessageQueue::Push(TMessage message) {
  {
    std::lock_guard<std::mutex> guard(FLock);
    FMessages.push_back(std::move(message));
  }
  FArrived.notify_all();
}

void TMessageQueue::RunAndWait(std::function<void()> work) {
  if (OnMainThread()) {
    TMessage message{false, std::move(work), nullptr};
    Dispatch(message);
    return;
  }
  auto signal = std::make_shared<TDoneSignal>();
  Push(TMessage{false, std::move(work), signal});
  std::unique_lock<std::mutex> guard(signal->lock);
  signal->cv.wait(guard, [&] { return signal->done; });
}

void TMessageQueue::Post(std::function<void()> work) {
  Push(TMessage{false, std::move(work), nullptr});
}

void TMessageQueue::PostQuit() { Push(TMessage{true, nullptr, nullptr}); }

bool TMessageQueue::HasMessage() const {
  std::lock_guard<std::mutex> guard(FLock);
  return !FMessages.empty();
}

bool TMessageQueue::WaitForMessage(std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> guard(FLock);
  return FArrived.wait_for(guard, timeout, [&] { return !FMessages.empty(); });
}

void TMessageQueue::Dispatch(TMessage& message) {
  if (message.work) {
    try {
      message.work();
    } catch (...) {
      // A notification or handler that throws must not take the main thread down.
    }
  }
  if (message.done) {
    std::lock_guard<std::mutex> guard(message.done->lock);
    message.done->done = true;
    message.done->cv.notify_all();
  }
}

std::size_t TMessageQueue::DispatchWaiting() {
  std::size_t taken = 0;
  while (true) {
    TMessage message;
    {
      std::lock_guard<std::mutex> guard(FLock);
      if (FMessages.empty()) break;
      message = std::move(FMessages.front());
      FMessages.pop_front();
    }
    ++taken;
    if (message.quit) continue;  // the quit message is removed and dropped
    Dispatch(message);
  }
  return taken;
}

void TMessageQueue::ServeUntil(const std::function<bool()>& done) {
  const auto step = std::chrono::milliseconds(10);
  if (!OnMainThread()) {
    while (!done()) std::this_thread::sleep_for(step);
    return;
  }
  while (!done()) {
    if (WaitForMessage(step)) DispatchWaiting();
  }
}

}  // namespace quorvane
