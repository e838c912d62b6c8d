// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// A small JSON value that keeps object members in the order they were added, with the two
// text forms the program writes: the escaped, pure-ASCII form of the control server's
// replies and the plain form of the requests to the remote service.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace quorvane {

class TJsonValue {
 public:
  enum class TKind { String, Object, Array };

  // An empty object.
  TJsonValue() = default;
  static TJsonValue String(std::string text);
  static TJsonValue Object();
  static TJsonValue Array();

  TKind Kind() const { return FKind; }
  const std::string& Text() const { return FText; }
  const std::vector<std::pair<std::string, TJsonValue>>& Members() const { return FMembers; }
  const std::vector<TJsonValue>& Elements() const { return FElements; }

  // Object members. A status member is always added; a data member is left out when its
  // key or its value is the empty text.
  TJsonValue& AddStatus(const std::string& key, const std::string& value);
  TJsonValue& AddData(const std::string& key, const std::string& value);
  // Adds an object or array value under `key`.
  TJsonValue& AddValue(const std::string& key, TJsonValue value);
  // Array elements.
  TJsonValue& Append(TJsonValue element);

  // Compact; in strings '"', '\' and '/' get a backslash, control characters their short
  // escapes or \u00XX, and everything outside U+0020..U+007F \uXXXX (upper-case hex of
  // its UTF-16 code units). The result is pure ASCII.
  std::string ToEscapedJson() const;
  // Compact; in strings only '"' gets a backslash, everything else is written as it is.
  std::string ToPlainJson() const;

 private:
  template <typename WriteString>
  void Write(std::string& out, const WriteString& write_string) const;

  TKind FKind = TKind::Object;
  std::string FText;
  std::vector<std::pair<std::string, TJsonValue>> FMembers;
  std::vector<TJsonValue> FElements;
};

// The string forms on their own, quotes included.
std::string EscapedJsonString(const std::string& text);
std::string PlainJsonString(const std::string& text);

// The text as UTF-16 code units: UTF-8 decoded, an invalid byte read as U+FFFD.
std::u16string Utf8ToUtf16(const std::string& text);

}  // namespace quorvane
