// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "common/session_state.h"

#include <mutex>

namespace quorvane {

namespace {
std::mutex g_session_lock;
std::string g_session_id;
}  // namespace

std::atomic<bool> OnlineRunning{true};
std::atomic<bool> ClientConnected{false};
std::atomic<bool> QuitRequested{false};

std::string GetSessionId() {
  std::lock_guard<std::mutex> guard(g_session_lock);
  return g_session_id;
}

void SetSessionId(const std::string& id) {
  std::lock_guard<std::mutex> guard(g_session_lock);
  g_session_id = id;
}

}  // namespace quorvane
