// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "ui/start_notice.h"

#include <QApplication>
#include <QMessageBox>

#include "ui/qt_application.h"

namespace quorvane {

std::shared_ptr<void> ShowStartNotice(int argc, char** argv, const std::string& text) {
  std::shared_ptr<QApplication> app = SharedApplication(argc, argv);
  QMessageBox box(QMessageBox::Warning, "Quorvane", QString::fromStdString(text),
                  QMessageBox::Ok);
  box.setTextInteractionFlags(Qt::TextSelectableByMouse);
  box.exec();
  return app;
}

}  // namespace quorvane
