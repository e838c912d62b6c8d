// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// quorvane-cli verify on a burned image drive: the image attached on a loop device and
// mounted read-only by the program, each entry's files read back; the manifest and the
// flipped byte are put there through ntfs-3g, apart from the program.
#include <gtest/gtest.h>

#include <filesystem>

#include "common/sha256.h"
#include "e2e_support.h"
#include "jobs/drive_manifest.h"
#include "support/grub4dos_images.h"
#include "support/loop_devices.h"
#include "support/recorded_drive.h"
#include "support/temp_dir.h"

namespace quorvane::testing {
namespace {

namespace fs = std::filesystem;

TEST(VerifyEndToEnd, AByteFlippedOnTheImageAfterTheBurnIsFoundAndNothingIsWritten) {
  QUORVANE_SKIP_WITHOUT_GRUB4DOS_IMAGES();
  if (const std::string why = LoopDevicesUnavailable(
          {"losetup", "sfdisk", "wipefs", "blockdev", "mkfs.ntfs", "ntfs-3g", "umount", "xorriso"});
      !why.empty())
    GTEST_SKIP() << "no loop devices: " << why;
  TTempDir temp;
  const std::string iso = temp / "rescue.iso";
  MakeLoaderImage(iso, 6);
  const std::string drive = temp / "drive.img";
  const TProcessResult burn = RunCli({"burn", "--image", drive, "--size", "64M", "--mode", "new",
                                      "--fs", "ntfs", "--entry", "6:" + iso, "--yes"});
  ASSERT_EQ(burn.ExitStatus, 0) << burn.Out << burn.Err;

  // The entry's files as the burn left them, recorded in the manifest.
  std::string id, file;
  {
    TMountedVolume v(drive, temp / "mnt", true);
    ASSERT_TRUE(v.Ok()) << v.Error();
    for (const auto& e : fs::directory_iterator(v / "Quorvane"))
      if (e.is_directory() && e.path().filename() != "NTBOOT") id = e.path().filename().string();
    ASSERT_FALSE(id.empty());
    TManifestEntry entry{id, "rescue.iso", 6, {}, ManifestTimeNow()};
    for (const auto& e : fs::recursive_directory_iterator(v / ("Quorvane/" + id))) {
      if (!e.is_regular_file()) continue;
      const std::string content = ReadFile(e.path().string());
      const std::string path =
          "Quorvane/" + id + "/" + fs::relative(e.path(), v / ("Quorvane/" + id)).string();
      entry.Files.push_back({path, content.size(), Sha256Hex(content)});
      if (e.path().extension() == ".iso") file = path;
    }
    std::string error;
    ASSERT_TRUE(AddManifestEntry(v / "", entry, error)) << error;
    ASSERT_FALSE(file.empty()) << "the image is not on the drive";
  }

  const std::string before = Sha256Hex(ReadFile(drive));
  TProcessResult verify = RunCli({"verify", "--image", drive});
  EXPECT_EQ(verify.ExitStatus, 0) << verify.Out << verify.Err;
  EXPECT_EQ(verify.Out, "rescue.iso: intact\nThe entry is intact.\n");
  EXPECT_EQ(Sha256Hex(ReadFile(drive)), before) << "the check wrote to the drive";
  EXPECT_EQ(LoopDevicesOver(drive), "");

  {
    TMountedVolume v(drive, temp / "mnt", true);
    ASSERT_TRUE(v.Ok()) << v.Error();
    ASSERT_NO_FATAL_FAILURE(FlipByte(v / file, 100000));
  }
  verify = RunCli({"verify", "--image", drive, "--json"});
  EXPECT_EQ(verify.ExitStatus, 1) << verify.Out << verify.Err;
  EXPECT_NE(verify.Out.find("\"state\":\"changed\",\"detail\":\"" + file +
                            " differs from what was written (its SHA-256 does not match)\""),
            std::string::npos)
      << verify.Out;
  EXPECT_EQ(LoopDevicesOver(drive), "");
}

}  // namespace
}  // namespace quorvane::testing
