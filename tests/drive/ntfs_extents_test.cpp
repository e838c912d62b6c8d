// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The pieces of a file on an ntfs-3g volume, read from ntfsinfo's dump (captured from
// ntfs-3g 2022.10.3's ntfsinfo --force --verbose --inode N).
#include <gtest/gtest.h>

#include "drive/linux_ntfs_extents.h"

namespace quorvane {
namespace {

// The dump's tail: the attributes before $DATA are cut, except for a named stream's.
std::string DataDump(const std::string& flags, const std::string& size, const std::string& runs,
                     const std::string& resident = "No") {
  return "Dumping attribute $FILE_NAME (0x30) from mft record 64 (0x40)\n"
         "\tResident: \t\t Yes\n"
         "\tFile name: \t\t 'a.bin'\n"
         "Dumping attribute $DATA (0x80) from mft record 64 (0x40)\n"
         "\tAttribute length:\t 72 (0x48)\n"
         "\tResident: \t\t " +
         resident +
         "\n"
         "\tName length:\t\t 0 (0x0)\n"
         "\tName offset:\t\t 64 (0x40)\n"
         "\tAttribute flags:\t " +
         flags +
         "\n"
         "\tAttribute instance:\t 2 (0x2)\n"
         "\tLowest VCN\t\t 0 (0x0)\n"
         "\tHighest VCN:\t\t 25599 (0x63ff)\n"
         "\tMapping pairs offset:\t 64 (0x40)\n"
         "\tCompression unit:\t 0 (0x0)\n"
         "\tData size:\t\t " +
         size +
         "\n"
         "\tAllocated size:\t\t " +
         size +
         "\n"
         "\tInitialized size:\t " +
         size +
         "\n"
         "\tRunlist:\tVCN\t\tLCN\t\tLength\n" +
         runs +
         "End of inode reached\n"
         "Total runs: 1 (fragments: 1)\n";
}

TEST(NtfsInfoDataRuns, ThePiecesOfTheDataStreamInBytes) {
  std::vector<TFileExtent> extents;
  ASSERT_TRUE(ParseNtfsInfoDataRuns(
      DataDump("0x0000", "104857600 (0x6400000)", "\t\t\t0x0\t\t0x4b6d\t\t0x6400\n"), 104857600,
      extents));
  ASSERT_EQ(extents.size(), 1u);
  EXPECT_EQ(extents[0].logical, 0u);
  EXPECT_EQ(extents[0].physical, 0x4b6dULL * 4096);
  EXPECT_EQ(extents[0].length, 104857600u);
  EXPECT_EQ(ContiguityOf(extents), TContiguity::Contiguous);

  // 2 GiB on a 3 GiB volume: the log file in the volume's middle splits it.
  ASSERT_TRUE(ParseNtfsInfoDataRuns(DataDump("0x0000", "2147483648 (0x80000000)",
                                             "\t\t\t0x0\t\t0x18080\t\t0x47f7f\n"
                                             "\t\t\t0x47f7f\t\t0x60f5c\t\t0x38081\n"),
                                    2147483648ULL, extents));
  ASSERT_EQ(extents.size(), 2u);
  EXPECT_EQ(ContiguityOf(extents), TContiguity::Fragmented);
}

TEST(NtfsInfoDataRuns, WhatCannotBeMappedIsNotAnswered) {
  struct TCase {
    const char* name;
    std::string dump;
    std::uint64_t size;
  };
  const std::string one_run = "\t\t\t0x0\t\t0x4b6d\t\t0x6400\n";
  const TCase cases[] = {
      {"another size", DataDump("0x0000", "104857600 (0x6400000)", one_run), 104857601},
      {"sparse",
       DataDump("0x8000", "10485760 (0xa00000)",
                "\t\t\t0x0\t\t<HOLE>\t\t0x4c4\n\t\t\t0x4c4\t\t0x3400\t\t0x1\n"
                "\t\t\t0x4c5\t\t<HOLE>\t\t0x53b\n"),
       10485760},
      {"a hole", DataDump("0x0000", "10485760 (0xa00000)", "\t\t\t0x0\t\t<HOLE>\t\t0xa00\n"),
       10485760},
      {"compressed", DataDump("0x0001", "104857600 (0x6400000)", one_run), 104857600},
      {"resident", DataDump("0x0000", "3 (0x3)", "", "Yes"), 3},
      {"no runs", DataDump("0x0000", "104857600 (0x6400000)", ""), 104857600},
      {"runs that skip",
       DataDump("0x0000", "104857600 (0x6400000)",
                "\t\t\t0x0\t\t0x4b6d\t\t0x3200\n\t\t\t0x3300\t\t0x9000\t\t0x3100\n"),
       104857600},
      {"cut short",
       "Dumping attribute $DATA (0x80) from mft record 64 (0x40)\n\tResident: \t\t No\n", 1},
      {"not a dump", "Error opening inode 64\n", 1},
  };
  for (const TCase& c : cases) {
    std::vector<TFileExtent> extents;
    EXPECT_FALSE(ParseNtfsInfoDataRuns(c.dump, c.size, extents)) << c.name;
  }
}

TEST(NtfsInfoDataRuns, NamedStreamsAreNotTheFilesData) {
  const std::string named =
      "Dumping attribute $DATA (0x80) from mft record 64 (0x40)\n"
      "\tResident: \t\t Yes\n"
      "\tName length:\t\t 4 (0x4)\n"
      "\tAttribute flags:\t 0x0000\n"
      "\tData size:\t\t 12 (0xc)\n";
  std::vector<TFileExtent> extents;
  EXPECT_TRUE(ParseNtfsInfoDataRuns(
      named + DataDump("0x0000", "104857600 (0x6400000)", "\t\t\t0x0\t\t0x4b6d\t\t0x6400\n"),
      104857600, extents));
  EXPECT_EQ(extents.size(), 1u);
}

}  // namespace
}  // namespace quorvane
