// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include <signal.h>

#include <chrono>

#include "common/main_thread.h"
#include "jobs/jobs.h"
#include "startup/ending_signals.h"

namespace quorvane {

namespace {

// Set by the handler; a lock-free atomic is what a handler may touch.
std::atomic<int> g_received{0};
static_assert(std::atomic<int>::is_always_lock_free);

void OnEndingSignal(int signal_number) { g_received.store(signal_number); }

constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction g_former[3] {};

}  // namespace

TEndingSignals::TEndingSignals(std::function<void()> close_front_end)
    : FClose(std::move(close_front_end)) {
  g_received = 0;
  struct sigaction action {};
  action.sa_handler = OnEndingSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int i = 0; i < 3; ++i) ::sigaction(kEndingSignals[i], &action, &g_former[i]);
  FWatcher = std::thread([this] { Watch(); });
}

TEndingSignals::~TEndingSignals() {
  FQuit = true;
  if (FWatcher.joinable()) FWatcher.join();
  for (int i = 0; i < 3; ++i) ::sigaction(kEndingSignals[i], &g_former[i], nullptr);
}

int TEndingSignals::Received() const { return g_received.load(); }

void TEndingSignals::Watch() {
  using namespace std::chrono_literals;
  const auto wait = [this] {
    std::this_thread::sleep_for(50ms);
    return !FQuit.load();
  };
  while (g_received.load() == 0)
    if (!wait()) return;
  // Until the front end's main thread serves, there is nothing to stop: the signal waits.
  while (!HasMainThreadDispatcher())
    if (!wait()) return;
  MainThread().Post([] { StopEveryBurn(); });
  // The stopped entry rolls back on the main thread; then the front end closes.
  do {
    if (!wait()) return;
  } while (AnyBurnBusy());
  MainThread().Post(FClose);
}

}  // namespace quorvane
