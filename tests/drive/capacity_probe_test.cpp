// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The capacity check on in-memory drives: honest ones pass, drives that hold less than
// they claim are found with about the size they really hold, and every block's former
// contents are back afterwards, also when the check is cancelled or the drive goes away.
#include "drive/capacity_probe.h"

#include <gtest/gtest.h>

#include "drive/capacity_check.h"
#include "memory_disk.h"

namespace quorvane::testing {
namespace {

constexpr std::int64_t kMiB = 1LL << 20;
constexpr std::int64_t kGiB = 1LL << 30;

struct TProbeCase {
  const char* Name;
  std::int64_t Claimed;
  std::int64_t Real;
  TFakeKind Kind;
  std::uint32_t BlockSize = 512;
};

void PrintTo(const TProbeCase& c, std::ostream* out) { *out << c.Name; }

class CapacityProbeCases : public ::testing::TestWithParam<TProbeCase> {};

TEST_P(CapacityProbeCases, FindsWhatTheDriveReallyHolds) {
  const TProbeCase& c = GetParam();
  TMemoryDisk disk(c.Claimed, c.Real, c.Kind, c.BlockSize);
  std::vector<int> progress;
  TCapacityProbeOptions options;
  options.Seed = 20260101;
  const TCapacityProbeResult r =
      ProbeCapacity(disk, options, nullptr, [&](int p) { progress.push_back(p); });
  EXPECT_EQ(r.ClaimedBytes, c.Claimed);
  EXPECT_EQ(r.Error, "");
  if (c.Kind == TFakeKind::Honest) {
    EXPECT_EQ(r.Verdict, TCapacityVerdict::Honest);
    EXPECT_EQ(r.GoodBytes, c.Claimed);
    EXPECT_EQ(CapacityCheckMessage(r), "");
  } else {
    EXPECT_EQ(r.Verdict, TCapacityVerdict::Fake) << r.FirstBadDetail;
    // About the real size: never more, and short of it by little.
    EXPECT_LE(r.GoodBytes, c.Real);
    EXPECT_GE(r.GoodBytes, c.Real - 16 * kMiB - 2 * options.BlockBytes);
    EXPECT_GE(r.FirstBadOffset, c.Real - static_cast<std::int64_t>(options.BlockBytes));
    EXPECT_EQ(CapacityCheckMessage(r).rfind(CapacityShortfallMessage(r.GoodBytes, c.Claimed), 0),
              0u)
        << CapacityCheckMessage(r);
  }
  // Quick: a few hundred blocks, whatever the drive does.
  EXPECT_LE(r.BlocksChecked, 800);
  // What the drive really holds is as it was.
  EXPECT_EQ(disk.ChangedStorage(), std::vector<std::int64_t>{});
  EXPECT_EQ(r.RestoreError, "");
  ASSERT_FALSE(progress.empty());
  EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
  EXPECT_EQ(progress.back(), 100);
}

INSTANTIATE_TEST_SUITE_P(
    Drives, CapacityProbeCases,
    ::testing::Values(
        TProbeCase{"Honest64G", 64 * kGiB, 0, TFakeKind::Honest},
        TProbeCase{"HonestOddSize", 15'664'676'864LL, 0, TFakeKind::Honest},
        TProbeCase{"Honest4KSectors", 8 * kGiB, 0, TFakeKind::Honest, 4096},
        TProbeCase{"HonestSmallImage", 48 * kMiB, 0, TFakeKind::Honest},
        // Addresses wrap around a power-of-two module.
        TProbeCase{"Wraps4Of64G", 64 * kGiB, 4 * kGiB, TFakeKind::Wraps},
        TProbeCase{"Wraps8OfOdd60G", 60 * kGiB + 123 * kMiB, 8 * kGiB, TFakeKind::Wraps},
        TProbeCase{"Wraps16Of32G4KSectors", 32 * kGiB, 16 * kGiB, TFakeKind::Wraps, 4096},
        // A module smaller than the first pass's step: every block lands on the first.
        TProbeCase{"Wraps1Of2T", 2048 * kGiB, 1 * kGiB, TFakeKind::Wraps},
        TProbeCase{"Wraps64MOf8G", 8 * kGiB, 64 * kMiB, TFakeKind::Wraps},
        // A module that is a multiple of the step but no power of two.
        TProbeCase{"Wraps12Of64G", 64 * kGiB, 12 * kGiB, TFakeKind::Wraps},
        // Past the real size the drive reads zeros, keeps its old bytes, or refuses.
        TProbeCase{"Zeros7_5Of32G", 32 * kGiB, 7 * kGiB + 512 * kMiB, TFakeKind::Zeros},
        TProbeCase{"Drops8GBOf128G", 128 * kGiB, 8'000'000'000LL, TFakeKind::DropsWrites},
        TProbeCase{"DropsNearTheEnd", 16 * kGiB, 16 * kGiB - 200 * kMiB, TFakeKind::DropsWrites},
        TProbeCase{"DropsOnlyTheLastBlock", 4 * kGiB, 4 * kGiB - 64 * 1024, TFakeKind::DropsWrites},
        TProbeCase{"Refuses3Of16G", 16 * kGiB, 3 * kGiB + 7 * kMiB, TFakeKind::Refuses},
        TProbeCase{"HoldsAlmostNothing", 16 * kGiB, 1 * kMiB, TFakeKind::Zeros}),
    [](const ::testing::TestParamInfo<TProbeCase>& info) { return std::string(info.param.Name); });

TEST(CapacityProbe, TheSameDriveGivesOtherStampsEachRun) {
  // A drive that kept the blocks of an earlier check must not pass on them.
  TMemoryDisk disk(1 * kGiB, 512 * kMiB, TFakeKind::DropsWrites);
  const TCapacityProbeResult first = ProbeCapacity(disk, {}, nullptr, {});
  const TCapacityProbeResult second = ProbeCapacity(disk, {}, nullptr, {});
  EXPECT_EQ(first.Verdict, TCapacityVerdict::Fake);
  EXPECT_EQ(second.Verdict, TCapacityVerdict::Fake);
}

TEST(CapacityProbe, AnAliasedBlockNamesTheBlockItSharesStorageWith) {
  TMemoryDisk disk(64 * kGiB, 4 * kGiB, TFakeKind::Wraps);
  const TCapacityProbeResult r = ProbeCapacity(disk, {}, nullptr, {});
  ASSERT_EQ(r.Verdict, TCapacityVerdict::Fake);
  EXPECT_EQ(r.FirstBadOffset, 4 * kGiB);
  EXPECT_EQ(r.FirstBadDetail, "shares its storage with byte 0");
  EXPECT_EQ(CapacityCheckMessage(r),
            "This drive holds only about " + GiBText(r.GoodBytes) +
                " GiB of the 64.0 GiB it claims: the block at byte 4294967296 shares its storage "
                "with byte 0. The drive was not repartitioned.");
}

TEST(CapacityProbe, CancelledHalfwayLeavesTheDriveAsItWas) {
  for (const TFakeKind kind : {TFakeKind::Honest, TFakeKind::Wraps}) {
    TMemoryDisk disk(32 * kGiB, 2 * kGiB, kind);
    std::atomic<bool> cancel{false};
    const TCapacityProbeResult r = ProbeCapacity(disk, {}, &cancel, [&](int p) {
      if (p >= 30) cancel = true;  // in the middle of the writes
    });
    EXPECT_EQ(r.Verdict, TCapacityVerdict::Cancelled);
    EXPECT_GT(disk.Writes, 0);
    EXPECT_EQ(disk.ChangedStorage(), std::vector<std::int64_t>{});
    EXPECT_EQ(CapacityCheckMessage(r),
              "The capacity check was cancelled. The drive was not repartitioned.");
  }
}

TEST(CapacityProbe, ADriveThatGoesAwayFailsTheCheck) {
  TMemoryDisk disk(8 * kGiB, 0, TFakeKind::Honest);
  disk.FailWritesAfter = 40;
  const TCapacityProbeResult r = ProbeCapacity(disk, {}, nullptr, {});
  EXPECT_EQ(r.Verdict, TCapacityVerdict::Failed);
  EXPECT_EQ(r.Error, "No such device");
  EXPECT_EQ(CapacityCheckMessage(r),
            "The capacity check failed: No such device. The drive was not repartitioned.");
}

TEST(CapacityProbe, ADriveSmallerThanOneBlockCannotBeChecked) {
  TMemoryDisk disk(32 * 1024, 0, TFakeKind::Honest);
  const TCapacityProbeResult r = ProbeCapacity(disk, {}, nullptr, {});
  EXPECT_EQ(r.Verdict, TCapacityVerdict::Failed);
  EXPECT_EQ(disk.Writes, 0);
}

TEST(CapacityProbe, ShortfallMessage) {
  EXPECT_EQ(CapacityShortfallMessage(4 * kGiB - 64 * kMiB, 64'000'000'000LL),
            "This drive holds only about 3.9 GiB of the 59.6 GiB it claims");
  EXPECT_EQ(CapacityShortfallMessage(0, 16 * kGiB),
            "This drive holds only about 0.0 GiB of the 16.0 GiB it claims");
}

}  // namespace
}  // namespace quorvane::testing
