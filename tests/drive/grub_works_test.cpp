// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// GRUB4DOS's boot code on disk image files: what is written where, what is kept, and
// the message of each step that fails.
#include <fcntl.h>
#include <unistd.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "common/resources.h"
#include "drive/grub_works.h"
#include "drive/stale_partition_entry.h"
#include "support/temp_dir.h"
#include "support/grub4dos_images.h"

namespace quorvane::testing {
namespace {

// Sector 0 with a partition table: one entry per (start, sectors); boot flag on the first.
std::string Mbr(const std::vector<std::pair<std::uint32_t, std::uint32_t>>& partitions,
                unsigned char type = 0x07) {
  std::string s(512, '\0');
  for (int i = 0; i < 446; ++i) s[i] = static_cast<char>(0xC0 + i % 7);  // old boot code
  for (std::size_t i = 0; i < partitions.size(); ++i) {
    char* e = s.data() + 446 + 16 * i;
    e[0] = static_cast<char>(i == 0 ? 0x80 : 0x00);
    e[4] = static_cast<char>(type);
    for (int b = 0; b < 4; ++b) {
      e[8 + b] = static_cast<char>(partitions[i].first >> (8 * b));
      e[12 + b] = static_cast<char>(partitions[i].second >> (8 * b));
    }
  }
  s[510] = '\x55';
  s[511] = '\xAA';
  return s;
}

// Sets entry `i` (0..3) of sector 0 to one partition.
void SetEntry(std::string& s, int i, unsigned char type, std::uint32_t start, std::uint32_t sectors) {
  char* e = s.data() + 446 + 16 * i;
  e[0] = 0;
  e[1] = e[2] = e[3] = e[5] = e[6] = e[7] = '\x01';  // some CHS values
  e[4] = static_cast<char>(type);
  for (int b = 0; b < 4; ++b) {
    e[8 + b] = static_cast<char>(start >> (8 * b));
    e[12 + b] = static_cast<char>(sectors >> (8 * b));
  }
}

// GRUB4DOS's partnew leaves a type-0 entry over the image it mapped, inside partition 1.
TEST(StalePartitionEntry, OnlyTypeZeroEntriesInsidePartitionOneAreCleared) {
  struct TCase {
    const char* what;
    int entry;
    unsigned char type;
    std::uint32_t start, sectors;
    bool cleared;
  };
  const TCase cases[] = {
      {"a CD entry's image inside partition 1", 3, 0x00, 50000, 1000, true},
      {"the same in entry 3", 2, 0x00, 2048, 100000, true},
      {"type 0 reaching past partition 1", 3, 0x00, 50000, 60000, false},
      {"type 0 before partition 1", 3, 0x00, 100, 1000, false},
      {"an EFI system partition after partition 1", 1, 0xEF, 102048, 32768, false},
      {"another system's partition inside partition 1", 3, 0x83, 50000, 1000, false},
      {"an empty entry", 3, 0x00, 0, 0, false},
  };
  for (const TCase& c : cases) {
    std::string sector = Mbr({{2048, 100000}});
    SetEntry(sector, c.entry, c.type, c.start, c.sectors);
    const std::string before = sector;
    const int cleared = ClearStalePartitionEntries(reinterpret_cast<unsigned char*>(sector.data()));
    EXPECT_EQ(cleared, c.cleared ? 1 : 0) << c.what;
    std::string expected = before;
    if (c.cleared) expected.replace(446 + 16 * c.entry, 16, std::string(16, '\0'));
    EXPECT_EQ(sector, expected) << c.what;
  }
  // Without a partition 1 nothing is inside it.
  std::string none = Mbr({});
  SetEntry(none, 3, 0x00, 50000, 1000);
  const std::string before = none;
  EXPECT_EQ(ClearStalePartitionEntries(reinterpret_cast<unsigned char*>(none.data())), 0);
  EXPECT_EQ(none, before);
}

class GrubWorksTest : public ::testing::Test {
 protected:
  void SetUp() override {
    QUORVANE_SKIP_WITHOUT_GRUB4DOS_IMAGES();
    ASSERT_TRUE(ReadResource("grldr.mbr", boot_images, error)) << error;
    ASSERT_TRUE(ReadResource("grldr", loader, error)) << error;
    ASSERT_EQ(boot_images.size(), 8192u);
    std::filesystem::create_directories(root);
  }

  // A 1 MiB image whose sector 0 is `sector0` and whose other bytes are a pattern.
  std::string MakeImage(const std::string& sector0) {
    std::string bytes(1 << 20, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 31 % 251);
    bytes.replace(0, 512, sector0);
    WriteFile(image, bytes);
    return bytes;
  }

  std::string Install(int flags = O_RDWR) {
    const int fd = ::open(image.c_str(), flags | O_CLOEXEC);
    EXPECT_GE(fd, 0);
    std::string result;
    InstallGrub4DosOnDisk(
        fd,
        [this](std::string& e) {
          e = root_error;
          return root_error.empty() ? root : std::string();
        },
        result);
    ::close(fd);
    return result;
  }

  TTempDir temp;
  std::string image = temp / "disk.img";
  std::string root = temp / "volume/";
  std::string root_error;
  std::string boot_images, loader, error;
};

TEST_F(GrubWorksTest, WritesBootCodeAndSecondStageAndKeepsTableAndSectorOne) {
  const std::string before = MakeImage(Mbr({{2048, 100000}}));
  WriteFile(root + "grldr", "an older loader");
  ASSERT_EQ(Install(), "");
  const std::string after = ReadFile(image);
  ASSERT_EQ(after.size(), before.size());
  EXPECT_EQ(after.substr(0, 446), boot_images.substr(0, 446));
  EXPECT_EQ(after.substr(440, 4), std::string(4, '\0'));  // the disk signature field
  EXPECT_EQ(after.substr(446, 66), before.substr(446, 66));  // partition table, 55 AA
  EXPECT_EQ(after.substr(512, 512), before.substr(512, 512));
  EXPECT_EQ(after.substr(1024, 7168), boot_images.substr(1024, 7168));
  EXPECT_EQ(after.substr(8192), before.substr(8192));
  EXPECT_EQ(ReadFile(root + "grldr"), loader);

  // Again on the same drive: the same bytes.
  ASSERT_EQ(Install(), "");
  EXPECT_EQ(ReadFile(image), after);
}

// Both modes install the boot code, so neither leaves the entry a CD entry's boot wrote.
TEST_F(GrubWorksTest, TheEntryACdEntryLeftInTheTableIsRemoved) {
  std::string sector0 = Mbr({{2048, 100000}});
  SetEntry(sector0, 1, 0xEF, 102048, 32768);
  SetEntry(sector0, 3, 0x00, 60000, 3000);
  const std::string before = MakeImage(sector0);
  ASSERT_EQ(Install(), "");
  const std::string after = ReadFile(image);
  EXPECT_EQ(after.substr(446, 48), before.substr(446, 48));  // partitions 1 to 3 stay
  EXPECT_EQ(after.substr(446 + 48, 16), std::string(16, '\0'));
  EXPECT_EQ(after.substr(510, 2), "\x55\xAA");
  EXPECT_EQ(after.substr(8192), before.substr(8192));
}

TEST_F(GrubWorksTest, RefusesDisksWhoseDataTheBootCodeWouldOverwrite) {
  std::string superfloppy = Mbr({});
  superfloppy.replace(82, 8, "FAT32   ");
  std::string ntfs_volume = Mbr({});
  ntfs_volume.replace(3, 8, "NTFS    ");
  std::string garbage = Mbr({{2048, 1000}});
  garbage[446] = 0x12;  // not a boot flag
  const struct {
    std::string sector0;
    std::string problem;
  } cases[] = {
      {std::string(512, '\0'), "the drive has no partition table"},
      {superfloppy, "the drive has no partition table: its file system starts in sector 0"},
      {ntfs_volume, "the drive has no partition table: its file system starts in sector 0"},
      {Mbr({{1, 1000}}, 0xEE), "the drive has a GUID partition table"},
      {garbage, "the drive has no valid partition table"},
      {Mbr({}), "the drive has no partitions"},
      {Mbr({{2048, 1000}, {15, 100}}), "partition 2 starts at sector 15, inside the sectors of the boot code"},
      {Mbr({{63, 1000}}), ""},
      {Mbr({{16, 1000}}), ""},
      {Mbr({{20, 1000}}, 0x0C), ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(BootCodeAreaProblem(reinterpret_cast<const unsigned char*>(c.sector0.data())), c.problem);
    if (c.problem.empty()) continue;
    const std::string before = MakeImage(c.sector0);
    EXPECT_EQ(Install(), "Failed to write master boot code to drive: " + c.problem);
    EXPECT_EQ(ReadFile(image), before) << c.problem;
    EXPECT_FALSE(Exists(root + "grldr"));
  }
}

TEST_F(GrubWorksTest, MessagesOfTheFailingSteps) {
  // Nothing to read.
  WriteFile(image, std::string(100, '\0'));
  EXPECT_EQ(Install(), "Failed to read physical drive");

  // The disk opened read-only: the first write fails, nothing changes.
  std::string before = MakeImage(Mbr({{2048, 1000}}));
  EXPECT_EQ(Install(O_RDONLY), "Failed to write master boot code to drive: Bad file descriptor");
  EXPECT_EQ(ReadFile(image), before);

  // The volume cannot be reached for grldr: the sectors are written already.
  root_error = "cannot mount /dev/loop1: unknown filesystem type 'vfat'";
  EXPECT_EQ(Install(), "Failed to put grub loader to drive: " + root_error);
  EXPECT_EQ(ReadFile(image).substr(1024, 7168), boot_images.substr(1024, 7168));
  root_error.clear();

  // A root folder that cannot take the file.
  std::filesystem::remove_all(root);
  EXPECT_EQ(Install(), "Failed to put grub loader to drive: No such file or directory");
}

TEST_F(GrubWorksTest, ALoaderNameThatIsALinkIsRefusedAndNothingOutsideTheVolumeIsWritten) {
  // A drive can carry a link named grldr to any file of the computer, which the program
  // running as root must never overwrite.
  MakeImage(Mbr({{2048, 1000}}));
  const std::string outside = temp / "outside.txt";
  WriteFile(outside, "not the drive's");
  std::filesystem::create_symlink(outside, root + "grldr");
  EXPECT_EQ(Install(), "Failed to put grub loader to drive: Too many levels of symbolic links");
  EXPECT_EQ(ReadFile(outside), "not the drive's");
}

TEST_F(GrubWorksTest, DamagedResourcesAreFoundBeforeAnythingIsWritten) {
  const std::string before = MakeImage(Mbr({{2048, 1000}}));
  const std::string resources = temp / "resources/";
  const char* saved = getenv("QUORVANE_RESOURCES");
  const std::string saved_value = saved ? saved : "";
  setenv("QUORVANE_RESOURCES", resources.c_str(), 1);
  std::filesystem::create_directories(resources);

  EXPECT_EQ(Install(), "Failed to extract master boot code from resource: Resource \"" + resources +
                           "grldr.mbr\" cannot be read: No such file or directory");
  WriteFile(resources + "grldr.mbr", boot_images.substr(0, 4096));
  EXPECT_EQ(Install(), "Failed to write second boot code to drive: grldr.mbr holds no second stage");
  WriteFile(resources + "grldr.mbr", boot_images);
  EXPECT_EQ(Install(), "Failed to put grub loader to drive: Resource \"" + resources +
                           "grldr\" cannot be read: No such file or directory");
  EXPECT_EQ(ReadFile(image), before);

  if (saved) setenv("QUORVANE_RESOURCES", saved_value.c_str(), 1);
  else unsetenv("QUORVANE_RESOURCES");
}

}  // namespace
}  // namespace quorvane::testing
