// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The program's resource folder: data files such as GRUB4DOS's boot images, the NTBOOT
// package, pictures and the browser page.
#pragma once

#include <string>

namespace quorvane {

// QUORVANE_RESOURCES when set, else the folder "resources" beside the executable.
// Always ends with "/".
std::string ResourceDir();

// Full path of one resource file.
std::string ResourcePath(const std::string& name);

// Reads a whole resource file; false (and `error` set) when it cannot be read.
bool ReadResource(const std::string& name, std::string& data, std::string& error);

}  // namespace quorvane
