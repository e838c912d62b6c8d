// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// CRC-32C: the standard check values, and the same sum however the bytes are split.
#include "common/crc32c.h"

#include <gtest/gtest.h>

#include <string>

namespace quorvane::testing {
namespace {

TEST(Crc32c, GivesTheStandardCheckValues) {
  struct TCase {
    std::string bytes;
    std::uint32_t crc;
  };
  const TCase cases[] = {
      {"", 0x00000000u},
      {"123456789", 0xE3069283u},
      {std::string(32, '\0'), 0x8A9136AAu},
      {std::string(32, '\xFF'), 0x62A8AB43u},
  };
  for (const TCase& c : cases)
    EXPECT_EQ(Crc32c(0, c.bytes.data(), c.bytes.size()), c.crc) << c.bytes.size();
}

TEST(Crc32c, PiecesFedOneAfterAnotherGiveTheSumOfTheWhole) {
  std::string bytes;
  for (int i = 0; i < 1000; ++i) bytes += static_cast<char>(i * 37 + (i >> 3));
  const std::uint32_t whole = Crc32c(0, bytes.data(), bytes.size());
  for (std::size_t cut : {1u, 3u, 7u, 8u, 9u, 500u, 999u}) {
    const std::uint32_t first = Crc32c(0, bytes.data(), cut);
    EXPECT_EQ(Crc32c(first, bytes.data() + cut, bytes.size() - cut), whole) << cut;
  }
}

}  // namespace
}  // namespace quorvane::testing
