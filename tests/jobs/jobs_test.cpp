// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "jobs/jobs.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "common/constants.h"
#include "common/main_thread.h"
#include "support/main_thread_fixture.h"
#include "support/test_loaders.h"

namespace quorvane::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class JobsTest : public MainThreadTest {
 protected:
  JobsTest() {
    root = MapDrive('e');
    for (const char* name : {"a.iso", "b.iso", "c.iso"}) WriteFile(temp / name, "data");
    jobs = std::make_unique<TJobs>(StandInLoaderFactory(&made), RecordingPreparation(prep));
    jobs->SetOwner(&owner);
    auto note = [this](std::string line) { events.push_back(std::move(line)); };
    jobs->SetOnJobSync([this, note](void* s, const std::string& n) {
      EXPECT_EQ(s, &owner);
      TJob* job = jobs->GetJobByName(n);
      // Progress notices are left out; statuses are what the order is about.
      if (job->Status() != last_status[n]) note("sync " + n + " " + job->Status());
      last_status[n] = job->Status();
    });
    jobs->SetOnJobStart([note](void*, const std::string& n) { note("started " + n); });
    jobs->SetOnJobFinish([note](void*, const std::string& n) { note("finished " + n); });
    jobs->SetOnWorksStart([note](void*) { note("works-start"); });
    jobs->SetOnWorksFinish([this, note](void*) {
      note("all-finished");
      ++all_finished;
    });
    jobs->SetOnFormatStarted([note](void*, std::uint8_t mode, char drive) {
      note("format-start " + std::to_string(mode) + " " + drive);
    });
    jobs->SetOnFormatFinished([note](void*, const std::string& e) { note("format-done " + e); });
    jobs->SetOnMBRReplaceFinishedCB([note](void*, const std::string& e) { note("mbr-done " + e); });
  }

  ~JobsTest() override { jobs.reset(); }

  void AddJobs(std::initializer_list<const char*> names) {
    for (const char* name : names) ASSERT_TRUE(jobs->Add(6, temp / name, 'e', name));
  }

  bool RunToEnd() {
    return PumpUntil([&] { return all_finished > 0; });
  }

  int owner = 0;
  std::string root;
  std::shared_ptr<TPreparationLog> prep = std::make_shared<TPreparationLog>();
  std::vector<TStandInLoader*> made;
  std::unique_ptr<TJobs> jobs;
  std::vector<std::string> events;
  std::map<std::string, std::string> last_status;
  int all_finished = 0;
};

TEST_F(JobsTest, BurnOfTwoJobsReportsInOrder) {
  AddJobs({"a.iso", "b.iso"});
  jobs->Start('e', FormatModeNew, FileSystemNTFS);
  EXPECT_TRUE(jobs->Starting());
  ASSERT_TRUE(RunToEnd());
  EXPECT_THAT(events,
              ElementsAre("format-start 0 e", "format-done ", "started a.iso", "works-start",
                          "sync a.iso Initializing", "sync a.iso Running", "sync a.iso Finished",
                          "finished a.iso", "started b.iso", "sync b.iso Initializing",
                          "sync b.iso Running", "sync b.iso Finished", "finished b.iso",
                          "all-finished"));
  EXPECT_EQ(prep->drive, 'e');
  EXPECT_EQ(prep->fs, FileSystemNTFS);
  EXPECT_EQ(prep->mode, FormatModeNew);
  EXPECT_FALSE(jobs->Starting());
  EXPECT_EQ(jobs->Current(), nullptr);
}

TEST_F(JobsTest, AddModeReportsTheBootCodeReplacement) {
  AddJobs({"a.iso"});
  jobs->Start('e', FormatModeAdd, 255);
  ASSERT_TRUE(RunToEnd());
  EXPECT_EQ(events[0], "format-start 1 e");
  EXPECT_EQ(events[1], "mbr-done ");
}

TEST_F(JobsTest, StartOnAnEmptyListOnlyReportsTheEnd) {
  jobs->Start('e', FormatModeNew, FileSystemFAT32);
  EXPECT_THAT(events, ElementsAre("all-finished"));
  EXPECT_FALSE(jobs->Starting());
  PumpPending();
  EXPECT_EQ(prep->runs, 0);
}

TEST_F(JobsTest, SecondStartIsIgnored) {
  AddJobs({"a.iso"});
  jobs->Start('e', FormatModeNew, FileSystemFAT32);
  jobs->Start('e', FormatModeNew, FileSystemFAT32);
  ASSERT_TRUE(RunToEnd());
  EXPECT_EQ(prep->runs, 1);
  EXPECT_EQ(std::count(events.begin(), events.end(), "started a.iso"), 1);
}

TEST_F(JobsTest, AllJobsDeactivatedPreparesTheDriveThenEndsWithoutWorksStart) {
  AddJobs({"a.iso", "b.iso"});
  jobs->DeactAll();
  jobs->Start('e', FormatModeNew, FileSystemFAT32);
  ASSERT_TRUE(RunToEnd());
  EXPECT_THAT(events, ElementsAre("format-start 0 e", "format-done ", "all-finished"));
}

TEST_F(JobsTest, FailedFirstJobIsRolledBackAndTheNextStillRuns) {
  ASSERT_TRUE(jobs->Add(6, temp / "missing.iso", 'e', "a"));
  AddJobs({"b.iso"});
  jobs->Start('e', FormatModeAdd, 1);
  ASSERT_TRUE(RunToEnd());
  EXPECT_EQ(jobs->GetJobById(0)->Status(), "Failed");
  EXPECT_EQ(jobs->GetJobById(0)->Error(), "File not found");
  EXPECT_EQ(jobs->GetJobById(1)->Status(), "Finished");
  EXPECT_THAT(events, ::testing::Contains("finished a"));
}

TEST_F(JobsTest, FailedLoaderStepLeavesNoFolder) {
  AddJobs({"a.iso"});
  jobs->Start('e', FormatModeAdd, 1);
  made[0]->fail_step = "copy";
  ASSERT_TRUE(RunToEnd());
  EXPECT_EQ(made[0]->Status(), "Failed");
  EXPECT_FALSE(Exists(made[0]->Vars.JobDir));
}

TEST_F(JobsTest, StopWhileTheFirstOfThreeRunsCancelsItAndEnds) {
  AddJobs({"a.iso", "b.iso", "c.iso"});
  made[0]->hold = true;
  jobs->Start('e', FormatModeAdd, 1);
  ASSERT_TRUE(PumpUntil([&] { return made[0]->in_copy.load(); }));
  jobs->Stop();
  EXPECT_FALSE(jobs->Starting());
  ASSERT_TRUE(RunToEnd());
  EXPECT_EQ(made[0]->Status(), "Cancelled");
  EXPECT_FALSE(Exists(made[0]->Vars.JobDir));
  EXPECT_EQ(made[1]->Status(), "Ready");
  EXPECT_EQ(made[2]->Status(), "Ready");
  const std::vector<std::string> tail(events.end() - 4, events.end());
  EXPECT_THAT(tail, ElementsAre("sync a.iso Cancelling", "sync a.iso Cancelled",
                                "finished a.iso", "all-finished"));
}

TEST_F(JobsTest, FailedPreparationReportsOnlyItsErrorAndStaysStartingUntilStop) {
  prep->error = "Failed to format drive...";
  AddJobs({"a.iso"});
  jobs->Start('e', FormatModeNew, FileSystemFAT32);
  ASSERT_TRUE(PumpUntil([&] { return events.size() == 2; }));
  PumpPending();
  EXPECT_THAT(events, ElementsAre("format-start 0 e", "format-done Failed to format drive..."));
  EXPECT_TRUE(jobs->Starting());
  EXPECT_EQ(made[0]->Status(), "Ready");
  jobs->Stop();
  EXPECT_FALSE(jobs->Starting());
  EXPECT_EQ(events.size(), 2u);  // no final notice in this state
}

TEST_F(JobsTest, StopDuringPreparationStartsNoJob) {
  prep->hold = true;
  AddJobs({"a.iso"});
  jobs->Start('e', FormatModeNew, FileSystemFAT32);
  jobs->Stop();
  prep->hold = false;
  ASSERT_TRUE(RunToEnd());
  EXPECT_THAT(events, ElementsAre("format-start 0 e", "format-done ", "all-finished"));
  EXPECT_EQ(made[0]->Status(), "Ready");
}

TEST_F(JobsTest, TheDriveStepGetsItsOptionsAndReportsProgressOnTheMainThread) {
  prep->progress = {0, 50, 100};
  jobs->SetOnFormatProgress([this](void* s, const std::string& step, std::int32_t percent) {
    EXPECT_EQ(s, &owner);
    EXPECT_TRUE(MainThread().OnMainThread());
    events.push_back(step + " " + std::to_string(percent));
  });
  AddJobs({"a.iso"});
  jobs->Start('e', FormatModeNew, FileSystemFAT32, {.CheckCapacity = true});
  ASSERT_TRUE(RunToEnd());
  EXPECT_TRUE(prep->options.CheckCapacity);
  EXPECT_THAT(events, ElementsAre("format-start 0 e", "Checking capacity... 0",
                                  "Checking capacity... 50", "Checking capacity... 100",
                                  "format-done ", "started a.iso", "works-start",
                                  "sync a.iso Initializing", "sync a.iso Running",
                                  "sync a.iso Finished", "finished a.iso", "all-finished"));
  // Without the option the step is told nothing of a check.
  prep->progress.clear();
  AddJobs({"b.iso"});
  all_finished = 0;
  jobs->Start('e', FormatModeNew, FileSystemFAT32);
  ASSERT_TRUE(RunToEnd());
  EXPECT_FALSE(prep->options.CheckCapacity);
}

TEST_F(JobsTest, StopDuringTheDriveStepCancelsWhatCanBeCancelled) {
  prep->wait_for_cancel = true;
  AddJobs({"a.iso"});
  jobs->Start('e', FormatModeNew, FileSystemFAT32, {.CheckCapacity = true});
  jobs->Stop();
  const bool ended = PumpUntil([&] { return !jobs->Busy(); });
  prep->wait_for_cancel = false;  // a step that missed the request must still end
  ASSERT_TRUE(ended);
  EXPECT_THAT(events, ElementsAre("format-start 0 e", "format-done cancelled"));
  EXPECT_FALSE(jobs->Starting());
  EXPECT_EQ(made[0]->Status(), "Ready");
}

TEST_F(JobsTest, StartWhileAStoppedJobIsEndingWaitsForItBeforeTheDriveStep) {
  AddJobs({"a.iso", "b.iso"});
  made[0]->hold = true;
  jobs->Start('e', FormatModeAdd, 1);
  ASSERT_TRUE(PumpUntil([&] { return made[0]->in_copy.load(); }));
  jobs->Stop();
  jobs->Start('e', FormatModeAdd, 1);  // job a is still in its copy
  EXPECT_EQ(prep->runs, 1);
  ASSERT_TRUE(RunToEnd());
  EXPECT_EQ(prep->runs, 2);
  EXPECT_EQ(made[0]->Status(), "Cancelled");
  EXPECT_EQ(made[1]->Status(), "Finished");
  // The second drive step began only after job a had been rolled back and reported.
  const auto finished_a = std::find(events.begin(), events.end(), "finished a.iso");
  const auto second_start = std::find(finished_a, events.end(), "format-start 1 e");
  EXPECT_NE(second_start, events.end());
  EXPECT_EQ(std::count(events.begin(), events.end(), "all-finished"), 1);
}

TEST_F(JobsTest, BusyUntilTheEndOfTheLastThreadHasBeenHandled) {
  AddJobs({"a.iso"});
  EXPECT_FALSE(jobs->Busy());
  bool busy_in_report = false;
  jobs->SetOnJobFinish([&](void*, const std::string&) { busy_in_report = jobs->Busy(); });
  made[0]->hold = true;
  jobs->Start('e', FormatModeAdd, 1);
  EXPECT_TRUE(jobs->Busy());  // the drive step
  ASSERT_TRUE(PumpUntil([&] { return made[0]->in_copy.load(); }));
  EXPECT_TRUE(jobs->Busy());
  jobs->Stop();
  // The thread ends (a cancelled stand-in needs the main thread no more); until its
  // completion is handled, with the roll-back, the list is busy.
  while (!made[0]->Finished()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_TRUE(jobs->Busy());
  ASSERT_TRUE(RunToEnd());
  EXPECT_TRUE(busy_in_report);
  EXPECT_FALSE(jobs->Busy());
  EXPECT_EQ(made[0]->Status(), "Cancelled");
}

TEST_F(JobsTest, StartFromTheFinishReportOfAStoppedJobWaitsForItsHandlerToEnd) {
  AddJobs({"a.iso", "b.iso"});
  made[0]->hold = true;
  bool restarted = false;
  jobs->SetOnJobFinish([&](void*, const std::string& name) {
    events.push_back("finished " + name);
    if (name == "a.iso" && !restarted) {
      restarted = true;
      jobs->Start('e', FormatModeAdd, 1);
    }
  });
  jobs->Start('e', FormatModeAdd, 1);
  ASSERT_TRUE(PumpUntil([&] { return made[0]->in_copy.load(); }));
  jobs->Stop();
  ASSERT_TRUE(RunToEnd());
  // Job b ran only after a second drive step, never beside it.
  EXPECT_EQ(prep->runs, 2);
  const auto second_step = std::find(events.begin(), events.end(), "format-start 1 e") + 1;
  const auto second_prep = std::find(second_step, events.end(), "format-start 1 e");
  const auto b_started = std::find(events.begin(), events.end(), "started b.iso");
  ASSERT_NE(second_prep, events.end());
  EXPECT_LT(second_prep - events.begin(), b_started - events.begin());
  EXPECT_EQ(made[1]->Status(), "Finished");
}

TEST_F(JobsTest, LaterBurnRunsOnlyTheJobsStillReady) {
  AddJobs({"a.iso"});
  jobs->Start('e', FormatModeAdd, 1);
  ASSERT_TRUE(RunToEnd());
  all_finished = 0;
  AddJobs({"b.iso"});
  events.clear();
  jobs->Start('e', FormatModeAdd, 1);
  ASSERT_TRUE(RunToEnd());
  EXPECT_EQ(jobs->Count(), 2);
  EXPECT_EQ(std::count(events.begin(), events.end(), "started a.iso"), 0);
  EXPECT_EQ(std::count(events.begin(), events.end(), "started b.iso"), 1);
}

TEST_F(JobsTest, ThrowingFrontEndCallbacksDoNotStopTheSequence) {
  AddJobs({"a.iso", "b.iso"});
  jobs->SetOnJobStart([](void*, const std::string&) { throw std::runtime_error("x"); });
  jobs->SetOnJobFinish([](void*, const std::string&) { throw std::runtime_error("x"); });
  jobs->Start('e', FormatModeAdd, 1);
  ASSERT_TRUE(RunToEnd());
  EXPECT_EQ(made[1]->Status(), "Finished");
}

TEST_F(JobsTest, ThrowingPreparationReportStartsNoJob) {
  AddJobs({"a.iso"});
  bool reported = false;
  jobs->SetOnMBRReplaceFinishedCB([&](void*, const std::string&) {
    reported = true;
    throw std::runtime_error("x");
  });
  jobs->Start('e', FormatModeAdd, 1);
  ASSERT_TRUE(PumpUntil([&] { return reported; }));
  PumpPending();
  EXPECT_EQ(made[0]->Status(), "Ready");
}

TEST_F(JobsTest, LookupsByIdAndName) {
  EXPECT_FALSE(jobs->Add(10, temp / "a.iso", 'e', "x"));
  EXPECT_FALSE(jobs->Add(-1, temp / "a.iso", 'e', "x"));
  ASSERT_TRUE(jobs->Add(6, temp / "a.iso", 'e', "same"));
  ASSERT_TRUE(jobs->Add(7, temp / "b.iso", 'e', "same"));
  EXPECT_EQ(jobs->Count(), 2);
  EXPECT_EQ(jobs->GetJobByName("same")->LType(), 7);
  EXPECT_EQ(jobs->GetJobByName("Same"), nullptr);
  EXPECT_EQ(jobs->GetJobById(-1), nullptr);
  EXPECT_EQ(jobs->GetJobById(2), nullptr);
  EXPECT_EQ(jobs->GetJobById(0)->LType(), 6);
  EXPECT_EQ(jobs->GetJobById(0)->Status(), "Ready");
  EXPECT_TRUE(jobs->GetJobById(0)->Active());
}

TEST_F(JobsTest, DestroyingTheListWaitsForTheRunningJob) {
  AddJobs({"a.iso"});
  made[0]->hold = true;
  jobs->Start('e', FormatModeAdd, 1);
  ASSERT_TRUE(PumpUntil([&] { return made[0]->in_copy.load(); }));
  std::thread release([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    made[0]->hold = false;
  });
  jobs.reset();  // serves the job's notifications while it waits
  release.join();
  EXPECT_THAT(events, ::testing::Not(::testing::Contains("finished a.iso")));
}

}  // namespace
}  // namespace quorvane::testing
