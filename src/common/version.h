// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The program's version, as the build names it.
#pragma once

namespace quorvane {

// "0.1.0".
const char* QuorvaneVersion();

}  // namespace quorvane
