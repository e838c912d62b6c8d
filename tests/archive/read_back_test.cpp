// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "archive/read_back.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/temp_dir.h"

namespace quorvane {
namespace {

using testing::TTempDir;
using testing::WriteFile;

std::string ReadBack(const std::string& path, TReadBackOutcome& outcome) {
  std::string read;
  outcome = ReadBackFile(path, [&](const char* bytes, std::size_t length, std::uint64_t offset) {
    EXPECT_EQ(offset, read.size());
    read.append(bytes, length);
    return true;
  });
  return read;
}

TEST(ReadBackTest, FilesOfEverySizeReadBackWhole) {
  // The build folder's file system may take O_DIRECT (ext4) where /tmp does not (tmpfs).
  TTempDir temp;
  for (const std::string& folder : {std::string(TEST_BUILD_DIR) + "/", temp.path()}) {
    for (std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{4096},
                             std::size_t{(4u << 20) + 3}, std::size_t{8u << 20}}) {
      const std::string path = folder + "read_back_test.bin";
      std::string content(size, '\0');
      for (std::size_t i = 0; i < size; ++i) content[i] = static_cast<char>(i * 7 + i / 4099);
      WriteFile(path, content);
      TReadBackOutcome outcome;
      EXPECT_EQ(ReadBack(path, outcome), content) << folder << " " << size;
      EXPECT_EQ(outcome.State, TReadBackOutcome::Read) << outcome.Error;
      std::filesystem::remove(path);
    }
  }
}

TEST(ReadBackTest, MissingFilesLinksAndFoldersAreNotRead) {
  TTempDir temp;
  WriteFile(temp / "file", "data");
  std::filesystem::create_symlink(temp / "file", temp / "link");
  TReadBackOutcome outcome;
  ReadBack(temp / "none", outcome);
  EXPECT_EQ(outcome.State, TReadBackOutcome::Missing);
  ReadBack(temp / "link", outcome);
  EXPECT_EQ(outcome.State, TReadBackOutcome::Failed);
  ReadBack(temp.path(), outcome);
  EXPECT_EQ(outcome.State, TReadBackOutcome::Failed);
  std::atomic<bool> cancel{true};
  outcome = ReadBackFile(temp / "file", [](const char*, std::size_t, std::uint64_t) { return true; },
                         &cancel);
  EXPECT_EQ(outcome.State, TReadBackOutcome::Cancelled);
}

}  // namespace
}  // namespace quorvane
