// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// Sizes as every front end writes them: binary units, "GiB" and "MiB".
#pragma once

#include <cstdint>
#include <string>

namespace quorvane {

// "7.45 GiB", "512.00 MiB", "300 KiB", "512 bytes"; "unknown" for a negative count.
std::string BinarySizeText(std::int64_t bytes);

}  // namespace quorvane
