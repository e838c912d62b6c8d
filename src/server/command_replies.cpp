// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "server/command_replies.h"

#include <climits>

namespace quorvane {

TJsonValue StatusReply(const std::string& key, const std::string& text) {
  TJsonValue reply;
  reply.AddStatus(key, text);
  return reply;
}

TJsonValue DataReply(const std::string& key, const std::string& text) {
  TJsonValue reply;
  reply.AddData(key, text);
  return reply;
}

bool ParseWholeNumber(const std::string& text, std::int32_t& value) {
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i == text.size()) return false;
  long long number = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    number = number * 10 + (text[i] - '0');
    if (number > static_cast<long long>(INT_MAX) + 1) return false;
  }
  if (negative) number = -number;
  if (number < INT_MIN || number > INT_MAX) return false;
  value = static_cast<std::int32_t>(number);
  return true;
}

}  // namespace quorvane
