// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "ui/color_scheme.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QGuiApplication>
#include <QPalette>
#include <cstdlib>

#include "ui/desktop_notification.h"

namespace quorvane {

namespace {

// org.freedesktop.appearance color-scheme from the settings portal; none when no portal
// answers within a second.
std::optional<unsigned> PortalColorScheme() {
  const std::string address = NotificationBusAddress();
  if (address.empty()) return std::nullopt;
  QDBusConnection bus =
      QDBusConnection::connectToBus(QString::fromStdString(address), "quorvane-notifications");
  if (!bus.isConnected()) return std::nullopt;
  QDBusMessage call = QDBusMessage::createMethodCall(
      "org.freedesktop.portal.Desktop", "/org/freedesktop/portal/desktop",
      "org.freedesktop.portal.Settings", "Read");
  call << QString("org.freedesktop.appearance") << QString("color-scheme");
  const QDBusMessage reply = bus.call(call, QDBus::Block, 1000);
  if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
    return std::nullopt;
  // The value comes wrapped in one or two variants.
  QVariant value = reply.arguments().first();
  for (int i = 0; i < 2 && value.canConvert<QDBusVariant>(); ++i)
    value = value.value<QDBusVariant>().variant();
  bool ok = false;
  const unsigned scheme = value.toUInt(&ok);
  return ok ? std::optional<unsigned>(scheme) : std::nullopt;
}

}  // namespace

TColorScheme ChooseColorScheme(const std::string& override_value, std::optional<unsigned> portal,
                               const std::string& gtk_theme, bool palette_is_dark) {
  if (override_value == "dark") return TColorScheme::Dark;
  if (override_value == "light") return TColorScheme::Light;
  if (portal == 1u) return TColorScheme::Dark;
  if (portal == 2u) return TColorScheme::Light;
  const std::string dark_suffix = ":dark";
  if (gtk_theme.size() >= dark_suffix.size() &&
      gtk_theme.compare(gtk_theme.size() - dark_suffix.size(), dark_suffix.size(), dark_suffix) == 0)
    return TColorScheme::Dark;
  return palette_is_dark ? TColorScheme::Dark : TColorScheme::Light;
}

TColorScheme DesktopColorScheme() {
  const char* forced = std::getenv("QUORVANE_COLOR_SCHEME");
  const char* gtk = std::getenv("GTK_THEME");
  const std::string override_value = forced ? forced : "";
  const bool decided = override_value == "dark" || override_value == "light";
  const QPalette palette = QGuiApplication::palette();
  const bool palette_dark =
      palette.color(QPalette::Window).lightness() < palette.color(QPalette::WindowText).lightness();
  return ChooseColorScheme(override_value, decided ? std::nullopt : PortalColorScheme(),
                           gtk ? gtk : "", palette_dark);
}

const char* StyleSheetResource(TColorScheme scheme) {
  return scheme == TColorScheme::Light ? "quorvane-light.qss" : "quorvane.qss";
}

}  // namespace quorvane
