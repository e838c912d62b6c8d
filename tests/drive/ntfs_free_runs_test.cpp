// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// Free runs read from cluster bitmaps, and the runs that the files of a burn take.
#include <gtest/gtest.h>

#include "drive/ntfs_free_runs.h"

namespace quorvane::testing {
namespace {

// A bitmap from a picture of its clusters: '#' in use, '.' free.
std::vector<std::uint8_t> Bitmap(const std::string& picture) {
  std::vector<std::uint8_t> bytes((picture.size() + 7) / 8, 0xFF);
  for (std::size_t i = 0; i < picture.size(); ++i)
    if (picture[i] == '.') bytes[i / 8] &= static_cast<std::uint8_t>(~(1u << (i % 8)));
  return bytes;
}

TEST(FreeRunScanner, FindsTheRunsOfABitmap) {
  struct TCase {
    const char* Name;
    std::string Picture;
    std::uint64_t Min;
    std::vector<TClusterRun> Runs;
  };
  const std::vector<TCase> cases{
      {"all in use", "################", 1, {}},
      {"all free", "................", 1, {{0, 16}}},
      {"runs across byte edges", "###.....#.....##....", 1, {{3, 5}, {9, 5}, {16, 4}}},
      {"a run to the last cluster", "##########......", 1, {{10, 6}}},
      {"short runs dropped, the largest kept", "#..#...#.#", 4, {{4, 3}}},
      {"whole free bytes", "#" + std::string(40, '.') + "#", 1, {{1, 40}}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::vector<std::uint8_t> bitmap = Bitmap(c.Picture);
    TFreeRunScanner scanner(c.Picture.size(), c.Min);
    // Fed a byte at a time, as a bitmap read in pieces is.
    for (std::uint8_t byte : bitmap) scanner.Add(&byte, 1);
    EXPECT_EQ(scanner.Finish(), c.Runs);
  }
}

TEST(FreeRunScanner, IgnoresTheBitsBeyondTheVolume) {
  // The bitmap's last byte is padded with free bits that name no cluster.
  const std::uint8_t bitmap[] = {0x00, 0x00};
  TFreeRunScanner scanner(12, 1);
  scanner.Add(bitmap, sizeof bitmap);
  EXPECT_EQ(scanner.Finish(), (std::vector<TClusterRun>{{0, 12}}));
}

TEST(PlanRuns, PlacesTheFilesInTheirOrder) {
  const std::vector<TClusterRun> runs{{100, 50}, {300, 200}, {600, 100}};
  struct TCase {
    const char* Name;
    std::vector<TRunNeed> Needs;
    std::string Refusal;
  };
  const std::uint32_t cluster = 1u << 20;  // a MiB, for readable messages
  const std::vector<TCase> cases{
      {"each in a run", {{"a.iso", 150u << 20, true}, {"b.iso", 90u << 20, true}}, ""},
      // The smallest run that holds a file takes it, so the large one stays for later.
      {"small first, large after", {{"a.iso", 40u << 20, true}, {"b.iso", 200u << 20, true}}, ""},
      {"too large for any run",
       {{"win10.iso", 201u << 20, true}},
       "Not enough contiguous free space on USB drive for win10.iso (needs 201 MiB, the largest "
       "free run is 200 MiB)"},
      {"the run taken by the entry before",
       {{"a.iso", 180u << 20, true}, {"b.iso", 120u << 20, true}},
       "Not enough contiguous free space on USB drive for b.iso (needs 120 MiB, the largest free "
       "run is 100 MiB)"},
      {"a file that may lie in pieces is no refusal",
       {{"ubuntu.iso", 500u << 20, false}, {"a.iso", 200u << 20, true}}, ""},
      {"a need just above a run is rounded up",
       {{"a.iso", (200u << 20) + 1, true}},
       "Not enough contiguous free space on USB drive for a.iso (needs 201 MiB, the largest free "
       "run is 200 MiB)"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    EXPECT_EQ(PlanRuns(runs, cluster, c.Needs), c.Refusal);
  }
}

}  // namespace
}  // namespace quorvane::testing
