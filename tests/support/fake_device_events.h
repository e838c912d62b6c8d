// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// A device event source whose events the test pushes: a stand-in for udev.
#pragma once

#include <deque>
#include <mutex>

#include "drive/drive_monitor.h"

namespace quorvane::testing {

class TFakeEventSource : public IDeviceEventSource {
 public:
  TFakeEventSource();
  ~TFakeEventSource() override;
  int Fd() const override { return FPipe[0]; }
  std::optional<TDeviceEvent> Receive() override;
  // From any thread.
  void Push(const TDeviceEvent& event);

 private:
  int FPipe[2] = {-1, -1};
  std::mutex FLock;
  std::deque<TDeviceEvent> FEvents;
};

}  // namespace quorvane::testing
