// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "ui/qt_main_thread.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include "ui_fixture.h"

namespace quorvane::testing {
namespace {

using namespace std::chrono_literals;

TEST(QtMainThread, WorkerNotificationRunsOnTheInterfaceThreadAndTheWorkerWaits) {
  TQtMainThread dispatcher;
  const std::thread::id gui = std::this_thread::get_id();
  std::thread::id ran_on;
  int value = 0;
  int seen_by_worker = -1;
  std::atomic<bool> worker_done{false};
  std::thread worker([&] {
    EXPECT_FALSE(dispatcher.OnMainThread());
    dispatcher.RunAndWait([&] {
      ran_on = std::this_thread::get_id();
      std::this_thread::sleep_for(20ms);
      value = 1;
    });
    seen_by_worker = value;  // the notification has run completely by now
    worker_done = true;
  });
  EXPECT_TRUE(PumpUntil([&] { return worker_done.load(); }));
  worker.join();
  EXPECT_EQ(ran_on, gui);
  EXPECT_EQ(seen_by_worker, 1);
}

TEST(QtMainThread, OnTheInterfaceThreadRunAndWaitRunsAtOnceAndPostWaitsForTheLoop) {
  TQtMainThread dispatcher;
  EXPECT_TRUE(dispatcher.OnMainThread());
  int ran = 0;
  dispatcher.RunAndWait([&] { ran = 1; });
  EXPECT_EQ(ran, 1);
  dispatcher.Post([&] { ran = 2; });
  EXPECT_EQ(ran, 1);
  QCoreApplication::processEvents();
  EXPECT_EQ(ran, 2);
}

TEST(QtMainThread, ServeUntilServesWorkersThatWaitForTheInterfaceThread) {
  TQtMainThread dispatcher;
  std::atomic<int> served{0};
  std::atomic<bool> finished{false};
  std::thread worker([&] {
    for (int i = 0; i < 5; ++i) dispatcher.RunAndWait([&] { ++served; });
    finished = true;
  });
  dispatcher.ServeUntil([&] { return finished.load(); });
  worker.join();
  EXPECT_EQ(served, 5);
}

TEST(QtMainThread, AWaitingWorkerIsReleasedWhenTheDispatcherGoesAway) {
  auto dispatcher = std::make_unique<TQtMainThread>();
  std::atomic<bool> ran{false};
  auto returned = std::async(std::launch::async, [&] {
    dispatcher->RunAndWait([&] { ran = true; });
  });
  // The call is queued but never served: the interface thread does not process events.
  EXPECT_EQ(returned.wait_for(100ms), std::future_status::timeout);
  dispatcher.reset();
  EXPECT_EQ(returned.wait_for(5s), std::future_status::ready);
  EXPECT_FALSE(ran);
}

}  // namespace
}  // namespace quorvane::testing
