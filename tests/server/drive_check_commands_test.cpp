// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The drive check over HTTP: started for a drive, polled until it has ended, its entries
// and their states in the reply; and the refusals.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "server_fixture.h"
#include "support/recorded_drive.h"

namespace quorvane::testing {
namespace {

class DriveCheckCommands : public ControlServerTest {
 protected:
  void SetUp() override { StartServer(); }

  // Polls the check until it has ended; its last reply.
  nlohmann::json WaitForCheck() {
    nlohmann::json state;
    EXPECT_TRUE(PumpUntil([&] {
      state = nlohmann::json::parse(Command({{"Operation", "DriveCheckState"}}).body);
      return state.value("Finished", "") == "1";
    })) << state.dump();
    return state;
  }
};

TEST_F(DriveCheckCommands, AChangedEntryIsReportedWithTheIntactOne) {
  const std::string root = MapDrive('e');
  RecordEntry(root, kEntryA, "a.iso", {{"a.iso", std::string(9000, 'a')}});
  RecordEntry(root, kEntryB, "b.iso", {{"b.iso", std::string(4000, 'b')}});
  FlipByte(root + "Quorvane/" + kEntryB + "/b.iso", 0);
  EXPECT_EQ(Command({{"Operation", "DriveCheckState"}}).body,
            R"({"Error":"No drive check started"})");
  EXPECT_EQ(Command({{"Operation", "CheckDrive"}, {"FlashDrive", "e"}}).body, R"({"Success":""})");
  const nlohmann::json state = WaitForCheck();
  EXPECT_EQ(state["Drive"], "e");
  EXPECT_EQ(state["Done"], "13000");
  EXPECT_EQ(state["Total"], "13000");
  EXPECT_EQ(state["AllIntact"], "0");
  EXPECT_EQ(state["Manifest"], "ok");
  EXPECT_EQ(state["Summary"], "1 of 2 entries intact: 1 changed, 0 missing.");
  ASSERT_EQ(state["Entries"].size(), 2u) << state.dump();
  EXPECT_EQ(state["Entries"][0]["Title"], "a.iso");
  EXPECT_EQ(state["Entries"][0]["State"], "intact");
  EXPECT_EQ(state["Entries"][1]["State"], "changed");
  EXPECT_EQ(state["Entries"][1]["Detail"],
            "Quorvane/" + std::string(kEntryB) +
                "/b.iso differs from what was written (its SHA-256 does not match)");
}

TEST_F(DriveCheckCommands, ADriveWithoutManifestOrLetterAndBadFieldsAreSaidSo) {
  MapDrive('e');
  for (const char* drive : {"", "ee", "1"})
    EXPECT_EQ(Command({{"Operation", "CheckDrive"}, {"FlashDrive", drive}}).body,
              R"({"Error":"Drive not selected"})")
        << drive;
  ASSERT_EQ(Command({{"Operation", "CheckDrive"}, {"FlashDrive", "e"}}).body, R"({"Success":""})");
  nlohmann::json state = WaitForCheck();
  EXPECT_EQ(state["Manifest"], "missing");
  EXPECT_EQ(state["ManifestText"],
            "This drive has no manifest: it was not written by this program, or before "
            "manifests were kept");
  EXPECT_EQ(state["AllIntact"], "0");

  ASSERT_EQ(Command({{"Operation", "CheckDrive"}, {"FlashDrive", "q"}}).body, R"({"Success":""})");
  state = WaitForCheck();
  EXPECT_EQ(state["Error"], "drive q: Drive not found");
  EXPECT_FALSE(state.contains("Entries"));
}

}  // namespace
}  // namespace quorvane::testing
