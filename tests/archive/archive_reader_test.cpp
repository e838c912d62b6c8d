// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// Reading images and archives: probing, listing, item sizes, item lookup.
#include <gtest/gtest.h>

#include "archive/archive_queries.h"
#include "archive/sevenzip.h"
#include "fixtures.h"
#include "support/temp_dir.h"

namespace quorvane {
namespace {

using testing::MakeIso;
using testing::Make7z;
using testing::MakeTree;
using testing::MakeZip;
using testing::TTempDir;
using testing::TZipEntry;
using testing::WriteFile;

class ArchiveReader : public ::testing::Test {
 protected:
  void SetUp() override {
    MakeTree(temp / "tree", {{"casper/vmlinuz", std::string(1000, 'k')},
                             {"casper/initrd.lz", std::string(300, 'i')},
                             {"README", "hello"},
                             {"empty/", ""}});
  }
  TTempDir temp;
};

struct TListing {
  std::vector<std::string> files, folders;
};

TListing List(const T7zInArchiveRef& archive) {
  TListing listing;
  for (std::uint32_t i = 0; i < archive->ItemCount(); ++i)
    (archive->IsFolderAt(i) ? listing.folders : listing.files).push_back(archive->ItemPathAt(i));
  std::sort(listing.files.begin(), listing.files.end());
  std::sort(listing.folders.begin(), listing.folders.end());
  return listing;
}

TEST_F(ArchiveReader, ListsIsoAndSevenZipAlikeThroughProbing) {
  MakeIso(temp / "tree", temp / "joliet.iso", true);
  MakeIso(temp / "tree", temp / "plain.iso", false);
  Make7z(temp / "tree", temp / "tree.7z");
  const std::vector<std::pair<std::string, sevenzip::GUID>> cases = {
      {"joliet.iso", kClassIdIso}, {"plain.iso", kClassIdIso}, {"tree.7z", sevenzip::FormatClassId(0x07)}};
  for (const auto& [name, format] : cases) {
    SCOPED_TRACE(name);
    T7zInArchiveRef archive;
    ASSERT_TRUE(OpenArchive(temp / name, archive));
    EXPECT_TRUE(archive->ClassId() == format);
    const TListing listing = List(archive);
    EXPECT_EQ(listing.files, (std::vector<std::string>{"README", "casper/initrd.lz", "casper/vmlinuz"}));
    EXPECT_EQ(listing.folders, (std::vector<std::string>{"casper", "empty"}));
    EXPECT_EQ(GetContentSize(archive), 1305);
    EXPECT_EQ(GetLargestItemSize(archive), 1000);
    ReleaseArchive(archive);
  }
}

TEST_F(ArchiveReader, FileInNoProbedFormatOpensAsNothing) {
  WriteFile(temp / "noise.bin", std::string(70000, '\x5A'));
  for (const std::string& name : {std::string("noise.bin"), std::string("missing.iso"), std::string("")}) {
    T7zInArchiveRef archive;
    EXPECT_FALSE(OpenArchive(name.empty() ? temp.path() : temp / name, archive)) << name;
    EXPECT_FALSE(archive);
  }
  EXPECT_THROW(GetArchiveContentSize(temp / "noise.bin"), std::exception);
  EXPECT_THROW(GetArchiveLargestItemSize(temp / "missing.iso"), std::exception);
  EXPECT_EQ(GetArchiveItemSize(temp / "noise.bin", "README"), -1);
  EXPECT_EQ(FindArchiveFileItem(temp / "missing.iso", "README"), -1);
}

TEST_F(ArchiveReader, ItemPathsMatchWithBackslashesAndExactCase) {
  MakeIso(temp / "tree", temp / "joliet.iso", true);
  const std::string image = temp / "joliet.iso";
  const std::vector<std::pair<std::string, std::int64_t>> cases = {
      {"casper\\vmlinuz", 1000}, {"casper/vmlinuz", 1000}, {"casper\\initrd.lz", 300},
      {"README", 5},             {"Casper\\vmlinuz", -1},  {"casper\\VMLINUZ", -1},
      {"\\casper\\vmlinuz", -1}, {"casper", 0},            {"vmlinuz", -1},
  };
  for (const auto& [path, size] : cases) EXPECT_EQ(GetArchiveItemSize(image, path), size) << path;
  EXPECT_GE(FindArchiveFileItem(image, "casper\\vmlinuz"), 0);
  EXPECT_EQ(FindArchiveFileItem(image, "casper\\vmlinuz.efi"), -1);
}

TEST_F(ArchiveReader, LastOfTwoItemsWithOnePathWins) {
  MakeZip(temp / "twice.zip", {{.Name = "a.txt", .Data = "one"},
                               {.Name = "b.txt", .Data = "other"},
                               {.Name = "a.txt", .Data = "second"}});
  T7zInArchiveRef archive;
  ASSERT_TRUE(OpenArchive(temp / "twice.zip", archive));
  EXPECT_EQ(FindArchiveItem(archive, "a.txt"), 2);
  EXPECT_EQ(GetArchiveItemSize(temp / "twice.zip", "a.txt"), 6);
  EXPECT_EQ(FindArchiveItem(nullptr, "a.txt"), -1);
}

TEST_F(ArchiveReader, ArchiveOfFoldersOnlyHoldsNothing) {
  MakeZip(temp / "folders.zip", {testing::ZipFolder("a/"), testing::ZipFolder("a/b/")});
  EXPECT_EQ(GetArchiveContentSize(temp / "folders.zip"), 0);
  EXPECT_EQ(GetArchiveLargestItemSize(temp / "folders.zip"), 0);
  EXPECT_EQ(GetContentSize(nullptr), 0);
  EXPECT_EQ(GetLargestItemSize(nullptr), 0);
}

TEST_F(ArchiveReader, SizesBeyondFourGibibytesComeThrough) {
  MakeZip(temp / "large.zip", {testing::LargeZipEntry("huge.bin", 4294967296ull),
                               {.Name = "small.txt", .Data = "x"}});
  EXPECT_EQ(GetArchiveLargestItemSize(temp / "large.zip"), 4294967296ll);
  EXPECT_EQ(GetArchiveContentSize(temp / "large.zip"), 4294967297ll);
}

}  // namespace
}  // namespace quorvane
