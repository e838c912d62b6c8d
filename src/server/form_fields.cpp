// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "server/form_fields.h"

#include "common/text.h"

namespace quorvane {

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string DecodeFormComponent(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '+') {
      out.push_back(' ');
    } else if (c == '%' && i + 2 < text.size() && HexDigit(text[i + 1]) >= 0 && HexDigit(text[i + 2]) >= 0) {
      out.push_back(static_cast<char>(HexDigit(text[i + 1]) * 16 + HexDigit(text[i + 2])));
      i += 2;
    } else {
      out.push_back(c);
    }
  }
  return out;
}

TFormFields TFormFields::Parse(const std::string& body) {
  TFormFields fields;
  std::size_t start = 0;
  while (start <= body.size()) {
    std::size_t end = body.find('&', start);
    if (end == std::string::npos) end = body.size();
    const std::string pair = body.substr(start, end - start);
    if (!pair.empty()) {
      const std::size_t equals = pair.find('=');
      if (equals == std::string::npos)
        fields.Add(DecodeFormComponent(pair), "");
      else
        fields.Add(DecodeFormComponent(pair.substr(0, equals)),
                   DecodeFormComponent(pair.substr(equals + 1)));
    }
    start = end + 1;
  }
  return fields;
}

std::size_t TFormFields::CountFields(const std::string& body) {
  std::size_t count = 0;
  std::size_t start = 0;
  while (start <= body.size()) {
    std::size_t end = body.find('&', start);
    if (end == std::string::npos) end = body.size();
    if (end > start) ++count;
    start = end + 1;
  }
  return count;
}

void TFormFields::Add(std::string name, std::string value) {
  FIndex.try_emplace(LowerAscii(name), FFields.size());
  FFields.emplace_back(std::move(name), std::move(value));
}

const std::string* TFormFields::Find(const std::string& name) const {
  const auto it = FIndex.find(LowerAscii(name));
  return it == FIndex.end() ? nullptr : &FFields[it->second].second;
}

bool TFormFields::Has(const std::string& name) const { return Find(name) != nullptr; }

std::string TFormFields::Get(const std::string& name) const {
  const std::string* value = Find(name);
  return value ? *value : std::string();
}

}  // namespace quorvane
