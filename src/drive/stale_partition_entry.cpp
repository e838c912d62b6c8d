// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "drive/stale_partition_entry.h"

#include <cstdint>
#include <cstring>

namespace quorvane {

namespace {

constexpr int kTableAt = 446;
constexpr int kEntrySize = 16;

std::uint64_t Le32(const unsigned char* p) {
  return static_cast<std::uint64_t>(p[0]) | static_cast<std::uint64_t>(p[1]) << 8 |
         static_cast<std::uint64_t>(p[2]) << 16 | static_cast<std::uint64_t>(p[3]) << 24;
}

}  // namespace

int ClearStalePartitionEntries(unsigned char* sector0) {
  const unsigned char* first = sector0 + kTableAt;
  const std::uint64_t first_start = Le32(first + 8), first_end = first_start + Le32(first + 12);
  if (first[4] == 0 || first_end == first_start) return 0;
  int cleared = 0;
  for (int i = 1; i < 4; ++i) {
    unsigned char* e = sector0 + kTableAt + kEntrySize * i;
    const std::uint64_t start = Le32(e + 8), sectors = Le32(e + 12);
    if (e[4] != 0 || sectors == 0) continue;
    if (start < first_start || start + sectors > first_end) continue;
    std::memset(e, 0, kEntrySize);
    ++cleared;
  }
  return cleared;
}

}  // namespace quorvane
