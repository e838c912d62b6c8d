// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "ui/qt_application.h"

#include <QApplication>
#include <QFont>
#include <QLocale>
#include <QTranslator>
#include <QString>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "common/resources.h"
#include "ui/color_scheme.h"
#include "ui/widgets.h"

namespace quorvane {

namespace {

bool EnvSet(const char* name) {
  const char* value = std::getenv(name);
  return value && *value;
}

// The application keeps references to the argument count and vector for its lifetime.
struct TArguments {
  int argc = 0;
  std::vector<std::string> storage;
  std::vector<char*> argv;
};

QtMessageHandler g_previous_handler = nullptr;

// While the application object is made: a display that refuses the connection ends the
// run with one line and status 1, not with the toolkit's abort.
void StartMessageHandler(QtMsgType type, const QMessageLogContext& context,
                         const QString& message) {
  if (type == QtFatalMsg) {
    const QString first = message.section('\n', 0, 0);
    const char* display = std::getenv("DISPLAY");
    std::fprintf(stderr,
                 "quorvane: the window cannot be shown on the display %s (%s). Started as root "
                 "by hand? Start quorvane as your own user: it asks for the password and lets "
                 "root onto the display.\n",
                 display ? display : "", first.toLocal8Bit().constData());
    std::_Exit(1);
  }
  if (g_previous_handler) g_previous_handler(type, context, message);
  else std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
}

}  // namespace

bool DisplayAvailable() {
  return EnvSet("QT_QPA_PLATFORM") || EnvSet("DISPLAY") || EnvSet("WAYLAND_DISPLAY");
}

std::shared_ptr<QApplication> SharedApplication(int argc, char** argv) {
  static std::mutex lock;
  static std::weak_ptr<QApplication> shared;
  static TArguments args;
  std::lock_guard<std::mutex> guard(lock);
  if (std::shared_ptr<QApplication> app = shared.lock()) return app;
  args.storage.assign(argv, argv + argc);
  if (args.storage.empty()) args.storage.push_back("quorvane");
  args.argv.clear();
  for (std::string& arg : args.storage) args.argv.push_back(arg.data());
  args.argv.push_back(nullptr);
  args.argc = static_cast<int>(args.storage.size());
  g_previous_handler = qInstallMessageHandler(StartMessageHandler);
  auto app = std::make_shared<QApplication>(args.argc, args.argv.data());
  qInstallMessageHandler(g_previous_handler);
  // The toolkit takes the user's locale for every category; numbers that the engine
  // writes (JSON, menu files, tool arguments) must keep the full stop.
  std::setlocale(LC_NUMERIC, "C");
  QApplication::setApplicationName("Quorvane");
  // The desktop entry, whose icon the desktop shows for the window.
  QGuiApplication::setDesktopFileName("org.quorvane.Quorvane");
  ApplyQuorvaneLook(*app);
  // A translation of the window's texts, when the resource folder has one for the user's
  // language (translations/quorvane_de.qm, ...); English is the texts themselves.
  static QTranslator translator;
  if (translator.load(QLocale(), "quorvane", "_",
                      QString::fromStdString(ResourceDir() + "/translations")))
    QApplication::installTranslator(&translator);
  shared = app;
  return app;
}

void ApplyQuorvaneLook(QApplication& app) {
  QFont font("DejaVu Sans");
  font.setPixelSize(13);
  QApplication::setFont(font);
  std::string sheet, error;
  // Light or dark as the desktop prefers.
  const TColorScheme scheme = DesktopColorScheme();
  UseLightSchemeTextColors(scheme == TColorScheme::Light);
  if (ReadResource(StyleSheetResource(scheme), sheet, error))
    app.setStyleSheet(QString::fromStdString(sheet));
}

}  // namespace quorvane
