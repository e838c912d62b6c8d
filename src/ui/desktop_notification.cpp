// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "ui/desktop_notification.h"

#include <sys/stat.h>

#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusReply>
#include <QVariantMap>
#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "common/desktop_user.h"

namespace quorvane {

std::string NotificationBusAddress() {
  if (const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS"); address && *address)
    return address;
  const std::optional<TDesktopUser> user = DesktopUser();
  const std::string runtime = DesktopRuntimeDir();
  if (!user || runtime.empty()) return {};
  const std::string socket = runtime + "/bus";
  struct stat info {};
  // Only the user's own bus: a socket someone else put there is not talked to.
  if (::lstat(socket.c_str(), &info) != 0 || !S_ISSOCK(info.st_mode) || info.st_uid != user->Uid)
    return {};
  return "unix:path=" + socket;
}

bool SendDesktopNotification(const std::string& title, const std::string& body,
                             std::string& error) {
  const std::string address = NotificationBusAddress();
  if (address.empty()) {
    error = "no session bus";
    return false;
  }
  static const QString kName = "quorvane-notifications";
  QDBusConnection bus = QDBusConnection::connectToBus(QString::fromStdString(address), kName);
  if (!bus.isConnected()) {
    error = "the session bus refused the connection: " + bus.lastError().message().toStdString();
    QDBusConnection::disconnectFromBus(kName);
    return false;
  }
  QDBusMessage call = QDBusMessage::createMethodCall(
      "org.freedesktop.Notifications", "/org/freedesktop/Notifications",
      "org.freedesktop.Notifications", "Notify");
  call << QString("Quorvane") << 0u << QString("org.quorvane.Quorvane")
       << QString::fromStdString(title) << QString::fromStdString(body) << QStringList()
       << QVariantMap{{"desktop-entry", QString("org.quorvane.Quorvane")}} << -1;
  const QDBusMessage reply = bus.call(call, QDBus::Block, 3000);
  if (reply.type() == QDBusMessage::ErrorMessage) {
    error = "no notification service answered: " + reply.errorMessage().toStdString();
    return false;
  }
  return true;
}

void SendDesktopNotification(const std::string& title, const std::string& body) {
  static std::atomic<bool> told{false};
  std::string error;
  if (!SendDesktopNotification(title, body, error) && !told.exchange(true))
    std::fprintf(stderr, "quorvane: no desktop notification: %s\n", error.c_str());
}

}  // namespace quorvane
