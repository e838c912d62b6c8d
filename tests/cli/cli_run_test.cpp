// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// quorvane-cli from its arguments to its exit status, on a fixture USB disk: the drive
// list, the refusals that leave every disk untouched, the confirmation, and burns with
// stand-in loaders and drive step.
#include "cli/cli_run.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>

#include "capture.h"
#include "common/constants.h"
#include "common/version.h"
#include "drive_fixture.h"
#include "json_schema_check.h"
#include "support/iso_images.h"
#include "support/recorded_drive.h"
#include "support/temp_dir.h"
#include "support/test_loaders.h"

namespace quorvane::testing {
namespace {

class TScriptedDialog : public IFallbackDialog {
 public:
  explicit TScriptedDialog(TDialogAnswer answer) : FAnswer(answer) {}
  TDialogAnswer AskYesNo(const std::string& text) override {
    questions.push_back(text);
    return FAnswer;
  }
  std::vector<std::string> questions;

 private:
  TDialogAnswer FAnswer;
};

class CliRunTest : public ::testing::Test {
 protected:
  CliRunTest() {
    std::filesystem::create_directories(temp / "media");
    for (const char* name : {"a.iso", "bad.iso"}) MakeLoaderImage(temp / name, -1);
  }

  // A USB stick with one FAT32 volume, mounted by the desktop at `mount_point`.
  void AddStick(const std::string& mount_point) {
    world.AddDisk({.Name = "sdb", .Dev = "8:16"});
    world.AddPartition("sdb", 1, 2048, 2095104, "8:17");
    world.Prober->Volumes[world.Node("sdb1")] = {"vfat", "FAT32", "STICK", "1111-2222"};
    world.AddMount("8:17", mount_point, "vfat", "/dev/sdb1");
  }

  int Run(const std::string& line, TDialogAnswer answer = TDialogAnswer::Yes) {
    std::vector<std::string> args;
    std::size_t at = 0;
    while (at < line.size()) {
      std::size_t end = line.find(' ', at);
      if (end == std::string::npos) end = line.size();
      if (end > at) args.push_back(line.substr(at, end - at));
      at = end + 1;
    }
    TScriptedDialog scripted(answer);
    TCliEnvironment env;
    env.Out = out.file();
    env.Err = err.file();
    env.Dialog = &scripted;
    env.MakeDriveTable = [this](bool) { return world.MakeTable(); };
    env.Preflight = RunPlanPreflight;
    env.MakeJobs = [this] {
      EXPECT_TRUE(jobs_allowed) << "a job list was made for a burn that should not start";
      TJobFactory stand_ins = StandInLoaderFactory();
      TJobFactory factory = [stand_ins](std::int32_t type, const std::string& file, char drive,
                                        const std::string& name) {
        std::unique_ptr<TJob> job = stand_ins(type, file, drive, name);
        if (name.find("bad.iso") != std::string::npos)
          static_cast<TStandInLoader*>(job.get())->fail_step = "copy";
        if (name.find("checked.iso") != std::string::npos)
          static_cast<TStandInLoader*>(job.get())->record_writes = true;
        return job;
      };
      return std::make_unique<TJobs>(factory, RecordingPreparation(prep));
    };
    env.Interrupted = &interrupted;
    env.Root = root;
    const int status = RunCli(args, env);
    questions = scripted.questions;
    return status;
  }

  // The burn ends with `message` before anything is written.
  void ExpectRefused(const std::string& line, const std::string& message) {
    jobs_allowed = false;
    EXPECT_EQ(Run(line), 1) << line;
    EXPECT_NE(err.text().find(message), std::string::npos) << err.text();
    ExpectDisksUntouched();
  }

  // No tool that writes to a disk was run, and the drive step never ran.
  void ExpectDisksUntouched() {
    for (const char* tool : {"sfdisk", "wipefs", "mkfs.ntfs", "mkfs.vfat", "mount", "ntfs-3g"})
      EXPECT_TRUE(world.Runner->CallsOf(tool).empty()) << tool;
    EXPECT_EQ(prep->runs, 0);
  }

  TTempDir temp;
  TDriveWorld world{temp / "world/"};
  std::shared_ptr<TPreparationLog> prep = std::make_shared<TPreparationLog>();
  TCapture out, err;
  std::vector<std::string> questions;
  std::atomic<bool> interrupted{false};
  bool jobs_allowed = true;
  bool root = true;
};

TEST_F(CliRunTest, DrivesListsTheUsbDrives) {
  AddStick(temp / "media");
  world.AddDisk(
      {.Name = "sda", .Dev = "8:0", .Bus = TBus::Sata, .Vendor = "ATA", .Model = "Samsung SSD"});
  ASSERT_EQ(Run("drives --bytes"), 0) << err.text();
  const std::string text = out.text();
  EXPECT_EQ(text.rfind("DRIVE  DEVICE", 0), 0u) << text;
  EXPECT_NE(text.find("Kingston DataTraveler 3.0  STICK  FAT32"), std::string::npos) << text;
  EXPECT_NE(text.find("  1073741824\n"), std::string::npos) << text;
  EXPECT_EQ(text.find("Samsung"), std::string::npos) << "a SATA disk is no USB drive\n" << text;
  EXPECT_EQ(err.text(), "");
}

TEST_F(CliRunTest, ABurnWithoutRootIsRefusedBeforeAnyDiskIsTouched) {
  AddStick(temp / "media");
  const std::string line = "burn --drive a --mode new --yes --entry 6:" + temp / "a.iso";
  root = false;
  ExpectRefused(line, "quorvane-cli: burn writes to disks and needs root: run it again with sudo\n");
  // Bad arguments are still bad arguments.
  EXPECT_EQ(Run("burn --drive a --entry 6:" + temp / "a.iso"), 2);
  EXPECT_TRUE(questions.empty());
}

TEST_F(CliRunTest, TheVersionIsPrinted) {
  const std::string line = std::string("quorvane-cli ") + QuorvaneVersion() + "\n";
  ASSERT_EQ(Run("--version"), 0);
  ASSERT_EQ(Run("version"), 0);
  EXPECT_EQ(out.text(), line + line);
  EXPECT_EQ(Run("--version --verbose"), 2);
}

TEST_F(CliRunTest, BadArgumentsGetTheUsageAndWriteNothing) {
  AddStick(temp / "media");
  const std::string img = temp / "new.img";
  const std::string cases[] = {
      "burn --image " + img + " --size 64M --mode new --entry 11:" + temp / "a.iso",
      "burn --image " + img + " --size 64M --mode new --entry 6:" + temp / "missing.iso",
      "burn --image " + img + " --size 64M --mode new --entry 6:" + temp.path(),
      "burn --image " + img + " --mode new --entry 6:" + temp / "a.iso",
      "burn --image " + img + " --size 64M --mode add --entry 6:" + temp / "a.iso",
      "burn --image " + temp / "nofolder/new.img" +
          " --size 64M --mode new --entry 6:" + temp / "a.iso",
      "burn --image " + temp / "a.iso" + " --mode new --entry 6:" + temp / "a.iso",
      "burn --drive a --mode add --fs ntfs --entry 6:" + temp / "a.iso",
      "burn --drive a --entry 6:" + temp / "a.iso",
      "erase --drive a",
      // An image drive is a regular file of its own, outside the system's folders.
      "burn --image /dev/null --mode add --entry 6:" + temp / "a.iso",
      "burn --image " + temp / "null-link" + " --mode add --entry 6:" + temp / "a.iso",
      "burn --image /dev/shm/quorvane-test.img --size 64M --mode new --entry 6:" + temp / "a.iso",
      "burn --image /proc/self/environ --mode add --entry 6:" + temp / "a.iso",
      "burn --image /sys/kernel/notes --mode add --entry 6:" + temp / "a.iso",
      "burn --image " + temp.path() + " --mode add --entry 6:" + temp / "a.iso",
      "burn --image " + temp / "fifo" + " --mode add --entry 6:" + temp / "a.iso",
  };
  std::filesystem::create_symlink("/dev/null", temp / "null-link");
  ASSERT_EQ(::mkfifo((temp / "fifo").c_str(), 0600), 0);
  jobs_allowed = false;
  for (const std::string& line : cases) {
    EXPECT_EQ(Run(line), 2) << line;
    EXPECT_FALSE(Exists(img)) << line;
  }
  EXPECT_FALSE(Exists("/dev/shm/quorvane-test.img"));
  const std::string text = err.text();
  for (const std::string& reason : std::vector<std::string>{
           "a number from 0 to 9", "file not found: ", "not an image file", "give --size to create it",
        "a new image drive needs --mode new", "does not exist", "is also the image of an entry",
        "--fs applies to", "burn needs --mode", "unknown command \"erase\"",
        "--image /dev/null lies in /dev", "--image " + temp / "null-link" + " lies in /dev",
        "--image /dev/shm/quorvane-test.img lies in /dev", "--image /proc/self/environ lies in /proc",
        "--image /sys/kernel/notes lies in /sys",
        "--image " + temp.path() + " is not a regular file",
        "--image " + temp / "fifo" + " is not a regular file"})
    EXPECT_NE(text.find(reason), std::string::npos) << reason << "\n" << text;
  EXPECT_NE(text.find("Usage:\n  quorvane-cli drives"), std::string::npos);
  EXPECT_TRUE(world.Runner->Calls.empty());
  EXPECT_EQ(prep->runs, 0);
  EXPECT_TRUE(questions.empty());
}

TEST_F(CliRunTest, TestBootStartsNoMachineForWhatIsNoImageOrNoDrive) {
  AddStick(temp / "media");
  std::filesystem::create_symlink("/dev/null", temp / "null-link");
  ASSERT_EQ(::mkfifo((temp / "fifo").c_str(), 0600), 0);
  // A disk image is a regular file: never a device, a link to one, a pipe or a folder.
  for (const std::string& image : {std::string("/dev/null"), temp / "null-link", temp / "fifo",
                                   temp.path(), temp / "missing.img"}) {
    EXPECT_EQ(Run("test-boot --no-window --image " + image), 2) << image;
    EXPECT_NE(err.text().find("--image " + image + " is not a regular file"), std::string::npos)
        << err.text();
  }
  // A drive is read by root only, and must be one of the USB drives.
  root = false;
  EXPECT_EQ(Run("test-boot --no-window --drive a"), 1);
  EXPECT_NE(err.text().find("test-boot --drive reads a disk and needs root"), std::string::npos)
      << err.text();
  root = true;
  EXPECT_EQ(Run("test-boot --no-window --drive q"), 1);
  EXPECT_NE(err.text().find("quorvane-cli: drive q: "), std::string::npos) << err.text();
  EXPECT_TRUE(world.Runner->Calls.empty());
}

TEST_F(CliRunTest, TheDiskOfTheRunningSystemIsRefused) {
  // The stick holds the root file system: a system started from it.
  AddStick("/");
  for (const char* mode : {"new", "add"})
    ExpectRefused(
        std::string("burn --drive a --mode ") + mode + " --yes --entry 6:" + temp / "a.iso",
        "quorvane-cli: refused to write to drive a: " + world.Node("sdb") +
            " holds the running system (/dev/sdb1 is mounted at /). The program writes only "
            "to USB drives and image files, never to the disk of the running system.");
}

TEST_F(CliRunTest, ADiskThatIsNoUsbDriveHasNoLetter) {
  world.AddDisk({.Name = "sda", .Dev = "8:0", .Bus = TBus::Sata});
  world.AddPartition("sda", 1, 2048, 2095104, "8:1");
  world.Prober->Volumes[world.Node("sda1")] = {"ntfs", "NTFS", "DATA", "ABCD"};
  ExpectRefused("burn --drive a --mode new --yes --entry 6:" + temp / "a.iso",
                "no USB drive has the letter a; `quorvane-cli drives` lists them");
}

TEST_F(CliRunTest, AnImageOnTheDiskToBeErasedIsRefused) {
  AddStick(temp / "media");
  MakeLoaderImage(temp / "media/x.iso", 6);
  ExpectRefused("burn --drive a --mode new --yes --entry 6:" + temp / "a.iso" +
                    " --entry 6:" + temp / "media/x.iso",
                "entry 2 (x.iso) lies on drive a:, whose disk mode new erases");
}

TEST_F(CliRunTest, AMountThatTheProgramDidNotMakeIsStatedAndNeedsForceWithYes) {
  AddStick(temp / "media");
  const std::string mounts = "Mounted now, not by this program:\n  /dev/sdb1 at " + temp / "media" +
                             ", mounted by someone the system does not name\n";
  for (const char* mode : {"new", "add"})
    ExpectRefused(std::string("burn --drive a --mode ") + mode + " --yes --entry 6:" + temp / "a.iso",
                  "quorvane-cli: drive a: is mounted where this program did not mount it:\n" +
                      mounts);
  EXPECT_NE(err.text().find("give --force as well as --yes, or leave out --yes to be asked"),
            std::string::npos);
  // Asked, the question states them.
  jobs_allowed = false;
  EXPECT_EQ(Run("burn --drive a --mode new --entry 6:" + temp / "a.iso", TDialogAnswer::No), 1);
  ASSERT_EQ(questions.size(), 1u);
  EXPECT_NE(questions[0].find(mounts + "They are unmounted before the drive is formatted"),
            std::string::npos)
      << questions[0];
  ExpectDisksUntouched();
  // With --force as well, the plan says so and the burn goes on.
  jobs_allowed = true;
  ASSERT_EQ(Run("burn --drive a --mode add --yes --force --entry 6:" + temp / "a.iso"), 0)
      << err.text();
  EXPECT_NE(out.text().find(mounts + "The entries are written through them"), std::string::npos)
      << out.text();
}

TEST_F(CliRunTest, ADeclinedConfirmationWritesNothing) {
  AddStick(temp / "media");
  jobs_allowed = false;
  EXPECT_EQ(Run("burn --drive a --mode new --entry 6:" + temp / "a.iso", TDialogAnswer::No), 1);
  ASSERT_EQ(questions.size(), 1u);
  EXPECT_EQ(questions[0].rfind("Warning\nSelected drive will be formated.\n"
                               "Formating will erase ALL data on this disk!\n\nDrive: a: ",
                               0),
            0u)
      << questions[0];
  // The disk with its partition, as the window and the page name it.
  EXPECT_NE(questions[0].find("/dev/sdb (" + world.Node("sdb1") +
                              "), Kingston DataTraveler 3.0, 1.00 GiB, label \"STICK\", FAT32\n"),
            std::string::npos)
      << questions[0];
  EXPECT_NE(questions[0].find(
                "Mode: new (repartition and format FAT32)\nEntries:\n  1 a.iso (Hiren's Boot CD, "),
            std::string::npos)
      << questions[0];
  EXPECT_NE(questions[0].find("License Agreement Terms"), std::string::npos);
  EXPECT_NE(err.text().find("nothing was written (give --yes to burn without asking)"),
            std::string::npos);
  EXPECT_EQ(Run("burn --drive a --mode add --entry 6:" + temp / "a.iso", TDialogAnswer::Closed), 1);
  EXPECT_EQ(questions[0].rfind("Warning\nMaster Boot Code of selected drive will be overwritten.\n"
                               "It's safe for your data\n",
                               0),
            0u)
      << questions[0];
  ExpectDisksUntouched();
}

TEST_F(CliRunTest, ABurnReportsEveryEntryAndExitsZeroWhenAllFinished) {
  AddStick(temp / "media");
  ASSERT_EQ(
      Run("burn --drive a --mode add --entry 6:" + temp / "a.iso" + " --entry 9:" + temp / "a.iso"),
      0)
      << err.text();
  EXPECT_EQ(prep->mode, FormatModeAdd);
  EXPECT_EQ(prep->drive, 'a');
  const std::string text = out.text();
  for (const char* line :
       {"Replacing MBR...\nDrive ready.\n", "[1 a.iso] Initializing\n", "[1 a.iso] Running\n",
        "[1 a.iso] 100% flushing to the drive\n", "[1 a.iso] Finished\n", "[2 a.iso] Finished\n",
        "1 a.iso: Finished\n2 a.iso: Finished\nAll 2 entries finished.\n"})
    EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;
  EXPECT_NE(ReadFile(temp / "media/menu.lst").find("title a"), std::string::npos);
}

TEST_F(CliRunTest, JsonOutputIsOneObjectPerLineAsDocumented) {
  AddStick(temp / "media");
  ASSERT_EQ(Run("drives --json"), 0) << err.text();
  EXPECT_EQ(CliJsonLinesMismatch(out.text()), "");
  EXPECT_NE(out.text().find("/dev/sdb (" + world.Node("sdb1") + ")\""), std::string::npos)
      << out.text();
  const std::size_t start = out.text().size();
  ASSERT_EQ(Run("burn --drive a --mode add --yes --force --json --entry 6:" + temp / "a.iso" +
                " --entry 6:" + temp / "bad.iso"),
            1);
  const std::string text = out.text().substr(start);
  EXPECT_EQ(CliJsonLinesMismatch(text), "") << text;
  EXPECT_EQ(text.rfind("{\"type\":\"plan\"", 0), 0u) << text;
  EXPECT_NE(text.find("\"type\":\"progress\""), std::string::npos) << text;
  const std::string last = text.substr(text.rfind('\n', text.size() - 2) + 1);
  EXPECT_EQ(last.rfind("{\"type\":\"result\"", 0), 0u) << last;
  EXPECT_NE(last.find("\"success\":false"), std::string::npos) << last;
  EXPECT_NE(last.find("Error in file copy operation: test"), std::string::npos) << last;
}

TEST_F(CliRunTest, ANewDriveGetsTheFileSystemTheRulesChoose) {
  AddStick(temp / "media");
  ASSERT_EQ(Run("burn --drive a --mode new --yes --force --entry 6:" + temp / "a.iso"), 0) << err.text();
  EXPECT_EQ(prep->mode, FormatModeNew);
  EXPECT_EQ(prep->fs, FileSystemFAT32);
  EXPECT_NE(out.text().find("Mode: new (repartition and format FAT32)\n"), std::string::npos);
  EXPECT_NE(out.text().find("Formatting...\nDrive ready.\n"), std::string::npos);
  ASSERT_EQ(Run("burn --drive a --mode new --fs ntfs --yes --force --entry 6:" + temp / "a.iso"), 0);
  EXPECT_EQ(prep->fs, FileSystemNTFS);
}

TEST_F(CliRunTest, AFailedEntryFailsTheRunAndTheOthersGoOn) {
  AddStick(temp / "media");
  EXPECT_EQ(Run("burn --drive a --mode add --yes --force --entry 6:" + temp / "bad.iso" +
                " --entry 6:" + temp / "a.iso"),
            1);
  const std::string text = out.text();
  EXPECT_NE(text.find("1 bad.iso: Failed: Error in file copy operation: test\n2 a.iso: Finished\n"
                      "1 of 2 entries finished.\n"),
            std::string::npos)
      << text;
  // The failed entry's folder went with its roll-back; the other one's is there.
  std::size_t folders = 0;
  for (const auto& e : std::filesystem::directory_iterator(temp / "media/Quorvane")) {
    ++folders;
    EXPECT_TRUE(Exists(e.path().string() + "/a.iso")) << e.path();
  }
  EXPECT_EQ(folders, 1u);
}

TEST_F(CliRunTest, AFailedDriveStepStartsNoEntry) {
  AddStick(temp / "media");
  prep->error = "Can't obtain handle to physical drive";
  EXPECT_EQ(Run("burn --drive a --mode add --yes --force --entry 6:" + temp / "a.iso"), 1);
  const std::string text = out.text();
  // The error is told once, when the step ends.
  const std::string told = "MBR replacing error: Can't obtain handle to physical drive\n";
  const std::size_t at = text.find(told);
  ASSERT_NE(at, std::string::npos) << text;
  EXPECT_EQ(text.find("Can't obtain handle to physical drive", at + told.size()), std::string::npos)
      << text;
  EXPECT_EQ(err.text().find("Can't obtain handle"), std::string::npos) << err.text();
  EXPECT_NE(text.find("1 a.iso: not started\n0 of 1 entries finished.\n"), std::string::npos)
      << text;
  EXPECT_FALSE(Exists(temp / "media/Quorvane"));
}

TEST_F(CliRunTest, TheCapacityCheckComesFirstWithItsProgressAndTime) {
  AddStick(temp / "media");
  prep->progress = {0, 7, 55, 100};
  const std::string checked =
      "burn --drive a --mode new --yes --force --check-capacity --entry 6:" + temp / "a.iso";
  ASSERT_EQ(Run(checked), 0) << err.text();
  EXPECT_TRUE(prep->options.CheckCapacity);
  const std::string text = out.text();
  for (const char* line :
       {"First the drive's real capacity is checked; a drive that holds less than it claims is "
        "not repartitioned.\nChecking capacity... 0%\nChecking capacity... 50%\n"
        "Checking capacity... 100%\nChecking capacity took ",
        " s.\nDrive ready.\n"})
    EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;
  EXPECT_EQ(text.find("Formatting..."), std::string::npos) << text;

  // A drive that fails the check: the message, and no entry.
  prep->error = "This drive holds only about 1.0 GiB of the 16.0 GiB it claims: the block at "
                "byte 1073741824 shares its storage with byte 0. The drive was not repartitioned.";
  EXPECT_EQ(Run(checked), 1);
  EXPECT_NE(out.text().find("Drive format error: " + prep->error + "\n"), std::string::npos)
      << out.text();
  EXPECT_NE(out.text().find("1 a.iso: not started\n0 of 1 entries finished.\n"), std::string::npos);
  // Without the option the drive step is not asked for a check.
  prep->error.clear();
  prep->progress.clear();
  ASSERT_EQ(Run("burn --drive a --mode new --yes --force --entry 6:" + temp / "a.iso"), 0);
  EXPECT_FALSE(prep->options.CheckCapacity);
}

TEST_F(CliRunTest, EntriesAreReadBackAsTheirOwnStepUnlessTurnedOff) {
  AddStick(temp / "media");
  WriteFile(temp / "checked.iso", "image");
  const std::string burn = "burn --drive a --mode add --yes --force --entry 6:" + temp / "checked.iso";
  ASSERT_EQ(Run(burn), 0) << err.text();
  EXPECT_TRUE(prep->options.Verify);
  EXPECT_NE(out.text().find("[1 checked.iso] Verifying\n"), std::string::npos) << out.text();
  EXPECT_NE(ReadFile(temp / "media/Quorvane/manifest.json").find("checked.iso"), std::string::npos);

  std::size_t start = out.text().size();
  ASSERT_EQ(Run(burn + " --json"), 0) << err.text();
  std::string text = out.text().substr(start);
  EXPECT_EQ(CliJsonLinesMismatch(text), "") << text;
  EXPECT_NE(text.find("\"verify\":true"), std::string::npos) << text;
  EXPECT_NE(text.find("\"status\":\"Verifying\""), std::string::npos) << text;

  start = out.text().size();
  ASSERT_EQ(Run(burn + " --no-verify"), 0) << err.text();
  EXPECT_FALSE(prep->options.Verify);
  text = out.text().substr(start);
  EXPECT_NE(text.find("The entries are not read back from the drive after they are written.\n"),
            std::string::npos) << text;
  EXPECT_EQ(text.find("Verifying"), std::string::npos) << text;
  start = out.text().size();
  ASSERT_EQ(Run(burn + " --no-verify --json"), 0) << err.text();
  text = out.text().substr(start);
  EXPECT_EQ(CliJsonLinesMismatch(text), "") << text;
  EXPECT_NE(text.find("\"verify\":false"), std::string::npos) << text;
}

TEST_F(CliRunTest, AnInterruptStopsTheBurn) {
  AddStick(temp / "media");
  interrupted = true;
  EXPECT_EQ(Run("burn --drive a --mode add --yes --force --entry 6:" + temp / "a.iso"), 1);
  const std::string text = out.text();
  EXPECT_NE(text.find("Stopping:"), std::string::npos) << text;
  EXPECT_NE(text.find("1 a.iso: not started\n"), std::string::npos) << text;
  // The drive step that had begun ran to its end.
  EXPECT_EQ(prep->runs, 1);
}

// verify reads the stick where the desktop mounted it: no root, no mount of its own.
TEST_F(CliRunTest, VerifyTellsEachEntryAndExitsZeroOnlyWhenAllAreIntact) {
  AddStick(temp / "media");
  const std::string stick = temp / "media/";
  RecordEntry(stick, kEntryA, "a.iso", {{"a.iso", std::string(5000, 'a')}});
  RecordEntry(stick, kEntryB, "b.iso", {{"b.iso", std::string(3000, 'b')}});
  root = false;
  jobs_allowed = false;
  ASSERT_EQ(Run("verify --drive a"), 0) << err.text();
  EXPECT_EQ(out.text(), "a.iso: intact\nb.iso: intact\nAll 2 entries are intact.\n");
  EXPECT_EQ(err.text(), "");

  FlipByte(stick + "Quorvane/" + kEntryB + "/b.iso", 2999);
  std::size_t start = out.text().size();
  EXPECT_EQ(Run("verify --drive a"), 1);
  EXPECT_EQ(out.text().substr(start),
            "a.iso: intact\nb.iso: changed: Quorvane/" + std::string(kEntryB) +
                "/b.iso differs from what was written (its SHA-256 does not match)\n"
                "1 of 2 entries intact: 1 changed, 0 missing.\n");

  std::filesystem::remove_all(stick + "Quorvane/" + kEntryA);
  start = out.text().size();
  EXPECT_EQ(Run("verify --drive a --json"), 1);
  const std::string json = out.text().substr(start);
  EXPECT_EQ(CliJsonLinesMismatch(json), "") << json;
  EXPECT_NE(json.find("{\"type\":\"verify_entry\",\"entry\":\"" + std::string(kEntryA) +
                      "\",\"title\":\"a.iso\",\"state\":\"missing\",\"detail\":\"the folder "
                      "Quorvane/" + kEntryA + " is gone\"}\n"),
            std::string::npos)
      << json;
  EXPECT_NE(json.find("{\"type\":\"verify_result\",\"success\":false,\"manifest\":\"ok\""),
            std::string::npos)
      << json;
  ExpectDisksUntouched();
}

TEST_F(CliRunTest, VerifyOfADriveWithoutManifestOrWithoutTheLetterFails) {
  AddStick(temp / "media");
  jobs_allowed = false;
  EXPECT_EQ(Run("verify --drive a"), 1);
  EXPECT_EQ(out.text(),
            "This drive has no manifest: it was not written by this program, or before "
            "manifests were kept. No entry is recorded.\n");
  std::size_t start = out.text().size();
  EXPECT_EQ(Run("verify --drive a --json"), 1);
  EXPECT_EQ(CliJsonLinesMismatch(out.text().substr(start)), "") << out.text().substr(start);
  EXPECT_EQ(Run("verify --drive q"), 1);
  EXPECT_NE(err.text().find("quorvane-cli: drive q: "), std::string::npos) << err.text();
  EXPECT_EQ(Run("verify --drive a --entry 6:x.iso"), 2);
  EXPECT_EQ(Run("verify --image " + temp / "none.img"), 2);
  EXPECT_NE(err.text().find("is not an existing image file"), std::string::npos) << err.text();
  ExpectDisksUntouched();
}

}  // namespace
}  // namespace quorvane::testing
