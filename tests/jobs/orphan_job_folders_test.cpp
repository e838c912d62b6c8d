// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The folders of entries whose menu item was never written, found by the drive's menus.
#include "jobs/orphan_job_folders.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/temp_dir.h"

namespace quorvane::testing {
namespace {

TEST(OrphanJobFolders, OnlyJobFoldersThatNoMenuNamesAreOrphans) {
  TTempDir root;
  struct TCase {
    const char* name;
    std::string folder;    // under Quorvane/
    bool is_folder;
    std::string menu, text;  // a menu file and what it says; none when empty
    bool orphan;
  };
  const std::string id = "6B29FC40-CA47-1067-B31D-00DD010662D";
  const TCase cases[] = {
      {"named by menu.lst", id + "1", true, "menu.lst",
       "title a\r\nconfigfile (hd0,0)/Quorvane/" + id + "1/a.lst\r\n", false},
      {"named by a GRUB 2 menu only", id + "2", true, "EFI/BOOT/grub.cfg",
       "menuentry \"b\" {\n  configfile /Quorvane/" + id + "2/b.cfg\n}\n", false},
      {"named in another letter case", id + "3", true, "menu.lst",
       "title c\r\nconfigfile (hd0,0)/quorvane/" + std::string("6b29fc40-ca47-1067-b31d-00dd010662d3") +
           "/c.lst\r\n",
       false},
      {"named by no menu", id + "4", true, "", "", true},
      {"named only by its own menu inside", id + "5", true, "Quorvane/" + id + "5/e.lst",
       "kernel /Quorvane/" + id + "5/vmlinuz\r\n", true},
      {"the NTBOOT package", "NTBOOT", true, "", "", false},
      {"a folder of the user's", "backup", true, "", "", false},
      {"a file with a job's name", id + "6", false, "", "", false},
  };
  for (const TCase& c : cases) {
    const std::string path = root / ("Quorvane/" + c.folder);
    if (c.is_folder)
      WriteFile(path + "/image.iso", "bytes");
    else
      WriteFile(path, "bytes");
    if (!c.menu.empty()) {
      const std::string menu = root / c.menu;
      WriteFile(menu, ReadFile(menu) + c.text);
    }
  }
  const std::vector<std::string> orphans = FindOrphanJobFolders(root.path());
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = root / ("Quorvane/" + c.folder);
    EXPECT_EQ(std::count(orphans.begin(), orphans.end(), path), c.orphan ? 1 : 0);
  }
  EXPECT_EQ(RemoveOrphanJobFolders(root.path()), orphans);
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Exists(root / ("Quorvane/" + c.folder)), !c.orphan);
  }
  // A drive without the program's folder has none.
  TTempDir empty;
  EXPECT_TRUE(FindOrphanJobFolders(empty.path()).empty());
}

}  // namespace
}  // namespace quorvane::testing
