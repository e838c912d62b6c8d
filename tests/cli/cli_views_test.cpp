// What quorvane-cli shows: the drive table, the progress bars on a terminal and the plain
// lines otherwise.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "cli/cli_drive_table.h"
#include "cli/cli_progress.h"

namespace quorvane {
namespace {

// Collects what a view writes.
class TCapture {
 public:
  TCapture() : FFile(open_memstream(&FBuffer, &FSize)) {}
  ~TCapture() {
    std::fclose(FFile);
    std::free(FBuffer);
  }
  std::FILE* file() { return FFile; }
  std::string text() {
    std::fflush(FFile);
    return std::string(FBuffer, FSize);
  }

 private:
  char* FBuffer = nullptr;
  std::size_t FSize = 0;
  std::FILE* FFile;
};

std::size_t Count(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

TEST(DriveTable, ColumnsLineUpAndUnknownsAreMarked) {
  TUSBDrives drives(3);
  drives[0] = {.Letter = 'a', .Name = "STICK", .FileSystem = "FAT32", .IntFileSystem = 0,
               .FreeSpace = 7000000000, .FullSize = 8004304896, .VolumeDevice = "/dev/sdb1",
               .DiskDevice = "/dev/sdb", .Vendor = "Kingston", .Model = "DataTraveler 3.0"};
  drives[1] = {.Letter = 'b', .Name = "removable drive", .FreeSpace = -1, .FullSize = 67108864,
               .DiskDevice = "/dev/loop3", .ImageFile = "/tmp/d.img"};
  // A disk the program will not write to shows no sizes.
  drives[2] = {.Letter = 'c', .Name = "SYSTEM", .FileSystem = "NTFS", .IntFileSystem = 1,
               .FreeSpace = 0, .FullSize = 0, .VolumeDevice = "/dev/sdc1", .DiskDevice = "/dev/sdc",
               .Vendor = "SanDisk", .Model = "Ultra"};
  EXPECT_EQ(FormatDriveTable(drives, false),
            "DRIVE  DEVICE      VENDOR AND MODEL           LABEL            FS         FREE       SIZE\n"
            "a      /dev/sdb1   Kingston DataTraveler 3.0  STICK            FAT32  6.52 GiB   7.45 GiB\n"
            "b      /dev/loop3  image /tmp/d.img           removable drive  -       unknown  64.00 MiB\n"
            "c      /dev/sdc1   SanDisk Ultra              SYSTEM           NTFS          -          -\n");
  const std::string in_bytes = FormatDriveTable(drives, true);
  EXPECT_NE(in_bytes.find("7000000000  8004304896\n"), std::string::npos) << in_bytes;
  EXPECT_EQ(FormatDriveTable({}, false), "No USB drives found.\n");
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
  const std::string cut = EntryBarLine({"1 \xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9.iso", "Ready", 0, ""}, 48);
  EXPECT_NE(cut.find("\xc3\xa9~ ["), std::string::npos) << cut;
  EXPECT_NE(EntryBarLine({"x", "Finished", 140, ""}, 80).find("] 100% Finished"), std::string::npos);
}

TEST(ProgressBars, TheBlockIsRedrawnInPlace) {
  TCapture out;
  auto view = MakeTerminalView(out.file(), {{"1 a.iso", "Ready", 0, ""}, {"2 b.iso", "Ready", 0, ""}}, 80);
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
  for (const auto& [status, progress] : std::vector<std::pair<std::string, int>>{
           {"Initializing", 0}, {"Running", 0}, {"Running", 4}, {"Running", 9}, {"Running", 10},
           {"Running", 11}, {"Running", 35}, {"Running", 100}, {"Finished", 100}})
    view->EntryChanged(0, {"1 a.iso", status, progress, ""});
  view->End();
  EXPECT_EQ(out.text(),
            "Replacing MBR...\nDrive ready.\n[1 a.iso] Initializing\n[1 a.iso] Running\n"
            "[1 a.iso] 10%\n[1 a.iso] 30%\n[1 a.iso] 100%\n[1 a.iso] Finished\n");
}

}  // namespace
}  // namespace quorvane
