// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The event queue of the online run: job-list events wait here, oldest first, until the
// browser page collects them.
#pragma once

#include <deque>
#include <mutex>
#include <string>

namespace quorvane {

// One event message: its type and up to four texts (empty where the type has none).
struct TMsgElement {
  std::string MsgType;
  std::string MsgTextFst;
  std::string MsgTextScnd;
  std::string MsgTextThrd;
  std::string MsgTextFrth;
};

// First in, first out, without a limit. Safe to use from several threads.
class TMsgQue {
 public:
  void Enqueue(const TMsgElement& Item);
  // The oldest message, taken out; five empty texts when the queue is empty.
  TMsgElement Dequeue();
  bool IsEmpty() const;

 private:
  mutable std::recursive_mutex CriticalSection;
  std::deque<TMsgElement> FItems;
};

}  // namespace quorvane
