// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "ui/capacity_rules.h"

#include <gtest/gtest.h>

#include "common/constants.h"
#include "support/temp_dir.h"

namespace quorvane::testing {
namespace {

constexpr std::int64_t kDrive = 8000000000;

TUSBDriveSet Drive(std::int64_t full, std::int64_t free, std::uint8_t fs) {
  TUSBDriveSet drive;
  drive.Letter = 'e';
  drive.FullSize = full;
  drive.FreeSpace = free;
  drive.IntFileSystem = fs;
  return drive;
}

struct CapacityCase {
  const char* name;
  TUSBDriveSet drive;
  std::vector<TCapacityEntry> entries;
  bool pre_format;
  std::uint8_t fs;
  bool fits;
  int bar;
  const char* size_text;
};

void PrintTo(const CapacityCase& c, std::ostream* os) { *os << c.name; }

class CapacityRules : public ::testing::TestWithParam<CapacityCase> {};

TEST_P(CapacityRules, ChooseModeBarAndSizeText) {
  const CapacityCase& c = GetParam();
  const TCapacityOutcome out = EvaluateCapacity(c.drive, c.entries);
  EXPECT_EQ(out.FNeedPreFormat, c.pre_format);
  EXPECT_EQ(out.FNeedFS, c.fs);
  EXPECT_EQ(out.Fits, c.fits);
  EXPECT_EQ(out.Bar, c.bar);
  EXPECT_EQ(out.SizeText, c.size_text);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CapacityRules,
    ::testing::Values(
        // Fits in the free space of a FAT32 drive: add mode.
        CapacityCase{"AddMode", Drive(kDrive, 1000000000, FileSystemFAT32),
                     {{700000000, false}}, false, FileSystemFAT32, true, 9625,
                     "7.17 GiB / 7.45 GiB"},
        // An image that needs NTFS on a FAT32 drive: new mode with NTFS.
        CapacityCase{"NewModeNTFS", Drive(kDrive, 1000000000, FileSystemFAT32),
                     {{5000000000, true}}, true, FileSystemNTFS, true, 6357,
                     "4.74 GiB / 7.45 GiB"},
        // Two entries add up; the second alone would fit in the free space.
        CapacityCase{"EntriesAddUp", Drive(kDrive, 1000000000, FileSystemFAT32),
                     {{600000000, false}, {600000000, false}}, true, FileSystemFAT32, true,
                     1505, "1.12 GiB / 7.45 GiB"},
        // More than a fresh FAT32 format leaves: nothing fits, the bar is full.
        CapacityCase{"TooLarge", Drive(kDrive, 1000000000, FileSystemFAT32),
                     {{kDrive - kFormatReserve + 1, false}}, false, FileSystemFAT32, false,
                     10000, "7.45 GiB / 7.45 GiB"},
        // Exactly what a FAT32 format leaves, on a full drive: fits (equality admitted).
        CapacityCase{"EqualityFits", Drive(kDrive, 0, FileSystemFAT32),
                     {{kDrive - kFormatReserve, false}}, true, FileSystemFAT32, true, 10000,
                     "7.45 GiB / 7.45 GiB"},
        // Needs NTFS, fits after FAT32 but not after NTFS, drive not NTFS: nothing is
        // chosen and add mode is offered.
        CapacityCase{"NothingChosenOffersAdd", Drive(kDrive, kDrive - 1000, FileSystemFAT32),
                     {{kDrive - 50000000, true}}, false, FileSystemFAT32, true, 9937,
                     "7.4 GiB / 7.45 GiB"},
        // The same with less free space than the entries: the bar stays within its scale.
        CapacityCase{"NothingChosenBarCapped", Drive(kDrive, 1000000000, FileSystemFAT32),
                     {{kDrive - 50000000, true}}, false, FileSystemFAT32, true, 10000,
                     "13.92 GiB / 7.45 GiB"},
        // An NTFS drive without room enough: formatted NTFS again, though no entry needs it.
        CapacityCase{"NTFSDriveStaysNTFS", Drive(kDrive, 1000000000, FileSystemNTFS),
                     {{3000000000, false}}, true, FileSystemNTFS, true, 3857,
                     "2.87 GiB / 7.45 GiB"},
        // An NTFS drive takes an image that needs NTFS without a format.
        CapacityCase{"NTFSDriveAdds", Drive(kDrive, 6000000000, FileSystemNTFS),
                     {{5000000000, true}}, false, FileSystemFAT32, true, 8750,
                     "6.52 GiB / 7.45 GiB"},
        // An NTFS drive too small for NTFS but large enough for FAT32: FAT32.
        CapacityCase{"NTFSDriveTooSmallForNTFS", Drive(kDrive, 0, FileSystemNTFS),
                     {{kDrive - 50000000, false}}, true, FileSystemFAT32, true, 9942,
                     "7.41 GiB / 7.45 GiB"},
        // No entries: the bar shows what the drive holds now.
        CapacityCase{"NoEntries", Drive(kDrive, 2000000000, FileSystemOther), {}, false,
                     FileSystemFAT32, true, 7500, "5.59 GiB / 7.45 GiB"},
        // A disk of unknown size takes nothing and divides by nothing.
        CapacityCase{"UnknownSize", Drive(0, 0, FileSystemOther), {{0, false}}, false,
                     FileSystemFAT32, false, 10000, "0 GiB / 0 GiB"}),
    [](const ::testing::TestParamInfo<CapacityCase>& info) { return info.param.name; });

TEST(CapacityRules, SizeTextUsesTheLocaleSeparator) {
  const TCapacityOutcome out =
      EvaluateCapacity(Drive(kDrive, 1000000000, FileSystemFAT32), {{700000000, false}}, ',');
  EXPECT_EQ(out.SizeText, "7,17 GiB / 7,45 GiB");
}

TEST(CapacityRules, SizeInGbRoundsToTwoDecimalsHalfToEven) {
  EXPECT_EQ(SizeInGb(0), "0");
  EXPECT_EQ(SizeInGb(1610612736), "1.5");    // 1.5 Gb exactly
  EXPECT_EQ(SizeInGb(134217728), "0.12");    // 0.125: the tie goes to the even 12
  EXPECT_EQ(SizeInGb(402653184), "0.38");    // 0.375: the tie goes to the even 38
  EXPECT_EQ(SizeInGb(1073741824), "1");
}

struct LoadersCase {
  const char* name;
  std::vector<TLoaderCheckEntry> entries;
  const char* message;
};

void PrintTo(const LoadersCase& c, std::ostream* os) { *os << c.name; }

class CheckLoadersTest : public ::testing::TestWithParam<LoadersCase> {
 public:
  static std::string Image() {
    static TTempDir dir;
    static const std::string path = [] {
      WriteFile(dir / "image.iso", "data");
      return dir / "image.iso";
    }();
    return path;
  }
  static std::string Folder() { return Image().substr(0, Image().rfind('/')); }
};

TEST_P(CheckLoadersTest, FirstIncompleteEntryGivesTheMessage) {
  std::vector<TLoaderCheckEntry> entries = GetParam().entries;
  for (TLoaderCheckEntry& e : entries) {
    if (e.LdrFilePath == "IMAGE") e.LdrFilePath = Image();
    if (e.LdrFilePath == "FOLDER") e.LdrFilePath = Folder();
  }
  EXPECT_EQ(CheckLoaders(entries), GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CheckLoadersTest,
    ::testing::Values(
        LoadersCase{"NoFrames", {}, "There are no loaders selected"},
        LoadersCase{"AllComplete",
                    {{0, 1, "Windows 7 x86/64", "IMAGE"}, {1, 7, "Hiren's Boot CD", "IMAGE"}},
                    ""},
        LoadersCase{"SecondWithoutImage",
                    {{0, 7, "Hiren's Boot CD", "IMAGE"}, {1, 7, "Hiren's Boot CD", ""}},
                    "File not found for loader 1"},
        LoadersCase{"FirstStillPlaceholder",
                    {{0, 0, kLoaderNotSelected, ""}, {1, 7, "Hiren's Boot CD", ""}},
                    "Type for loader 0 not selected"},
        LoadersCase{"NothingShown", {{0, -1, "", "IMAGE"}}, "Type for loader 0 not selected"},
        LoadersCase{"IndexBeyondTheLoaders", {{0, 11, "x", "IMAGE"}},
                    "Type for loader 0 not selected"},
        LoadersCase{"FolderIsNoImage", {{0, 7, "Hiren's Boot CD", "FOLDER"}},
                    "File not found for loader 0"},
        // A removed frame keeps its number; the next live one is named by its own.
        LoadersCase{"NumbersOfLiveFrames",
                    {{0, 7, "Hiren's Boot CD", "IMAGE"}, {2, 7, "Hiren's Boot CD", "/nope.iso"}},
                    "File not found for loader 2"}),
    [](const ::testing::TestParamInfo<LoadersCase>& info) { return info.param.name; });

}  // namespace
}  // namespace quorvane::testing
