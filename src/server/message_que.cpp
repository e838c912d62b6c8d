// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "server/message_que.h"

namespace quorvane {

void TMsgQue::Enqueue(const TMsgElement& Item) {
  std::lock_guard<std::recursive_mutex> guard(CriticalSection);
  FItems.push_back(Item);
}

TMsgElement TMsgQue::Dequeue() {
  std::lock_guard<std::recursive_mutex> guard(CriticalSection);
  if (FItems.empty()) return {};
  TMsgElement item = std::move(FItems.front());
  FItems.pop_front();
  return item;
}

bool TMsgQue::IsEmpty() const {
  std::lock_guard<std::recursive_mutex> guard(CriticalSection);
  return FItems.empty();
}

}  // namespace quorvane
