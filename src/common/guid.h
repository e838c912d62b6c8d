// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// Fresh GUIDs in the registry form "{8-4-4-4-12}" with upper-case hexadecimal digits.
#pragma once

#include <string>

namespace quorvane {

std::string NewGuidRegistryForm();

}  // namespace quorvane
