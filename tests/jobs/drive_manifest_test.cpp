// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "jobs/drive_manifest.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <thread>

#include "support/temp_dir.h"

namespace quorvane {
namespace {

using testing::ReadFile;
using testing::TTempDir;
using testing::WriteFile;

TManifestEntry Entry(const std::string& id, int files = 1) {
  TManifestEntry entry{id, "image " + id + ".iso", 3, {}, "2026-12-11T04:20:00Z"};
  for (int i = 0; i < files; ++i)
    entry.Files.push_back({"Quorvane/" + id + "/f" + std::to_string(i), 100u + i,
                           std::string(64, static_cast<char>('a' + i))});
  return entry;
}

TEST(DriveManifestTest, EntriesAreAddedReplacedAndRemovedAndReadBack) {
  TTempDir drive;
  TDriveManifest read;
  std::string error;
  EXPECT_EQ(ReadDriveManifest(drive.path(), read, error), TManifestRead::Missing);
  EXPECT_TRUE(RemoveManifestEntry(drive.path(), "NONE", error)) << error;
  EXPECT_FALSE(testing::Exists(ManifestPath(drive.path())));

  ASSERT_TRUE(AddManifestEntry(drive.path(), Entry("A"), error)) << error;
  ASSERT_TRUE(AddManifestEntry(drive.path(), Entry("B", 2), error)) << error;
  ASSERT_TRUE(AddManifestEntry(drive.path(), Entry("A", 3), error)) << error;
  ASSERT_EQ(ReadDriveManifest(drive.path(), read, error), TManifestRead::Ok) << error;
  EXPECT_EQ(read, (TDriveManifest{{Entry("B", 2), Entry("A", 3)}}));

  ASSERT_TRUE(RemoveManifestEntry(drive.path(), "B", error)) << error;
  ASSERT_EQ(ReadDriveManifest(drive.path(), read, error), TManifestRead::Ok) << error;
  EXPECT_EQ(read, (TDriveManifest{{Entry("A", 3)}}));
  EXPECT_FALSE(testing::Exists(ManifestPath(drive.path()) + ".new"));
}

TEST(DriveManifestTest, AChangedOrForeignManifestIsDamaged) {
  TTempDir drive;
  std::string error;
  ASSERT_TRUE(AddManifestEntry(drive.path(), Entry("A"), error)) << error;
  const std::string text = ReadFile(ManifestPath(drive.path()));
  std::string changed = text;
  changed.replace(changed.find("100"), 3, "101");
  struct TCase {
    const char* Name;
    std::string Text;
  } cases[] = {
      {"size edited", changed},
      {"not JSON", "{\"format\": 1, \"entries\": ["},
      {"another format", "{\"format\": 9, \"entries\": [], \"checksum\": \"\"}"},
      {"entry without files", "{\"format\": 1, \"entries\": [{\"entry\": \"A\"}]}"},
      {"no checksum", "{\"format\": 1, \"entries\": []}"},
  };
  for (const TCase& c : cases) {
    WriteFile(ManifestPath(drive.path()), c.Text);
    TDriveManifest read;
    error.clear();
    EXPECT_EQ(ReadDriveManifest(drive.path(), read, error), TManifestRead::Damaged) << c.Name;
    EXPECT_FALSE(error.empty()) << c.Name;
  }
  // An update starts a damaged manifest afresh with what could be read of it.
  WriteFile(ManifestPath(drive.path()), changed);
  ASSERT_TRUE(AddManifestEntry(drive.path(), Entry("B"), error)) << error;
  TDriveManifest read;
  ASSERT_EQ(ReadDriveManifest(drive.path(), read, error), TManifestRead::Ok) << error;
  ASSERT_EQ(read.Entries.size(), 2u);
  EXPECT_EQ(read.Entries[0].Files[0].Size, 101u);
}

TEST(DriveManifestTest, ALinkInPlaceOfTheManifestIsNeitherFollowedNorWrittenThrough) {
  TTempDir drive, elsewhere;
  WriteFile(elsewhere / "secret", "root only");
  std::filesystem::create_directories(drive / "Quorvane");
  std::filesystem::create_symlink(elsewhere / "secret", ManifestPath(drive.path()));
  TDriveManifest read;
  std::string error;
  EXPECT_EQ(ReadDriveManifest(drive.path(), read, error), TManifestRead::Damaged);
  // The update replaces the link itself, never the file it points at.
  ASSERT_TRUE(AddManifestEntry(drive.path(), Entry("A"), error)) << error;
  EXPECT_EQ(ReadFile(elsewhere / "secret"), "root only");
  EXPECT_EQ(ReadDriveManifest(drive.path(), read, error), TManifestRead::Ok) << error;
}

TEST(DriveManifestTest, ConcurrentJobsLoseNoEntry) {
  TTempDir drive;
  std::vector<std::thread> jobs;
  for (int i = 0; i < 8; ++i)
    jobs.emplace_back([&, i] {
      std::string error;
      EXPECT_TRUE(AddManifestEntry(drive.path(), Entry("E" + std::to_string(i)), error)) << error;
    });
  for (std::thread& job : jobs) job.join();
  TDriveManifest read;
  std::string error;
  ASSERT_EQ(ReadDriveManifest(drive.path(), read, error), TManifestRead::Ok) << error;
  EXPECT_EQ(read.Entries.size(), 8u);
}

}  // namespace
}  // namespace quorvane
