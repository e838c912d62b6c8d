// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The main thread's message pump of the online run.
#pragma once

#include "common/message_queue.h"

namespace quorvane {

// Dispatches every waiting message of `queue` except quit messages, which are dropped.
// The start time is not used.
void AltProcessMessages(TMessageQueue& queue, double AppStartTime);

// False at once when the online loop has ended or no message waits; otherwise dispatches
// the waiting messages and answers whether the loop goes on (it ends once a finish
// request has been seen).
bool PumpOnce(TMessageQueue& queue, double AppStartTime);
// PumpOnce until it answers false.
void PumpMessages(TMessageQueue& queue, double AppStartTime);
// While the loop goes on: waits for a message, at most about a second so that the
// connection time limit is looked at even when nothing arrives, then PumpMessages.
void WaitAndPump(TMessageQueue& queue, double AppStartTime);

}  // namespace quorvane
