// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The virtual-machine commands over HTTP: the field checks of "TestInVm", its replies, no
// start during a burn, and "GetVmTools" with a stand-in lookup and with the program's own.
#include <gtest/gtest.h>

#include <optional>

#include "jobs/jobs.h"
#include "jobs/vm_tools.h"
#include "server_fixture.h"
#include "support/iso_images.h"

namespace quorvane::testing {
namespace {

class VmCommands : public ControlServerTest {
 protected:
  // Stand-ins that record the starts and answer with `start_error` and `missing`.
  void StartWithStandIns() {
    setup.VmTestBoot.MissingTools = [this](bool uefi) { return uefi ? missing_uefi : missing_bios; };
    setup.VmTestBoot.Start = [this](char letter, bool uefi) {
      started.emplace_back(letter, uefi);
      if (start_throws) throw std::runtime_error("qemu-system-x86_64 could not be started");
      return start_error;
    };
    StartServer();
  }
  std::string TestInVm(const std::optional<std::string>& drive,
                       const std::optional<std::string>& firmware) {
    std::vector<std::pair<std::string, std::string>> fields{{"Operation", "TestInVm"}};
    if (drive) fields.emplace_back("Drive", *drive);
    if (firmware) fields.emplace_back("Firmware", *firmware);
    return Command(fields).body;
  }

  std::vector<std::pair<char, bool>> started;
  std::string start_error, missing_bios, missing_uefi;
  bool start_throws = false;
};

TEST_F(VmCommands, TheFieldsAreCheckedBeforeAnythingStarts) {
  StartWithStandIns();
  struct TCase {
    const char* name;
    std::optional<std::string> drive, firmware;
    std::string reply;
  };
  const std::string no_letter = R"({"Error":"Drive letter not recognized"})";
  const std::string no_firmware = R"({"Error":"Firmware not recognized: BIOS or UEFI"})";
  const TCase cases[] = {
      {"no drive", std::nullopt, "BIOS", R"({"Error":"Drive not selected"})"},
      {"empty drive", "", "UEFI", R"({"Error":"Drive not selected"})"},
      {"upper case", "E", "BIOS", no_letter},
      {"two letters", "ef", "BIOS", no_letter},
      {"a digit", "1", "BIOS", no_letter},
      {"a path", "/dev/sda", "BIOS", no_letter},
      {"a byte past z", "{", "BIOS", no_letter},
      {"a control byte", std::string(1, '\0'), "BIOS", no_letter},
      {"no firmware", "e", std::nullopt, no_firmware},
      {"lower case firmware", "e", "uefi", no_firmware},
      {"another firmware", "e", "CSM", no_firmware},
      {"firmware with a space", "e", "BIOS ", no_firmware},
  };
  for (const TCase& c : cases) EXPECT_EQ(TestInVm(c.drive, c.firmware), c.reply) << c.name;
  EXPECT_TRUE(started.empty());
}

TEST_F(VmCommands, StartsTheDriveUnderTheFirmwareAndRepliesWithItsAnswer) {
  StartWithStandIns();
  EXPECT_EQ(TestInVm("e", "BIOS"), R"({"Success":""})");
  EXPECT_EQ(TestInVm("z", "UEFI"), R"({"Success":""})");
  EXPECT_EQ(started, (std::vector<std::pair<char, bool>>{{'e', false}, {'z', true}}));
  start_error = "No display to show the virtual machine on: \"DISPLAY\" is not set";
  EXPECT_EQ(TestInVm("a", "UEFI"),
            R"({"Error":"No display to show the virtual machine on: \"DISPLAY\" is not set"})");
  start_throws = true;
  EXPECT_EQ(TestInVm("a", "BIOS"), R"({"Error":"qemu-system-x86_64 could not be started"})");
  EXPECT_EQ(started.size(), 4u);
}

TEST_F(VmCommands, NoStartWhileABurnIsUnderWay) {
  StartWithStandIns();
  MapDrive('e');
  MakeLoaderImage(temp / "a.iso", -1);
  preparation->hold = true;
  ASSERT_EQ(Command({{"Operation", "BurnFlashDrive"}, {"Mode", "Add"}, {"FlashDrive", "e"},
                     {"Loaders[0][Code]", "4"}, {"Loaders[0][Path]", temp / "a.iso"},
                     {"Loaders[0][Name]", "A"}})
                .body,
            R"({"Success":""})");
  EXPECT_EQ(TestInVm("e", "BIOS"),
            R"({"Error":"A burn is under way: test the drive once it has ended"})");
  EXPECT_TRUE(started.empty());
  preparation->hold = false;
  std::vector<TPageMessage> messages;
  ASSERT_TRUE(CollectUntil("BurnFinished", messages));
  ASSERT_TRUE(PumpUntil([&] { return !server->Jobs()->Busy(); }));
  EXPECT_EQ(TestInVm("e", "BIOS"), R"({"Success":""})") << "after the burn";
}

TEST_F(VmCommands, TheToolsReplyTellsWhatEachFirmwareLacks) {
  StartWithStandIns();
  EXPECT_EQ(Command({{"Operation", "GetVmTools"}}).body, R"({"BIOS":"","UEFI":""})");
  missing_uefi = "The UEFI firmware for virtual machines is not installed: install the package ovmf";
  EXPECT_EQ(Command({{"Operation", "GetVmTools"}}).body,
            R"({"BIOS":"","UEFI":")" + missing_uefi + R"("})");
  missing_bios = missing_uefi = "QEMU is not installed: install the package qemu-system-x86";
  EXPECT_EQ(Command({{"Operation", "GetVmTools"}}).body,
            R"({"BIOS":")" + missing_bios + R"(","UEFI":")" + missing_uefi + R"("})");
}

TEST_F(VmCommands, ByDefaultTheToolsAreThoseOfThisMachine) {
  StartServer();
  TVmTools tools;
  const std::string bios = FindVmTools(false, tools);
  const std::string uefi = FindVmTools(true, tools);
  EXPECT_EQ(Command({{"Operation", "GetVmTools"}}).body,
            R"({"BIOS":")" + bios + R"(","UEFI":")" + uefi + R"("})");
}

}  // namespace
}  // namespace quorvane::testing
