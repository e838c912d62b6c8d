// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// Checks a JSON value against the part of JSON Schema that docs/cli-json.schema.json uses:
// $ref to $defs, oneOf, type, const, enum, required, properties, additionalProperties
// false, items, minimum, maximum and pattern.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

namespace quorvane::testing {

// Empty when `value` matches `schema` (whose $defs `root` holds); else where and why not.
std::string SchemaMismatch(const nlohmann::json& value, const nlohmann::json& schema,
                           const nlohmann::json& root, const std::string& where = "$");

}  // namespace quorvane::testing

namespace quorvane::testing {

// Every line of `text` parsed and checked against docs/cli-json.schema.json; empty when
// all match, else the first line that does not and why.
std::string CliJsonLinesMismatch(const std::string& text);

}  // namespace quorvane::testing
