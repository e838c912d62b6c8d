// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// Unpacking whole archives and single files onto a drive: results, cancellation, pulled
// drives, untrusted item paths and the failures that must be reported.
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "archive/file_operations.h"
#include "common/text.h"
#include "fixtures.h"
#include "support/main_thread_fixture.h"
#include "support/temp_dir.h"

namespace quorvane {
namespace {

namespace fs = std::filesystem;
using testing::Exists;
using testing::TFileSizeLimit;
using testing::ListTree;
using testing::MakeIso;
using testing::Make7z;
using testing::MakeTree;
using testing::MakeZip;
using testing::ReadFile;
using testing::TZipEntry;
using testing::WriteFile;

constexpr const char* kRemoved = "Failed to unpack files: USB drive removed by user";

// Progress receiver of the tests: records what it is told and does what it is asked at
// the first report of bytes done.
struct TProgressProbe {
  std::int64_t total = -1;
  std::vector<std::int64_t> done;
  std::function<HRESULT()> at_first_report;
  std::size_t reports_before_action = 0;

  static HRESULT Receive(void* sender, bool total, std::int64_t value) {
    auto& probe = *static_cast<TProgressProbe*>(sender);
    if (total) {
      probe.total = value;
      return S_OK;
    }
    probe.done.push_back(value);
    if (probe.at_first_report && value > 0) {
      auto action = std::move(probe.at_first_report);
      probe.at_first_report = nullptr;
      probe.reports_before_action = probe.done.size();
      return action();
    }
    return S_OK;
  }
};

class Unpack : public testing::MainThreadTest {
 protected:
  void SetUp() override {
    root = MapDrive('e');
    target = root + "Quorvane/JOB/";
    MakeTree(temp / "tree", {{"casper/vmlinuz", std::string(70000, 'k')},
                             {"casper/initrd.lz", std::string(300, 'i')},
                             {"boot/grub/grub.cfg", "menu"},
                             {"README", "hello"},
                             {"empty/", ""}});
  }
  // Several files of some size, so that progress comes in several reports.
  std::string ManyFilesIso() {
    std::vector<std::pair<std::string, std::string>> files;
    for (int i = 0; i < 24; ++i) files.emplace_back("data/file" + std::to_string(i), std::string(256 << 10, 'a' + i % 26));
    MakeTree(temp / "many", files);
    MakeIso(temp / "many", temp / "many.iso", true);
    return temp / "many.iso";
  }
  std::string root, target;
};

TEST_F(Unpack, EveryFileOfIsoAndSevenZipLandsUnderTheTarget) {
  MakeIso(temp / "tree", temp / "joliet.iso", true);
  MakeIso(temp / "tree", temp / "plain.iso", false);
  Make7z(temp / "tree", temp / "solid.7z");
  Make7z(temp / "tree", temp / "multi.7z", {"-m0=lzma2", "-mmt=2", "-ms=off"});
  // Folders only as parents of files: "empty" is not created.
  const std::vector<std::string> expected = {"README",         "boot/",   "boot/grub/", "boot/grub/grub.cfg",
                                             "casper/",        "casper/initrd.lz", "casper/vmlinuz"};
  for (const char* name : {"joliet.iso", "plain.iso", "solid.7z", "multi.7z"}) {
    SCOPED_TRACE(name);
    fs::remove_all(target);
    TProgressProbe probe;
    std::string error = "unset";
    UnpackArchive(&probe, &TProgressProbe::Receive, temp / name, error, target);
    EXPECT_EQ(error, "");
    EXPECT_EQ(ListTree(target), expected);
    EXPECT_EQ(ReadFile(target + "casper/vmlinuz"), std::string(70000, 'k'));
    EXPECT_EQ(ReadFile(target + "boot/grub/grub.cfg"), "menu");
    EXPECT_EQ(probe.total, 70000 + 300 + 4 + 5);
    ASSERT_FALSE(probe.done.empty());
    EXPECT_EQ(probe.done.back(), probe.total);
  }
}

TEST_F(Unpack, FilesOfTheSameNameAreReplacedNotWrittenThrough) {
  MakeIso(temp / "tree", temp / "joliet.iso", true);
  WriteFile(target + "README", "old and longer");
  WriteFile(target + "kept.txt", "kept");
  // A hard link to the old file elsewhere keeps its content: the name is replaced.
  fs::create_hard_link(target + "README", temp / "elsewhere");
  std::string error;
  UnpackArchive(nullptr, nullptr, temp / "joliet.iso", error, target);
  EXPECT_EQ(error, "");
  EXPECT_EQ(ReadFile(target + "README"), "hello");
  EXPECT_EQ(ReadFile(target + "kept.txt"), "kept");
  EXPECT_EQ(ReadFile(temp / "elsewhere"), "old and longer");
}

TEST_F(Unpack, SingleFileGoesFlatUnderItsOwnName) {
  MakeIso(temp / "tree", temp / "joliet.iso", true);
  Make7z(temp / "tree", temp / "solid.7z");
  fs::create_directories(target);
  struct TCase {
    const char* archive;
    const char* item;
    const char* error;
    const char* file;
  };
  const TCase cases[] = {
      {"joliet.iso", "casper\\vmlinuz", "", "vmlinuz"},
      {"solid.7z", "casper\\initrd.lz", "", "initrd.lz"},
      {"solid.7z", "README", "", "README"},
      {"joliet.iso", "casper\\VMLINUZ", "File not found in archive", nullptr},
      {"joliet.iso", "Casper\\vmlinuz", "File not found in archive", nullptr},
      {"joliet.iso", "casper\\vmlinuz.efi", "File not found in archive", nullptr},
      {"tree/README", "README", "Failed to open source archive", nullptr},
      {"missing.iso", "README", "Failed to open source archive", nullptr},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(std::string(c.archive) + " " + c.item);
    std::string error;
    UnpackSingleFile(nullptr, nullptr, temp / c.archive, error, target, c.item);
    EXPECT_EQ(error, c.error);
    if (c.file) {
      EXPECT_EQ(ReadFile(target + c.file), ReadFile(temp / ("tree/" + ReplaceAll(c.item, "\\", "/"))));
    }
  }
  EXPECT_EQ(ListTree(target), (std::vector<std::string>{"README", "initrd.lz", "vmlinuz"}));
}

TEST_F(Unpack, ArchiveInNoKnownFormatFailsToOpen) {
  WriteFile(temp / "noise.bin", std::string(100000, 'z'));
  std::string error;
  UnpackArchive(nullptr, nullptr, temp / "noise.bin", error, target);
  EXPECT_EQ(error, "Failed to open source archive");
  EXPECT_FALSE(Exists(target));
}

TEST_F(Unpack, CancelThroughTheProgressReceiverStopsQuietly) {
  const std::string image = ManyFilesIso();
  TProgressProbe probe;
  probe.at_first_report = [] { return E_ABORT; };
  std::string error = "unset";
  UnpackArchive(&probe, &TProgressProbe::Receive, image, error, target);
  EXPECT_EQ(error, "");
  EXPECT_EQ(probe.done.size(), probe.reports_before_action) << "no report after the abort";
  EXPECT_LT(ListTree(target + "data").size(), 24u);
}

TEST_F(Unpack, PulledDriveIsReported) {
  const std::string image = ManyFilesIso();
  for (const auto& [name, pull] : testing::DrivePulls(root, letters, 'e')) {
    SCOPED_TRACE(name);
    MapDrive('e');
    TProgressProbe probe;
    probe.at_first_report = [&] {
      pull();
      return S_OK;
    };
    std::string error;
    UnpackArchive(&probe, &TProgressProbe::Receive, image, error, target);
    EXPECT_EQ(error, kRemoved);

    MapDrive('e');
    fs::create_directories(target);
    probe.at_first_report = [&] {
      pull();
      return S_OK;
    };
    UnpackSingleFile(&probe, &TProgressProbe::Receive, image, error, target, "data\\file3");
    EXPECT_EQ(error, kRemoved);
  }
  // Gone before the start: nothing is created where the drive was.
  MapDrive('e');
  fs::remove_all(root);
  std::string error;
  UnpackArchive(nullptr, nullptr, image, error, target);
  EXPECT_EQ(error, kRemoved);
  EXPECT_FALSE(Exists(root));
}

TEST_F(Unpack, ItemsThatLeaveTheTargetAreRefused) {
  const char* paths[] = {"../evil.txt", "/abs/evil.txt", "a/../../evil.txt", "a\\..\\..\\evil.txt",
                         "..", "a/.."};
  for (const char* path : paths) {
    SCOPED_TRACE(path);
    fs::remove_all(temp / "drive-e");
    MapDrive('e');
    MakeZip(temp / "climb.zip", {{.Name = "ok.txt", .Data = "ok"}, {.Name = path, .Data = "evil"}});
    std::string error;
    UnpackArchive(nullptr, nullptr, temp / "climb.zip", error, target);
    EXPECT_EQ(error, std::string("Failed to unpack files: Item path leaves the target folder \"") + path + "\"");
    // Nothing outside the target folder, on the drive or beside it.
    EXPECT_EQ(ListTree(root), (std::vector<std::string>{"Quorvane/", "Quorvane/JOB/", "Quorvane/JOB/ok.txt"}));
    EXPECT_FALSE(Exists(temp / "evil.txt"));
    EXPECT_FALSE(Exists("/abs"));
  }
}

TEST_F(Unpack, NothingIsWrittenThroughSymbolicLinks) {
  fs::create_directories(temp / "outside");
  WriteFile(temp / "outside/file.txt", "outside");
  struct TCase {
    const char* link;   // link made in the target beforehand, to the outside folder or file
    const char* item;
    const char* link_to;
  };
  const TCase cases[] = {{"dir", "dir/file.txt", "outside"}, {"file.txt", "file.txt", "outside/file.txt"}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.item);
    fs::remove_all(target);
    fs::create_directories(target);
    fs::create_symlink(temp / c.link_to, target + c.link);
    MakeZip(temp / "through.zip", {{.Name = c.item, .Data = "evil"}});
    std::string error;
    UnpackArchive(nullptr, nullptr, temp / "through.zip", error, target);
    EXPECT_EQ(error, std::string("Failed to unpack files: Item would be written through a symbolic link \"") +
                         c.item + "\"");
    EXPECT_EQ(ReadFile(temp / "outside/file.txt"), "outside");
    EXPECT_EQ(ListTree(temp / "outside"), (std::vector<std::string>{"file.txt"}));
  }
  // An image item named like a link in the target is not written through it either.
  fs::remove_all(target);
  fs::create_directories(target);
  fs::create_symlink(temp / "outside/file.txt", target + "vmlinuz");
  MakeIso(temp / "tree", temp / "joliet.iso", true);
  std::string error;
  UnpackSingleFile(nullptr, nullptr, temp / "joliet.iso", error, target, "casper\\vmlinuz");
  EXPECT_EQ(error.rfind("Failed to unpack files: ", 0), 0u) << error;
  EXPECT_EQ(ReadFile(temp / "outside/file.txt"), "outside");
}

TEST_F(Unpack, LinksInsideArchivesNeverBecomeLinks) {
  // A zip link to the outside, then a file "through" it.
  fs::create_directories(temp / "outside");
  MakeZip(temp / "links.zip", {{.Name = "lnk", .Data = temp / "outside", .UnixMode = 0120777},
                               {.Name = "lnk/x.txt", .Data = "through"}});
  std::string error;
  UnpackArchive(nullptr, nullptr, temp / "links.zip", error, target);
  EXPECT_EQ(error, "Failed to unpack files: Not a directory \"lnk/x.txt\"");
  EXPECT_TRUE(ListTree(temp / "outside").empty());
  EXPECT_FALSE(fs::is_symlink(target + "lnk"));

  // Rock Ridge links of an image come out as plain (empty) files.
  fs::remove_all(target);
  fs::create_directory_symlink("../casper", temp / "tree/link");
  MakeIso(temp / "tree", temp / "links.iso", false);
  UnpackArchive(nullptr, nullptr, temp / "links.iso", error, target);
  EXPECT_EQ(error, "");
  EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(target + "link")));
}

TEST_F(Unpack, DamagedArchivesAndFullDrivesAreReported) {
  Make7z(temp / "tree", temp / "tree.7z", {"-mx=1"});
  // Damage the packed data (past the signature header), keep the headers at the end.
  std::string bytes = ReadFile(temp / "tree.7z");
  for (std::size_t i = 40; i < 80; ++i) bytes[i] = static_cast<char>(bytes[i] ^ 0x5A);
  WriteFile(temp / "damaged.7z", bytes);
  std::string error;
  UnpackArchive(nullptr, nullptr, temp / "damaged.7z", error, target);
  EXPECT_EQ(error.rfind("Failed to unpack files: ", 0), 0u) << error;
  EXPECT_GT(error.size(), std::string("Failed to unpack files: ").size());

  MakeTree(temp / "secret", {{"a.txt", "secret"}});
  Make7z(temp / "secret", temp / "secret.7z", {"-pPASSWORD"});
  fs::remove_all(target);
  UnpackArchive(nullptr, nullptr, temp / "secret.7z", error, target);
  EXPECT_EQ(error, "Failed to unpack files: Encrypted item needs a password, which is not available \"a.txt\"");

  MakeIso(temp / "tree", temp / "joliet.iso", true);
  fs::remove_all(target);
  {
    TFileSizeLimit limit(4096);
    UnpackArchive(nullptr, nullptr, temp / "joliet.iso", error, target);
  }
  EXPECT_EQ(error, "Failed to unpack files: File too large \"casper/vmlinuz\"");
  {
    TFileSizeLimit limit(4096);
    UnpackSingleFile(nullptr, nullptr, temp / "joliet.iso", error, target, "casper\\vmlinuz");
  }
  EXPECT_EQ(error, "Failed to unpack files: File too large \"casper/vmlinuz\"");
  EXPECT_FALSE(Exists(target + "vmlinuz")) << "the partial file is removed";
}

}  // namespace
}  // namespace quorvane
