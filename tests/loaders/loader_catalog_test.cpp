// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "loaders/loader_catalog.h"

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace quorvane::testing {
namespace {

TEST(LoaderCatalog, NamesInCodeOrder) {
  const char* expected[] = {"Windows 7 x86/64", "Windows 8 x86/64",      "Windows 10 x86/64",
                            "Kaspersky rescue disk", "AVG rescue disk", "Ubuntu 32/64 bit",
                            "Hiren's Boot CD",  "Parted Magic",          "Dr.Web\u00AE LiveDisk",
                            "Clonezilla Live"};
  for (int code = 0; code < kLoaderCount; ++code) EXPECT_STREQ(LoaderNames[code], expected[code]);
}

TEST(LoaderCatalog, WindowsCodesShareOneDownloadPageAndEveryPageIsHttps) {
  EXPECT_STREQ(LoaderPages[0], LoaderPages[1]);
  EXPECT_STREQ(LoaderPages[1], LoaderPages[2]);
  for (const char* page : LoaderPages) EXPECT_EQ(std::string(page).rfind("https://", 0), 0u) << page;
}

TEST(NecessarySpace, ImageSizeForCopiedImagesAndZeroOtherwise) {
  TTempDir temp;
  const std::string image = temp / "image.iso";
  WriteFile(image, std::string(12345, 'x'));
  for (int code : {0, 1, 2, 4, 6, 7, 8, 9}) EXPECT_EQ(GetNecessarySpace(image, code), 12345) << code;
  EXPECT_EQ(GetNecessarySpace(image, -1), 0);
  EXPECT_EQ(GetNecessarySpace(image, 10), 0);
  EXPECT_EQ(GetNecessarySpace(temp / "missing.iso", 6), 0);
  // Not an archive: nothing can be listed inside, so an unpacked image needs nothing.
  EXPECT_EQ(GetNecessarySpace(image, 3), 0);
  // Ubuntu counts the kernel and initrd it takes out; none can be found here.
  EXPECT_EQ(GetNecessarySpace(image, 5), 12345);
}

TEST(NecessarySpace, SizesBeyondFourGiBAreCountedInSixtyFourBits) {
  TTempDir temp;
  const std::string image = temp / "big.iso";
  const int fd = ::open(image.c_str(), O_CREAT | O_WRONLY, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::ftruncate(fd, 5LL << 30), 0);  // sparse: takes no room
  ::close(fd);
  EXPECT_EQ(GetNecessarySpace(image, 6), 5LL << 30);
}

}  // namespace
}  // namespace quorvane::testing
