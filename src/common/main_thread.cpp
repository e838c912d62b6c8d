// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "common/main_thread.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>

namespace quorvane {

namespace {
std::atomic<IMainThreadDispatcher*> g_dispatcher{nullptr};
}

void SetMainThreadDispatcher(IMainThreadDispatcher* dispatcher) { g_dispatcher = dispatcher; }

bool HasMainThreadDispatcher() { return g_dispatcher.load() != nullptr; }

IMainThreadDispatcher& MainThread() {
  IMainThreadDispatcher* dispatcher = g_dispatcher.load();
  if (!dispatcher) {
    std::fputs("internal error: no main-thread dispatcher installed\n", stderr);
    std::abort();
  }
  return *dispatcher;
}

}  // namespace quorvane
