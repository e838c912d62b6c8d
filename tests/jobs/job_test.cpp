// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "jobs/job.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "support/main_thread_fixture.h"
#include "support/test_loaders.h"

namespace quorvane::testing {
namespace {

using ::testing::ElementsAre;

// One notification as the front end sees it.
struct TSeen {
  std::string status;
  int progress;
  bool operator==(const TSeen&) const = default;
};
std::ostream& operator<<(std::ostream& out, const TSeen& s) {
  return out << s.status << "/" << s.progress;
}

class JobTest : public MainThreadTest {
 protected:
  JobTest() {
    root = MapDrive('e');
    image = temp / "images/my disk (x64).iso";
    WriteFile(image, std::string(1000, 'x'));
  }

  std::unique_ptr<TStandInLoader> MakeJob(const std::string& file, char drive = 'e',
                                          const std::string& name = "entry 1", int type = 6) {
    auto job = std::make_unique<TStandInLoader>(type, file, drive, name);
    job->SetOnJobSync([this, raw = job.get()](void* sender, const std::string& job_name) {
      EXPECT_EQ(job_name, raw->Name());
      EXPECT_EQ(sender, &owner);
      seen.push_back({raw->Status(), raw->Progress()});
    });
    job->SetOwner(&owner);
    return job;
  }

  void Run(TJob& job) {
    job.Start();
    ASSERT_TRUE(PumpUntil([&] { return job.Finished(); }));
    PumpPending();
  }

  int owner = 0;
  std::string root, image;
  std::vector<TSeen> seen;
};

TEST_F(JobTest, FinishedJobReportsEachStageAndGrowingProgress) {
  auto job = MakeJob(image);
  EXPECT_EQ(job->Status(), "Ready");
  EXPECT_EQ(job->NeedSpace(), 1000);
  Run(*job);
  EXPECT_THAT(seen, ElementsAre(TSeen{"Initializing", 0}, TSeen{"Running", 0},
                                TSeen{"Running", 25}, TSeen{"Running", 50},
                                TSeen{"Running", 75}, TSeen{"Running", 100},
                                TSeen{"Finished", 100}));
  EXPECT_EQ(job->Error(), "");
  EXPECT_FALSE(job->Running());
  EXPECT_EQ(ReadFile(root + "menu.lst"), "\r\ntitle my_disk_x64\r\n\r\n");
  EXPECT_TRUE(Exists(job->Vars.JobFileNameOnDriveBackSlash));
}

TEST_F(JobTest, DerivedPathsOfTheJobFolder) {
  auto job = MakeJob(image);
  Run(*job);
  const TLocalVariables& v = job->Vars;
  const std::string id = "[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}";
  std::smatch m;
  ASSERT_TRUE(std::regex_match(v.JobDirOnHDForwardSlash, m,
                               std::regex("\\(hd0,0\\)/Quorvane/(" + id + ")/")))
      << v.JobDirOnHDForwardSlash;
  const std::string d = m[1];
  EXPECT_EQ(v.JobDir, root + "Quorvane/" + d + "/");
  EXPECT_EQ(v.JobDirOnHDForwardSlashWOhd, "/Quorvane/" + d + "/");
  EXPECT_EQ(v.JobFileNameOnHDForwardSlash, "(hd0,0)/Quorvane/" + d + "/my_disk_x64.iso");
  EXPECT_EQ(v.JobFileNameForwardSlash, "/Quorvane/" + d + "/my_disk_x64.iso");
  EXPECT_EQ(v.JobFileNameDblBackSlash, "\\\\Quorvane\\\\" + d + "\\\\my_disk_x64.iso");
  EXPECT_EQ(v.JobFileNameOnDriveBackSlash, root + "Quorvane/" + d + "/my_disk_x64.iso");
  EXPECT_EQ(v.JobFileNameWOExt, "my_disk_x64");
  EXPECT_EQ(v.JobFileNameWithExt, "my_disk_x64.iso");
  EXPECT_EQ(job->SFile(), "my_disk_x64.iso");
  EXPECT_EQ(v.JobFileExt, ".iso");
}

TEST(CleanImageFileName, ReplacesBlanksDashesControlAndMenuSyntaxCharacters) {
  const std::pair<std::string, std::string> cases[] = {
      {"Win-10 {x64} (RU).iso", "Win_10_x64_RU.iso"},
      {"my disk (x64).iso", "my_disk_x64.iso"},
      {"Mixed.Case.ISO", "Mixed.Case.ISO"},
      {"line\r\nbreak\t.iso", "line__break_.iso"},  // no line of its own in a menu
      {"bell\x07\x7f.iso", "bell__.iso"},
      {"ünïcode.iso", "ünïcode.iso"},
      // GRUB4DOS expands "%...%": "p%@root%q" would show as "p(hd0,0)q" and not boot.
      {"p%@root%q.iso", "p_@root_q.iso"},
      {"a\\b;c&d|e<f>g\"h^i!j.iso", "a_b_c_d_e_f_g_h_i_j.iso"},
      {"Hiren's.BootCD 15.2.iso", "Hiren's.BootCD_15.2.iso"},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(CleanImageFileName(in), out) << in;
}

TEST_F(JobTest, ExtensionKeepsItsCaseAndNameWithoutExtensionIsCleaned) {
  const std::string file = temp / "Win-10 {x64} (RU).ISO";
  WriteFile(file, "x");
  auto job = MakeJob(file);
  Run(*job);
  EXPECT_EQ(job->Vars.JobFileNameWOExt, "Win_10_x64_RU");
  EXPECT_EQ(job->Vars.JobFileExt, ".ISO");
}

struct TCheckCase {
  const char* name;
  std::function<void(JobTest&, std::string& file, char& drive, int& type)> arrange;
  const char* error;
};

class JobCheckTest : public JobTest, public ::testing::WithParamInterface<TCheckCase> {};

TEST_P(JobCheckTest, FailsThePreRunCheckWithoutMakingAFolder) {
  std::string file = image;
  char drive = 'e';
  int type = 6;
  GetParam().arrange(*this, file, drive, type);
  auto job = MakeJob(file, drive, "entry", type);
  Run(*job);
  EXPECT_EQ(job->Error(), GetParam().error);
  EXPECT_THAT(seen, ElementsAre(TSeen{"Initializing", 0}, TSeen{"Failed", 0},
                                TSeen{"Failed", 0}));
  EXPECT_FALSE(Exists(root + "Quorvane"));
  seen.clear();
  EXPECT_TRUE(job->RollBack());
  EXPECT_THAT(seen, ElementsAre(TSeen{"Failed", 0}));
  EXPECT_EQ(job->Status(), "Failed");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, JobCheckTest,
    ::testing::Values(
        TCheckCase{"MissingImage",
                   [](JobTest& t, std::string& f, char&, int&) { f = t.temp / "none.iso"; },
                   "File not found"},
        TCheckCase{"UnknownLoader", [](JobTest&, std::string&, char&, int& type) { type = 10; },
                   "Selected loader not identified"},
        TCheckCase{"UnmappedLetter", [](JobTest&, std::string&, char& d, int&) { d = 'q'; },
                   "Drive not found"},
        TCheckCase{"UpperCaseLetter", [](JobTest&, std::string&, char& d, int&) { d = 'E'; },
                   "Drive not found"},
        TCheckCase{"NoFreeBytes",
                   [](JobTest& t, std::string&, char&, int&) { t.letters->SetFreeSpace('e', 0); },
                   "Drive opened read-only"},
        TCheckCase{"FreeSpaceEqualsNeed",
                   [](JobTest& t, std::string&, char&, int&) {
                     t.letters->SetFreeSpace('e', 1000);
                   },
                   "Not enough space on USB drive"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(JobTest, OneByteMoreThanNeededIsEnough) {
  letters->SetFreeSpace('e', 1001);
  auto job = MakeJob(image);
  Run(*job);
  EXPECT_EQ(job->Status(), "Finished");
}

TEST_F(JobTest, FailedLoaderStepIsNotifiedByLoaderExecuteAndRollBackWhichDeletesTheFolder) {
  auto job = MakeJob(image);
  job->fail_step = "menu";
  Run(*job);
  EXPECT_EQ(job->Error(), "Failed to write file content");
  ASSERT_GE(seen.size(), 2u);
  EXPECT_THAT(std::vector<TSeen>(seen.end() - 2, seen.end()),
              ElementsAre(TSeen{"Failed", 100}, TSeen{"Failed", 100}));
  ASSERT_TRUE(Exists(job->Vars.JobDir));
  seen.clear();
  EXPECT_TRUE(job->RollBack());
  EXPECT_THAT(seen, ElementsAre(TSeen{"Failed", 100}));
  EXPECT_FALSE(Exists(job->Vars.JobDir));
  EXPECT_FALSE(Exists(root + "menu.lst"));
}

TEST_F(JobTest, CancelDuringTheCopyStopsItAndRollBackDeletesTheFolder) {
  auto job = MakeJob(image);
  job->hold = true;
  job->Start();
  ASSERT_TRUE(PumpUntil([&] { return job->in_copy.load(); }));
  EXPECT_TRUE(job->Cancel());
  EXPECT_FALSE(job->Cancel());
  ASSERT_TRUE(PumpUntil([&] { return job->Finished(); }));
  PumpPending();
  EXPECT_TRUE(job->Canceled());
  EXPECT_EQ(job->Error(), "");
  EXPECT_EQ(job->Status(), "Running");  // the roll-back gives the final status
  seen.clear();
  EXPECT_TRUE(job->RollBack());
  EXPECT_THAT(seen, ElementsAre(TSeen{"Cancelling", 25}, TSeen{"Cancelled", 25}));
  EXPECT_FALSE(Exists(job->Vars.JobDir));
  EXPECT_FALSE(Exists(root + "menu.lst"));
}

TEST_F(JobTest, CancelAfterTheMenuItemWasAppendedIsRefusedAndTheEntryStays) {
  auto job = MakeJob(image);
  job->hold_after_menu = true;
  job->Start();
  ASSERT_TRUE(PumpUntil([&] { return job->in_menu.load(); }));
  EXPECT_FALSE(job->Cancel());
  job->hold_after_menu = false;
  ASSERT_TRUE(PumpUntil([&] { return job->Finished(); }));
  EXPECT_FALSE(job->Canceled());
  EXPECT_EQ(job->Status(), "Finished");
  EXPECT_TRUE(Exists(job->Vars.JobDir));
  EXPECT_EQ(ReadFile(root + "menu.lst"), "\r\ntitle my_disk_x64\r\n\r\n");
}

TEST_F(JobTest, CancelledBeforeItsStartTheJobStopsAtItsFirstProgressReport) {
  auto job = MakeJob(image);
  EXPECT_TRUE(job->Cancel());
  EXPECT_EQ(job->Status(), "Ready");
  Run(*job);
  EXPECT_EQ(job->Status(), "Running");
  EXPECT_EQ(job->Progress(), 25);
  EXPECT_FALSE(Exists(root + "menu.lst"));
}

TEST_F(JobTest, ActivateAndDeactivateOnlyWhileReady) {
  auto job = MakeJob(image);
  EXPECT_TRUE(job->Deactivate());
  EXPECT_FALSE(job->Active());
  EXPECT_TRUE(job->Activate());
  EXPECT_TRUE(job->Active());
  Run(*job);
  EXPECT_FALSE(job->Deactivate());
  EXPECT_FALSE(job->Activate());
  EXPECT_TRUE(job->Active());
}

TEST_F(JobTest, JobWithoutANameNeverNotifies) {
  auto job = MakeJob(image, 'e', "");
  Run(*job);
  EXPECT_EQ(job->Status(), "Finished");
  EXPECT_TRUE(seen.empty());
}

TEST_F(JobTest, ThrowingNotificationDoesNotStopTheJob) {
  auto job = std::make_unique<TStandInLoader>(6, image, 'e', "n");
  job->SetOnJobSync([](void*, const std::string&) { throw std::runtime_error("front end"); });
  Run(*job);
  EXPECT_EQ(job->Status(), "Finished");
}

TEST_F(JobTest, FolderThatCannotBeCreatedFailsWithTheSystemMessage) {
  WriteFile(root + "Quorvane", "a file where the folder should be");
  auto job = MakeJob(image);
  Run(*job);
  EXPECT_THAT(job->Error(), ::testing::StartsWith("Failed to create directory with error: "));
  EXPECT_GT(job->Error().size(), std::string("Failed to create directory with error: ").size());
}

TEST_F(JobTest, AProgramFolderThatIsALinkOffTheDriveIsRefused) {
  // A drive can carry "Quorvane" as a link to any folder of the computer; the job folder
  // and the image would land there.
  const std::string outside = temp / "outside";
  std::filesystem::create_directories(outside);
  std::filesystem::create_directory_symlink(outside, root + "Quorvane");
  auto job = MakeJob(image);
  Run(*job);
  EXPECT_EQ(job->Status(), "Failed");
  EXPECT_EQ(job->Error(), "Failed to create directory with error: Not a directory");
  EXPECT_TRUE(std::filesystem::is_empty(outside));
}

}  // namespace
}  // namespace quorvane::testing
