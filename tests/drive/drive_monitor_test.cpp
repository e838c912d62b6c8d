// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The drive monitor on a stand-in event source: which events change the drive list, one
// notice per burst, none for devices that are no USB drives, and a clean stop.
#include "drive/drive_monitor.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

#include "support/fake_device_events.h"

namespace quorvane {
namespace {

using namespace std::chrono_literals;

using testing::TFakeEventSource;

struct TFilterCase {
  TDeviceEvent Event;
  bool Changes;
};

TEST(DriveMonitor, WhichEventsChangeTheDriveList) {
  const std::vector<TFilterCase> cases{
      {{"add", "block", "disk", "sdb"}, true},
      {{"add", "block", "partition", "sdb1"}, true},
      {{"remove", "block", "disk", "sdb"}, true},
      {{"change", "block", "disk", "sdc"}, true},  // a new partition table or file system
      {{"add", "usb", "usb_device", "1-2"}, false},
      {{"bind", "block", "disk", "sdb"}, false},
      {{"add", "block", "disk", "loop3"}, false},  // the program's own image drives
      {{"change", "block", "disk", "dm-0"}, false},
      {{"add", "block", "disk", "sr0"}, false},
      {{"add", "block", "disk", "zram0"}, false},
      {{"add", "block", "disk", ""}, false},
  };
  for (const TFilterCase& c : cases)
    EXPECT_EQ(ChangesDriveList(c.Event), c.Changes)
        << c.Event.Action << " " << c.Event.Subsystem << " " << c.Event.DevType << " "
        << c.Event.SysName;
}

class DriveMonitorRun : public ::testing::Test {
 protected:
  void Start() {
    auto source = std::make_unique<TFakeEventSource>();
    fake = source.get();
    monitor = std::make_unique<TDriveMonitor>(std::move(source), [this] {
      std::lock_guard<std::mutex> guard(lock);
      ++notices;
      changed.notify_all();
    }, 100ms);
  }
  // Waits until `n` notices came or the time is up; the count then.
  int WaitFor(int n, std::chrono::milliseconds most) {
    std::unique_lock<std::mutex> guard(lock);
    changed.wait_for(guard, most, [&] { return notices >= n; });
    return notices;
  }

  TFakeEventSource* fake = nullptr;
  std::unique_ptr<TDriveMonitor> monitor;
  std::mutex lock;
  std::condition_variable changed;
  int notices = 0;
};

TEST_F(DriveMonitorRun, APlugGivesOneNoticeForItsBurstOfEvents) {
  Start();
  // A stick coming in: the USB device, the disk, its partition, a change after probing.
  fake->Push({"add", "usb", "usb_device", "1-2"});
  fake->Push({"add", "block", "disk", "sdb"});
  fake->Push({"add", "block", "partition", "sdb1"});
  fake->Push({"change", "block", "disk", "sdb"});
  EXPECT_EQ(WaitFor(1, 5s), 1);
  // And no second one for the same burst.
  EXPECT_EQ(WaitFor(2, 400ms), 1);
  fake->Push({"remove", "block", "partition", "sdb1"});
  fake->Push({"remove", "block", "disk", "sdb"});
  EXPECT_EQ(WaitFor(2, 5s), 2);
}

TEST_F(DriveMonitorRun, DevicesThatAreNoDrivesGiveNoNotice) {
  Start();
  fake->Push({"add", "block", "disk", "loop7"});
  fake->Push({"change", "block", "disk", "dm-1"});
  EXPECT_EQ(WaitFor(1, 500ms), 0);
}

TEST_F(DriveMonitorRun, StopsAtOnceEvenWithANoticePending) {
  Start();
  fake->Push({"add", "block", "disk", "sdb"});
  const auto before = std::chrono::steady_clock::now();
  monitor.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - before, 5s) << "the monitor's thread hung";
}

// The real source, where the machine has udev: it can be made, and it is quiet or readable.
TEST(UdevEventSource, OpensWhereUdevRuns) {
  std::string error;
  std::unique_ptr<IDeviceEventSource> source = MakeUdevEventSource(error);
  if (!source) GTEST_SKIP() << "no udev monitor here: " << error;
  EXPECT_GE(source->Fd(), 0);
  // Nothing waits on a fresh monitor, or only real events: Receive must not block.
  for (int i = 0; i < 3 && source->Receive(); ++i) {
  }
}

}  // namespace
}  // namespace quorvane
