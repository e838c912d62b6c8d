// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "loaders/menu_files.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "support/main_thread_fixture.h"

namespace quorvane::testing {
namespace {

class MenuFilesTest : public MainThreadTest {
 public:
  MenuFilesTest() { root = MapDrive('e'); }
  std::string root;
};

TEST_F(MenuFilesTest, EntryFileHoldsTheTextAndOneLineEnd) {
  std::string error = "stale";
  const std::string text =
      "title hbcd\r\nmap /Quorvane/X/hbcd.iso (0xff)\r\n\r\ntitle Main menu\r\nconfigfile /menu.lst";
  CreateTextFile(root + "hbcd.lst", text, error);
  EXPECT_EQ(error, "");
  EXPECT_EQ(ReadFile(root + "hbcd.lst"), text + "\r\n");
}

TEST_F(MenuFilesTest, ExistingEntryFileIsLeftUntouched) {
  WriteFile(root + "Go.lst", "old");
  std::string error;
  CreateTextFile(root + "Go.lst", "new", error);
  EXPECT_EQ(error, "File already exists");
  EXPECT_EQ(ReadFile(root + "Go.lst"), "old");
}

TEST_F(MenuFilesTest, EntryFileInAMissingFolderNamesThePath) {
  std::string error;
  const std::string path = root + "none/Go.lst";
  CreateTextFile(path, "x", error);
  EXPECT_EQ(error, "Failed to create txt file \"" + path + "\"");
}

TEST_F(MenuFilesTest, FirstItemCreatesTheMainMenuAndLaterItemsFollowIt) {
  std::string error;
  // A Windows item (no line end of its own), then another loader's item.
  AppendMenuPoint("e", "\r\ntitle Win10_x64\r\nconfigfile (hd0,0)/Quorvane/A/Go.lst", error);
  EXPECT_EQ(error, "");
  AppendMenuPoint("e", "\r\ntitle hbcd\r\nconfigfile (hd0,0)/Quorvane/B/hbcd.lst\r\n", error);
  EXPECT_EQ(error, "");
  EXPECT_EQ(ReadFile(root + "menu.lst"),
            "\r\ntitle Win10_x64\r\nconfigfile (hd0,0)/Quorvane/A/Go.lst\r\n"
            "\r\ntitle hbcd\r\nconfigfile (hd0,0)/Quorvane/B/hbcd.lst\r\n\r\n");
}

TEST_F(MenuFilesTest, AppendingKeepsWhatTheMenuHeld) {
  WriteFile(root + "menu.lst", "timeout 30\r\n");
  std::string error;
  AppendMenuPoint("e", "\r\ntitle x", error);
  EXPECT_EQ(ReadFile(root + "menu.lst"), "timeout 30\r\n\r\ntitle x\r\n");
}

TEST_F(MenuFilesTest, AppendWithoutADriveFails) {
  const std::pair<std::string, std::string> cases[] = {{"", "Drive not found"},
                                                       {"q", "Drive not found"},
                                                       {"E", "Drive not found"}};
  for (const auto& [drive, message] : cases) {
    std::string error;
    AppendMenuPoint(drive, "x", error);
    EXPECT_EQ(error, message) << "drive '" << drive << "'";
  }
}

TEST_F(MenuFilesTest, MenuThatCannotBeOpenedNamesItsPath) {
  std::filesystem::create_directory(root + "menu.lst");  // a folder in the file's place
  std::string error;
  AppendMenuPoint("e", "x", error);
  EXPECT_EQ(error, "Failed to create/open menu file \"" + root + "menu.lst\"");
}

TEST_F(MenuFilesTest, MenuReachedThroughASymbolicLinkIsRefused) {
  // An image's content could plant such a link; the menu is never written through it.
  WriteFile(temp / "elsewhere.txt", "keep");
  std::filesystem::create_symlink(temp / "elsewhere.txt", root + "menu.lst");
  std::string error;
  AppendMenuPoint("e", "x", error);
  EXPECT_EQ(error, "Failed to create/open menu file \"" + root + "menu.lst\"");
  EXPECT_EQ(ReadFile(temp / "elsewhere.txt"), "keep");
}

}  // namespace
}  // namespace quorvane::testing
