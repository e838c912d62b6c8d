// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// What the command handlers share: replies of one member, and the reading of a whole
// number from a form field.
#pragma once

#include <cstdint>
#include <string>

#include "service/json_value.h"

namespace quorvane {

// The object with one member that is always present / left out when its text is empty.
TJsonValue StatusReply(const std::string& key, const std::string& text);
TJsonValue DataReply(const std::string& key, const std::string& text);

// A whole number in decimal with an optional sign, within 32 bits.
bool ParseWholeNumber(const std::string& text, std::int32_t& value);

}  // namespace quorvane
