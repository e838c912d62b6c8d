// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The command line of quorvane-cli as it is read, before any drive is looked at.
#include "cli/cli_arguments.h"

#include <gtest/gtest.h>

#include <sstream>

#include "common/constants.h"

namespace quorvane {
namespace {

std::vector<std::string> Split(const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> words;
  for (std::string w; in >> w;) words.push_back(w);
  return words;
}

TEST(CliArguments, BurnCommandsAreRead) {
  TCliCommand c;
  std::string error;
  ASSERT_TRUE(ParseCliArguments(
      Split("burn --drive E --mode new --fs ntfs --entry 5:/i/u.iso --entry=0:C:/w7.iso -y "
            "--check-capacity --no-verify"),
      c,
      error))
      << error;
  EXPECT_EQ(c.Action, TCliAction::Burn);
  EXPECT_EQ(c.Drive, 'e');
  EXPECT_EQ(c.Mode, FormatModeNew);
  EXPECT_EQ(c.FileSystem, FileSystemNTFS);
  ASSERT_EQ(c.Entries.size(), 2u);
  EXPECT_EQ(c.Entries[0].Code, 5);
  EXPECT_EQ(c.Entries[0].Path, "/i/u.iso");
  // Split at the first colon only: the rest is the path.
  EXPECT_EQ(c.Entries[1].Code, 0);
  EXPECT_EQ(c.Entries[1].Path, "C:/w7.iso");
  EXPECT_TRUE(c.Yes);
  EXPECT_TRUE(c.CheckCapacity);
  EXPECT_TRUE(c.NoVerify);
  EXPECT_FALSE(c.Force);
  ASSERT_TRUE(ParseCliArguments(Split("burn --drive e --mode add --entry 5:u.iso --yes --force"),
                                c, error))
      << error;
  EXPECT_TRUE(c.Force);

  ASSERT_TRUE(ParseCliArguments(Split("burn --image d.img --size 64M --mode add --entry 9:c.iso"),
                                c, error))
      << error;
  EXPECT_EQ(c.Image, "d.img");
  EXPECT_EQ(c.Size, 64LL << 20);
  EXPECT_EQ(c.Mode, FormatModeAdd);
  EXPECT_FALSE(c.FileSystem.has_value());
  EXPECT_FALSE(c.Yes);
  EXPECT_FALSE(c.CheckCapacity);
  EXPECT_FALSE(c.NoVerify);

  ASSERT_TRUE(ParseCliArguments(Split("verify --drive E --json"), c, error)) << error;
  EXPECT_EQ(c.Action, TCliAction::Verify);
  EXPECT_EQ(c.Drive, 'e');
  EXPECT_TRUE(c.Json);
  ASSERT_TRUE(ParseCliArguments(Split("verify --image=d.img"), c, error)) << error;
  EXPECT_EQ(c.Image, "d.img");
  EXPECT_FALSE(c.Json);

  ASSERT_TRUE(ParseCliArguments(Split("drives --bytes"), c, error));
  EXPECT_EQ(c.Action, TCliAction::Drives);
  EXPECT_TRUE(c.Bytes);
  ASSERT_TRUE(ParseCliArguments(Split("--help"), c, error));
  EXPECT_EQ(c.Action, TCliAction::Help);
}

TEST(CliArguments, BadCommandsSayWhatIsWrong) {
  struct TCase {
    const char* line;
    const char* error;
  };
  const TCase cases[] = {
      {"", "no command given"},
      {"format", "unknown command \"format\""},
      {"drives --all", "unknown argument \"--all\" for drives"},
      {"burn --mode new --entry 6:a.iso", "burn needs --drive LETTER or --image FILE"},
      {"burn --drive e --image d.img --mode new --entry 6:a.iso", "not both"},
      {"burn --drive e --drive f --mode new --entry 6:a.iso", "--drive is given twice"},
      {"burn --drive ef --mode new --entry 6:a.iso", "takes a drive letter"},
      {"burn --drive 1 --mode new --entry 6:a.iso", "takes a drive letter"},
      {"burn --drive e --entry 6:a.iso", "burn needs --mode new or --mode add"},
      {"burn --drive e --mode fresh --entry 6:a.iso", "--mode takes new or add"},
      {"burn --drive e --mode add --fs ntfs --entry 6:a.iso", "--fs applies to --mode new only"},
      {"burn --drive e --mode new --fs ext4 --entry 6:a.iso", "--fs takes fat32 or ntfs"},
      {"burn --drive e --mode new", "at least one --entry"},
      {"burn --drive e --mode new --entry a.iso", "--entry takes CODE:PATH"},
      {"burn --drive e --mode new --entry 10:a.iso", "a number from 0 to 9"},
      {"burn --drive e --mode new --entry -1:a.iso", "a number from 0 to 9"},
      {"burn --drive e --mode new --entry x6:a.iso", "a number from 0 to 9"},
      {"burn --drive e --mode new --entry 6:", "names no image file"},
      {"burn --drive e --mode new --entry", "--entry needs a value"},
      {"burn --drive e --size 64M --mode new --entry 6:a.iso", "--size applies to --image only"},
      {"burn --image d.img --size lots --mode new --entry 6:a.iso", "--size takes a byte count"},
      {"burn --image d.img --size 1M --mode new --entry 6:a.iso", "at least 16M"},
      {"burn --drive e --mode new --entry 6:a.iso --yes=no", "--yes takes no value"},
      {"burn --drive e --mode new --entry 6:a.iso --force", "--force applies with --yes only"},
      {"burn --drive e --mode new --entry 6:a.iso --yes --force=1", "--force takes no value"},
      {"burn --drive e --mode new --entry 6:a.iso --mount", "unknown argument \"--mount\""},
      {"burn --drive e --mode add --check-capacity --entry 6:a.iso",
       "--check-capacity applies to --mode new only"},
      {"burn --drive e --mode new --check-capacity=yes --entry 6:a.iso",
       "--check-capacity takes no value"},
      {"verify", "verify needs --drive LETTER or --image FILE"},
      {"verify --drive e --image d.img", "not both"},
      {"verify --drive e --drive f", "--drive is given twice"},
      {"verify --image a.img --image=b.img", "--image is given twice"},
      {"verify --drive", "--drive needs a value"},
      {"verify --drive 7", "takes a drive letter"},
      {"verify --drive e --json=1", "unknown argument \"--json=1\" for verify"},
      {"verify --drive e --yes", "unknown argument \"--yes\" for verify"},
      {"burn --drive e --mode add --no-verify=1 --entry 6:a.iso", "--no-verify takes no value"},
      {"setup-boot-images", "needs --from ZIP_OR_FOLDER"},
      {"setup-boot-images --to /tmp/x", "needs --from ZIP_OR_FOLDER"},
      {"setup-boot-images --from", "--from needs a value"},
      {"setup-boot-images --from a.zip --from b.zip", "--from is given twice"},
      {"setup-boot-images --from a.zip --yes", "unknown argument \"--yes\" for setup-boot-images"},
      {"test-boot", "test-boot needs --drive LETTER or --image FILE"},
      {"test-boot --uefi --entry 1", "test-boot needs --drive LETTER or --image FILE"},
      {"test-boot --drive e --image d.img", "not both"},
      {"test-boot --drive 1", "takes a drive letter"},
      {"test-boot --image d.img --image e.img", "--image is given twice"},
      {"test-boot --image d.img --entry 0", "--entry takes menu entries by number from 1"},
      {"test-boot --image d.img --entry 2,", "--entry takes menu entries by number from 1"},
      {"test-boot --image d.img --entry ,2", "--entry takes menu entries by number from 1"},
      {"test-boot --image d.img --entry 2,x", "--entry takes menu entries by number from 1"},
      {"test-boot --image d.img --entry -1", "--entry takes menu entries by number from 1"},
      {"test-boot --image d.img --entry 1000", "--entry takes menu entries by number from 1"},
      {"test-boot --image d.img --entry 1,1,1,1,1,1,1,1,1", "--entry takes menu entries"},
      {"test-boot --image d.img --entry 1 --entry 2", "--entry is given twice"},
      {"test-boot --image d.img --entry 1 --wait 0", "--wait takes seconds from 1 to 86400"},
      {"test-boot --image d.img --entry 1 --wait 99999999999", "--wait takes seconds"},
      {"test-boot --image d.img --entry 1 --wait 5s", "--wait takes seconds"},
      {"test-boot --image d.img --wait 60", "--wait applies with --entry only"},
      {"test-boot --image d.img --uefi=yes", "--uefi takes no value"},
      {"test-boot --image d.img --no-window=1", "--no-window takes no value"},
      {"test-boot --image d.img --mode new", "unknown argument \"--mode\" for test-boot"},
  };
  for (const TCase& c : cases) {
    TCliCommand command;
    std::string error;
    EXPECT_FALSE(ParseCliArguments(Split(c.line), command, error)) << c.line;
    EXPECT_NE(error.find(c.error), std::string::npos) << c.line << ": " << error;
  }
}

TEST(CliArguments, TestBootTakesTheDriveTheFirmwareAndTheEntries) {
  struct TCase {
    const char* line;
    char drive;
    const char* image;
    bool uefi, no_window;
    std::vector<int> entry;
    int wait;
  };
  const TCase cases[] = {
      {"test-boot --image d.img", 0, "d.img", false, false, {}, 0},
      {"test-boot --drive E --uefi", 'e', "", true, false, {}, 0},
      {"test-boot --image=d.img --no-window --entry 3", 0, "d.img", false, true, {3}, 0},
      {"test-boot --entry=2,1 --wait=90 --image d.img --uefi", 0, "d.img", true, false, {2, 1}, 90},
      {"test-boot --drive f --entry 1,12,3 --wait 86400", 'f', "", false, false, {1, 12, 3}, 86400},
  };
  for (const TCase& c : cases) {
    TCliCommand command;
    std::string error;
    ASSERT_TRUE(ParseCliArguments(Split(c.line), command, error)) << c.line << ": " << error;
    EXPECT_EQ(command.Action, TCliAction::TestBoot);
    EXPECT_EQ(command.Drive, c.drive) << c.line;
    EXPECT_EQ(command.Image, c.image) << c.line;
    EXPECT_EQ(command.Uefi, c.uefi) << c.line;
    EXPECT_EQ(command.NoWindow, c.no_window) << c.line;
    EXPECT_EQ(command.MenuEntry, c.entry) << c.line;
    EXPECT_EQ(command.WaitSeconds, c.wait) << c.line;
  }
}

TEST(CliArguments, SetupBootImagesTakesWhereFromAndWhereTo) {
  const std::tuple<const char*, const char*, const char*> cases[] = {
      {"setup-boot-images --from g.zip", "g.zip", ""},
      {"setup-boot-images --from=g.zip --to=/opt/q", "g.zip", "/opt/q"},
      {"setup-boot-images --to /opt/q --from /dl/grub4dos", "/dl/grub4dos", "/opt/q"},
  };
  for (const auto& [line, from, to] : cases) {
    TCliCommand command;
    std::string error;
    ASSERT_TRUE(ParseCliArguments(Split(line), command, error)) << line << ": " << error;
    EXPECT_EQ(command.Action, TCliAction::SetupBootImages);
    EXPECT_EQ(command.From, from) << line;
    EXPECT_EQ(command.To, to) << line;
  }
}

TEST(CliArguments, ByteCounts) {
  struct TCase {
    const char* text;
    bool valid;
    std::int64_t bytes;
  };
  const TCase cases[] = {
      {"67108864", true, 67108864},
      {"64M", true, 64LL << 20},
      {"64MiB", true, 64LL << 20},
      {"2g", true, 2LL << 30},
      {"1T", true, 1LL << 40},
      {"512k", true, 512LL << 10},
      {"0", false, 0},
      {"", false, 0},
      {"M", false, 0},
      {"64MB", false, 0},
      {"64 M", false, 0},
      {"-5", false, 0},
      {"9223372036854775807", true, 9223372036854775807LL},
      {"9223372036854775808", false, 0},
      {"8388608T", false, 0},
  };
  for (const TCase& c : cases) {
    std::int64_t bytes = 0;
    EXPECT_EQ(ParseByteCount(c.text, bytes), c.valid) << c.text;
    if (c.valid) {
      EXPECT_EQ(bytes, c.bytes) << c.text;
    }
  }
}

TEST(CliArguments, UsageNamesEveryLoaderType) {
  const std::string usage = CliUsage();
  EXPECT_NE(usage.find("  0  Windows 7 x86/64\n"), std::string::npos);
  EXPECT_NE(usage.find("  9  Clonezilla Live\n"), std::string::npos);
  EXPECT_NE(usage.find("2 for bad arguments"), std::string::npos);
}

}  // namespace
}  // namespace quorvane
