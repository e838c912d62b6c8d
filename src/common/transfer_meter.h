// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// How fast a copy or unpack goes and how long it still takes, smoothed over the last
// seconds, and the texts the front ends show for both.
#pragma once

#include <cstdint>
#include <deque>
#include <string>

namespace quorvane {

class TTransferMeter {
 public:
  // `window` seconds of samples make the rate.
  explicit TTransferMeter(double window = 5.0) : FWindow(window) {}

  // `done` of `total` bytes at `seconds` (any steady clock). A count that goes back (a
  // new file, a new step) starts the measurement again.
  void Sample(double seconds, std::int64_t done, std::int64_t total);
  void Reset() { FSamples.clear(); }

  // Bytes per second over the window; negative while there is too little to tell.
  double BytesPerSecond() const;
  // Seconds until `total` at the current rate; negative when unknown.
  double SecondsLeft() const;

 private:
  struct TSample {
    double Seconds;
    std::int64_t Done;
  };
  double FWindow;
  std::int64_t FTotal = 0;
  std::deque<TSample> FSamples;
};

// "23.4 MB/s" (10^6 bytes); "" for a negative rate.
std::string RateText(double bytes_per_second);
// "45 s left", "3 min 05 s left", "1 h 02 min left"; "" for a negative count.
std::string TimeLeftText(double seconds);

}  // namespace quorvane
