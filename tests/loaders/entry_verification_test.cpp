// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The read-back of an entry after it is written, and its record in the drive's manifest,
// on a folder-backed drive whose copy a hook changes between the write and the read-back.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <thread>
#include <mutex>
#include <atomic>

#include "archive/file_copy.h"
#include "common/sha256.h"
#include "jobs/drive_manifest.h"
#include "jobs/job_status.h"
#include "loaders/loader_catalog.h"
#include "loaders/loader_jobs.h"
#include "support/iso_images.h"
#include "support/main_thread_fixture.h"

namespace quorvane::testing {
namespace {

namespace fs = std::filesystem;

// Overwrites one byte of `path` at `at` with its complement, in place (the file keeps
// its clusters, as a drive's faulty cell would).
void FlipByte(const std::string& path, std::size_t at) {
  std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
  ASSERT_TRUE(file.is_open()) << path;
  char byte = 0;
  ASSERT_TRUE(file.seekg(static_cast<std::streamoff>(at)).get(byte)) << path;
  byte = static_cast<char>(~byte);
  ASSERT_TRUE(file.seekp(static_cast<std::streamoff>(at)).put(byte).flush()) << path;
}

class EntryVerificationTest : public MainThreadTest {
 public:
  EntryVerificationTest() { root = MapDrive('e'); }
  ~EntryVerificationTest() override { SetCopiedFileHook(nullptr); }

  // Runs one job of `code` over `image` to its end, noting every status it showed.
  std::unique_ptr<TJob> Burn(int code, const std::string& image, bool verify = true) {
    std::unique_ptr<TJob> job = CreateLoaderJob(code, image, 'e', fs::path(image).filename());
    EXPECT_NE(job, nullptr);
    job->SetVerify(verify);
    job->SetOnJobSync([this, raw = job.get()](void*, const std::string&) {
      statuses.insert(raw->Status());
      if (raw->Status() == kStatusVerifying) {
        verify_progress.push_back(raw->Progress());
        verify_total = raw->Vars.BytesTotal.load();
      }
    });
    job->Start();
    EXPECT_TRUE(PumpUntil([&] { return job->Finished(); }));
    return job;
  }

  std::string Image(int code, const std::string& name,
                    const std::map<std::string, std::string>& extra = {}) {
    const std::string image = temp / ("images/" + name);
    MakeLoaderImage(image, code, extra);
    return image;
  }

  TDriveManifest Manifest() {
    TDriveManifest manifest;
    std::string error;
    EXPECT_NE(ReadDriveManifest(root, manifest, error), TManifestRead::Damaged) << error;
    return manifest;
  }

  std::string root;
  std::set<std::string> statuses;
  std::vector<std::int32_t> verify_progress;
  std::int64_t verify_total = 0;
};

// A kernel larger than two of the pieces that files without a plain source are checked in.
const std::string kLargeKernel(9u << 20, 'k');

TEST_F(EntryVerificationTest, AChangedFileFailsTheEntryNamingTheFirstByteThatDiffers) {
  struct TCase {
    const char* what;
    int code;
    const char* image;
    std::function<void(const std::string& folder, const std::string& image_copy)> change;
    const char* error;
  };
  const TCase cases[] = {
      // The copied image is compared with its source again: the exact byte.
      {"a flipped byte of the image", LoaderHirens, "hbcd.iso",
       [](const std::string&, const std::string& copy) { FlipByte(copy, 40000); },
       "Verification failed: hbcd.iso differs on USB drive at byte 40000"},
      // A file taken out of the image has no plain source: the start of its piece (4 MiB).
      {"a flipped byte of an unpacked kernel", LoaderUbuntu, "ubuntu.iso",
       [](const std::string& folder, const std::string&) {
         FlipByte(folder + "vmlinuz", (5u << 20) + 3);
       },
       "Verification failed: vmlinuz differs on USB drive at byte 4194304"},
      {"an unpacked kernel cut short", LoaderUbuntu, "ubuntu.iso",
       [](const std::string& folder, const std::string&) {
         fs::resize_file(folder + "vmlinuz", 5u << 20);
       },
       "Verification failed: vmlinuz differs on USB drive at byte 4194304"},
      {"an unpacked initrd gone", LoaderUbuntu, "ubuntu.iso",
       [](const std::string& folder, const std::string&) { fs::remove(folder + "initrd"); },
       "Verification failed: initrd is missing on USB drive"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.what);
    statuses.clear();
    const std::string image = Image(c.code, c.image, {{"casper/vmlinuz", kLargeKernel}});
    const std::string menu_before = fs::exists(root + "menu.lst") ? ReadFile(root + "menu.lst") : "";
    SetCopiedFileHook([&](const std::string& target) {
      c.change(fs::path(target).parent_path().string() + "/", target);
    });
    std::unique_ptr<TJob> job = Burn(c.code, image);
    EXPECT_EQ(job->Error(), c.error);
    EXPECT_EQ(job->Status(), kStatusFailed);
    EXPECT_TRUE(statuses.count(kStatusVerifying));
    ASSERT_TRUE(job->RollBack());
    EXPECT_FALSE(fs::exists(job->Vars.JobDir));
    EXPECT_EQ(fs::exists(root + "menu.lst") ? ReadFile(root + "menu.lst") : "", menu_before);
    const std::string id = fs::path(job->Vars.JobDir).parent_path().filename().string();
    for (const TManifestEntry& entry : Manifest().Entries) EXPECT_NE(entry.Entry, id);
  }
}

TEST_F(EntryVerificationTest, AnIntactEntryIsRecordedInTheManifestWithTheDigestsOfItsFiles) {
  const std::string image = Image(LoaderUbuntu, "ubuntu 24.iso", {{"casper/vmlinuz", kLargeKernel}});
  std::unique_ptr<TJob> job = Burn(LoaderUbuntu, image);
  ASSERT_EQ(job->Error(), "");
  ASSERT_EQ(job->Status(), kStatusFinished);

  // Its own step, 0..100 % over every byte the entry wrote.
  ASSERT_FALSE(verify_progress.empty());
  EXPECT_EQ(verify_progress.front(), 0);
  EXPECT_EQ(verify_progress.back(), 100);
  std::int64_t written = 0;
  for (const auto& file : fs::directory_iterator(job->Vars.JobDir))
    written += static_cast<std::int64_t>(file.file_size());
  EXPECT_EQ(verify_total, written);

  const TDriveManifest manifest = Manifest();
  ASSERT_EQ(manifest.Entries.size(), 1u);
  const TManifestEntry& entry = manifest.Entries[0];
  const std::string id = fs::path(job->Vars.JobDir).parent_path().filename().string();
  EXPECT_EQ(entry.Entry, id);
  EXPECT_EQ(entry.Title, "ubuntu_24.iso");
  EXPECT_EQ(entry.Loader, LoaderUbuntu);
  std::set<std::string> named;
  for (const TManifestFile& file : entry.Files) {
    named.insert(file.File);
    const std::string bytes = ReadFile(root + file.File);
    EXPECT_EQ(file.Size, bytes.size()) << file.File;
    EXPECT_EQ(file.Sha256, Sha256Hex(bytes)) << file.File;
  }
  // The image, what was taken out of it and the entry's menu files; not the shared menus.
  const std::string folder = "Quorvane/" + id + "/";
  EXPECT_EQ(named, (std::set<std::string>{folder + "vmlinuz", folder + "initrd",
                                          folder + "ubuntu_24.iso", folder + "UbuntuX64.lst",
                                          folder + "UbuntuX64.cfg"}));
}

TEST_F(EntryVerificationTest, AnEntryUnpackedWholeIsRecordedFileByFile) {
  const std::string image = Image(LoaderKaspersky, "krd.iso");
  std::unique_ptr<TJob> job = Burn(LoaderKaspersky, image);
  ASSERT_EQ(job->Error(), "");
  const TDriveManifest manifest = Manifest();
  ASSERT_EQ(manifest.Entries.size(), 1u);
  std::set<std::string> named;
  for (const TManifestFile& file : manifest.Entries[0].Files) {
    EXPECT_EQ(file.Sha256, Sha256Hex(ReadFile(root + file.File))) << file.File;
    named.insert(fs::path(file.File).filename().string());
  }
  for (const char* file : {"rescue", "rescue.igz", "squashfs.img", "krd.lst"})
    EXPECT_TRUE(named.count(file)) << file;
}

// A pause asked for while the entry is read back holds the read-back until the resume.
TEST_F(EntryVerificationTest, APauseHoldsTheReadBackUntilTheResume) {
  const std::string image = Image(LoaderHirens, "hbcd.iso");
  std::unique_ptr<TJob> job = CreateLoaderJob(LoaderHirens, image, 'e', "hbcd.iso");
  ASSERT_NE(job, nullptr);
  job->SetVerify(true);
  std::atomic<int> paused{0}, resumed{0};
  std::string status_when_paused;
  std::mutex lock;
  job->JobPaused = [&, raw = job.get()](void*, const std::string&) {
    std::lock_guard<std::mutex> guard(lock);
    status_when_paused = raw->Status();
    ++paused;
  };
  job->JobResumed = [&](void*, const std::string&) { ++resumed; };
  // The image is the entry's last file copied through the progress routine: the next
  // report is the read-back's.
  SetCopiedFileHook([raw = job.get()](const std::string& target) {
    if (fs::path(target).filename() == "hbcd.iso") raw->Pause();
  });
  job->Start();
  ASSERT_TRUE(PumpUntil([&] { return paused.load() == 1; }));
  std::this_thread::sleep_for(std::chrono::milliseconds(400));
  PumpPending();
  {
    std::lock_guard<std::mutex> guard(lock);
    EXPECT_EQ(status_when_paused, kStatusVerifying);
  }
  EXPECT_FALSE(job->Finished()) << "went on while paused";
  job->UnPause();
  ASSERT_TRUE(PumpUntil([&] { return job->Finished(); }));
  EXPECT_EQ(resumed.load(), 1);
  EXPECT_EQ(job->Error(), "");
  EXPECT_EQ(job->Status(), kStatusFinished);
}

TEST_F(EntryVerificationTest, WithoutVerificationNothingIsReadBackButTheDigestsOfTheWriteAreKept) {
  const std::string image = Image(LoaderHirens, "hbcd.iso");
  SetCopiedFileHook([](const std::string& target) { FlipByte(target, 40000); });
  std::unique_ptr<TJob> job = Burn(LoaderHirens, image, false);
  EXPECT_EQ(job->Error(), "");
  EXPECT_EQ(job->Status(), kStatusFinished);
  EXPECT_FALSE(statuses.count(kStatusVerifying));
  // The manifest holds what was written, so a later check of the drive finds the change.
  const TDriveManifest manifest = Manifest();
  ASSERT_EQ(manifest.Entries.size(), 1u);
  bool image_seen = false;
  for (const TManifestFile& file : manifest.Entries[0].Files) {
    if (fs::path(file.File).filename() != "hbcd.iso") continue;
    image_seen = true;
    EXPECT_EQ(file.Sha256, Sha256Hex(ReadFile(image)));
    EXPECT_NE(file.Sha256, Sha256Hex(ReadFile(root + file.File)));
  }
  EXPECT_TRUE(image_seen);
}

// The menu append is the last step: when it fails, the roll-back takes the recorded entry
// out of the manifest again, and the entries before it stay.
TEST_F(EntryVerificationTest, ARolledBackEntryLeavesTheManifest) {
  std::unique_ptr<TJob> first = Burn(LoaderHirens, Image(LoaderHirens, "first.iso"));
  ASSERT_EQ(first->Error(), "");
  fs::rename(root + "grub.cfg", root + "grub.keep");
  fs::create_directory(root + "grub.cfg");
  std::unique_ptr<TJob> second = Burn(LoaderHirens, Image(LoaderHirens, "second.iso"));
  ASSERT_NE(second->Error(), "");
  EXPECT_EQ(Manifest().Entries.size(), 2u);
  ASSERT_TRUE(second->RollBack());
  const TDriveManifest manifest = Manifest();
  ASSERT_EQ(manifest.Entries.size(), 1u);
  EXPECT_EQ(manifest.Entries[0].Title, "first.iso");
}

}  // namespace
}  // namespace quorvane::testing
