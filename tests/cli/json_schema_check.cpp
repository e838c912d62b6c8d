// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "json_schema_check.h"

#include <regex>

namespace quorvane::testing {

namespace {

using nlohmann::json;

bool HasType(const json& value, const std::string& type) {
  if (type == "null") return value.is_null();
  if (type == "boolean") return value.is_boolean();
  if (type == "string") return value.is_string();
  if (type == "integer") return value.is_number_integer();
  if (type == "number") return value.is_number();
  if (type == "array") return value.is_array();
  if (type == "object") return value.is_object();
  return false;
}

}  // namespace

std::string SchemaMismatch(const json& value, const json& schema, const json& root,
                           const std::string& where) {
  if (schema.contains("$ref")) {
    const std::string ref = schema["$ref"];
    const std::string prefix = "#/$defs/";
    if (ref.rfind(prefix, 0) != 0) return where + ": unsupported $ref " + ref;
    return SchemaMismatch(value, root["$defs"][ref.substr(prefix.size())], root, where);
  }
  if (schema.contains("oneOf")) {
    int matches = 0;
    std::string why;
    for (const json& option : schema["oneOf"]) {
      const std::string m = SchemaMismatch(value, option, root, where);
      if (m.empty()) ++matches;
      else why += "\n  " + m;
    }
    if (matches != 1) return where + ": matches " + std::to_string(matches) + " of oneOf" + why;
  }
  if (schema.contains("type")) {
    const json& t = schema["type"];
    bool ok = false;
    if (t.is_string()) ok = HasType(value, t);
    for (const json& one : t.is_array() ? t : json::array()) ok = ok || HasType(value, one);
    if (!ok) return where + ": " + value.dump() + " is not of type " + t.dump();
  }
  if (schema.contains("const") && value != schema["const"])
    return where + ": " + value.dump() + " is not " + schema["const"].dump();
  if (schema.contains("enum")) {
    bool found = false;
    for (const json& e : schema["enum"]) found = found || e == value;
    if (!found) return where + ": " + value.dump() + " is not one of " + schema["enum"].dump();
  }
  if (value.is_number()) {
    if (schema.contains("minimum") && value.get<double>() < schema["minimum"].get<double>())
      return where + ": " + value.dump() + " is below the minimum";
    if (schema.contains("maximum") && value.get<double>() > schema["maximum"].get<double>())
      return where + ": " + value.dump() + " is above the maximum";
  }
  if (value.is_string() && schema.contains("pattern") &&
      !std::regex_search(value.get<std::string>(), std::regex(schema["pattern"].get<std::string>())))
    return where + ": " + value.dump() + " does not match " + schema["pattern"].dump();
  if (value.is_object()) {
    for (const json& name : schema.value("required", json::array()))
      if (!value.contains(name.get<std::string>())) return where + ": lacks " + name.dump();
    const json properties = schema.value("properties", json::object());
    for (const auto& [name, member] : value.items()) {
      if (properties.contains(name)) {
        const std::string m = SchemaMismatch(member, properties[name], root, where + "." + name);
        if (!m.empty()) return m;
      } else if (schema.value("additionalProperties", true) == false) {
        return where + ": has " + name + ", which the schema does not know";
      }
    }
  }
  if (value.is_array() && schema.contains("items")) {
    for (std::size_t i = 0; i < value.size(); ++i) {
      const std::string m =
          SchemaMismatch(value[i], schema["items"], root, where + "[" + std::to_string(i) + "]");
      if (!m.empty()) return m;
    }
  }
  return {};
}

}  // namespace quorvane::testing

#include <fstream>
#include <sstream>

namespace quorvane::testing {

std::string CliJsonLinesMismatch(const std::string& text) {
  std::ifstream file(QUORVANE_DOCS_DIR "/cli-json.schema.json");
  if (!file) return "the schema cannot be read";
  const nlohmann::json schema = nlohmann::json::parse(file);
  std::istringstream lines(text);
  std::size_t n = 0;
  for (std::string line; std::getline(lines, line);) {
    ++n;
    nlohmann::json value;
    try {
      value = nlohmann::json::parse(line);
    } catch (const std::exception& e) {
      return "line " + std::to_string(n) + " is no JSON: " + line;
    }
    const std::string m = SchemaMismatch(value, schema, schema);
    if (!m.empty()) return "line " + std::to_string(n) + ": " + m + "\n" + line;
  }
  return n == 0 ? "no line" : "";
}

}  // namespace quorvane::testing
