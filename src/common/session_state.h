// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// Process-wide state of one run: the run identifier sent to the remote service, and the
// flags through which the control server and the online run talk to each other.
#pragma once

#include <atomic>
#include <string>

namespace quorvane {

// The run identifier ("id" of every request to the remote service). Read and replaced
// from several threads, hence the accessors.
std::string GetSessionId();
void SetSessionId(const std::string& id);

// True while the online message loop must go on.
extern std::atomic<bool> OnlineRunning;
// Set by the control server when its first request arrives; never cleared.
extern std::atomic<bool> ClientConnected;
// Set by the control server's finish command; never cleared.
extern std::atomic<bool> QuitRequested;

}  // namespace quorvane
