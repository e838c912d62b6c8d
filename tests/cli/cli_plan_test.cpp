// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The decisions quorvane-cli takes before it writes: the file system of a new drive, and
// the question it asks.
#include "cli/cli_plan.h"

#include <gtest/gtest.h>

#include "common/constants.h"

namespace quorvane {
namespace {

TUSBDriveSet Drive(const std::string& fs, std::int64_t free, std::int64_t full) {
  TUSBDriveSet d;
  d.Letter = 'e';
  d.FileSystem = fs;
  d.IntFileSystem = IntFileSystemOf(fs);
  d.FreeSpace = free;
  d.FullSize = full;
  return d;
}

std::vector<TPlannedEntry> Entries(std::initializer_list<std::pair<std::int64_t, bool>> needs) {
  std::vector<TPlannedEntry> out;
  int i = 0;
  for (const auto& [bytes, ntfs] : needs) {
    TPlannedEntry e;
    e.Entry = {6, "/i/x.iso"};
    e.Name = std::to_string(++i) + " x.iso";
    e.Need = {bytes, ntfs};
    out.push_back(e);
  }
  return out;
}

constexpr std::int64_t kStick = 8000000000;

TEST(NewDriveFileSystem, TheCapacityRulesChooseForAFreshFormat) {
  struct TCase {
    const char* name;
    TUSBDriveSet drive;
    std::vector<TPlannedEntry> entries;
    std::uint8_t expected;
  };
  const TCase cases[] = {
      {"blank stick, small image", Drive("", -1, kStick), Entries({{700000000, false}}),
       FileSystemFAT32},
      {"blank stick, image of 4 GiB", Drive("", -1, kStick), Entries({{5000000000, true}}),
       FileSystemNTFS},
      // The add-mode rule (the entries fit in the free space) has no say for a new drive.
      {"FAT32 stick with room, no NTFS need", Drive("FAT32", 7000000000, kStick),
       Entries({{700000000, false}}), FileSystemFAT32},
      {"NTFS stick with room stays NTFS", Drive("NTFS", 7000000000, kStick),
       Entries({{700000000, false}}), FileSystemNTFS},
      {"FAT32 stick, NTFS needed", Drive("FAT32", 7000000000, kStick),
       Entries({{100, false}, {5000000000, true}}), FileSystemNTFS},
      {"fits after FAT32 but not after NTFS", Drive("NTFS", 0, kStick),
       Entries({{kStick - 50000000, false}}), FileSystemFAT32},
      {"nothing fits, NTFS needed", Drive("", -1, kStick), Entries({{kStick, true}}),
       FileSystemNTFS},
  };
  for (const TCase& c : cases)
    EXPECT_EQ(NewDriveFileSystem(c.drive, c.entries), c.expected) << c.name;
}

TEST(ConfirmationQuestion, TheMainWindowsWarningForEachMode) {
  const std::string plan = "Drive: e: ...\n";
  EXPECT_EQ(
      ConfirmationQuestion(FormatModeNew, plan),
      "Warning\nSelected drive will be formated.\nFormating will erase ALL data on this disk!\n\n"
      "Drive: e: ...\n\nBy continuing, you accept the License Agreement Terms "
      "(https://quorvane.org/license/)\nContinue?");
  const std::string add = ConfirmationQuestion(FormatModeAdd, plan);
  EXPECT_NE(
      add.find(
          "Master Boot Code of selected drive will be overwritten.\nIt's safe for your data\n"),
      std::string::npos)
      << add;
}

}  // namespace
}  // namespace quorvane
