// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// Whether an image file named by the page is one the desktop user could read himself:
// the program reads it as root, so it must not become a way to copy what he may not.
#pragma once

#include <optional>
#include <string>

#include "common/desktop_user.h"

namespace quorvane {

// The refusal for `path`, empty when it may be used: "Image file is not readable by user
// NAME" when `user` (or, without one, the program's own user) cannot open it, and another
// refusal for a device node, a folder or a file of /proc, /sys or /dev. A path that does
// not exist for him passes: the checks before the burn name it as missing.
std::string ImageAccessRefusal(const std::string& path, const std::optional<TDesktopUser>& user);

}  // namespace quorvane
