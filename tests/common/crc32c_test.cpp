// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// CRC-32C: the standard check values, and the same sum however the bytes are split.
#include "common/crc32c.h"

#include <gtest/gtest.h>

#include <algorithm>
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

// Long stretches are summed over three lanes at once and the lanes' sums joined: the
// result must be the one of the same bytes fed a few at a time.
TEST(Crc32c, LongStretchesGiveTheSumOfTheirBytesFedAFewAtATime) {
  std::string bytes;
  for (std::size_t i = 0; i < (1u << 20) + 12345; ++i)
    bytes += static_cast<char>((i * 2654435761u) >> 13);
  for (std::size_t length : {std::size_t{3} << 16, (std::size_t{3} << 16) + 5, bytes.size()}) {
    std::uint32_t pieces = 0;
    for (std::size_t at = 0; at < length; at += 1000)
      pieces = Crc32c(pieces, bytes.data() + at, std::min<std::size_t>(1000, length - at));
    EXPECT_EQ(Crc32c(0, bytes.data(), length), pieces) << length;
  }
}

}  // namespace
}  // namespace quorvane::testing
