// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "common/message_queue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "common/worker_thread.h"

namespace quorvane {
namespace {

TEST(MessageQueue, WorkerWaitsUntilTheMainThreadHasRunItsWork) {
  TMessageQueue queue;
  std::atomic<bool> returned{false};
  std::thread::id ran_on;
  std::thread worker([&] {
    queue.RunAndWait([&] { ran_on = std::this_thread::get_id(); });
    returned = true;
  });
  ASSERT_TRUE(queue.WaitForMessage(std::chrono::seconds(5)));
  EXPECT_FALSE(returned.load());
  queue.DispatchWaiting();
  worker.join();
  EXPECT_TRUE(returned.load());
  EXPECT_EQ(ran_on, std::this_thread::get_id());
}

TEST(MessageQueue, RunAndWaitOnTheMainThreadRunsAtOnce) {
  TMessageQueue queue;
  bool ran = false;
  queue.RunAndWait([&] { ran = true; });
  EXPECT_TRUE(ran);
  EXPECT_FALSE(queue.HasMessage());
}

TEST(MessageQueue, QuitMessagesAreRemovedAndDropped) {
  TMessageQueue queue;
  int runs = 0;
  queue.Post([&] { ++runs; });
  queue.PostQuit();
  queue.Post([&] { ++runs; });
  EXPECT_TRUE(queue.HasMessage());
  EXPECT_EQ(queue.DispatchWaiting(), 3u);
  EXPECT_EQ(runs, 2);
  EXPECT_FALSE(queue.HasMessage());
}

TEST(MessageQueue, ThrowingWorkDoesNotStopTheQueueOrItsWaiter) {
  TMessageQueue queue;
  std::thread worker([&] { queue.RunAndWait([] { throw std::runtime_error("boom"); }); });
  while (!queue.HasMessage()) std::this_thread::yield();
  queue.DispatchWaiting();
  worker.join();  // would hang if the waiter were not released
}

TEST(MessageQueue, WaitForMessageTimesOutWhenNothingArrives) {
  TMessageQueue queue;
  EXPECT_FALSE(queue.WaitForMessage(std::chrono::milliseconds(20)));
}

class CountingThread : public TWorkerThread {
 public:
  ~CountingThread() override { WaitFor(); }
  std::atomic<int> body_runs{0};

 protected:
  void Execute() override { ++body_runs; }
};

TEST(WorkerThread, CompletionHandlerRunsOnTheMainThreadAfterTheBody) {
  TMessageQueue queue;
  SetMainThreadDispatcher(&queue);
  CountingThread thread;
  std::thread::id handler_thread;
  int body_runs_seen = -1;
  thread.OnTerminate = [&](TWorkerThread*) {
    handler_thread = std::this_thread::get_id();
    body_runs_seen = thread.body_runs;
  };
  thread.Start();
  thread.Start();  // a second start does nothing
  queue.ServeUntil([&] { return body_runs_seen >= 0; });
  EXPECT_EQ(handler_thread, std::this_thread::get_id());
  EXPECT_EQ(body_runs_seen, 1);
  SetMainThreadDispatcher(nullptr);
}

TEST(WorkerThread, HandlerOfADestroyedThreadIsSkipped) {
  TMessageQueue queue;
  SetMainThreadDispatcher(&queue);
  bool handler_ran = false;
  {
    CountingThread thread;
    thread.OnTerminate = [&](TWorkerThread*) { handler_ran = true; };
    thread.Start();
    while (!thread.Finished()) std::this_thread::yield();  // ended, handler still queued
  }
  queue.DispatchWaiting();
  EXPECT_FALSE(handler_ran);
  SetMainThreadDispatcher(nullptr);
}

}  // namespace
}  // namespace quorvane
