// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// GRUB4DOS's images installed from a folder or a zip file: only files that match the
// pinned release (here a pinned stand-in release) are installed, and a refusal changes
// nothing. With the real images at hand, quorvane-cli installs them from the release's
// layout.
#include <sys/stat.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "../archive/fixtures.h"
#include "capture.h"
#include "cli/cli_run.h"
#include "common/resources.h"
#include "drive/grub4dos_images.h"
#include "support/grub4dos_images.h"
#include "support/temp_dir.h"

namespace quorvane::testing {
namespace {

using ::testing::HasSubstr;

const std::string kMbr(512, 'm');
const std::string kLoader = "loader bytes";
const std::string kMbrDigest = Sha256Hex(kMbr);
const std::string kLoaderDigest = Sha256Hex(kLoader);
const TPinnedImage kStandIns[] = {
    {"grldr.mbr", kMbr.size(), kMbrDigest.c_str()},
    {"grldr", kLoader.size(), kLoaderDigest.c_str()},
};

TEST(Sha256, KnownDigests) {
  EXPECT_EQ(Sha256Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(Sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}

class SetupBootImagesTest : public ::testing::Test {
 protected:
  SetupBootImagesTest() { std::filesystem::create_directories(to); }

  // The target holds older images that a refusal must leave alone.
  void PutOldImages() {
    WriteFile(to + "/grldr", "old loader");
    WriteFile(to + "/grldr.mbr", "old mbr");
  }
  void ExpectOldImages() {
    EXPECT_EQ(ReadFile(to + "/grldr"), "old loader");
    EXPECT_EQ(ReadFile(to + "/grldr.mbr"), "old mbr");
    EXPECT_FALSE(Exists(to + "/grldr.new"));
  }

  TTempDir temp;
  std::string to = temp / "installed";
};

TEST_F(SetupBootImagesTest, TheReleaseLayoutsAreFound) {
  const std::string folder = temp / "folder", nested = temp / "nested";
  MakeTree(folder, {{"grldr", kLoader}, {"grldr.mbr", kMbr}});
  MakeTree(nested, {{"grub4dos-0.4.6a/grldr", kLoader}, {"grub4dos-0.4.6a/grldr.mbr", kMbr},
                    {"grub4dos-0.4.6a/menu.lst", "title x"}});
  MakeZip(temp / "top.zip", {{"grldr", kLoader}, {"grldr.mbr", kMbr}});
  MakeZip(temp / "release.zip", {ZipFolder("grub4dos-0.4.6a/"),
                                 {"grub4dos-0.4.6a/grldr.mbr", kMbr},
                                 {"grub4dos-0.4.6a/grldr", kLoader},
                                 {"grub4dos-0.4.6a/ChangeLog", "news"}});
  // A look-alike next to the real one: the file that matches is taken.
  MakeZip(temp / "two.zip", {{"other/grldr", "not it"},
                             {"grub4dos-0.4.6a/grldr", kLoader},
                             {"grub4dos-0.4.6a/grldr.mbr", kMbr}});
  for (const std::string& from :
       {folder, nested, temp / "top.zip", temp / "release.zip", temp / "two.zip"}) {
    PutOldImages();
    std::string error;
    ASSERT_TRUE(InstallGrub4DosImages(from, to, error, kStandIns)) << from << ": " << error;
    EXPECT_EQ(ReadFile(to + "/grldr"), kLoader) << from;
    EXPECT_EQ(ReadFile(to + "/grldr.mbr"), kMbr) << from;
    EXPECT_FALSE(Exists(to + "/grldr.new")) << from;
    struct stat st {};
    ASSERT_EQ(::stat((to + "/grldr").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);
  }
}

TEST_F(SetupBootImagesTest, FilesThatAreNotThePinnedReleaseAreRefused) {
  const std::string changed = kMbr.substr(0, 511) + "x";
  MakeZip(temp / "changed.zip", {{"grldr", kLoader}, {"grldr.mbr", changed}});
  MakeZip(temp / "short.zip", {{"grldr", kLoader}, {"grldr.mbr", kMbr + "!"}});
  MakeZip(temp / "half.zip", {{"grldr", kLoader}});
  MakeZip(temp / "deep.zip", {{"a/b/grldr", kLoader}, {"a/b/grldr.mbr", kMbr}});
  MakeTree(temp / "changed", {{"grldr", kLoader}, {"grldr.mbr", changed}});
  WriteFile(temp / "notes.txt", "not an archive");
  const std::pair<std::string, std::string> cases[] = {
      {temp / "changed.zip", "grldr.mbr has SHA-256 " + Sha256Hex(changed)},
      {temp / "short.zip", "has 513 bytes, the pinned release's grldr.mbr has 512"},
      {temp / "half.zip", "no grldr.mbr in"},
      {temp / "deep.zip", "no grldr.mbr in"},
      {temp / "changed", "grldr.mbr has SHA-256 " + Sha256Hex(changed)},
      {temp / "notes.txt", "neither a folder nor an archive"},
      {temp / "missing.zip", "does not exist"},
  };
  PutOldImages();
  for (const auto& [from, reason] : cases) {
    std::string error;
    EXPECT_FALSE(InstallGrub4DosImages(from, to, error, kStandIns)) << from;
    EXPECT_THAT(error, HasSubstr(reason)) << from;
    ExpectOldImages();
  }
}

TEST_F(SetupBootImagesTest, ALinkInPlaceOfTheTargetFolderIsNotFollowed) {
  MakeTree(temp / "folder", {{"grldr", kLoader}, {"grldr.mbr", kMbr}});
  const std::string elsewhere = temp / "elsewhere";
  std::filesystem::create_directories(elsewhere);
  const std::string link = temp / "link";
  ASSERT_EQ(::symlink(elsewhere.c_str(), link.c_str()), 0);
  std::string error;
  EXPECT_FALSE(InstallGrub4DosImages(temp / "folder", link, error, kStandIns));
  EXPECT_THAT(error, HasSubstr("symbolic link"));
  EXPECT_TRUE(std::filesystem::is_empty(elsewhere));
  // A missing folder is made.
  EXPECT_TRUE(InstallGrub4DosImages(temp / "folder", temp / "new/folder", error, kStandIns))
      << error;
  EXPECT_EQ(ReadFile(temp / "new/folder/grldr"), kLoader);
}

TEST_F(SetupBootImagesTest, TheCommandInstallsTheRealReleaseFromItsZip) {
  QUORVANE_SKIP_WITHOUT_GRUB4DOS_IMAGES();
  std::string mbr, loader, error;
  ASSERT_TRUE(ReadResource("grldr.mbr", mbr, error)) << error;
  ASSERT_TRUE(ReadResource("grldr", loader, error)) << error;
  MakeZip(temp / "grub4dos-0.4.6a-2019-12-24.zip",
          {ZipFolder("grub4dos-0.4.6a/"), {"grub4dos-0.4.6a/grldr", loader},
           {"grub4dos-0.4.6a/grldr.mbr", mbr}});
  TCapture out, err;
  TCliEnvironment env;
  env.Out = out.file();
  env.Err = err.file();
  const int status = RunCli(
      {"setup-boot-images", "--from", temp / "grub4dos-0.4.6a-2019-12-24.zip", "--to", to}, env);
  ASSERT_EQ(status, 0) << err.text();
  EXPECT_THAT(out.text(), HasSubstr("checked and installed in " + to));
  EXPECT_EQ(ReadFile(to + "/grldr"), loader);
  EXPECT_EQ(ReadFile(to + "/grldr.mbr"), mbr);
  // Without root the program's own folder is out of reach, and the command says so.
  env.Root = false;
  EXPECT_EQ(RunCli({"setup-boot-images", "--from", to}, env), 1);
  EXPECT_THAT(err.text(), HasSubstr("installs into /var/lib/quorvane, which needs root"));
}

}  // namespace
}  // namespace quorvane::testing
