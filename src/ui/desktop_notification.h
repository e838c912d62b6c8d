// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// A desktop notification (org.freedesktop.Notifications) on the session's bus.
#pragma once

#include <string>

namespace quorvane {

// The bus to send to: DBUS_SESSION_BUS_ADDRESS when set; else, for a run as root on a
// desktop user's behalf, the bus socket in his runtime folder when it is a socket he owns;
// empty when there is none.
std::string NotificationBusAddress();

// Sends the notification; false (with the reason in `error`) when there is no bus or no
// notification service answers. Never blocks for long.
bool SendDesktopNotification(const std::string& title, const std::string& body,
                             std::string& error);
// The same for the window: a failure is told once on standard error.
void SendDesktopNotification(const std::string& title, const std::string& body);

}  // namespace quorvane
