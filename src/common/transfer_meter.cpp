// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "common/transfer_meter.h"

#include <cmath>
#include <cstdio>

namespace quorvane {

namespace {
// Less than this much time between the oldest and newest sample tells no rate yet.
constexpr double kShortestSpan = 0.5;
}  // namespace

void TTransferMeter::Sample(double seconds, std::int64_t done, std::int64_t total) {
  if (!FSamples.empty() && (done < FSamples.back().Done || total != FTotal ||
                            seconds < FSamples.back().Seconds))
    FSamples.clear();
  FTotal = total;
  FSamples.push_back({seconds, done});
  // Keep one sample at or before the window's start, so that the span covers it whole.
  while (FSamples.size() > 2 && FSamples[1].Seconds <= seconds - FWindow) FSamples.pop_front();
}

double TTransferMeter::BytesPerSecond() const {
  if (FSamples.size() < 2) return -1;
  const TSample& first = FSamples.front();
  const TSample& last = FSamples.back();
  const double span = last.Seconds - first.Seconds;
  if (span < kShortestSpan) return -1;
  return static_cast<double>(last.Done - first.Done) / span;
}

double TTransferMeter::SecondsLeft() const {
  const double rate = BytesPerSecond();
  if (rate <= 0 || FSamples.empty() || FTotal <= 0) return -1;
  const std::int64_t left = FTotal - FSamples.back().Done;
  return left <= 0 ? 0 : static_cast<double>(left) / rate;
}

std::string RateText(double bytes_per_second) {
  if (!(bytes_per_second >= 0)) return {};
  char text[32];
  const double mb = bytes_per_second / 1e6;
  std::snprintf(text, sizeof text, mb < 10 ? "%.1f MB/s" : "%.0f MB/s", mb);
  return text;
}

std::string TimeLeftText(double seconds) {
  if (!(seconds >= 0) || !std::isfinite(seconds)) return {};
  const long long s = std::llround(std::ceil(seconds));
  char text[48];
  if (s < 60) {
    std::snprintf(text, sizeof text, "%lld s left", s);
  } else if (s < 3600) {
    std::snprintf(text, sizeof text, "%lld min %02lld s left", s / 60, s % 60);
  } else {
    std::snprintf(text, sizeof text, "%lld h %02lld min left", s / 3600, s % 3600 / 60);
  }
  return text;
}

}  // namespace quorvane
