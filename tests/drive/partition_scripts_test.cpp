// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The partitioning scripts, and what sfdisk makes of them on a disk image file.
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "drive/disk_part_works.h"
#include "common/tool_runner.h"
#include "support/temp_dir.h"

namespace quorvane::testing {
namespace {

std::uint32_t Le32(const std::string& s, std::size_t at) {
  std::uint32_t v = 0;
  for (int b = 3; b >= 0; --b) v = v << 8 | static_cast<unsigned char>(s[at + b]);
  return v;
}

TEST(PartitionScriptTest, FatPartitionSizeInWholeMiB) {
  EXPECT_EQ(FatPartitionMiB(16000000000LL), 15258);  // 15258.779... truncated
  EXPECT_EQ(FatPartitionMiB(-1), 0);                 // unknown length
  EXPECT_EQ(FatPartitionMiB(10240 + 1048576), 1);
  EXPECT_EQ(FatPartitionMiB(10240 + 1048575), 0);
  EXPECT_EQ(FatPartitionScript(15258), "label: dos\nstart=20, size=31248384, type=c, bootable\n");
  EXPECT_EQ(NtfsPartitionScript(), "label: dos\ntype=7, bootable\n");
}

TEST(PartitionScriptTest, SfdiskMakesTheLayoutOnAnImage) {
  TSystemToolRunner runner;
  if (!runner.Available("sfdisk")) GTEST_SKIP() << "sfdisk is not installed";
  TTempDir temp;
  const std::string image = temp / "stick.img";
  const struct {
    std::string script;
    std::uint32_t start, sectors;
    unsigned char type;
  } cases[] = {
      {FatPartitionScript(FatPartitionMiB(16000000000LL)), 20, 15258u * 2048, 0x0C},
      {NtfsPartitionScript(), 2048, 16000000000ULL / 512 - 2048, 0x07},
  };
  for (const auto& c : cases) {
    WriteFile(image, "");
    std::filesystem::resize_file(image, 16000000000ULL);  // sparse
    const TToolResult r = runner.Run({"sfdisk", {"--no-reread", "--no-tell-kernel", image}, c.script});
    ASSERT_TRUE(r.Succeeded()) << r.ErrorText();
    std::string mbr(512, '\0');
    {
      std::ifstream in(image, std::ios::binary);
      in.read(mbr.data(), 512);
    }
    EXPECT_EQ(static_cast<unsigned char>(mbr[446]), 0x80) << c.script;  // active
    EXPECT_EQ(static_cast<unsigned char>(mbr[450]), c.type);
    EXPECT_EQ(Le32(mbr, 454), c.start);
    EXPECT_EQ(Le32(mbr, 458), c.sectors);
    EXPECT_EQ(mbr.substr(462, 48), std::string(48, '\0'));  // the only partition
    EXPECT_EQ(mbr.substr(510), "\x55\xAA");
  }
}

}  // namespace
}  // namespace quorvane::testing
