// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "common/version.h"

namespace quorvane {

const char* QuorvaneVersion() { return QUORVANE_VERSION; }

}  // namespace quorvane
