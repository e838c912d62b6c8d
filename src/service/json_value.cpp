// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "service/json_value.h"

#include <cstdint>

#include "common/utf8.h"

namespace quorvane {

TJsonValue TJsonValue::String(std::string text) {
  TJsonValue value;
  value.FKind = TKind::String;
  value.FText = std::move(text);
  return value;
}

TJsonValue TJsonValue::Object() { return TJsonValue(); }

TJsonValue TJsonValue::Array() {
  TJsonValue value;
  value.FKind = TKind::Array;
  return value;
}

TJsonValue& TJsonValue::AddStatus(const std::string& key, const std::string& value) {
  FMembers.emplace_back(key, String(value));
  return *this;
}

TJsonValue& TJsonValue::AddData(const std::string& key, const std::string& value) {
  if (key.empty() || value.empty()) return *this;
  return AddStatus(key, value);
}

TJsonValue& TJsonValue::AddValue(const std::string& key, TJsonValue value) {
  FMembers.emplace_back(key, std::move(value));
  return *this;
}

TJsonValue& TJsonValue::Append(TJsonValue element) {
  FElements.push_back(std::move(element));
  return *this;
}

std::u16string Utf8ToUtf16(const std::string& text) {
  std::u16string out;
  out.reserve(text.size());
  for (char32_t code : CodePointsOfUtf8(text)) {
    if (code >= 0x10000) {
      code -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(code));
    }
  }
  return out;
}

std::string EscapedJsonString(const std::string& text) {
  static const char* const kHex = "0123456789ABCDEF";
  std::string out = "\"";
  for (char16_t unit : Utf8ToUtf16(text)) {
    switch (unit) {
      case u'"': out += "\\\""; continue;
      case u'\\': out += "\\\\"; continue;
      case u'/': out += "\\/"; continue;
      case u'\b': out += "\\b"; continue;
      case u'\t': out += "\\t"; continue;
      case u'\n': out += "\\n"; continue;
      case u'\f': out += "\\f"; continue;
      case u'\r': out += "\\r"; continue;
      default: break;
    }
    if (unit >= 0x20 && unit <= 0x7F) {
      out.push_back(static_cast<char>(unit));
      continue;
    }
    out += "\\u";
    for (int shift = 12; shift >= 0; shift -= 4) out.push_back(kHex[(unit >> shift) & 0xF]);
  }
  out.push_back('"');
  return out;
}

std::string PlainJsonString(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"') out.push_back('\\');
    out.push_back(c);
  }
  out.push_back('"');
  return out;
}

template <typename WriteString>
void TJsonValue::Write(std::string& out, const WriteString& write_string) const {
  switch (FKind) {
    case TKind::String:
      out += write_string(FText);
      return;
    case TKind::Object: {
      out.push_back('{');
      bool first = true;
      for (const auto& [key, value] : FMembers) {
        if (!first) out.push_back(',');
        first = false;
        out += write_string(key);
        out.push_back(':');
        value.Write(out, write_string);
      }
      out.push_back('}');
      return;
    }
    case TKind::Array: {
      out.push_back('[');
      bool first = true;
      for (const TJsonValue& element : FElements) {
        if (!first) out.push_back(',');
        first = false;
        element.Write(out, write_string);
      }
      out.push_back(']');
      return;
    }
  }
}

std::string TJsonValue::ToEscapedJson() const {
  std::string out;
  Write(out, EscapedJsonString);
  return out;
}

std::string TJsonValue::ToPlainJson() const {
  std::string out;
  Write(out, PlainJsonString);
  return out;
}

}  // namespace quorvane
