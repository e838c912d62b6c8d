// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The ui tests run inside one application object on the offscreen platform.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

#include "ui/qt_application.h"
#include "ui_fixture.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  // One look for every case, whatever the machine's desktop prefers; the light one has
  // cases of its own.
  if (!std::getenv("QUORVANE_COLOR_SCHEME")) setenv("QUORVANE_COLOR_SCHEME", "dark", 1);
  quorvane::testing::QuietOffscreenNotices();
  std::shared_ptr<QApplication> app = quorvane::SharedApplication(argc, argv);
  return RUN_ALL_TESTS();
}
