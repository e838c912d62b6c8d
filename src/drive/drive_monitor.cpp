// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "drive/drive_monitor.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace quorvane {

bool ChangesDriveList(const TDeviceEvent& e) {
  if (e.Subsystem != "block") return false;
  if (e.DevType != "disk" && e.DevType != "partition") return false;
  if (e.Action != "add" && e.Action != "remove" && e.Action != "change") return false;
  for (const char* prefix : {"loop", "ram", "zram", "dm-", "md", "nbd", "sr", "fd"})
    if (e.SysName.rfind(prefix, 0) == 0) return false;
  return !e.SysName.empty();
}

std::unique_ptr<TDriveMonitor> WatchSystemDrives(std::function<void()> on_change) {
  std::string error;
  std::unique_ptr<IDeviceEventSource> source = MakeUdevEventSource(error);
  if (!source) {
    std::fprintf(stderr, "quorvane: drives plugged in are not seen by themselves: %s\n",
                 error.c_str());
    return nullptr;
  }
  return std::make_unique<TDriveMonitor>(std::move(source), std::move(on_change));
}

TDriveMonitor::TDriveMonitor(std::unique_ptr<IDeviceEventSource> source,
                             std::function<void()> on_change, std::chrono::milliseconds quiet)
    : FSource(std::move(source)), FOnChange(std::move(on_change)), FQuiet(quiet) {
  if (::pipe2(FStop, O_CLOEXEC) != 0) {
    FStop[0] = FStop[1] = -1;
    return;  // without a way to stop it, no thread is started
  }
  FThread = std::thread([this] { Run(); });
}

TDriveMonitor::~TDriveMonitor() {
  if (FStop[1] >= 0) {
    const char byte = 0;
    while (::write(FStop[1], &byte, 1) < 0 && errno == EINTR) {
    }
  }
  if (FThread.joinable()) FThread.join();
  for (int fd : FStop)
    if (fd >= 0) ::close(fd);
}

void TDriveMonitor::Run() {
  bool pending = false;  // a change seen, not yet told
  while (true) {
    pollfd fds[2] = {{FStop[0], POLLIN, 0}, {FSource->Fd(), POLLIN, 0}};
    const int timeout = pending ? static_cast<int>(FQuiet.count()) : -1;
    const int ready = ::poll(fds, 2, timeout);
    if (ready < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[0].revents) return;
    if (ready == 0) {
      // Quiet long enough after the burst: one notice for all of it.
      pending = false;
      if (FOnChange) FOnChange();
      continue;
    }
    if (fds[1].revents & (POLLERR | POLLHUP | POLLNVAL)) return;
    if (fds[1].revents & POLLIN) {
      while (std::optional<TDeviceEvent> event = FSource->Receive())
        if (ChangesDriveList(*event)) pending = true;
    }
  }
}

}  // namespace quorvane
