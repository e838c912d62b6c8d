// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// Tells the front ends when a USB drive is plugged in or pulled out, so that their drive
// lists follow by themselves: device events from a source (udev on Linux, a stand-in in
// tests), filtered, and a burst of them told once.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

namespace quorvane {

// One device event as the system's device manager tells it.
struct TDeviceEvent {
  std::string Action;     // "add", "remove", "change", ...
  std::string Subsystem;  // "block", "usb", ...
  std::string DevType;    // "disk", "partition"
  std::string SysName;    // "sdb", "sdb1", "loop3"
};

class IDeviceEventSource {
 public:
  virtual ~IDeviceEventSource() = default;
  // Readable when an event waits.
  virtual int Fd() const = 0;
  // The next event; none when nothing waits (or what waited was not readable).
  virtual std::optional<TDeviceEvent> Receive() = 0;
};

// Whether the event can change the list of USB drives: a disk or partition added,
// removed or changed (a new partition table, a new file system), but not of the devices
// that are no drives of a USB stick (loop, RAM, device-mapper, optical, ...).
bool ChangesDriveList(const TDeviceEvent& event);

// Block-device events from udev (libudev's monitor of the "udev" netlink group); nullptr
// with the reason in `error` when it cannot be made (no udev, no netlink).
std::unique_ptr<IDeviceEventSource> MakeUdevEventSource(std::string& error);

// Watches a source on a thread of its own; `on_change` runs on that thread once per burst
// of events that change the drive list, after `quiet` without another one.
class TDriveMonitor {
 public:
  TDriveMonitor(std::unique_ptr<IDeviceEventSource> source, std::function<void()> on_change,
                std::chrono::milliseconds quiet = std::chrono::milliseconds(600));
  // Stops the thread and waits for it.
  ~TDriveMonitor();
  TDriveMonitor(const TDriveMonitor&) = delete;
  TDriveMonitor& operator=(const TDriveMonitor&) = delete;

 private:
  void Run();

  std::unique_ptr<IDeviceEventSource> FSource;
  std::function<void()> FOnChange;
  std::chrono::milliseconds FQuiet;
  int FStop[2] = {-1, -1};  // a byte in the pipe ends the thread
  std::thread FThread;
};

// The front ends' monitor: udev's events watched for `on_change`. nullptr when udev cannot
// be watched, said once on stderr; the drive lists then follow only when refreshed.
std::unique_ptr<TDriveMonitor> WatchSystemDrives(std::function<void()> on_change);

}  // namespace quorvane
