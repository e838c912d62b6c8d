// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The portable run's window behind the start-up's seam, with the services it uses.
#pragma once

#include <memory>

#include "startup/front_ends.h"
#include "ui/ui_services.h"

namespace quorvane {

// The main window on the application shared with the fallback question. Without a
// display the window says so on standard error and the run ends at once.
std::unique_ptr<IPortableWindow> CreatePortableWindow(int argc, char** argv,
                                                      TPortableWindowServices services);

}  // namespace quorvane
