// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// Block-device events from udev through libudev's monitor.
#include <libudev.h>

#include "drive/drive_monitor.h"

namespace quorvane {

namespace {

std::string Text(const char* s) { return s ? s : ""; }

class TUdevEventSource : public IDeviceEventSource {
 public:
  TUdevEventSource(udev* context, udev_monitor* monitor) : FUdev(context), FMonitor(monitor) {}
  ~TUdevEventSource() override {
    udev_monitor_unref(FMonitor);
    udev_unref(FUdev);
  }

  int Fd() const override { return udev_monitor_get_fd(FMonitor); }

  std::optional<TDeviceEvent> Receive() override {
    // The monitor's socket does not block: nothing waiting gives nullptr.
    udev_device* device = udev_monitor_receive_device(FMonitor);
    if (!device) return std::nullopt;
    TDeviceEvent event{Text(udev_device_get_action(device)),
                       Text(udev_device_get_subsystem(device)),
                       Text(udev_device_get_devtype(device)), Text(udev_device_get_sysname(device))};
    udev_device_unref(device);
    return event;
  }

 private:
  udev* FUdev;
  udev_monitor* FMonitor;
};

}  // namespace

std::unique_ptr<IDeviceEventSource> MakeUdevEventSource(std::string& error) {
  udev* context = udev_new();
  if (!context) {
    error = "udev is not available";
    return nullptr;
  }
  // Events after udev has handled them (their links and properties are in place).
  udev_monitor* monitor = udev_monitor_new_from_netlink(context, "udev");
  if (!monitor) {
    udev_unref(context);
    error = "the udev monitor cannot be opened";
    return nullptr;
  }
  if (udev_monitor_filter_add_match_subsystem_devtype(monitor, "block", nullptr) < 0 ||
      udev_monitor_enable_receiving(monitor) < 0) {
    udev_monitor_unref(monitor);
    udev_unref(context);
    error = "the udev monitor cannot receive block-device events";
    return nullptr;
  }
  return std::make_unique<TUdevEventSource>(context, monitor);
}

}  // namespace quorvane
