// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "archive/file_operations.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "archive/archive_queries.h"
#include "archive/drive_presence.h"
#include "archive/file_copy.h"
#include "common/text.h"
#include "loaders/loader_catalog.h"

namespace quorvane {

namespace fs = std::filesystem;

namespace {

// The largest file FAT32 can hold.
constexpr std::int64_t kLargestFat32File = 4294967295;

std::string FolderOf(const std::string& path) {
  const std::string folder = fs::path(path).parent_path().string();
  return folder.empty() ? "." : folder;
}

bool ExistsNoFollow(const std::string& path) {
  std::error_code ec;
  return fs::exists(fs::symlink_status(path, ec));
}

}  // namespace

void CopyFileWithProgress(const std::string& Source, const std::string& Target,
                          TCopyProgressRoutine Routine, std::string& ErrorText, bool Cancel,
                          TJob* Job, TWrittenFiles* Written) {
  ErrorText = "Undefined error has occured in file copy process";
  try {
    const TTargetDrive drive(FolderOf(Target));
    TWriteDigest digest;
    const TCopyOutcome outcome =
        CopyFileContents(Source, Target, Routine, Job, Cancel, Written ? &digest : nullptr);
    const bool drive_gone = drive.Gone();
    switch (outcome.State) {
      case TCopyOutcome::Cancelled:
        ErrorText.clear();
        break;
      case TCopyOutcome::Copied:
        // Flushed: it counts only if the drive is still the one we wrote to.
        ErrorText = drive_gone ? "USB drive not found" : "";
        if (Written && ErrorText.empty()) Written->Add(digest.Finish(Target, Source));
        break;
      case TCopyOutcome::Failed:
        ErrorText = drive_gone ? "USB drive not found"
                               : "Error in file copy operation: " +
                                     (outcome.Detail.empty() ? SystemErrorText(outcome.Error)
                                                             : outcome.Detail);
        break;
    }
  } catch (...) {
  }
}

void ShellCopyFile(const std::string& Source, const std::string& Target, std::string& ErrorText) {
  ErrorText = "Unhandled error has occured in file move process";
  try {
    const std::string folder = FolderOf(Target);
    try {
      std::error_code ec;
      if (!fs::exists(folder, ec)) {
        if (TTargetDrive(folder).LetterGone()) ec = std::make_error_code(std::errc::no_such_device);
        else fs::create_directories(folder, ec);
        if (ec) {
          ErrorText = "Unable to create directory " + Quoted(folder) + " " + SystemErrorText(ec.value());
          return;
        }
      }
    } catch (...) {
      ErrorText = "Unable to create directory " + Quoted(folder);
      return;
    }
    std::error_code ec;
    if (!fs::exists(Source, ec)) {
      ErrorText = "Source file not found " + Quoted(Source);
      return;
    }
    // Like the shell, a copy onto a folder goes into it.
    std::string target = Target;
    if (fs::is_directory(fs::symlink_status(Target, ec)))
      target = (fs::path(Target) / fs::path(Source).filename()).string();
    const TCopyOutcome outcome = CopyFileContents(Source, target, nullptr, nullptr, false);
    if (outcome.State != TCopyOutcome::Copied) {
      ErrorText = "Shell file copy operation fails with error code: " + std::to_string(outcome.Error);
      return;
    }
    ErrorText.clear();
  } catch (...) {
  }
}

void ShellDeleteFile(const std::string& FileName, std::string& ErrorText) {
  ErrorText = "Unhandled error has occured in file delete process";
  try {
    if (!ExistsNoFollow(FileName)) {
      ErrorText = "File not found " + Quoted(FileName);
      return;
    }
    std::error_code ec;
    fs::remove_all(FileName, ec);
    if (ec) {
      ErrorText = "Shell file delete operation fails with error code: " + std::to_string(ec.value());
      return;
    }
    ErrorText.clear();
  } catch (...) {
  }
}

bool CheckNeedNTFS(const std::string& FileName, std::int32_t LoaderType) {
  try {
    if (!IsLoaderType(LoaderType)) return false;
    if (LoaderType == LoaderKaspersky) return GetArchiveLargestItemSize(FileName) > kLargestFat32File;
    return FileSize64(FileName) > kLargestFat32File;
  } catch (...) {
    return false;
  }
}

std::int64_t FileSize64(const std::string& FileName) {
  const int fd = ::open(FileName.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return -1;
  struct stat info {};
  const bool ok = ::fstat(fd, &info) == 0;
  ::close(fd);
  return ok ? static_cast<std::int64_t>(info.st_size) : -1;
}

void DeleteDirectory(const std::string& Dir, std::string& ErrorText) {
  try {
    // "link/" would name the folder a link points to: look at the name itself.
    std::string folder = Dir;
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    std::error_code ec;
    if (!fs::is_directory(fs::symlink_status(folder, ec))) {
      ErrorText = "Directory not found " + Quoted(Dir);
      return;
    }
    fs::remove_all(folder, ec);
    if (ec) {
      ErrorText = "Shell delete directory operation fails with error code: " +
                  std::to_string(ec.value());
      return;
    }
    ErrorText.clear();
  } catch (...) {
    ErrorText = "Unhandled error has occured in directory delete process";
  }
}

}  // namespace quorvane
