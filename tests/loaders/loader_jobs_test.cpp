// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The entries the loaders write, byte for byte, on a folder-backed drive.
#include "loaders/loader_jobs.h"

#include <gtest/gtest.h>

#include <regex>

#include "drive/file_extents.h"
#include "support/expected_entries.h"
#include "support/iso_images.h"
#include "support/main_thread_fixture.h"

namespace quorvane::testing {
namespace {

// Folder identifiers are fresh GUIDs; the expected texts write them as "ID".
std::string WithoutIds(const std::string& text) {
  static const std::regex id(
      "[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}");
  return std::regex_replace(text, id, "ID");
}

class LoaderJobTest : public MainThreadTest {
 public:
  LoaderJobTest() { root = MapDrive('e'); }

  // Runs one job of `code` for an image named `image_name`; answers the job.
  std::unique_ptr<TJob> Burn(int code, const std::string& image_name) {
    const std::string image = temp / ("images/" + image_name);
    if (image.size() > 4 && image.substr(image.size() - 4) == ".vhd") {
      // A fixed virtual disk: its data, then the footer with its cookie.
      std::string vhd(4096, 'v');
      vhd.replace(4096 - 512, 8, "conectix");
      WriteFile(image, vhd);
    } else {
      MakeLoaderImage(image, code);
    }
    std::unique_ptr<TJob> job = CreateLoaderJob(code, image, 'e', image_name);
    EXPECT_NE(job, nullptr);
    job->Start();
    EXPECT_TRUE(PumpUntil([&] { return job->Finished(); }));
    EXPECT_EQ(job->Error(), "");
    EXPECT_EQ(job->Status(), "Finished");
    return job;
  }

  std::string Entry(const TJob& job, const std::string& file) {
    return WithoutIds(ReadFile(job.Vars.JobDir + file));
  }
  std::string MainMenu() { return WithoutIds(ReadFile(root + "menu.lst")); }

  std::string root;
};

TEST_F(LoaderJobTest, WindowsEntriesBootThroughNTBOOTWithTheirVersionsAnswerFile) {
  struct TCase {
    int code;
    const char* image;
    const char* folder;
    const char* option;
  };
  const TCase cases[] = {
      {0, "Win7 x64.iso", "W7", "iso_inst=vboot cdrom="},
      {0, "win7.ISO", "W7", "iso_inst=vboot cdrom="},
      {0, "win7.vhd", "W7", "NT6="},
      {1, "win8.vhd", "W8", "iso_inst=vboot cdrom="},
      {2, "Win10_x64.iso", "W10", "iso_inst=vboot cdrom="},
  };
  for (const TCase& c : cases) {
    auto job = Burn(c.code, c.image);
    const std::string n = job->Vars.JobFileNameWOExt;
    const std::string name = job->Vars.JobFileNameWithExt;
    EXPECT_EQ(Entry(*job, "Go.lst"),
              "title " + n + "\r\n" +
                  "dd if=()/Quorvane/NTBOOT/" + c.folder + "/ISO.xml of=()/AutoUnattend.xml\r\n" +
                  "dd if=()/Quorvane/NTBOOT/spaces.txt of=()/Quorvane/NTBOOT/namepath.cmd\r\n" +
                  "write ()/Quorvane/NTBOOT/namepath.cmd SET MYOS=\\\\Quorvane\\\\ID\\\\" + name +
                  "\\r\\n\r\n" + "command ()/Quorvane/NTBOOT/NTBOOT " + c.option +
                  "/Quorvane/ID/" + name + "\r\n" + "\r\n" + "title Main menu\r\n" +
                  "configfile (hd0,0)/menu.lst\r\n")
        << c.image;
  }
  // Windows items end with one line end: each is followed directly by the next item.
  EXPECT_EQ(MainMenu(),
            "\r\ntitle Win7_x64\r\nconfigfile (hd0,0)/Quorvane/ID/Go.lst\r\n"
            "\r\ntitle win7\r\nconfigfile (hd0,0)/Quorvane/ID/Go.lst\r\n"
            "\r\ntitle win7\r\nconfigfile (hd0,0)/Quorvane/ID/Go.lst\r\n"
            "\r\ntitle win8\r\nconfigfile (hd0,0)/Quorvane/ID/Go.lst\r\n"
            "\r\ntitle Win10_x64\r\nconfigfile (hd0,0)/Quorvane/ID/Go.lst\r\n");
}

// Clonezilla too: loaded into memory, its live system would find no medium.
TEST_F(LoaderJobTest, MappedCdEntriesWriteAPartitionEntryThenChainLoad) {
  for (int code : {6, 7, 8, 9}) {
    auto job = Burn(code, "Hiren's.BootCD 15.2.iso");
    EXPECT_EQ(job->Vars.JobFileNameWOExt, "Hiren's.BootCD_15.2");
    const std::string F = "(hd0,0)/Quorvane/ID/Hiren's.BootCD_15.2.iso";
    EXPECT_EQ(Entry(*job, "Hiren's.BootCD_15.2.lst"),
              "title Hiren's.BootCD_15.2\r\n"
              "partnew (hd0,3) 0x00 " + F + "\r\n" +
                  "map " + F + " (0xff)\r\n" +
                  "map --hook\r\nroot (0xff)\r\nchainloader (0xff)\r\n\r\n"
                  "title Main menu\r\nconfigfile /menu.lst\r\n")
        << code;
    EXPECT_EQ(ReadFile(job->Vars.JobFileNameOnDriveBackSlash), ReadFile(temp / "images/Hiren's.BootCD 15.2.iso"));
  }
  const std::string item =
      "\r\ntitle Hiren's.BootCD_15.2\r\nconfigfile (hd0,0)/Quorvane/ID/Hiren's.BootCD_15.2.lst"
      "\r\n\r\n";
  EXPECT_EQ(MainMenu(), item + item + item + item);
}

// GRUB4DOS would show "p%@root%q" as "p(hd0,0)q" and look for a file of that name.
TEST_F(LoaderJobTest, NamesGrub4DosWouldExpandAreWrittenAsPlainText) {
  auto job = Burn(6, "p%@root%q.iso");
  EXPECT_EQ(job->Vars.JobFileNameWithExt, "p_@root_q.iso");
  EXPECT_TRUE(Exists(job->Vars.JobDir + "p_@root_q.iso"));
  EXPECT_EQ(MainMenu(), "\r\ntitle p_@root_q\r\nconfigfile (hd0,0)/Quorvane/ID/p_@root_q.lst\r\n\r\n");
  const std::string menu = Entry(*job, "p_@root_q.lst");
  EXPECT_EQ(menu.find('%'), std::string::npos) << menu;
  EXPECT_NE(menu.find("map (hd0,0)/Quorvane/ID/p_@root_q.iso (0xff)"), std::string::npos) << menu;
}

TEST_F(LoaderJobTest, AvgStartsTheKernelInsideTheMappedImage) {
  auto job = Burn(4, "avg_arl.iso");
  EXPECT_EQ(Entry(*job, "AVGResque.lst"),
            "title avg_arl\r\n"
            "map (hd0,0)/Quorvane/ID/avg_arl.iso (0xff)\r\n"
            "map --hook\r\nroot (0xff)\r\n"
            "kernel /isolinux/vmlinuz boot=casper persistent "
            "iso-scan/filename=/Quorvane/ID/avg_arl.iso\r\n"
            "initrd /isolinux/initrd.lzm\r\n\r\n"
            "title Main menu\r\nconfigfile /menu.lst\r\n");
  EXPECT_EQ(MainMenu(), "\r\ntitle avg_arl\r\nconfigfile (hd0,0)/Quorvane/ID/AVGResque.lst\r\n\r\n");
}

TEST_F(LoaderJobTest, UbuntuWithoutItsKernelOrInitrdFailsNamingWhatIsMissing) {
  const std::string squashfs = "hsqs";
  struct TCase {
    const char* image;
    std::map<std::string, std::string> files;
    const char* error;
  };
  const TCase cases[] = {
      {"no-kernel.iso",
       {{"casper/initrd", "rd"}, {"casper/filesystem.squashfs", squashfs}},
       "Ubuntu kernel file not found on ISO (casper/vmlinuz.efi or casper/vmlinuz)"},
      {"no-initrd.iso",
       {{"casper/vmlinuz", "k"}, {"casper/initrd.bak", "x"}, {"casper/filesystem.squashfs", squashfs}},
       "Ubuntu initrd file not found on ISO (casper/initrd.lz, casper/initrd.gz, casper/initrd, "
       "casper/initrd.img or casper/initrd.lz4)"},
  };
  for (const TCase& c : cases) {
    const std::string image = temp / c.image;
    MakeIso(image, c.files);
    std::unique_ptr<TJob> job = CreateLoaderJob(5, image, 'e', "u");
    job->Start();
    ASSERT_TRUE(PumpUntil([&] { return job->Finished(); }));
    EXPECT_EQ(job->Status(), "Failed") << c.image;
    EXPECT_EQ(job->Error(), c.error) << c.image;
  }
}

// Ubuntu images made here: the kernel taken out is the EFI one when there are both; the
// initrd is the one of the release's name.
TEST_F(LoaderJobTest, UbuntuTakesItsKernelAndInitrdOutOfTheImage) {
  const std::string squashfs = "hsqs";
  struct TCase {
    const char* image;
    std::map<std::string, std::string> files;
    const char* kernel;
    const char* initrd;
  };
  const TCase cases[] = {
      {"ubuntu-both.iso",
       {{"casper/vmlinuz.efi", "efi"}, {"casper/vmlinuz", "plain"}, {"casper/initrd.lz", "rd"},
        {"casper/filesystem.squashfs", squashfs}},
       "vmlinuz.efi", "initrd.lz"},
      {"ubuntu-plain.iso",
       {{"casper/vmlinuz", "plain"}, {"casper/initrd.lz", "rd"},
        {"casper/filesystem.squashfs", squashfs}},
       "vmlinuz", "initrd.lz"},
      {"ubuntu-24.04.iso",
       {{"casper/vmlinuz", "plain"}, {"casper/initrd", "rd"}, {"casper/minimal.squashfs", squashfs}},
       "vmlinuz", "initrd"},
      {"ubuntu-gz.iso",
       {{"casper/vmlinuz", "plain"}, {"casper/initrd.gz", "rd"}, {"casper/initrd", "other"},
        {"casper/filesystem.squashfs", squashfs}},
       "vmlinuz", "initrd.gz"},
  };
  for (const TCase& c : cases) {
    const std::string image = temp / c.image;
    MakeIso(image, c.files);
    std::unique_ptr<TJob> job = CreateLoaderJob(5, image, 'e', c.image);
    job->Start();
    ASSERT_TRUE(PumpUntil([&] { return job->Finished(); }));
    ASSERT_EQ(job->Status(), "Finished") << job->Error();
    const std::string k = c.kernel, rd = c.initrd;
    EXPECT_EQ(Entry(*job, "UbuntuX64.lst"),
              ExpectedUbuntuEntry(k, job->Vars.JobFileNameWithExt, rd))
        << c.image;
    EXPECT_EQ(ReadFile(job->Vars.JobDir + k), c.files.at("casper/" + k));
    EXPECT_EQ(ReadFile(job->Vars.JobDir + rd), "rd");
    EXPECT_EQ(ReadFile(job->Vars.JobFileNameOnDriveBackSlash), ReadFile(image));
    // Only the chosen kernel and initrd are taken out.
    EXPECT_EQ(Exists(job->Vars.JobDir + "vmlinuz"), k == "vmlinuz") << c.image;
    EXPECT_EQ(Exists(job->Vars.JobDir + "initrd"), rd == "initrd") << c.image;
  }
  EXPECT_EQ(MainMenu(),
            "\r\ntitle ubuntu_both\r\nconfigfile (hd0,0)/Quorvane/ID/UbuntuX64.lst\r\n\r\n"
            "\r\ntitle ubuntu_plain\r\nconfigfile (hd0,0)/Quorvane/ID/UbuntuX64.lst\r\n\r\n"
            "\r\ntitle ubuntu_24.04\r\nconfigfile (hd0,0)/Quorvane/ID/UbuntuX64.lst\r\n\r\n"
            "\r\ntitle ubuntu_gz\r\nconfigfile (hd0,0)/Quorvane/ID/UbuntuX64.lst\r\n\r\n");
}

TEST_F(LoaderJobTest, KasperskyUnpacksTheImageAndStartsItsKernel) {
  const std::string image = temp / "krd.iso";
  MakeIso(image, {{"boot/rescue", "kernel"},
                  {"boot/rescue.igz", "rd"},
                  {"rescue/LiveOS/squashfs.img", "sq"}});
  std::unique_ptr<TJob> job = CreateLoaderJob(3, image, 'e', "krd");
  job->Start();
  ASSERT_TRUE(PumpUntil([&] { return job->Finished(); }));
  ASSERT_EQ(job->Status(), "Finished") << job->Error();
  EXPECT_EQ(Entry(*job, "krd.lst"), ExpectedKasperskyEntry("krd"));
  EXPECT_EQ(ReadFile(job->Vars.JobDir + "krd/boot/rescue"), "kernel");
  EXPECT_EQ(ReadFile(job->Vars.JobDir + "krd/rescue/LiveOS/squashfs.img"), "sq");
  EXPECT_FALSE(Exists(job->Vars.JobDir + "krd.iso"));  // unpacked, not copied
  EXPECT_EQ(MainMenu(), "\r\ntitle krd\r\nconfigfile (hd0,0)/Quorvane/ID/krd.lst\r\n\r\n");
}

TEST_F(LoaderJobTest, EveryCodeHasItsClassAndNoOtherCodeHasOne) {
  WriteFile(temp / "x.iso", "x");
  for (int code = 0; code <= 9; ++code)
    EXPECT_NE(CreateLoaderJob(code, temp / "x.iso", 'e', "x"), nullptr) << code;
  EXPECT_EQ(CreateLoaderJob(-1, temp / "x.iso", 'e', "x"), nullptr);
  EXPECT_EQ(CreateLoaderJob(10, temp / "x.iso", 'e', "x"), nullptr);
}

TEST(FileExtents, PiecesMustFollowOneAnotherOnTheDevice) {
  struct TCase {
    const char* name;
    std::vector<TFileExtent> extents;
    TContiguity expected;
  };
  const TCase cases[] = {
      {"none", {}, TContiguity::Unknown},
      {"one piece", {{0, 4096, 8192}}, TContiguity::Contiguous},
      {"adjacent pieces", {{0, 4096, 8192}, {8192, 12288, 4096}}, TContiguity::Contiguous},
      {"gap on the device", {{0, 4096, 8192}, {8192, 16384, 4096}}, TContiguity::Fragmented},
      {"piece placed before", {{0, 40960, 4096}, {4096, 4096, 4096}}, TContiguity::Fragmented},
      {"hole in the file", {{0, 4096, 4096}, {8192, 12288, 4096}}, TContiguity::Fragmented},
      {"starts late", {{4096, 4096, 4096}}, TContiguity::Fragmented},
  };
  for (const TCase& c : cases) EXPECT_EQ(ContiguityOf(c.extents), c.expected) << c.name;
}

}  // namespace
}  // namespace quorvane::testing
