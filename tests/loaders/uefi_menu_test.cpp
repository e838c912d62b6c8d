// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The UEFI menus beside GRUB4DOS's: how each kind of image boots there, the items the
// loaders write, their order and titles against menu.lst, and the roll-back of both.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <sstream>

#include "loaders/grub2_menu.h"
#include "loaders/loader_jobs.h"
#include "loaders/uefi_boot.h"
#include "support/iso_images.h"
#include "support/main_thread_fixture.h"

namespace quorvane::testing {
namespace {

std::vector<TArchiveFileItem> Files(std::initializer_list<const char*> paths) {
  std::vector<TArchiveFileItem> files;
  for (const char* p : paths) files.push_back({p, 1});
  return files;
}

TEST(UefiRoute, EachKindOfImageBootsItsOwnWay) {
  struct TCase {
    const char* name;
    int code;
    std::vector<TArchiveFileItem> files;
    TUefiRoute route;
    std::string kernel;  // Kernel: kernel, then the initrds; Chainload: the EFI loader
  };
  const TCase cases[] = {
      {"Windows installer", 2, Files({"sources/boot.wim", "sources/install.wim", "efi/boot/bootx64.efi"}),
       TUefiRoute::BiosOnly, ""},
      {"WinPE CD with an EFI loader", 6, Files({"bootmgr", "EFI/BOOT/BOOTX64.EFI"}),
       TUefiRoute::BiosOnly, ""},
      {"current Ubuntu", 5, Files({"casper/vmlinuz", "casper/initrd"}), TUefiRoute::Kernel,
       "/casper/vmlinuz /casper/initrd"},
      {"old Ubuntu", 5, Files({"casper/vmlinuz.efi", "casper/initrd.lz"}), TUefiRoute::Kernel,
       "/casper/vmlinuz.efi /casper/initrd.lz"},
      {"Ubuntu with loopback.cfg", 5,
       Files({"casper/vmlinuz", "casper/initrd", "boot/grub/loopback.cfg"}), TUefiRoute::LoopbackCfg, ""},
      {"Clonezilla, versioned kernel", 9, Files({"live/vmlinuz-6.1.0", "live/initrd.img-6.1.0"}),
       TUefiRoute::Kernel, "/live/vmlinuz-6.1.0 /live/initrd.img-6.1.0"},
      {"Parted Magic", 7,
       Files({"pmagic/bzImage64", "pmagic/initrd.img", "pmagic/fu.img", "pmagic/m64.img"}),
       TUefiRoute::Kernel, "/pmagic/bzImage64 /pmagic/initrd.img /pmagic/fu.img /pmagic/m64.img"},
      {"Parted Magic without fu.img, with an EFI loader", 7,
       Files({"pmagic/bzImage64", "pmagic/initrd.img", "pmagic/m64.img", "EFI/BOOT/BOOTX64.EFI"}),
       TUefiRoute::Chainload, "/EFI/BOOT/BOOTX64.EFI"},
      {"memtest86+ as Debian ships it", 7, Files({"EFI/BOOT/bootx64.efi", "boot/floppy.img"}),
       TUefiRoute::Chainload, "/EFI/BOOT/bootx64.efi"},
      {"GRUB 2 CD with an EFI loader too", 8, Files({"boot/grub/grub.cfg", "EFI/BOOT/BOOTX64.EFI"}),
       TUefiRoute::ImageGrubCfg, ""},
      {"isolinux-only CD", 6, Files({"isolinux/isolinux.bin", "boot/vmlinuz"}), TUefiRoute::BiosOnly, ""},
      {"AVG", 4, Files({"isolinux/vmlinuz", "isolinux/initrd.lzm"}), TUefiRoute::Kernel,
       "/isolinux/vmlinuz /isolinux/initrd.lzm"},
      {"AVG without its initrd, with an EFI loader", 4,
       Files({"isolinux/vmlinuz", "EFI/BOOT/BOOTX64.EFI"}), TUefiRoute::BiosOnly, ""},
      {"Kaspersky", 3, {}, TUefiRoute::Unpacked, ""},
  };
  for (const TCase& c : cases) {
    const TUefiBoot boot = UefiBootOfFiles(c.code, c.files);
    EXPECT_EQ(static_cast<int>(boot.Route), static_cast<int>(c.route)) << c.name;
    std::string got = boot.Route == TUefiRoute::Chainload ? boot.EfiLoader : boot.Kernel;
    for (const std::string& i : boot.Initrds) got += " " + i;
    EXPECT_EQ(got, c.kernel) << c.name;
  }
}

// Folder identifiers are fresh GUIDs; the expected texts write them as "ID".
std::string WithoutIds(const std::string& text) {
  static const std::regex id("[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}");
  return std::regex_replace(text, id, "ID");
}

// The titles of a menu's items in order: GRUB4DOS's "title X" lines, GRUB 2's menuentry
// words (quoted by us in single quotes).
std::vector<std::string> Titles(const std::string& menu, bool grub2) {
  std::vector<std::string> titles;
  std::istringstream in(menu);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!grub2 && line.rfind("title ", 0) == 0) titles.push_back(line.substr(6));
    if (grub2 && line.rfind("menuentry '", 0) == 0)
      titles.push_back(line.substr(11, line.rfind("' {") - 11));
  }
  return titles;
}

class UefiMenuTest : public MainThreadTest {
 public:
  UefiMenuTest() { root = MapDrive('e'); }

  std::unique_ptr<TJob> Burn(int code, const std::string& name,
                             const std::map<std::string, std::string>& extra = {}) {
    const std::string image = temp / ("images/" + name);
    MakeLoaderImage(image, code, extra);
    std::unique_ptr<TJob> job = CreateLoaderJob(code, image, 'e', name);
    job->Start();
    EXPECT_TRUE(PumpUntil([&] { return job->Finished(); }));
    EXPECT_EQ(job->Error(), "") << name;
    return job;
  }
  std::string Cfg(const TJob& job, const std::string& file) {
    return WithoutIds(ReadFile(job.Vars.JobDir + file));
  }

  std::string root;
};

TEST_F(UefiMenuTest, EveryEntryHasItsItemInBothMenusInTheSameOrder) {
  auto windows = Burn(2, "Win10_x64.iso");
  auto ubuntu = Burn(5, "ubuntu-24.04.iso");
  auto clonezilla = Burn(9, "clonezilla.iso");
  auto memtest = Burn(7, "memtest.iso", {{"EFI/BOOT/bootx64.efi", "MZ memtest"}});
  auto cd = Burn(6, "hbcd.iso");
  auto krd = Burn(3, "krd.iso");

  const std::string grub2 = ReadFile(root + "grub.cfg");
  // The main menu starts with its header: the Secure Boot notice comes before any entry.
  EXPECT_EQ(grub2.rfind(Grub2MainMenuHeader(), 0), 0u);
  std::vector<std::string> expected = Titles(ReadFile(root + "menu.lst"), false);
  ASSERT_EQ(expected.size(), 6u);
  expected[0] += " (BIOS only)";  // Windows setup
  expected[4] += " (BIOS only)";  // a CD that only isolinux starts
  std::vector<std::string> got = Titles(grub2, true);
  ASSERT_FALSE(got.empty());
  EXPECT_EQ(got.front(), "Secure Boot is on: switch it off in the firmware settings to boot these entries");
  got.erase(got.begin());
  EXPECT_EQ(got, expected);

  // The BIOS-only items say what to do; the others load their entry's own menu.
  EXPECT_NE(grub2.find("echo 'Win10_x64 boots on BIOS only.'"), std::string::npos) << grub2;
  EXPECT_NE(WithoutIds(grub2).find("menuentry 'ubuntu_24.04' {\n  configfile ($qv_main)'/Quorvane/ID/UbuntuX64.cfg'\n}"),
            std::string::npos)
      << grub2;
  EXPECT_FALSE(Exists(windows->Vars.JobDir + "Go.cfg"));

  const std::string loop_ubuntu = "  loopback loop ($qv_main)'/Quorvane/ID/ubuntu_24.04.iso'\n";
  EXPECT_EQ(Cfg(*ubuntu, "UbuntuX64.cfg"),
            "menuentry 'Try Ubuntu without installing' {\n" + loop_ubuntu +
                "  linux (loop)'/casper/vmlinuz' boot=casper 'iso-scan/filename=/Quorvane/ID/ubuntu_24.04.iso' noprompt persistent quiet splash --\n"
                "  initrd (loop)'/casper/initrd'\n}\n"
                "menuentry 'Install Ubuntu' {\n" + loop_ubuntu +
                "  linux (loop)'/casper/vmlinuz' boot=casper 'iso-scan/filename=/Quorvane/ID/ubuntu_24.04.iso' noprompt only-ubiquity quiet splash --\n"
                "  initrd (loop)'/casper/initrd'\n}\n"
                "\nmenuentry 'Main menu' {\n  configfile ($qv_main)/grub.cfg\n}\n");
  const std::string clonezilla_cfg = Cfg(*clonezilla, "clonezilla.cfg");
  EXPECT_NE(clonezilla_cfg.find("linux (loop)'/live/vmlinuz' boot=live union=overlay "), std::string::npos)
      << clonezilla_cfg;
  EXPECT_NE(clonezilla_cfg.find(" 'findiso=/Quorvane/ID/clonezilla.iso'\n  initrd (loop)'/live/initrd.img'\n"),
            std::string::npos)
      << clonezilla_cfg;
  EXPECT_NE(Cfg(*memtest, "memtest.cfg")
                .find("  loopback loop ($qv_main)'/Quorvane/ID/memtest.iso'\n"
                      "  chainloader (loop)'/EFI/BOOT/bootx64.efi'\n"),
            std::string::npos)
      << Cfg(*memtest, "memtest.cfg");
  const std::string krd_cfg = Cfg(*krd, "krd.cfg");
  EXPECT_NE(krd_cfg.find("  probe --set=qv_uuid -u ($qv_main)\n  linux ($qv_main)'/Quorvane/ID/krd/boot/rescue' "
                         "root=live:UUID=$qv_uuid 'live_dir=/Quorvane/ID/krd/rescue/LiveOS/'"),
            std::string::npos)
      << krd_cfg;
}

// A quote in a name would end GRUB 2's word; "$" would be expanded.
TEST_F(UefiMenuTest, NamesGrub2WouldReadAsSyntaxStayOneWord) {
  auto job = Burn(9, "it's$HOME.iso");
  const std::string n = job->Vars.JobFileNameWOExt;
  ASSERT_EQ(n, "it's$HOME");
  const std::string grub2 = ReadFile(root + "grub.cfg");
  EXPECT_NE(grub2.find("menuentry 'it'\\''s$HOME' {"), std::string::npos) << grub2;
  EXPECT_NE(Cfg(*job, "it's$HOME.cfg").find("'findiso=/Quorvane/ID/it'\\''s$HOME.iso'"), std::string::npos)
      << Cfg(*job, "it's$HOME.cfg");
}

// The GRUB 2 append fails (its menu is a folder here): the job fails, and menu.lst loses
// the item it had just got, so that neither menu points at the deleted folder.
TEST_F(UefiMenuTest, AFailedAppendTakesBackBothMenus) {
  Burn(6, "first.iso");
  const std::string before = ReadFile(root + "menu.lst");
  std::filesystem::rename(root + "grub.cfg", root + "grub.keep");
  std::filesystem::create_directory(root + "grub.cfg");
  const std::string image = temp / "images/second.iso";
  MakeLoaderImage(image, 6);
  std::unique_ptr<TJob> job = CreateLoaderJob(6, image, 'e', "second");
  job->Start();
  ASSERT_TRUE(PumpUntil([&] { return job->Finished(); }));
  EXPECT_NE(job->Error(), "");
  EXPECT_EQ(ReadFile(root + "menu.lst"), before);
}

}  // namespace
}  // namespace quorvane::testing
