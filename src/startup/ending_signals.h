// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// Ctrl-C, SIGTERM and SIGHUP end the program as closing it does: the burn under way is
// stopped (the entry being written is rolled back), and once it has ended the front end is
// asked to close, so that the run releases its drives on the way out.
#pragma once

#include <atomic>
#include <functional>
#include <thread>

namespace quorvane {

class TEndingSignals {
 public:
  // `close_front_end` runs on the main thread once no burn is busy any more.
  explicit TEndingSignals(std::function<void()> close_front_end);
  // Puts the former handlers back.
  ~TEndingSignals();
  TEndingSignals(const TEndingSignals&) = delete;
  TEndingSignals& operator=(const TEndingSignals&) = delete;

  // The signal that ended the run; 0 while none came.
  int Received() const;

 private:
  void Watch();

  std::function<void()> FClose;
  std::atomic<bool> FQuit{false};
  std::thread FWatcher;
};

}  // namespace quorvane
