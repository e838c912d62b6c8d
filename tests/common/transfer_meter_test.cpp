// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The rate and time left of a copy: smoothed over the window, started again when the
// count goes back, unknown until there is enough to tell.
#include <gtest/gtest.h>

#include <vector>

#include "common/transfer_meter.h"

namespace quorvane {
namespace {

struct TPoint {
  double Seconds;
  std::int64_t Done;
};

struct TMeterCase {
  const char* Name;
  std::vector<TPoint> Points;
  std::int64_t Total;
  double Rate;  // negative: unknown
  double Left;  // negative: unknown
};

class MeterCases : public testing::TestWithParam<TMeterCase> {};

TEST_P(MeterCases, RateAndTimeLeft) {
  const TMeterCase& c = GetParam();
  TTransferMeter meter(5.0);
  for (const TPoint& p : c.Points) meter.Sample(p.Seconds, p.Done, c.Total);
  if (c.Rate < 0) {
    EXPECT_LT(meter.BytesPerSecond(), 0);
  } else {
    EXPECT_NEAR(meter.BytesPerSecond(), c.Rate, 1e-6);
  }
  if (c.Left < 0) {
    EXPECT_LT(meter.SecondsLeft(), 0);
  } else {
    EXPECT_NEAR(meter.SecondsLeft(), c.Left, 1e-6);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Transfers, MeterCases,
    testing::Values(
        TMeterCase{"NoSample", {}, 100, -1, -1},
        TMeterCase{"OneSample", {{0, 10}}, 100, -1, -1},
        TMeterCase{"TooShortASpan", {{0, 0}, {0.2, 50}}, 1000, -1, -1},
        TMeterCase{"Steady", {{0, 0}, {1, 10}, {2, 20}}, 100, 10, 8},
        // Only the last five seconds count: a slow start is forgotten.
        TMeterCase{"WindowForgetsTheStart",
                   {{0, 0}, {1, 1}, {2, 2}, {10, 10}, {11, 30}, {15, 110}},
                   1000, 20, 44.5},
        TMeterCase{"Stalled", {{0, 50}, {1, 50}, {2, 50}}, 100, 0, -1},
        TMeterCase{"Done", {{0, 0}, {1, 100}}, 100, 100, 0},
        // A count that goes back is a new file: what came before tells nothing.
        TMeterCase{"CountGoesBack", {{0, 0}, {1, 900}, {2, 10}}, 1000, -1, -1},
        TMeterCase{"CountGoesBackThenSteady", {{0, 0}, {1, 900}, {2, 10}, {3, 30}}, 1000, 20,
                   48.5}),
    [](const testing::TestParamInfo<TMeterCase>& info) { return info.param.Name; });

TEST(TransferTexts, RateAndTimeLeft) {
  const std::vector<std::pair<double, const char*>> rates{
      {-1, ""}, {0, "0.0 MB/s"}, {1234567, "1.2 MB/s"}, {23456789, "23 MB/s"}};
  for (const auto& [rate, text] : rates) EXPECT_EQ(RateText(rate), text) << rate;
  const std::vector<std::pair<double, const char*>> times{
      {-1, ""},           {0, "0 s left"},           {44.2, "45 s left"},
      {59.5, "1 min 00 s left"}, {185, "3 min 05 s left"}, {3725, "1 h 02 min left"}};
  for (const auto& [seconds, text] : times) EXPECT_EQ(TimeLeftText(seconds), text) << seconds;
}

}  // namespace
}  // namespace quorvane
