// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// A drive plugged in or pulled out reaches the page as the message "DrivesChanged".
#include <gtest/gtest.h>

#include "drive/drive_monitor.h"
#include "server_fixture.h"
#include "support/fake_device_events.h"

namespace quorvane::testing {
namespace {

TEST_F(ControlServerTest, APluggedOrPulledDriveTellsThePageToReadTheDrivesAgain) {
  TFakeEventSource* source = nullptr;
  setup.CreateDriveMonitor = [&](std::function<void()> on_change) {
    auto fake = std::make_unique<TFakeEventSource>();
    source = fake.get();
    return std::make_unique<TDriveMonitor>(std::move(fake), std::move(on_change),
                                           std::chrono::milliseconds(50));
  };
  StartServer();
  // The first request makes the module, and with it the monitor.
  EXPECT_EQ(Command({{"Operation", "CheckMessages"}}).body, "{}");
  ASSERT_NE(source, nullptr);
  source->Push({"add", "block", "disk", "loop4"});  // no drive of a stick: nothing
  source->Push({"add", "block", "disk", "sdb"});
  source->Push({"add", "block", "partition", "sdb1"});
  std::vector<TPageMessage> got;
  ASSERT_TRUE(CollectUntil("DrivesChanged", got));
  EXPECT_EQ(Summaries(got), std::vector<std::string>{"DrivesChanged||||"}) << "one for the burst";
  source->Push({"remove", "block", "disk", "sdb"});
  got.clear();
  EXPECT_TRUE(CollectUntil("DrivesChanged", got));
}

}  // namespace
}  // namespace quorvane::testing
