// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// quorvane-cli's JSON lines against their documented schema, and the schema check itself
// on lines that must fail it.
#include "cli/cli_json.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>

#include "capture.h"
#include "json_schema_check.h"

namespace quorvane::testing {
namespace {

using nlohmann::json;

TUSBDriveSet Stick() {
  TUSBDriveSet d;
  d.Letter = 'a';
  d.VolumeDevice = "/dev/sdb1";
  d.DiskDevice = "/dev/sdb";
  d.Vendor = "Kingston";
  d.Model = "DataTraveler 3.0";
  d.Name = "STICK";
  d.FileSystem = "FAT32";
  d.FreeSpace = 7000000000;
  d.FullSize = 8004304896;
  d.MountPoint = "/media/u/STICK";
  return d;
}

TEST(CliJson, DrivesLineNamesTheDiskAndPartition) {
  TUSBDriveSet blank;
  blank.Letter = 'b';
  blank.DiskDevice = "/dev/sdc";
  blank.Name = kNoVolumeLabel;
  blank.FullSize = 0;  // unknown size: no sizes
  TUSBDriveSet odd = Stick();
  odd.Letter = 'c';
  odd.Name = "bad\xff label";  // a label that is no UTF-8 still makes valid JSON
  const std::string line = DrivesJsonLine({Stick(), blank, odd}, false);
  EXPECT_EQ(CliJsonLinesMismatch(line), "");
  const json v = json::parse(line);
  EXPECT_EQ(v["drives"][0]["device"], "/dev/sdb (/dev/sdb1)");
  EXPECT_EQ(v["drives"][0]["partition"], "/dev/sdb1");
  EXPECT_EQ(v["drives"][0]["size_bytes"], 8004304896);
  EXPECT_TRUE(v["drives"][1]["partition"].is_null());
  EXPECT_TRUE(v["drives"][1]["label"].is_null());
  EXPECT_TRUE(v["drives"][1]["size_bytes"].is_null());
  EXPECT_EQ(v["drives"][2]["label"], "bad\xef\xbf\xbd label");
  EXPECT_EQ(line.back(), '\n');
  EXPECT_EQ(line.find('\n'), line.size() - 1) << "one object, one line";
}

TEST(CliJson, ProgressAndResultLinesMatchTheSchema) {
  TCapture out;
  auto view = MakeJsonView(out.file(), {{"1 a.iso", "Ready", 0, ""}});
  view->DriveStep("Replacing MBR...");
  TEntryView e{"1 a.iso", "Running", 40, ""};
  e.Rate = 23456789.123;
  e.SecondsLeft = 12.34;
  e.BytesDone = 400;
  e.BytesTotal = 1000;
  view->EntryChanged(0, e);
  view->EntryChanged(0, e);  // nothing new: no line
  e.Progress = 100;
  e.Step = "flushing to the drive";
  view->EntryChanged(0, e);
  view->Note("Stopping...");
  TBurnOutcome outcome;
  outcome.Added = true;
  outcome.Entries = {{"1 a.iso", "Failed", 100, "Error in file copy operation: test"},
                     {"2 b.iso", "Ready", 0, ""}};
  const std::string text = out.text() + ResultJsonLine(outcome);
  EXPECT_EQ(CliJsonLinesMismatch(text), "");
  std::vector<json> lines;
  std::istringstream in(text);
  for (std::string l; std::getline(in, l);) lines.push_back(json::parse(l));
  ASSERT_EQ(lines.size(), 5u) << text;
  EXPECT_EQ(lines[1]["bytes_per_second"], 23456789.1);
  EXPECT_EQ(lines[2]["step"], "flushing to the drive");
  EXPECT_EQ(lines[4]["success"], false);
  EXPECT_EQ(lines[4]["entries"][1]["status"], "Not started");
}

// The check must refuse what the schema forbids, or the tests above prove nothing.
struct TBadLine {
  const char* Name;
  const char* Line;
};

class SchemaRefuses : public ::testing::TestWithParam<TBadLine> {};

TEST_P(SchemaRefuses, ALineThatBreaksTheSchema) {
  EXPECT_NE(CliJsonLinesMismatch(GetParam().Line), "") << GetParam().Line;
}

INSTANTIATE_TEST_SUITE_P(
    Lines, SchemaRefuses,
    ::testing::Values(
        TBadLine{"UnknownType", R"({"type":"hello"})"},
        TBadLine{"MissingMember", R"({"type":"note"})"},
        TBadLine{"UnknownMember", R"({"type":"note","text":"x","extra":1})"},
        TBadLine{"WrongValueType", R"({"type":"drive_step","text":5})"},
        TBadLine{"PercentAbove100",
                 R"({"type":"progress","entry":1,"name":"a","status":"Running","percent":101,)"
                 R"("bytes_done":0,"bytes_total":0,"bytes_per_second":null,"seconds_left":null,)"
                 R"("step":null,"error":null})"},
        TBadLine{"UnknownStatus",
                 R"({"type":"progress","entry":1,"name":"a","status":"Burning","percent":1,)"
                 R"("bytes_done":0,"bytes_total":0,"bytes_per_second":null,"seconds_left":null,)"
                 R"("step":null,"error":null})"},
        TBadLine{"NoJson", "Drive ready."}),
    [](const ::testing::TestParamInfo<TBadLine>& info) { return info.param.Name; });

}  // namespace
}  // namespace quorvane::testing
