// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// Unpacking a whole archive or one of its files onto a drive.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "archive/drive_presence.h"
#include "archive/file_operations.h"
#include "archive/sevenzip.h"
#include "common/text.h"

namespace quorvane {

namespace {

constexpr const char* kUnpackDefaultError = "Unhandled error in unpacking files process";
constexpr const char* kOpenFailed = "Failed to open source archive";
constexpr const char* kDriveRemoved = "Failed to unpack files: USB drive removed by user";
constexpr const char* kUnpackFailed = "Failed to unpack files: ";

// The message for an extraction that failed with `reason`.
std::string UnpackFailure(const TTargetDrive& drive, const std::string& reason) {
  return drive.Gone() ? kDriveRemoved : kUnpackFailed + reason;
}

void SetProgress(const T7zInArchiveRef& archive, void* sender, T7zProgressCallback callback) {
  if (!callback) return;
  try {
    archive->SetProgressHandler(sender, callback);
  } catch (...) {
    // Unpacking goes on without progress reports.
  }
}

}  // namespace

void UnpackArchive(void* Sender, T7zProgressCallback Callback, const std::string& ArchiveFile,
                   std::string& ErrorText, const std::string& TargetDir,
                   TWrittenFiles* Written) {
  ErrorText = kUnpackDefaultError;
  T7zInArchiveRef archive;
  try {
    const TTargetDrive drive(TargetDir);
    if (!OpenArchive(ArchiveFile, archive)) {
      ErrorText = kOpenFailed;
    } else if (drive.LetterGone()) {
      ErrorText = kDriveRemoved;
    } else {
      SetProgress(archive, Sender, Callback);
      try {
        archive->ExtractAllTo(TargetDir, Written);
        // Written and flushed: it counts only if the drive is still the one we wrote to.
        ErrorText = drive.Gone() ? kDriveRemoved : "";
      } catch (const std::exception& error) {
        ErrorText = UnpackFailure(drive, error.what());
      }
    }
  } catch (...) {
  }
  ReleaseArchive(archive);
}

void UnpackSingleFile(void* Sender, T7zProgressCallback Callback, const std::string& ArchiveFile,
                      std::string& ErrorText, const std::string& TargetDir,
                      const std::string& ItemPath, TWrittenFiles* Written) {
  ErrorText = kUnpackDefaultError;
  T7zInArchiveRef archive;
  try {
    const TTargetDrive drive(TargetDir);
    std::int32_t index = -1;
    if (!OpenArchive(ArchiveFile, archive)) {
      ErrorText = kOpenFailed;
    } else if ((index = FindArchiveItem(archive, ItemPath)) < 0) {
      ErrorText = "File not found in archive";
    } else if (drive.LetterGone()) {
      ErrorText = kDriveRemoved;
    } else {
      SetProgress(archive, Sender, Callback);
      const std::size_t cut = ItemPath.find_last_of("\\/");
      const std::string target =
          WithTrailingSlash(TargetDir) + (cut == std::string::npos ? ItemPath : ItemPath.substr(cut + 1));
      const int fd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
      if (fd < 0) {
        ErrorText = UnpackFailure(drive, SystemErrorText(errno) + " " + Quoted(target));
      } else {
        std::string failure;
        TWriteDigest digest;
        try {
          archive->ExtractItemTo(static_cast<std::uint32_t>(index), fd, false, Written ? &digest : nullptr);
          // Nothing counts as unpacked before it is on the drive.
          if (::fsync(fd) != 0) failure = SystemErrorText(errno) + " " + Quoted(target);
        } catch (const std::exception& error) {
          failure = error.what();
        }
        if (::close(fd) != 0 && failure.empty()) failure = SystemErrorText(errno) + " " + Quoted(target);
        if (failure.empty()) {
          const int folder = ::open(TargetDir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
          if (folder < 0 || ::fsync(folder) != 0) failure = SystemErrorText(errno) + " " + Quoted(TargetDir);
          if (folder >= 0) ::close(folder);
        }
        if (failure.empty() && drive.Gone()) failure = "USB drive removed by user";
        if (failure.empty() && Written && !digest.InOrder()) failure = "not written in order " + Quoted(target);
        if (failure.empty()) {
          if (Written) Written->Add(digest.Finish(target));
          ErrorText.clear();
        } else {
          // A partial file is of no use; on a pulled drive there is nothing to remove.
          ::unlink(target.c_str());
          ErrorText = UnpackFailure(drive, failure);
        }
      }
    }
  } catch (...) {
  }
  ReleaseArchive(archive);
}

}  // namespace quorvane
