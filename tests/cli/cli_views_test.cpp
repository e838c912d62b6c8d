// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// What quorvane-cli shows: the drive table, the progress bars on a terminal and the plain
// lines otherwise.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <sstream>

#include "capture.h"
#include "cli/cli_drive_table.h"
#include "cli/cli_progress.h"
#include "cli/terminal_columns.h"
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
      "DRIVE  DEVICE                VENDOR AND MODEL           LABEL            FS         FREE"
      "       SIZE\n"
      "a      /dev/sdb (/dev/sdb1)  Kingston DataTraveler 3.0  STICK            FAT32  6.52 GiB"
      "   7.45 GiB\n"
      "b      /dev/loop3            image /tmp/d.img           removable drive  -       unknown"
      "  64.00 MiB\n"
      "c      /dev/sdc (/dev/sdc1)  SanDisk Ultra              SYSTEM           NTFS          -"
      "          -\n");
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

// Where the bar starts, in terminal columns.
std::size_t BarColumn(const std::string& line) {
  return TerminalColumnsOf(line.substr(0, line.find(" [")));
}

TEST(ProgressBars, WideCharactersTakeTwoColumnsAndTheBarsLineUp) {
  const std::vector<std::string> names{
      "1 \xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e\xe3\x81\xae\xe3\x82\xa4\xe3\x83\xa1\xe3\x83\xbc"
      "\xe3\x82\xb8.iso",                                    // Japanese: 8 wide characters
      "2 \xf0\x9f\x98\x80\xf0\x9f\x9a\x80 rescue.iso",       // two emoji
      "3 plain-ascii-name.iso",
      "4 Cafe\xcc\x81.iso"};                                  // a combining accent
  EXPECT_EQ(TerminalColumnsOf(names[0]), 22u);
  EXPECT_EQ(TerminalColumnsOf(names[1]), 17u);
  EXPECT_EQ(TerminalColumnsOf(names[3]), 10u);
  for (int columns : {40, 50, 80, 120}) {
    std::size_t widest = 0;
    for (const std::string& n : names) widest = std::max(widest, TerminalColumnsOf(n));
    std::vector<std::size_t> starts;
    for (const std::string& n : names) {
      TEntryView e{n, "Running", 42, ""};
      e.Rate = 23.4e6;
      e.SecondsLeft = 185;
      const std::string line = EntryBarLine(e, columns, widest);
      EXPECT_LE(TerminalColumnsOf(line), static_cast<std::size_t>(columns - 1))
          << columns << ": " << line;
      starts.push_back(BarColumn(line));
    }
    for (std::size_t s : starts) EXPECT_EQ(s, starts[0]) << "at " << columns << " columns";
  }
}

TEST(ProgressBars, CutNeverSplitsAWideCharacter) {
  // Seven wide characters into 8 columns: three of them, the "~" and a blank.
  const std::string japanese =
      "\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e\xe3\x81\xae\xe3\x82\xa4\xe3\x83\xa1\xe3\x83\xbc";
  EXPECT_EQ(FitToColumns(japanese, 8), "\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e~ ");
  EXPECT_EQ(FitToColumns("abc", 5), "abc  ");
  EXPECT_EQ(FitToColumns("abcdef", 4), "abc~");
}

struct TDetailCase {
  const char* Name;
  TEntryView Entry;
  std::size_t Columns;
  const char* Detail;
};

TEntryView Running(double rate, double left, const char* step = "") {
  TEntryView e{"1 a.iso", "Running", 50, ""};
  e.Rate = rate;
  e.SecondsLeft = left;
  e.Step = step;
  return e;
}

class DetailCases : public ::testing::TestWithParam<TDetailCase> {};

TEST_P(DetailCases, LongestFormThatFits) {
  EXPECT_EQ(EntryDetail(GetParam().Entry, GetParam().Columns), GetParam().Detail);
}

INSTANTIATE_TEST_SUITE_P(
    Entries, DetailCases,
    ::testing::Values(
        TDetailCase{"RateAndTimeLeft", Running(23.4e6, 185), 40, "Running 23 MB/s, 3 min 05 s left"},
        TDetailCase{"OnlyTheRateFits", Running(23.4e6, 185), 20, "Running 23 MB/s"},
        TDetailCase{"NothingMoreFits", Running(23.4e6, 185), 10, "Running"},
        TDetailCase{"RateNotKnownYet", Running(-1, -1), 40, "Running"},
        TDetailCase{"StalledDriveHasNoTimeLeft", Running(0, -1), 40, "Running 0.0 MB/s"},
        TDetailCase{"AtTheEndTheStepIsTold", Running(23.4e6, 0, "flushing to the drive"), 40,
                    "Running, flushing to the drive"},
        TDetailCase{"FinishedSaysSo", TEntryView{"1 a.iso", "Finished", 100, ""}, 40, "Finished"}),
    [](const ::testing::TestParamInfo<TDetailCase>& info) { return info.param.Name; });

TEST(ProgressBars, AResizedTerminalGetsTheBlockDrawnForItsWidth) {
  TCapture out;
  std::atomic<bool> resized{false};
  int columns = 120;
  auto view = MakeTerminalView(out.file(), {{"1 a-rather-long-name-of-an-image-file.iso", "Ready", 0, ""}},
                               columns, &resized, [&] { return columns; });
  view->Tick();  // no resize: nothing drawn
  const std::size_t before = out.text().size();
  columns = 50;
  resized = true;
  view->Tick();
  EXPECT_FALSE(resized.load());
  const std::string redraw = out.text().substr(before);
  // The empty drive-step line takes a row, the 86 columns of the bar line two at 50:
  // up three, clear, draw.
  EXPECT_EQ(redraw.find("\r\033[3A\033[J"), 0u) << redraw;
  std::istringstream lines(redraw);
  for (std::string line; std::getline(lines, line);) {
    const std::size_t clear = line.rfind("\033[K");
    const std::string shown = clear == std::string::npos ? line : line.substr(clear + 3);
    EXPECT_LE(TerminalColumnsOf(shown), 49u) << shown;
  }
}

TEST(ProgressLines, SpeedAtEachTenthAndTheStepAtTheEnd) {
  TCapture out;
  auto view = MakePlainView(out.file(), {{"1 a.iso", "Running", 0, ""}});
  TEntryView e = Running(23.4e6, 185);
  e.Progress = 20;
  view->EntryChanged(0, e);
  e = Running(23.4e6, 0, "flushing to the drive");
  e.Progress = 100;
  view->EntryChanged(0, e);
  e.Step = "checking the copy";
  view->EntryChanged(0, e);
  view->EntryChanged(0, e);
  view->End();
  EXPECT_EQ(out.text(),
            "[1 a.iso] 20% 23 MB/s, 3 min 05 s left\n[1 a.iso] 100% flushing to the drive\n"
            "[1 a.iso] checking the copy\n");
}

}  // namespace
}  // namespace quorvane
