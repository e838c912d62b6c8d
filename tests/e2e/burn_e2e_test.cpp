// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// quorvane-cli end to end: an image drive on a loop device burned in mode new with
// several entries made here with xorriso (one of them failing, the last one cancelled
// with Ctrl-C), then in mode add with one more; every check reads the image's NTFS
// volume through ntfs-3g, apart from the program.
#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <set>

#include "common/resources.h"
#include "e2e_support.h"
#include "support/expected_entries.h"
#include "support/loop_devices.h"
#include "support/temp_dir.h"
#include "support/grub4dos_images.h"

namespace quorvane::testing {
namespace {

namespace fs = std::filesystem;

// The image drive: room for the entries, and for NTFS's own files. ntfs-3g spreads the
// small entries' files 16 MiB apart from the end of its MFT zone (an eighth of the
// volume) on; the large image still finds a free run of its own after them.
constexpr const char* kDriveSize = "512M";

std::string Bytes(std::size_t size, unsigned seed) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) {
    seed = seed * 1103515245u + 12345u;
    bytes[i] = static_cast<char>(seed >> 16);
  }
  return bytes;
}

// The files under `root`, by their path below it.
std::map<std::string, std::string> Tree(const std::string& root) {
  std::map<std::string, std::string> files;
  for (const auto& e : fs::recursive_directory_iterator(root))
    if (e.is_regular_file())
      files[fs::relative(e.path(), root).string()] = ReadFile(e.path().string());
  return files;
}

class BurnEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    QUORVANE_SKIP_WITHOUT_GRUB4DOS_IMAGES();
    if (const std::string why =
            LoopDevicesUnavailable({"losetup", "sfdisk", "wipefs", "blockdev", "mkfs.ntfs",
                                    "ntfs-3g", "umount", "xorriso"});
        !why.empty())
      GTEST_SKIP() << "no loop devices: " << why;
    std::string error;
    ASSERT_TRUE(ReadResource("grldr.mbr", boot_images, error)) << error;
    ASSERT_TRUE(ReadResource("grldr", loader, error)) << error;
    ntboot = SourcePath("resources/ntboot/NTBOOT");
  }

  std::string Iso(const std::string& name, const std::map<std::string, std::string>& files,
                  bool bootable = false) {
    const std::string path = temp / ("images/" + name);
    fs::create_directories(temp / "images");
    if (bootable)
      MakeBootableIso(path, files);
    else
      MakeIso(path, files);
    return path;
  }

  TTempDir temp;
  std::string boot_images, loader, ntboot;
};

TEST_F(BurnEndToEnd, NewDriveWithSeveralEntriesThenOneMoreInAddMode) {
  const std::string kernel = Bytes(70000, 1), kernel_old = Bytes(60000, 2),
                    initrd = Bytes(50000, 3);
  const std::string rescue = Bytes(40000, 4), rescue_igz = Bytes(30000, 5),
                    squash = Bytes(90000, 6);
  const std::string ubuntu = Iso("ubuntu-16.04-desktop-amd64.iso", {{"casper/vmlinuz.efi", kernel},
                                                                    {"casper/vmlinuz", kernel_old},
                                                                    {"casper/initrd.lz", initrd},
                                                                    {"casper/filesystem.squashfs", squash}});
  const std::string krd = Iso("krd.iso", {{"boot/rescue", rescue},
                                          {"boot/rescue.igz", rescue_igz},
                                          {"rescue/LiveOS/squashfs.img", squash}});
  const std::string windows =
      Iso("Win10_x64.iso", {{"setup.exe", Bytes(20000, 7)}, {"sources/boot.wim", Bytes(80000, 8)},
                            {"sources/install.esd", Bytes(30000, 12)}});
  const std::string hirens = Iso("Hiren's.BootCD 15.2.iso", {{"HBCD/menu.lst", "title x\n"}}, true);
  // Large enough to be cancelled while it is copied.
  const std::string pmagic = Iso("pmagic.iso", {{"pmagic/files.img", Bytes(64 << 20, 9)}}, true);
  const std::string drive = temp / "drive.img";

  bool interrupted = false;
  const TProcessResult first =
      RunCli({"burn",        "--image", drive,          "--size",  kDriveSize,    "--mode",
              "new",         "--fs",    "ntfs",         "--entry", "5:" + ubuntu, "--entry",
              "3:" + krd,    "--entry", "2:" + windows, "--entry", "6:" + hirens, "--entry",
              "7:" + pmagic, "--yes"},
             [&](const std::string& line, pid_t pid) {
               if (line == "[5 pmagic.iso] Initializing" && !interrupted) {
                 interrupted = true;
                 ::kill(pid, SIGINT);
               }
             });
  ASSERT_TRUE(interrupted) << first.Out << first.Err;
  EXPECT_EQ(first.ExitStatus, 1) << first.Out << first.Err;
  EXPECT_NE(first.Out.find("Formatting...\nDrive ready.\n"), std::string::npos) << first.Out;
  EXPECT_NE(first.Out.find("Stopping:"), std::string::npos) << first.Out;
  EXPECT_NE(first.Out.find("1 ubuntu-16.04-desktop-amd64.iso: Finished\n"
                           "2 krd.iso: Finished\n"
                           "3 Win10_x64.iso: Finished\n"
                           "4 Hiren's.BootCD 15.2.iso: Finished\n"
                           "5 pmagic.iso: Cancelled\n"
                           "4 of 5 entries finished.\n"),
            std::string::npos)
      << first.Out << first.Err;
  EXPECT_EQ(first.Err, "");
  // The program released the drive: no loop device is left over the image.
  EXPECT_EQ(LoopDevicesOver(drive), "");

  // The boot code in front of the partition, the partition table kept.
  const std::string head = FileHead(drive, 8192);
  ASSERT_EQ(head.size(), 8192u);
  EXPECT_EQ(head.substr(0, 446), boot_images.substr(0, 446));
  EXPECT_EQ(static_cast<unsigned char>(head[446]), 0x80);  // active
  EXPECT_EQ(static_cast<unsigned char>(head[450]), 0x07);  // NTFS
  EXPECT_EQ(head.substr(510, 2), "\x55\xAA");
  EXPECT_EQ(head.substr(1024), boot_images.substr(1024, 7168));

  const std::string main_menu_1 =
      "\r\ntitle ubuntu_16.04_desktop_amd64\r\nconfigfile (hd0,0)/Quorvane/ID/UbuntuX64.lst\r\n\r\n"
      "\r\ntitle krd\r\nconfigfile (hd0,0)/Quorvane/ID/krd.lst\r\n\r\n"
      "\r\ntitle Win10_x64\r\nconfigfile (hd0,0)/Quorvane/ID/Go.lst\r\n"
      "\r\ntitle Hiren's.BootCD_15.2\r\nconfigfile "
      "(hd0,0)/Quorvane/ID/Hiren's.BootCD_15.2.lst\r\n\r\n";
  std::vector<std::string> ids;
  std::string menu_1;
  {
    TMountedVolume v(drive, temp / "mnt");
    ASSERT_TRUE(v.Ok()) << v.Error();
    EXPECT_EQ(ReadFile(v / "grldr"), loader);
    // The package as the build packed it, the archive gone, the answer file at the root.
    EXPECT_EQ(Tree(v / "Quorvane/NTBOOT"), Tree(ntboot));
    EXPECT_FALSE(Exists(v / "Quorvane/NTBOOT.7z"));
    EXPECT_EQ(ReadFile(v / "AutoUnattend.xml"), ReadFile(ntboot + "/W7/ISO.xml"));

    menu_1 = ReadFile(v / "menu.lst");
    ids = IdsIn(menu_1);
    ASSERT_EQ(ids.size(), 4u) << menu_1;
    std::string pattern = menu_1;
    for (const std::string& id : ids) pattern = WithId(pattern, id);
    EXPECT_EQ(pattern, main_menu_1);
    // One folder per finished entry; the cancelled one left none.
    std::set<std::string> folders;
    for (const auto& e : fs::directory_iterator(v / "Quorvane"))
      if (e.is_directory()) folders.insert(e.path().filename().string());
    EXPECT_EQ(folders, std::set<std::string>({ids[0], ids[1], ids[2], ids[3], "NTBOOT"}));

    const auto entry = [&](int k, const std::string& file) {
      return WithId(ReadFile(v / ("Quorvane/" + ids[k] + "/" + file)), ids[k]);
    };
    const auto file = [&](int k, const std::string& file) {
      return ReadFile(v / ("Quorvane/" + ids[k] + "/" + file));
    };
    const auto files_of = [&](int k) {
      std::set<std::string> names;
      for (const auto& [name, content] : Tree(v / ("Quorvane/" + ids[k]))) names.insert(name);
      return names;
    };

    // Ubuntu: the image, its kernel (the EFI one, of the two) and initrd taken out of it.
    EXPECT_EQ(entry(0, "UbuntuX64.lst"),
              ExpectedUbuntuEntry("vmlinuz.efi", "ubuntu_16.04_desktop_amd64.iso"));
    EXPECT_EQ(files_of(0), std::set<std::string>({"UbuntuX64.lst", "UbuntuX64.cfg", "initrd.lz",
                                                  "vmlinuz.efi", "ubuntu_16.04_desktop_amd64.iso"}));
    EXPECT_EQ(file(0, "vmlinuz.efi"), kernel);
    EXPECT_EQ(file(0, "initrd.lz"), initrd);
    EXPECT_EQ(file(0, "ubuntu_16.04_desktop_amd64.iso"), ReadFile(ubuntu));

    // Kaspersky: the whole image unpacked, its kernel started directly.
    EXPECT_EQ(entry(1, "krd.lst"), ExpectedKasperskyEntry("krd"));
    EXPECT_EQ(file(1, "krd/boot/rescue"), rescue);
    EXPECT_EQ(file(1, "krd/boot/rescue.igz"), rescue_igz);
    EXPECT_EQ(file(1, "krd/rescue/LiveOS/squashfs.img"), squash);
    EXPECT_EQ(files_of(1),
              std::set<std::string>({"krd.lst", "krd.cfg", "krd/boot/rescue", "krd/boot/rescue.igz",
                                     "krd/rescue/LiveOS/squashfs.img"}));

    // Windows 10: the image booted through NTBOOT.
    EXPECT_EQ(
        entry(2, "Go.lst"),
        "title Win10_x64\r\n"
        "dd if=()/Quorvane/NTBOOT/W10/ISO.xml of=()/AutoUnattend.xml\r\n"
        "dd if=()/Quorvane/NTBOOT/spaces.txt of=()/Quorvane/NTBOOT/namepath.cmd\r\n"
        "write ()/Quorvane/NTBOOT/namepath.cmd SET "
        "MYOS=\\\\Quorvane\\\\ID\\\\Win10_x64.iso\\r\\n\r\n"
        "command ()/Quorvane/NTBOOT/NTBOOT iso_inst=vboot cdrom=/Quorvane/ID/Win10_x64.iso\r\n"
        "\r\ntitle Main menu\r\nconfigfile (hd0,0)/menu.lst\r\n");
    EXPECT_EQ(file(2, "Win10_x64.iso"), ReadFile(windows));

    // Hiren's: the image mapped in place, after a partition entry pointing at it.
    const std::string F = "(hd0,0)/Quorvane/ID/Hiren's.BootCD_15.2.iso";
    EXPECT_EQ(entry(3, "Hiren's.BootCD_15.2.lst"),
              "title Hiren's.BootCD_15.2\r\npartnew (hd0,3) 0x00 " + F + "\r\nmap " + F +
                  " (0xff)\r\nmap --hook\r\nroot (0xff)\r\nchainloader (0xff)\r\n\r\n"
                  "title Main menu\r\nconfigfile /menu.lst\r\n");
    EXPECT_EQ(file(3, "Hiren's.BootCD_15.2.iso"), ReadFile(hirens));
  }

  // As if the Windows item had been booted: the root answer file and the image's path
  // rewritten; and a file that the package does not hold.
  {
    TMountedVolume v(drive, temp / "mnt", true);
    ASSERT_TRUE(v.Ok()) << v.Error();
    WriteFile(v / "AutoUnattend.xml", ReadFile(ntboot + "/W10/ISO.xml"));
    WriteFile(v / "Quorvane/NTBOOT/namepath.cmd", "SET MYOS=\\Quorvane\\x\\Win10_x64.iso\r\n");
    WriteFile(v / "Quorvane/NTBOOT/stray.txt", "stray");
  }

  const std::string clonezilla = Iso("clonezilla-live-3.1.iso",
                                     {{"live/vmlinuz", Bytes(10000, 10)},
                                      {"live/initrd.img", Bytes(5000, 13)},
                                      {"live/filesystem.squashfs", Bytes(20000, 14)}},
                                     true);
  const TProcessResult second =
      RunCli({"burn", "--image", drive, "--mode", "add", "--entry", "9:" + clonezilla, "--yes"});
  EXPECT_EQ(second.ExitStatus, 0) << second.Out << second.Err;
  EXPECT_NE(second.Out.find("Replacing MBR...\nDrive ready.\n"), std::string::npos) << second.Out;
  EXPECT_NE(second.Out.find("1 clonezilla-live-3.1.iso: Finished\nAll 1 entries finished.\n"),
            std::string::npos)
      << second.Out;

  EXPECT_EQ(LoopDevicesOver(drive), "");

  TMountedVolume v(drive, temp / "mnt");
  ASSERT_TRUE(v.Ok()) << v.Error();
  // The package unpacked anew, the answer file back to Windows 7's.
  EXPECT_EQ(Tree(v / "Quorvane/NTBOOT"), Tree(ntboot));
  EXPECT_EQ(ReadFile(v / "AutoUnattend.xml"), ReadFile(ntboot + "/W7/ISO.xml"));
  EXPECT_EQ(ReadFile(v / "grldr"), loader);
  // The main menu grew by one item; what was there stays.
  const std::string menu_2 = ReadFile(v / "menu.lst");
  ASSERT_EQ(menu_2.rfind(menu_1, 0), 0u) << menu_2;
  const std::vector<std::string> new_ids = IdsIn(menu_2.substr(menu_1.size()));
  ASSERT_EQ(new_ids.size(), 1u);
  const std::string id = new_ids[0];
  EXPECT_EQ(WithId(menu_2.substr(menu_1.size()), id),
            "\r\ntitle clonezilla_live_3.1\r\nconfigfile "
            "(hd0,0)/Quorvane/ID/clonezilla_live_3.1.lst\r\n\r\n");
  EXPECT_EQ(WithId(ReadFile(v / ("Quorvane/" + id + "/clonezilla_live_3.1.lst")), id),
            "title clonezilla_live_3.1\r\n"
            "partnew (hd0,3) 0x00 (hd0,0)/Quorvane/ID/clonezilla_live_3.1.iso\r\n"
            "map (hd0,0)/Quorvane/ID/clonezilla_live_3.1.iso (0xff)\r\n"
            "map --hook\r\nroot (0xff)\r\nchainloader (0xff)\r\n\r\n"
            "title Main menu\r\nconfigfile /menu.lst\r\n");
  EXPECT_EQ(ReadFile(v / ("Quorvane/" + id + "/clonezilla_live_3.1.iso")), ReadFile(clonezilla));
  EXPECT_EQ(ReadFile(v / ("Quorvane/" + ids[1] + "/krd/rescue/LiveOS/squashfs.img")), squash);
  EXPECT_EQ(ReadFile(v / ("Quorvane/" + ids[0] + "/vmlinuz.efi")), kernel);
  // The boot code is in place again.
  EXPECT_EQ(FileHead(drive, 446), boot_images.substr(0, 446));
}

TEST_F(BurnEndToEnd, AnImageFileMadeForABurnThatIsDeclinedGoesAgain) {
  const std::string image = temp / "images/x.iso";
  MakeLoaderImage(image, 6);
  const std::string drive = temp / "new.img";
  // No --yes, and no terminal to answer on: the answer is no.
  const TProcessResult declined =
      RunCli({"burn", "--image", drive, "--size", "64M", "--mode", "new", "--entry", "6:" + image});
  EXPECT_EQ(declined.ExitStatus, 1);
  EXPECT_NE(declined.Err.find("Selected drive will be formated."), std::string::npos)
      << declined.Err;
  EXPECT_NE(declined.Err.find("nothing was written"), std::string::npos) << declined.Err;
  EXPECT_FALSE(Exists(drive));
  EXPECT_EQ(declined.Out, "");
}

// "Finished" means bootable: an entry whose image lacks what its loader needs stops the
// burn before the drive is touched, and the message names what is missing.
TEST_F(BurnEndToEnd, AnEntryThatCannotBootIsRefusedBeforeTheDriveIsTouched) {
  const std::string good = Iso("hbcd.iso", {{"HBCD/menu.lst", "title x\n"}}, true);
  const std::string broken = Iso("ubuntu-cut.iso", {{"casper/vmlinuz", "kernel"},
                                                    {"casper/initrd.gz", "initrd"}});
  const std::string drive = temp / "new.img";
  const TProcessResult refused =
      RunCli({"burn", "--image", drive, "--size", "64M", "--mode", "new", "--entry", "6:" + good,
              "--entry", "5:" + broken, "--yes"});
  EXPECT_EQ(refused.ExitStatus, 1) << refused.Out << refused.Err;
  EXPECT_NE(refused.Err.find(
                "entry 2 (ubuntu-cut.iso): The image has no casper/*.squashfs (Ubuntu's live file "
                "system)"),
            std::string::npos)
      << refused.Err;
  EXPECT_FALSE(Exists(drive));
  EXPECT_EQ(refused.Out, "");
}

TEST_F(BurnEndToEnd, AnImageMappedInPlaceMustLieInOnePiece) {
  // More than half of a volume too small to be grown: mkfs.ntfs puts the log file in the
  // middle, so no free run can hold it. The burn is refused before the drive is made.
  // A CD that is also an Ubuntu image.
  const std::string big = Iso("big.iso", {{"casper/vmlinuz", "kernel"}, {"casper/initrd", "initrd"},
                                          {"casper/filesystem.squashfs", Bytes(40 << 20, 11)}},
                              true);
  const std::string drive = temp / "drive.img";
  const TProcessResult mapped = RunCli({"burn", "--image", drive, "--size", "64M", "--mode", "new",
                                        "--fs", "ntfs", "--entry", "6:" + big, "--yes"});
  EXPECT_EQ(mapped.ExitStatus, 1) << mapped.Out << mapped.Err;
  EXPECT_NE(mapped.Err.find("Not enough contiguous free space on USB drive for big.iso (needs 41 "
                            "MiB, the largest free run is "),
            std::string::npos)
      << mapped.Err;
  EXPECT_FALSE(Exists(drive));
  // Booted through the kernel taken out beside it, the same image may lie in pieces.
  const TProcessResult in_memory =
      RunCli({"burn", "--image", drive, "--size", "64M", "--mode", "new", "--fs", "ntfs",
              "--entry", "5:" + big, "--yes"});
  EXPECT_EQ(in_memory.ExitStatus, 0) << in_memory.Out << in_memory.Err;
  // Added to the drive now, the mapped image finds even less room: refused at once.
  const TProcessResult added =
      RunCli({"burn", "--image", drive, "--mode", "add", "--entry", "6:" + big, "--yes"});
  EXPECT_EQ(added.ExitStatus, 1) << added.Out << added.Err;
  EXPECT_NE(added.Err.find("Not enough contiguous free space on USB drive for big.iso (needs 41 MiB"),
            std::string::npos)
      << added.Err;

  TMountedVolume v(drive, temp / "mnt");
  ASSERT_TRUE(v.Ok()) << v.Error();
  const std::string menu = ReadFile(v / "menu.lst");
  const std::vector<std::string> ids = IdsIn(menu);
  ASSERT_EQ(ids.size(), 1u) << menu;
  EXPECT_EQ(WithId(menu, ids[0]),
            "\r\ntitle big\r\nconfigfile (hd0,0)/Quorvane/ID/UbuntuX64.lst\r\n\r\n");
  std::set<std::string> folders;
  for (const auto& e : fs::directory_iterator(v / "Quorvane"))
    if (e.is_directory()) folders.insert(e.path().filename().string());
  EXPECT_EQ(folders, std::set<std::string>({ids[0], "NTBOOT"}));
  EXPECT_EQ(ReadFile(v / ("Quorvane/" + ids[0] + "/big.iso")), ReadFile(big));
}

}  // namespace
}  // namespace quorvane::testing
