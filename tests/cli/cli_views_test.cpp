// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// What quorvane-cli shows: the drive table, the progress bars on a terminal and the plain
// lines otherwise.
#include <gtest/gtest.h>

#include <sstream>

#include "capture.h"
#include "cli/cli_drive_table.h"
#include "cli/cli_progress.h"
#include "common/utf8.h"

namespace quorvane {
namespace {

using testing::TCapture;

std::size_t Count(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

TEST(DriveTable, ColumnsLineUpAndUnknownsAreMarked) {
  const auto drive = [](char letter, const char* device, const char* disk, const char* vendor,
                        const char* model, const char* label, const char* fs, std::int64_t free,
                        std::int64_t full) {
    TUSBDriveSet d;
    d.Letter = letter;
    d.VolumeDevice = device;
    d.DiskDevice = disk;
    d.Vendor = vendor;
    d.Model = model;
    d.Name = label;
    d.FileSystem = fs;
    d.FreeSpace = free;
    d.FullSize = full;
    return d;
  };
  TUSBDrives drives{
      drive('a', "/dev/sdb1", "/dev/sdb", "Kingston", "DataTraveler 3.0", "STICK", "FAT32",
            7000000000, 8004304896),
      drive('b', "", "/dev/loop3", "", "", "removable drive", "", -1, 67108864),
      // A disk the program will not write to shows no sizes.
      drive('c', "/dev/sdc1", "/dev/sdc", "SanDisk", "Ultra", "SYSTEM", "NTFS", 0, 0),
  };
  drives[1].ImageFile = "/tmp/d.img";
  EXPECT_EQ(
      FormatDriveTable(drives, false),
      "DRIVE  DEVICE      VENDOR AND MODEL           LABEL            FS         FREE       SIZE\n"
      "a      /dev/sdb1   Kingston DataTraveler 3.0  STICK            FAT32  6.52 GiB   7.45 GiB\n"
      "b      /dev/loop3  image /tmp/d.img           removable drive  -       unknown  64.00 MiB\n"
      "c      /dev/sdc1   SanDisk Ultra              SYSTEM           NTFS          -          "
      "-\n");
  const std::string in_bytes = FormatDriveTable(drives, true);
  EXPECT_NE(in_bytes.find("7000000000  8004304896\n"), std::string::npos) << in_bytes;
  EXPECT_EQ(FormatDriveTable({}, false), "No USB drives found.\n");
}

TEST(DriveTable, VolumesThatCannotBeReadWithoutRootAreMarked) {
  TUSBDrives drives(3);
  drives[0].VolumeDevice = "/dev/sdb1";
  drives[1].DiskDevice = "/dev/sdc";  // a blank disk: no volume device of its own
  drives[2].VolumeDevice = "/dev/sdd1";
  for (TUSBDriveSet& d : drives) {
    d.Name = kNoVolumeLabel;
    d.FileSystem = "";
  }
  drives[2].Name = "STICK";
  drives[2].FileSystem = "FAT32";
  const auto readable = [](const std::string& node) { return node == "/dev/sdd1"; };
  EXPECT_TRUE(MarkUnreadableVolumes(drives, readable));
  EXPECT_EQ(drives[0].Name, "?");
  EXPECT_EQ(drives[0].FileSystem, "?");
  EXPECT_EQ(drives[1].Name, "?");
  EXPECT_EQ(drives[2].Name, "STICK");
  EXPECT_EQ(drives[2].FileSystem, "FAT32");
  EXPECT_FALSE(MarkUnreadableVolumes(drives, [](const std::string&) { return true; }));
}

TEST(DriveTable, ColumnsLineUpByCharactersNotBytes) {
  TUSBDriveSet a;
  a.Letter = 'a';
  a.VolumeDevice = "/dev/sdb1";
  a.Name = "Fotos \xc3\x84\xc3\x96";  // 8 characters in 10 bytes
  a.FileSystem = "FAT32";
  a.FreeSpace = 1LL << 30;
  a.FullSize = 2LL << 30;
  TUSBDriveSet b = a;
  b.Letter = 'b';
  b.Name = "STICK-1234";
  b.FileSystem = "NTFS";
  std::istringstream lines(FormatDriveTable({a, b}, false));
  std::vector<std::size_t> columns;  // where the file-system column begins, in characters
  for (std::string line; std::getline(lines, line);) {
    std::size_t at = std::string::npos;
    for (const char* fs : {" FS ", " FAT32 ", " NTFS "})
      if (at == std::string::npos) at = line.find(fs);
    ASSERT_NE(at, std::string::npos) << line;
    columns.push_back(Utf8CharacterCount(line.substr(0, at)));
  }
  ASSERT_EQ(columns.size(), 3u);
  EXPECT_EQ(columns[1], columns[0]);
  EXPECT_EQ(columns[2], columns[0]);
}

TEST(DriveTable, HumanSizes) {
  EXPECT_EQ(HumanSize(-1), "unknown");
  EXPECT_EQ(HumanSize(512), "512 bytes");
  EXPECT_EQ(HumanSize(300 << 10), "300 KiB");
  EXPECT_EQ(HumanSize(3LL << 29), "1.50 GiB");
}

TEST(ProgressBars, OneLinePerEntryFittingTheTerminal) {
  TEntryView e{"1 ubuntu-16.04-desktop-amd64.iso", "Running", 50, ""};
  const std::string wide = EntryBarLine(e, 100);
  EXPECT_NE(wide.find("1 ubuntu-16.04-desktop-amd64.iso"), std::string::npos) << wide;
  EXPECT_NE(wide.find("[###############...............]  50% Running"), std::string::npos) << wide;
  // A narrow terminal cuts the name, never the bar; no line reaches the last column.
  const std::string narrow = EntryBarLine(e, 50);
  EXPECT_LE(narrow.size(), 49u) << narrow;
  EXPECT_NE(narrow.find("~ [##########..........]  50% Running"), std::string::npos) << narrow;
  // Cut on a character, not inside one.
  const std::string cut = EntryBarLine(
      {"1 \xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9.iso",
       "Ready", 0, ""},
      48);
  EXPECT_NE(cut.find("\xc3\xa9~ ["), std::string::npos) << cut;
  EXPECT_NE(EntryBarLine({"x", "Finished", 140, ""}, 80).find("] 100% Finished"),
            std::string::npos);
}

TEST(ProgressBars, TheBlockIsRedrawnInPlace) {
  TCapture out;
  auto view =
      MakeTerminalView(out.file(), {{"1 a.iso", "Ready", 0, ""}, {"2 b.iso", "Ready", 0, ""}}, 80);
  view->DriveStep("Formatting...");
  view->EntryChanged(0, {"1 a.iso", "Running", 40, ""});
  view->Note("Stopping...");
  view->End();
  const std::string text = out.text();
  // Drawn four times (the start, three changes), each time over the three lines before.
  EXPECT_EQ(Count(text, "\033[3A"), 3u) << text;
  EXPECT_EQ(Count(text, "Formatting..."), 3u);
  // The note stays above the block; the last drawing ends with the entries' bars.
  const std::string last = text.substr(text.rfind("\033[3A"));
  EXPECT_LT(last.find("Stopping..."), last.find("Formatting..."));
  EXPECT_NE(last.find("1 a.iso"), std::string::npos);
  EXPECT_NE(last.find("40% Running"), std::string::npos);
  EXPECT_NE(last.find("2 b.iso"), std::string::npos);
}

TEST(ProgressLines, OneLinePerStatusAndPerTenth) {
  TCapture out;
  auto view = MakePlainView(out.file(), {{"1 a.iso", "Ready", 0, ""}});
  view->DriveStep("Replacing MBR...");
  view->DriveStep("Drive ready.");
  for (const auto& [status, progress] :
       std::vector<std::pair<std::string, int>>{{"Initializing", 0},
                                                {"Running", 0},
                                                {"Running", 4},
                                                {"Running", 9},
                                                {"Running", 10},
                                                {"Running", 11},
                                                {"Running", 35},
                                                {"Running", 100},
                                                {"Finished", 100}})
    view->EntryChanged(0, {"1 a.iso", status, progress, ""});
  view->End();
  EXPECT_EQ(out.text(),
            "Replacing MBR...\nDrive ready.\n[1 a.iso] Initializing\n[1 a.iso] Running\n"
            "[1 a.iso] 10%\n[1 a.iso] 30%\n[1 a.iso] 100%\n[1 a.iso] Finished\n");
}

}  // namespace
}  // namespace quorvane
