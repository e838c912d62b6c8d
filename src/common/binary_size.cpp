// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "common/binary_size.h"

#include <cstdio>

namespace quorvane {

std::string BinarySizeText(std::int64_t bytes) {
  if (bytes < 0) return "unknown";
  char text[48];
  const double b = static_cast<double>(bytes);
  if (bytes >= (1LL << 30)) {
    std::snprintf(text, sizeof text, "%.2f GiB", b / (1LL << 30));
  } else if (bytes >= (1LL << 20)) {
    std::snprintf(text, sizeof text, "%.2f MiB", b / (1LL << 20));
  } else if (bytes >= (1LL << 10)) {
    std::snprintf(text, sizeof text, "%.0f KiB", b / (1LL << 10));
  } else {
    std::snprintf(text, sizeof text, "%lld bytes", static_cast<long long>(bytes));
  }
  return text;
}

}  // namespace quorvane
