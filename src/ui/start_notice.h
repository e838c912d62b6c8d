// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// A notice shown once before the window opens (what the program still lacks and how to
// get it).
#pragma once

#include <memory>
#include <string>

namespace quorvane {

// Shows `text` in a modal warning box and waits until it is closed. The application
// object it made is kept by the caller for the window that follows.
std::shared_ptr<void> ShowStartNotice(int argc, char** argv, const std::string& text);

}  // namespace quorvane
