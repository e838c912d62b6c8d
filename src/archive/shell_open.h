// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The program behind ShellOpen and OpenInIExplore (file_operations.h), which open
// documents and web addresses with the desktop's default handler.
#pragma once

#include <string>

namespace quorvane {

// The program that opens them: xdg-open unless a test names another (empty: xdg-open).
void SetShellOpenCommand(const std::string& path);

}  // namespace quorvane
