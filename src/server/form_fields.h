// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The form fields of a request body (name=value pairs joined by "&", percent escapes and
// "+" decoded), in the order they arrived.
#pragma once

#include <cstddef>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace quorvane {

class TFormFields {
 public:
  TFormFields() = default;
  // Parses an application/x-www-form-urlencoded body.
  static TFormFields Parse(const std::string& body);
  // The number of fields a body holds, counted without decoding it.
  static std::size_t CountFields(const std::string& body);

  // The first field whose name equals `name` without regard to letter case; empty when
  // there is none.
  std::string Get(const std::string& name) const;
  bool Has(const std::string& name) const;
  const std::vector<std::pair<std::string, std::string>>& All() const { return FFields; }
  void Add(std::string name, std::string value);

 private:
  // The value of the first field named `name` without regard to letter case.
  const std::string* Find(const std::string& name) const;

  std::vector<std::pair<std::string, std::string>> FFields;
  // Lower-case name to the index of its first field: a lookup costs the same whatever
  // the number of fields.
  std::unordered_map<std::string, std::size_t> FIndex;
};

// Decodes percent escapes and "+"; a malformed escape is kept as it is.
std::string DecodeFormComponent(const std::string& text);

}  // namespace quorvane
