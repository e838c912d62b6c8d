// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The digest lane: what passes through its ring is digested whole and in order, however
// fast the caller refills the buffers, and it can be left half way.
#include "archive/digest_lane.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace quorvane::testing {
namespace {

std::string Bytes(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 2654435761u) >> 11);
  return bytes;
}

TEST(DigestLane, DigestsEveryBlockInOrderWhileTheBuffersAreRefilled) {
  constexpr std::size_t kBlock = 64u << 10;
  const std::string bytes = Bytes(300 * kBlock + 1234);
  TWriteDigest serial;
  serial.Add(bytes.data(), bytes.size(), 0);
  const TWrittenFile expected = serial.Finish("f");
  for (std::size_t slots : {2u, 3u}) {
    TWriteDigest digest;
    {
      TDigestLane lane(&digest, slots, kBlock);
      ASSERT_TRUE(lane.Ready());
      for (std::size_t at = 0; at < bytes.size(); at += kBlock) {
        char* buffer = lane.NextBuffer();
        // A buffer handed out while the digest still read it would change under it.
        std::memset(buffer, 0x5A, kBlock);
        const std::size_t length = std::min(kBlock, bytes.size() - at);
        std::memcpy(buffer, bytes.data() + at, length);
        lane.Hand(buffer, length, at);
      }
      ASSERT_TRUE(lane.Drain());
    }
    const TWrittenFile file = digest.Finish("f");
    EXPECT_EQ(file.Sha256, expected.Sha256) << slots;
    EXPECT_EQ(file.BlockSums, expected.BlockSums) << slots;
    EXPECT_EQ(file.Size, bytes.size());
  }
}

TEST(DigestLane, CanBeLeftWithBlocksStillToDigestAndWorksWithoutADigest) {
  constexpr std::size_t kBlock = 1u << 20;
  const std::string bytes = Bytes(kBlock);
  TWriteDigest digest;
  {
    TDigestLane lane(&digest, 3, kBlock);
    for (int i = 0; i < 3; ++i) {
      char* buffer = lane.NextBuffer();
      std::memcpy(buffer, bytes.data(), kBlock);
      lane.Hand(buffer, kBlock, static_cast<std::uint64_t>(i) * kBlock);
    }
  }  // a cancelled copy: the lane goes without Drain
  EXPECT_EQ(digest.Size(), 3 * kBlock);

  TDigestLane plain(nullptr, 3, kBlock);
  ASSERT_TRUE(plain.Ready());
  char* first = plain.NextBuffer();
  plain.Hand(first, kBlock, 0);
  EXPECT_EQ(plain.NextBuffer(), first);  // one buffer, nothing to wait for
  EXPECT_TRUE(plain.Drain());
}

}  // namespace
}  // namespace quorvane::testing
