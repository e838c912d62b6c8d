// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "startup/online_pump.h"

#include "common/session_state.h"

namespace quorvane {

namespace {
constexpr std::chrono::milliseconds kWakeInterval{1000};
}

void AltProcessMessages(TMessageQueue& queue, double) { queue.DispatchWaiting(); }

bool PumpOnce(TMessageQueue& queue, double AppStartTime) {
  if (!OnlineRunning || !queue.HasMessage()) return false;
  AltProcessMessages(queue, AppStartTime);
  if (QuitRequested) OnlineRunning = false;
  return OnlineRunning;
}

void PumpMessages(TMessageQueue& queue, double AppStartTime) {
  while (PumpOnce(queue, AppStartTime)) {
  }
}

void WaitAndPump(TMessageQueue& queue, double AppStartTime) {
  if (!OnlineRunning) return;
  queue.WaitForMessage(kWakeInterval);
  PumpMessages(queue, AppStartTime);
}

}  // namespace quorvane
