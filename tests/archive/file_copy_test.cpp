// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// Copying an image onto a drive, and the shell-style copy and delete operations.
#include <sys/stat.h>

#include <filesystem>
#include <functional>

#include <gtest/gtest.h>

#include "archive/file_copy.h"
#include "archive/file_operations.h"
#include "fixtures.h"
#include "support/main_thread_fixture.h"
#include "support/temp_dir.h"

namespace quorvane {
namespace {

namespace fs = std::filesystem;
using testing::Exists;
using testing::TFileSizeLimit;
using testing::MakeSparseFile;
using testing::ReadFile;
using testing::WriteFile;

// Copy progress routine of the tests: records the calls; may act at a given chunk.
struct TCopyProbe {
  struct TCall {
    std::int64_t total, done;
    std::uint32_t reason;
  };
  std::vector<TCall> calls;
  std::size_t act_at_chunk = 0;  // 0: never
  std::function<std::uint32_t()> action;

  static std::uint32_t Routine(std::int64_t total, std::int64_t done, std::int64_t, std::int64_t,
                               std::uint32_t, std::uint32_t reason, int, int, void* data) {
    auto& probe = *static_cast<TCopyProbe*>(data);
    probe.calls.push_back({total, done, reason});
    const std::size_t chunks = probe.calls.size() - 1;
    if (reason == CALLBACK_CHUNK_FINISHED && chunks == probe.act_at_chunk && probe.action)
      return probe.action();
    return PROGRESS_CONTINUE;
  }
};

void CopyWithProbe(const std::string& source, const std::string& target, std::string& error,
                   TCopyProbe& probe, bool cancel = false) {
  CopyFileWithProgress(source, target, &TCopyProbe::Routine, error, cancel,
                       reinterpret_cast<TJob*>(&probe));  // handed to the routine untouched
}

std::string Pattern(std::size_t size) {
  std::string data(size, '\0');
  for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<char>((i * 7919) >> 5);
  return data;
}

class FileCopy : public testing::MainThreadTest {
 protected:
  void SetUp() override {
    root = MapDrive('e');
    fs::create_directories(root + "Quorvane/JOB");
    target = root + "Quorvane/JOB/image.iso";
    data = Pattern(5 * kCopyChunkSize + 12345);
    WriteFile(temp / "image.iso", data);
  }
  std::string root, target, data;
};

TEST_F(FileCopy, CopiesWithGrowingProgressAndReplacesTheTarget) {
  WriteFile(target, std::string(20 << 20, 'x'));  // longer than the image
  TCopyProbe probe;
  std::string error = "unset";
  CopyWithProbe(temp / "image.iso", target, error, probe);
  EXPECT_EQ(error, "");
  EXPECT_EQ(ReadFile(target), data);
  ASSERT_EQ(probe.calls.size(), 7u);  // the stream switch, then one report per chunk
  EXPECT_EQ(probe.calls[0].reason, CALLBACK_STREAM_SWITCH);
  std::int64_t before = 0;
  for (std::size_t i = 1; i < probe.calls.size(); ++i) {
    EXPECT_EQ(probe.calls[i].reason, CALLBACK_CHUNK_FINISHED);
    EXPECT_EQ(probe.calls[i].total, static_cast<std::int64_t>(data.size()));
    EXPECT_GT(probe.calls[i].done, before);
    before = probe.calls[i].done;
  }
  EXPECT_EQ(before, static_cast<std::int64_t>(data.size()));

  // Empty images and copies without a routine work too.
  WriteFile(temp / "empty.iso", "");
  CopyFileWithProgress(temp / "empty.iso", target, nullptr, error, false, nullptr);
  EXPECT_EQ(error, "");
  EXPECT_EQ(fs::file_size(target), 0u);
}

TEST_F(FileCopy, TargetSpaceIsReservedBeforeTheData) {
  // Seen from the first report on: the target has its full size in blocks already.
  TCopyProbe probe;
  probe.act_at_chunk = 1;
  std::uintmax_t blocks_at_first_chunk = 0;
  probe.action = [&] {
    struct stat info {};
    ::stat(target.c_str(), &info);
    blocks_at_first_chunk = static_cast<std::uintmax_t>(info.st_blocks) * 512;
    return PROGRESS_CONTINUE;
  };
  std::string error;
  CopyWithProbe(temp / "image.iso", target, error, probe);
  EXPECT_EQ(error, "");
  EXPECT_GE(blocks_at_first_chunk, data.size());
}

TEST_F(FileCopy, CancelRemovesThePartialTarget) {
  std::string error = "unset";
  TCopyProbe probe;
  probe.act_at_chunk = 2;
  probe.action = [] { return PROGRESS_CANCEL; };
  CopyWithProbe(temp / "image.iso", target, error, probe);
  EXPECT_EQ(error, "");
  EXPECT_FALSE(Exists(target));
  EXPECT_EQ(probe.calls.size(), 3u) << "no report after the cancel";

  // Cancelled before the start: nothing is touched.
  WriteFile(target, "earlier");
  TCopyProbe untouched;
  error = "unset";
  CopyWithProbe(temp / "image.iso", target, error, untouched, /*cancel=*/true);
  EXPECT_EQ(error, "");
  EXPECT_TRUE(untouched.calls.empty());
  EXPECT_EQ(ReadFile(target), "earlier");
}

TEST_F(FileCopy, FailuresNameTheSystemsReason) {
  struct TCase {
    const char* name;
    std::string source, target;
    std::string error;
  };
  fs::create_directories(temp / "folder");
  fs::create_symlink(temp / "elsewhere.iso", root + "Quorvane/JOB/link.iso");
  const std::string p = "Error in file copy operation: ";
  const TCase cases[] = {
      {"missing source", temp / "missing.iso", target, p + "No such file or directory"},
      {"source is a folder", temp / "folder", target, p + "Is a directory"},
      {"target folder missing", temp / "image.iso", root + "Quorvane/NONE/image.iso", p + "No such file or directory"},
      {"target is a link", temp / "image.iso", root + "Quorvane/JOB/link.iso", p + "Too many levels of symbolic links"},
      {"copy onto itself", temp / "image.iso", temp / "image.iso", p + "Invalid argument"},
  };
  for (const TCase& c : cases) {
    std::string error;
    CopyFileWithProgress(c.source, c.target, nullptr, error, false, nullptr);
    EXPECT_EQ(error, c.error) << c.name;
  }
  EXPECT_FALSE(Exists(temp / "elsewhere.iso"));
  EXPECT_EQ(ReadFile(temp / "image.iso"), data);

  // A drive that is full (here: a file-size limit) fails at the reservation; nothing stays.
  std::string error;
  {
    TFileSizeLimit limit(1 << 20);
    CopyFileWithProgress(temp / "image.iso", target, nullptr, error, false, nullptr);
  }
  EXPECT_EQ(error, p + "File too large");
  EXPECT_FALSE(Exists(target));
}

TEST_F(FileCopy, PulledDriveIsNotFound) {
  for (const auto& [name, pull] : testing::DrivePulls(root, letters, 'e')) {
    SCOPED_TRACE(name);
    MapDrive('e');
    fs::create_directories(root + "Quorvane/JOB");
    TCopyProbe probe;
    probe.act_at_chunk = 2;
    probe.action = [&] {
      pull();
      return PROGRESS_CONTINUE;
    };
    std::string error;
    CopyWithProbe(temp / "image.iso", target, error, probe);
    EXPECT_EQ(error, "USB drive not found");
  }
  // A target of no lettered drive counts as present while its folder exists.
  std::string error;
  CopyFileWithProgress(temp / "image.iso", temp / "plain/image.iso", nullptr, error, false, nullptr);
  EXPECT_EQ(error, "USB drive not found");
  fs::create_directories(temp / "plain");
  CopyFileWithProgress(temp / "image.iso", temp / "plain/image.iso", nullptr, error, false, nullptr);
  EXPECT_EQ(error, "");
}

TEST_F(FileCopy, ShellCopyCreatesTheFolderFirst) {
  std::string error;
  ShellCopyFile(temp / "image.iso", root + "Quorvane/NTBOOT/deep/boot.bin", error);
  EXPECT_EQ(error, "");
  EXPECT_EQ(ReadFile(root + "Quorvane/NTBOOT/deep/boot.bin"), data);

  // Onto a folder: into it, as the shell does.
  ShellCopyFile(temp / "image.iso", root + "Quorvane/NTBOOT", error);
  EXPECT_EQ(error, "");
  EXPECT_EQ(ReadFile(root + "Quorvane/NTBOOT/image.iso"), data);

  ShellCopyFile(temp / "missing.bin", root + "x/missing.bin", error);
  EXPECT_EQ(error, "Source file not found \"" + temp / "missing.bin" + "\"");

  WriteFile(root + "file", "a file where a folder should be");
  ShellCopyFile(temp / "image.iso", root + "file/sub/boot.bin", error);
  EXPECT_EQ(error, "Unable to create directory \"" + root + "file/sub\" Not a directory");

  {
    TFileSizeLimit limit(1 << 20);
    ShellCopyFile(temp / "image.iso", root + "big.bin", error);
  }
  EXPECT_EQ(error, "Shell file copy operation fails with error code: " + std::to_string(EFBIG));

  // A pulled drive's root is never recreated on the system's own disk.
  fs::remove_all(root);
  ShellCopyFile(temp / "image.iso", root + "Quorvane/NTBOOT/boot.bin", error);
  EXPECT_EQ(error, "Unable to create directory \"" + root + "Quorvane/NTBOOT\" No such device");
  EXPECT_FALSE(Exists(root));
}

TEST_F(FileCopy, ShellDeleteAndDeleteDirectory) {
  WriteFile(root + "a.txt", "a");
  std::string error;
  ShellDeleteFile(root + "a.txt", error);
  EXPECT_EQ(error, "");
  EXPECT_FALSE(Exists(root + "a.txt"));
  ShellDeleteFile(root + "a.txt", error);
  EXPECT_EQ(error, "File not found \"" + root + "a.txt\"");

  WriteFile(root + "dir/sub/b.txt", "b");
  DeleteDirectory(root + "dir", error);
  EXPECT_EQ(error, "");
  EXPECT_FALSE(Exists(root + "dir"));
  DeleteDirectory(root + "dir", error);
  EXPECT_EQ(error, "Directory not found \"" + root + "dir\"");

  // A link to a folder is not a folder to delete, with or without a trailing "/".
  WriteFile(temp / "keep/c.txt", "c");
  fs::create_directory_symlink(temp / "keep", root + "link");
  for (const std::string& name : {root + "link", root + "link/"}) {
    DeleteDirectory(name, error);
    EXPECT_EQ(error, "Directory not found \"" + name + "\"");
  }
  EXPECT_EQ(ReadFile(temp / "keep/c.txt"), "c");
}

TEST(NeedsNtfs, FourGibibytesAndMoreNeedNtfs) {
  testing::TTempDir temp;
  MakeSparseFile(temp / "fits.iso", 4294967295ull);
  MakeSparseFile(temp / "too-big.iso", 4294967296ull);
  testing::MakeZip(temp / "fits.zip", {testing::LargeZipEntry("big.bin", 4294967295ull)});
  testing::MakeZip(temp / "too-big.zip", {testing::LargeZipEntry("big.bin", 4294967296ull)});
  struct TCase {
    std::string file;
    int type;
    bool needs;
  };
  const TCase cases[] = {
      {"fits.iso", 0, false},     {"too-big.iso", 0, true},  {"too-big.iso", 9, true},
      {"too-big.iso", -1, false}, {"too-big.iso", 10, false}, {"missing.iso", 0, false},
      // The rescue disk is unpacked: its largest item counts, not the image.
      {"too-big.iso", 3, false},  {"fits.zip", 3, false},    {"too-big.zip", 3, true},
      {"too-big.zip", 2, false},
  };
  for (const TCase& c : cases)
    EXPECT_EQ(CheckNeedNTFS(temp / c.file, c.type), c.needs) << c.file << " type " << c.type;
  EXPECT_EQ(FileSize64(temp / "too-big.iso"), 4294967296ll);
  EXPECT_EQ(FileSize64(temp / "missing.iso"), -1);
}

}  // namespace
}  // namespace quorvane
