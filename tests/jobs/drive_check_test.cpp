// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The later check of a folder drive against its manifest: what was changed, removed or
// never recorded after the burn, and the manifest's paths that would lead off the drive.
#include "jobs/drive_check.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "common/sha256.h"
#include "support/recorded_drive.h"
#include "support/temp_dir.h"

namespace quorvane {
namespace {

namespace fs = std::filesystem;
using namespace testing;

// Two entries as a burn leaves them, the second with a file in a folder of its own.
void RecordTwoEntries(const std::string& root) {
  RecordEntry(root, kEntryA, "a.iso", {{"a.iso", std::string(70000, 'a')}});
  RecordEntry(root, kEntryB, "b.iso", {{"b.iso", "bbbbbbbbbb"}, {"boot/vmlinuz", "kernel"}});
}

std::string EntryFile(const std::string& root, const char* id, const std::string& name) {
  return root + "Quorvane/" + id + "/" + name;
}

class DriveCheckTest : public ::testing::Test {
 protected:
  DriveCheckTest() { RecordTwoEntries(drive.path()); }
  TTempDir drive;
};

TEST_F(DriveCheckTest, AnUntouchedDriveIsIntactWithItsBytesCounted) {
  TDriveCheckProgress progress;
  const TDriveCheckResult result = CheckDrive(drive.path(), &progress);
  ASSERT_EQ(result.Manifest, TManifestRead::Ok) << result.ManifestError;
  EXPECT_TRUE(result.AllIntact());
  ASSERT_EQ(result.Entries.size(), 2u);
  EXPECT_EQ(result.Entries[0].Title, "a.iso");
  EXPECT_EQ(result.Entries[1].Entry, kEntryB);
  for (const TEntryCheck& e : result.Entries) {
    EXPECT_EQ(e.State, TEntryCheckState::Intact) << e.Title << ": " << e.Detail;
    EXPECT_EQ(e.Detail, "");
  }
  EXPECT_EQ(progress.Total.load(), 70000u + 10u + 6u);
  EXPECT_EQ(progress.Done.load(), progress.Total.load());
  EXPECT_EQ(result.Summary(), "All 2 entries are intact.");
  EXPECT_EQ(result.ManifestText(), "");
}

TEST(DriveCheck, ChangedAndMissingFilesAreFoundAndNamed) {
  struct TCase {
    const char* Name;
    std::function<void(const std::string&)> Spoil;
    TEntryCheckState State;
    std::string Detail;
  } cases[] = {
      {"a byte flipped deep in the file",
       [](const std::string& root) { FlipByte(EntryFile(root, kEntryB, "b.iso"), 7); },
       TEntryCheckState::Changed,
       "Quorvane/" + std::string(kEntryB) +
           "/b.iso differs from what was written (its SHA-256 does not match)"},
      {"a file cut short",
       [](const std::string& root) {
         fs::resize_file(EntryFile(root, kEntryB, "boot/vmlinuz"), 2);
       },
       TEntryCheckState::Changed,
       "Quorvane/" + std::string(kEntryB) +
           "/boot/vmlinuz is 2 bytes on the drive, 6 when it was written"},
      {"a file removed",
       [](const std::string& root) { fs::remove(EntryFile(root, kEntryB, "boot/vmlinuz")); },
       TEntryCheckState::Missing, "Quorvane/" + std::string(kEntryB) + "/boot/vmlinuz is gone"},
      {"a file's folder removed",
       [](const std::string& root) { fs::remove_all(EntryFile(root, kEntryB, "boot")); },
       TEntryCheckState::Missing, "the folder Quorvane/" + std::string(kEntryB) + "/boot is gone"},
      {"the entry's folder removed",
       [](const std::string& root) { fs::remove_all(root + "Quorvane/" + kEntryB); },
       TEntryCheckState::Missing, "the folder Quorvane/" + std::string(kEntryB) + " is gone"},
      {"a file replaced by a folder",
       [](const std::string& root) {
         fs::remove(EntryFile(root, kEntryB, "b.iso"));
         fs::create_directory(EntryFile(root, kEntryB, "b.iso"));
       },
       TEntryCheckState::Changed,
       "refused: Quorvane/" + std::string(kEntryB) + "/b.iso is not a regular file"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TTempDir spoilt;
    RecordTwoEntries(spoilt.path());
    c.Spoil(spoilt.path());
    const TDriveCheckResult result = CheckDrive(spoilt.path());
    ASSERT_EQ(result.Manifest, TManifestRead::Ok) << result.ManifestError;
    EXPECT_FALSE(result.AllIntact());
    ASSERT_EQ(result.Entries.size(), 2u);
    EXPECT_EQ(result.Entries[0].State, TEntryCheckState::Intact) << result.Entries[0].Detail;
    EXPECT_EQ(result.Entries[1].State, c.State);
    EXPECT_EQ(result.Entries[1].Detail, c.Detail);
    EXPECT_EQ(result.Summary().rfind("1 of 2 entries intact: ", 0), 0u) << result.Summary();
  }
}

TEST_F(DriveCheckTest, AMissingOrDamagedManifestIsSaidSo) {
  const std::string manifest = ManifestPath(drive.path());
  std::string text = ReadFile(manifest);
  text.replace(text.find("70000"), 5, "70001");
  WriteFile(manifest, text);
  TDriveCheckResult result = CheckDrive(drive.path());
  EXPECT_EQ(result.Manifest, TManifestRead::Damaged);
  EXPECT_FALSE(result.AllIntact());
  EXPECT_EQ(result.ManifestText(),
            "This drive's manifest is damaged: the manifest was changed since it was written "
            "(its checksum does not match)");
  // What could be read of it is still checked.
  ASSERT_EQ(result.Entries.size(), 2u);
  EXPECT_EQ(result.Entries[0].State, TEntryCheckState::Changed);

  fs::remove(manifest);
  result = CheckDrive(drive.path());
  EXPECT_EQ(result.Manifest, TManifestRead::Missing);
  EXPECT_FALSE(result.AllIntact());
  EXPECT_EQ(result.ManifestText(),
            "This drive has no manifest: it was not written by this program, or before "
            "manifests were kept");
  // Its entry folders are all there is to tell.
  ASSERT_EQ(result.Entries.size(), 2u);
  EXPECT_EQ(result.Entries[0].State, TEntryCheckState::NotRecorded);
}

// Each of these paths names, by a way off the program's folder, a file whose size and
// digest are the recorded ones: followed, it would pass as intact.
TEST_F(DriveCheckTest, RecordedPathsThatLeaveTheProgramsFolderAreRefused) {
  TTempDir outside;
  const std::string secret = "the same bytes";
  WriteFile(outside / "secret", secret);
  WriteFile(drive / "secret", secret);
  WriteFile(drive / "Quorvane/" + kEntryC + "/real", secret);
  fs::create_directory_symlink(outside.path(), drive / "Quorvane/" + kEntryC + "/away");
  fs::create_directory_symlink(outside.path(), drive / "Quorvane/linked");
  fs::create_symlink(outside / "secret", drive / "Quorvane/" + kEntryC + "/leaf");
  const std::string c = std::string("Quorvane/") + kEntryC;
  struct TCase {
    std::string File;
    std::string Why;
  } cases[] = {
      {"Quorvane/../secret", "refused: \"Quorvane/../secret\" leaves the drive's Quorvane folder"},
      {c + "/../../secret",
       "refused: \"" + c + "/../../secret\" leaves the drive's Quorvane folder"},
      {"/" + outside / "secret",
       "refused: \"/" + outside / "secret" + "\" is not a path inside the drive's Quorvane folder"},
      {"secret", "refused: \"secret\" is not a file inside the drive's Quorvane folder"},
      {c + "//real", "refused: \"" + c + "//real\" leaves the drive's Quorvane folder"},
      {c + "/./real", "refused: \"" + c + "/./real\" leaves the drive's Quorvane folder"},
      {c + "/away/secret", "refused: " + c + "/away is a symbolic link"},
      {"Quorvane/linked/secret", "refused: Quorvane/linked is a symbolic link"},
      {c + "/leaf", "refused: " + c + "/leaf is a symbolic link"},
  };
  for (const TCase& one : cases) {
    SCOPED_TRACE(one.File);
    TManifestEntry entry{kEntryC, "c.iso", 6, {{one.File, secret.size(), Sha256Hex(secret)}}, ""};
    std::string error;
    ASSERT_TRUE(AddManifestEntry(drive.path(), entry, error)) << error;
    const TDriveCheckResult result = CheckDrive(drive.path());
    ASSERT_EQ(result.Manifest, TManifestRead::Ok) << result.ManifestError;
    ASSERT_EQ(result.Entries.size(), 3u);
    EXPECT_EQ(result.Entries[2].State, TEntryCheckState::Changed);
    EXPECT_EQ(result.Entries[2].Detail, one.Why);
    EXPECT_FALSE(result.AllIntact());
  }
  // The same entry, recorded by its real path, is intact.
  TManifestEntry entry{kEntryC, "c.iso", 6, {{c + "/real", secret.size(), Sha256Hex(secret)}}, ""};
  std::string error;
  ASSERT_TRUE(AddManifestEntry(drive.path(), entry, error)) << error;
  EXPECT_TRUE(CheckDrive(drive.path()).AllIntact());
}

TEST_F(DriveCheckTest, EntryFoldersTheManifestDoesNotNameAreListedOnly) {
  const std::string stray = "0A6F1C2E-0000-4000-8000-0000000000FF";
  WriteFile(drive / "Quorvane/" + stray + "/x.iso", "x");
  WriteFile(drive / "Quorvane/NTBOOT/NTBOOT", "shared by the Windows entries");
  const TDriveCheckResult result = CheckDrive(drive.path());
  EXPECT_TRUE(result.AllIntact());
  ASSERT_EQ(result.Entries.size(), 3u);
  EXPECT_EQ(result.Entries[2].Entry, stray);
  EXPECT_EQ(result.Entries[2].State, TEntryCheckState::NotRecorded);
  EXPECT_STREQ(EntryCheckStateName(result.Entries[2].State), "not recorded");
  EXPECT_EQ(result.Summary(), "All 2 entries are intact.");
}

TEST(DriveCheckText, NamesFromTheDriveCarryNoTerminalControls) {
  TDriveCheckResult result;
  result.Manifest = TManifestRead::Ok;
  result.Entries.push_back({"X", "a\x1b]0;owned\x07.iso", TEntryCheckState::Changed,
                            "Quorvane/X/\xc2\x9b"
                            "31m\x7f"});
  result.Entries.push_back({"Y", "\xc3\xa9t\xc3\xa9.iso", TEntryCheckState::Intact, ""});
  EXPECT_EQ(DriveCheckText(result),
            "a?]0;owned?.iso: changed: Quorvane/X/?31m?\n\xc3\xa9t\xc3\xa9.iso: intact\n"
            "1 of 2 entries intact: 1 changed, 0 missing.\n");
}

TEST_F(DriveCheckTest, ACancelledCheckIsNoPass) {
  const std::atomic<bool> cancel{true};
  const TDriveCheckResult result = CheckDrive(drive.path(), nullptr, &cancel);
  EXPECT_TRUE(result.Cancelled);
  EXPECT_FALSE(result.AllIntact());
  EXPECT_EQ(result.Summary().rfind("The check was cancelled. ", 0), 0u) << result.Summary();
}

}  // namespace
}  // namespace quorvane
