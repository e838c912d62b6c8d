// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The program's resource folder: data files such as GRUB4DOS's boot images, the NTBOOT
// package, pictures and the browser page.
#pragma once

#include <string>

namespace quorvane {

// QUORVANE_RESOURCES when set; else the folder "resources" beside the executable when
// there is one (a build tree); else the installed data folder, PREFIX/share/quorvane for
// an executable in PREFIX/bin. Always ends with "/".
std::string ResourceDir();
// The same for an executable in `executable_dir`, without QUORVANE_RESOURCES.
std::string ResourceDirBeside(const std::string& executable_dir);

// Where `quorvane-cli setup-boot-images` installs GRUB4DOS's boot images, which the
// package does not carry: /var/lib/quorvane/.
std::string BootImagesDir();

// Full path of one resource file: in ResourceDir(), or in BootImagesDir() when it is only
// there (and QUORVANE_RESOURCES is not set).
std::string ResourcePath(const std::string& name);

// Reads a whole resource file; false (and `error` set) when it cannot be read.
bool ReadResource(const std::string& name, std::string& data, std::string& error);

}  // namespace quorvane
