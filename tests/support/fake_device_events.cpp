// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "support/fake_device_events.h"

#include <fcntl.h>
#include <unistd.h>

#include <stdexcept>

namespace quorvane::testing {

TFakeEventSource::TFakeEventSource() {
  if (::pipe2(FPipe, O_CLOEXEC | O_NONBLOCK) != 0) throw std::runtime_error("pipe2 failed");
}

TFakeEventSource::~TFakeEventSource() {
  ::close(FPipe[0]);
  ::close(FPipe[1]);
}

std::optional<TDeviceEvent> TFakeEventSource::Receive() {
  char byte;
  if (::read(FPipe[0], &byte, 1) != 1) return std::nullopt;
  std::lock_guard<std::mutex> guard(FLock);
  if (FEvents.empty()) return std::nullopt;
  TDeviceEvent e = FEvents.front();
  FEvents.pop_front();
  return e;
}

void TFakeEventSource::Push(const TDeviceEvent& event) {
  {
    std::lock_guard<std::mutex> guard(FLock);
    FEvents.push_back(event);
  }
  const char byte = 1;
  if (::write(FPipe[1], &byte, 1) != 1) throw std::runtime_error("the fake event pipe is full");
}

}  // namespace quorvane::testing
