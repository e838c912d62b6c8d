// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "server/tcp_table.h"

#include <charconv>

namespace quorvane {

namespace {

bool SameHex(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'f') x = static_cast<char>(x - 'a' + 'A');
    if (y >= 'a' && y <= 'f') y = static_cast<char>(y - 'a' + 'A');
    if (x != y) return false;
  }
  return true;
}

// The next field of `line` separated by blanks; empty at the end.
std::string_view NextField(std::string_view& line) {
  std::size_t start = line.find_first_not_of(" \t");
  if (start == std::string_view::npos) return line = {}, std::string_view();
  line.remove_prefix(start);
  const std::size_t end = line.find_first_of(" \t");
  const std::string_view field = line.substr(0, end);
  line.remove_prefix(end == std::string_view::npos ? line.size() : end);
  return field;
}

}  // namespace

std::optional<uid_t> TcpSocketOwner(std::string_view table, std::string_view local,
                                    std::string_view remote) {
  while (!table.empty()) {
    const std::size_t end = table.find('\n');
    std::string_view line = table.substr(0, end);
    table.remove_prefix(end == std::string_view::npos ? table.size() : end + 1);
    // sl local_address rem_address st tx_queue:rx_queue tr:tm->when retrnsmt uid ...
    const std::string_view slot = NextField(line);
    if (slot.empty() || slot.back() != ':') continue;  // the heading, or not a row
    if (!SameHex(NextField(line), local) || !SameHex(NextField(line), remote)) continue;
    for (int skip = 0; skip < 4; ++skip) NextField(line);
    const std::string_view uid_text = NextField(line);
    unsigned long uid = 0;
    const auto [rest, ec] = std::from_chars(uid_text.data(), uid_text.data() + uid_text.size(), uid);
    if (uid_text.empty() || ec != std::errc() || rest != uid_text.data() + uid_text.size())
      return std::nullopt;
    return static_cast<uid_t>(uid);
  }
  return std::nullopt;
}

}  // namespace quorvane
