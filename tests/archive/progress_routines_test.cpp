// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The jobs' progress receivers: percentages, notifications, cancel and pause.
#include <atomic>
#include <thread>

#include <gtest/gtest.h>

#include "archive/file_operations.h"
#include "fixtures.h"
#include "jobs/job.h"
#include "support/main_thread_fixture.h"

namespace quorvane {
namespace {

using testing::MakeIso;
using testing::MakeTree;

std::uint32_t CopyReport(TJob& job, std::int64_t done, std::int64_t total,
                         std::uint32_t reason = CALLBACK_CHUNK_FINISHED) {
  return CopyProgressRoutine(total, done, total, done, 1, reason, -1, -1, &job);
}

HRESULT UnpackReport(TJob& job, std::int64_t done) { return UnpackProgressCallback(&job, false, done); }

class ProgressRoutines : public testing::MainThreadTest {
 protected:
  ProgressRoutines() : job(0, temp / "none.iso", 'e', "job-1") {
    job.SetOnJobSync([this](void*, const std::string& name) {
      EXPECT_EQ(name, "job-1");
      notified.push_back(job.Progress());
    });
  }
  TJob job;
  std::vector<std::int32_t> notified;
};

TEST_F(ProgressRoutines, PercentagesRoundHalvesToEvenAndNotifyOnlyWhenTheyRise) {
  // (bytes done of 200) -> stored percentage; a notification only when it rose.
  const std::vector<std::pair<std::int64_t, std::int32_t>> steps = {
      {1, 0},    // 0.5 -> 0
      {3, 2},    // 1.5 -> 2
      {5, 2},    // 2.5 -> 2
      {7, 4},    // 3.5 -> 4
      {100, 50},
      {60, 30},  // a falling value (a second pass) is stored silently
      {62, 31},
      {200, 100},
  };
  for (const auto& [done, percent] : steps) {
    EXPECT_EQ(CopyReport(job, done, 200), PROGRESS_CONTINUE);
    EXPECT_EQ(job.Progress(), percent) << done;
  }
  EXPECT_EQ(notified, (std::vector<std::int32_t>{2, 4, 50, 31, 100}));

  // Stream switches and a total of 0 leave the percentage alone.
  EXPECT_EQ(CopyReport(job, 0, 200, CALLBACK_STREAM_SWITCH), PROGRESS_CONTINUE);
  EXPECT_EQ(CopyReport(job, 0, 0), PROGRESS_CONTINUE);
  EXPECT_EQ(job.Progress(), 100);
  EXPECT_EQ(notified.size(), 5u);
}

TEST_F(ProgressRoutines, UnpackPercentagesAreOfTheAnnouncedTotal) {
  EXPECT_EQ(UnpackReport(job, 10), S_OK);  // no total yet: unchanged
  EXPECT_EQ(job.Progress(), 0);
  EXPECT_EQ(UnpackProgressCallback(&job, true, 400), S_OK);
  EXPECT_EQ(job.Vars.UnPackingSize.load(), 400);
  EXPECT_TRUE(notified.empty()) << "the total alone notifies nothing";
  EXPECT_EQ(UnpackReport(job, 100), S_OK);
  EXPECT_EQ(UnpackReport(job, 40), S_OK);
  EXPECT_EQ(UnpackReport(job, 400), S_OK);
  EXPECT_EQ(notified, (std::vector<std::int32_t>{25, 100}));
  EXPECT_EQ(UnpackProgressCallback(nullptr, false, 5), S_OK) << "no job: nothing to tell";
}

TEST_F(ProgressRoutines, CancelledJobStopsAtItsNextReport) {
  UnpackProgressCallback(&job, true, 100);
  ASSERT_TRUE(job.Cancel());
  // The unpack receiver aborts at once, without a notification.
  EXPECT_EQ(UnpackReport(job, 50), E_ABORT);
  EXPECT_EQ(job.Progress(), 50);
  EXPECT_TRUE(notified.empty());
  // The copy routine still tells the rise, then cancels.
  EXPECT_EQ(CopyReport(job, 80, 100), PROGRESS_CANCEL);
  EXPECT_EQ(notified, (std::vector<std::int32_t>{80}));
  EXPECT_EQ(CopyReport(job, 0, 100, CALLBACK_STREAM_SWITCH), PROGRESS_CONTINUE);
}

TEST_F(ProgressRoutines, PausedJobWaitsUntilResumedOrCancelled) {
  std::atomic<int> paused{0}, resumed{0};
  job.JobPaused = [&](void*, const std::string& name) {
    EXPECT_EQ(name, "job-1");
    ++paused;
  };
  job.JobResumed = [&](void*, const std::string&) { ++resumed; };
  struct TCase {
    const char* name;
    bool copy;
    bool cancel;  // end the pause by cancelling instead of resuming
  };
  const TCase cases[] = {{"copy", true, false}, {"unpack", false, false}, {"copy, cancelled", true, true}};
  UnpackProgressCallback(&job, true, 100);
  int step = 0;
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    paused = resumed = 0;
    job.Pause();
    std::atomic<bool> returned{false};
    std::uint32_t answer = 99;
    step += 10;
    std::thread worker([&] {
      answer = c.copy ? CopyReport(job, step, 100) : static_cast<std::uint32_t>(UnpackReport(job, step));
      returned = true;
    });
    ASSERT_TRUE(PumpUntil([&] { return paused.load() == 1; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    PumpPending();
    EXPECT_FALSE(returned.load()) << "went on while paused";
    if (c.cancel) job.Cancel();
    else job.UnPause();
    ASSERT_TRUE(PumpUntil([&] { return returned.load(); }));
    worker.join();
    EXPECT_EQ(resumed.load(), c.copy ? 1 : 0) << "only the copy tells the resume";
    EXPECT_EQ(answer, 0u);  // the cancel state was read before the wait
    EXPECT_EQ(notified.back(), step);
  }
  EXPECT_EQ(UnpackReport(job, 90), E_ABORT);
}

TEST_F(ProgressRoutines, UnpackOfARealImageReportsAGrowingPercentage) {
  std::vector<std::pair<std::string, std::string>> files;
  for (int i = 0; i < 40; ++i) files.emplace_back("data/f" + std::to_string(i), std::string(200000, 'x'));
  MakeTree(temp / "tree", files);
  MakeIso(temp / "tree", temp / "image.iso", true);
  std::string error = "unset";
  UnpackArchive(&job, &UnpackProgressCallback, temp / "image.iso", error, MapDrive('e') + "unpacked/");
  EXPECT_EQ(error, "");
  EXPECT_EQ(job.Vars.UnPackingSize.load(), 40 * 200000);
  ASSERT_FALSE(notified.empty());
  EXPECT_TRUE(std::is_sorted(notified.begin(), notified.end()));
  EXPECT_EQ(notified.back(), 100);
  EXPECT_LE(notified.size(), 101u);
}

}  // namespace
}  // namespace quorvane
