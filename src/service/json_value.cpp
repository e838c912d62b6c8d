#include "service/json_value.h"

#include <cstdint>

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
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t n = text.size();
  std::size_t i = 0;
  while (i < n) {
    const unsigned char c = s[i];
    std::uint32_t code = 0xFFFD;
    std::size_t length = 1;
    std::size_t extra = 0;
    std::uint32_t minimum = 0;
    if (c < 0x80) {
      code = c;
    } else if ((c & 0xE0) == 0xC0) {
      extra = 1, code = c & 0x1F, minimum = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
      extra = 2, code = c & 0x0F, minimum = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
      extra = 3, code = c & 0x07, minimum = 0x10000;
    }
    if (extra > 0) {
      bool valid = i + extra < n;
      for (std::size_t k = 1; valid && k <= extra; ++k) {
        if ((s[i + k] & 0xC0) != 0x80) valid = false;
        else code = (code << 6) | (s[i + k] & 0x3F);
      }
      if (valid && code >= minimum && code <= 0x10FFFF && !(code >= 0xD800 && code <= 0xDFFF)) {
        length = extra + 1;
      } else {
        code = 0xFFFD;
      }
    }
    if (code >= 0x10000) {
      code -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(code));
    }
    i += length;
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
