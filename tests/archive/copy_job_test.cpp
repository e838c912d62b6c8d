// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// A job that copies an image onto a drive the way the image-copying loaders do.
#include <algorithm>
#include <filesystem>
#include <mutex>

#include <gtest/gtest.h>

#include "archive/file_operations.h"
#include "fixtures.h"
#include "jobs/job.h"
#include "jobs/job_status.h"
#include "support/main_thread_fixture.h"

namespace quorvane {
namespace {

namespace fs = std::filesystem;
using testing::MakeIso;
using testing::MakeSparseFile;
using testing::MakeTree;
using testing::ReadFile;

class TCopyImageJob : public TJob {
 public:
  using TJob::TJob;
  ~TCopyImageJob() override { WaitFor(); }

 protected:
  void JobGo() override {
    TJob::JobGo();
    if (Status() != kStatusRunning) return;
    std::string error;
    CopyFileWithProgress(Consts.SrcFile, Vars.JobFileNameOnDriveBackSlash, CopyProgressRoutine, error,
                         Canceled(), this);
    StepSucceeded(error);
  }
};

struct TNotice {
  std::string status;
  std::int32_t progress;
};

class CopyJob : public testing::MainThreadTest {
 protected:
  void SetUp() override {
    MapDrive('e');
    // An image of some size, so that the copy makes well over a hundred reports.
    MakeTree(temp / "tree", {{"casper/initrd.lz", "initrd"}});
    MakeSparseFile(temp / "tree/casper/filesystem.squashfs", 150ull << 20);
    MakeIso(temp / "tree", temp / "ubuntu-22.04.iso", true);
  }

  void Run(TCopyImageJob& job, std::vector<TNotice>& notices,
           const std::function<void(TCopyImageJob&, const TNotice&)>& on_notice = nullptr) {
    job.SetOnJobSync([&](void*, const std::string&) {
      notices.push_back({job.Status(), job.Progress()});
      if (on_notice) on_notice(job, notices.back());
    });
    job.Start();
    ASSERT_TRUE(PumpUntil([&] { return job.Finished(); }, std::chrono::seconds(120)));
    PumpPending();
  }
};

TEST_F(CopyJob, NotificationsOnlyGrowAndNumberAboutAHundred) {
  TCopyImageJob job(4, temp / "ubuntu-22.04.iso", 'e', "avg");
  std::vector<TNotice> notices;
  Run(job, notices);
  EXPECT_EQ(job.Status(), kStatusFinished);
  EXPECT_EQ(job.Error(), "");
  EXPECT_EQ(ReadFile(job.Vars.JobFileNameOnDriveBackSlash), ReadFile(temp / "ubuntu-22.04.iso"));

  std::vector<std::int32_t> progress;
  for (const TNotice& n : notices)
    if (n.status == kStatusRunning) progress.push_back(n.progress);
  ASSERT_FALSE(progress.empty());
  EXPECT_TRUE(std::adjacent_find(progress.begin(), progress.end(), std::greater_equal<>()) == progress.end())
      << "each notification shows more than the one before";
  EXPECT_EQ(progress.back(), 100);
  EXPECT_LE(progress.size(), 101u);
  EXPECT_GE(progress.size(), 90u) << "a report per whole percent of a large image";
  EXPECT_EQ(notices.back().status, kStatusFinished);
}

TEST_F(CopyJob, CancelDuringTheCopyLeavesNoImage) {
  TCopyImageJob job(4, temp / "ubuntu-22.04.iso", 'e', "avg");
  std::vector<TNotice> notices;
  Run(job, notices, [](TCopyImageJob& running, const TNotice& n) {
    if (n.progress >= 20) running.Cancel();
  });
  EXPECT_TRUE(job.Canceled());
  EXPECT_EQ(job.Error(), "");
  EXPECT_EQ(job.Status(), kStatusRunning) << "the list's roll-back sets the end status";
  EXPECT_LT(notices.back().progress, 30);
  EXPECT_FALSE(fs::exists(job.Vars.JobFileNameOnDriveBackSlash));
}

}  // namespace
}  // namespace quorvane
