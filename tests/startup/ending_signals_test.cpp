// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// SIGTERM, SIGHUP and Ctrl-C during a burn of the window or the online run: the entry being
// written is cancelled and rolled back, and only then is the front end closed.
#include "startup/ending_signals.h"

#include <signal.h>

#include <cstring>

#include <gtest/gtest.h>

#include "common/constants.h"
#include "support/main_thread_fixture.h"
#include "support/test_loaders.h"

namespace quorvane::testing {
namespace {

class EndingSignalsTest : public MainThreadTest {};

TEST_F(EndingSignalsTest, ASignalStopsTheBurnThenClosesTheFrontEnd) {
  for (const int signal_number : {SIGTERM, SIGHUP, SIGINT}) {
    SCOPED_TRACE(strsignal(signal_number));
    const std::string root = MapDrive('e');
    WriteFile(temp / "a.iso", "data");
    WriteFile(temp / "b.iso", "data");
    std::vector<TStandInLoader*> made;
    auto prep = std::make_shared<TPreparationLog>();
    TJobs jobs(StandInLoaderFactory(&made), RecordingPreparation(prep));
    ASSERT_TRUE(jobs.Add(6, temp / "a.iso", 'e', "a.iso"));
    ASSERT_TRUE(jobs.Add(6, temp / "b.iso", 'e', "b.iso"));
    bool closed = false, busy_when_closed = true;
    TEndingSignals ending([&] {
      closed = true;
      busy_when_closed = jobs.Busy();
    });
    made[0]->hold = true;
    jobs.Start('e', FormatModeAdd, 1);
    ASSERT_TRUE(PumpUntil([&] { return made[0]->in_copy.load(); }));
    ASSERT_EQ(::raise(signal_number), 0);  // the process lives on
    ASSERT_TRUE(PumpUntil([&] { return closed; }));
    EXPECT_EQ(ending.Received(), signal_number);
    EXPECT_FALSE(busy_when_closed);
    EXPECT_EQ(made[0]->Status(), "Cancelled");
    EXPECT_FALSE(Exists(made[0]->Vars.JobDir));
    EXPECT_EQ(made[1]->Status(), "Ready");
  }
}

TEST_F(EndingSignalsTest, WithoutABurnTheFrontEndClosesAtOnce) {
  bool closed = false;
  TEndingSignals ending([&] { closed = true; });
  ASSERT_EQ(::raise(SIGTERM), 0);
  EXPECT_TRUE(PumpUntil([&] { return closed; }));
}

}  // namespace
}  // namespace quorvane::testing
