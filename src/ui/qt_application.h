// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The one application object of the run, shared by the fallback question and the main
// window, with the program's look applied.
#pragma once

#include <memory>

class QApplication;

namespace quorvane {

// True when the window toolkit can show windows: a display server is named in the
// environment, or a platform plugin is chosen explicitly (QT_QPA_PLATFORM).
bool DisplayAvailable();

// The application object; made on first use from the command line, then shared. It goes
// away with its last holder.
std::shared_ptr<QApplication> SharedApplication(int argc, char** argv);

// The program's style sheet (resource "quorvane.qss") and fonts.
void ApplyQuorvaneLook(QApplication& app);

}  // namespace quorvane
