// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// File operations of the jobs on a drive: copying and unpacking with progress and
// cancellation, deleting files and folders, file sizes and the needs-NTFS test.
// Every routine reports failure through an error text: empty means success.
#pragma once

#include <cstdint>
#include <string>

#include "archive/hresult.h"

namespace quorvane {

class TJob;
class TWrittenFiles;

// Progress routine of a copy, in the shape of the system's copy-progress routine.
inline constexpr std::uint32_t CALLBACK_CHUNK_FINISHED = 0;
inline constexpr std::uint32_t CALLBACK_STREAM_SWITCH = 1;
inline constexpr std::uint32_t PROGRESS_CONTINUE = 0;
inline constexpr std::uint32_t PROGRESS_CANCEL = 1;  // stop and remove the partial target
inline constexpr std::uint32_t PROGRESS_STOP = 2;    // stop and keep it
inline constexpr std::uint32_t PROGRESS_QUIET = 3;   // go on without further reports
using TCopyProgressRoutine = std::uint32_t (*)(std::int64_t TotalFileSize,
                                               std::int64_t TotalBytesTransferred,
                                               std::int64_t StreamSize,
                                               std::int64_t StreamBytesTransferred,
                                               std::uint32_t StreamNumber,
                                               std::uint32_t CallbackReason, int SourceFile,
                                               int DestinationFile, void* Data);

// `Written`, when given, gets each file written with the digest of its bytes.
void UnpackArchive(void* Sender, T7zProgressCallback Callback, const std::string& ArchiveFile,
                   std::string& ErrorText, const std::string& TargetDir,
                   TWrittenFiles* Written = nullptr);
void UnpackSingleFile(void* Sender, T7zProgressCallback Callback, const std::string& ArchiveFile,
                      std::string& ErrorText, const std::string& TargetDir,
                      const std::string& ItemPath, TWrittenFiles* Written = nullptr);
void CopyFileWithProgress(const std::string& Source, const std::string& Target,
                          TCopyProgressRoutine Routine, std::string& ErrorText, bool Cancel,
                          TJob* Job, TWrittenFiles* Written = nullptr);
void ShellCopyFile(const std::string& Source, const std::string& Target, std::string& ErrorText);
void ShellDeleteFile(const std::string& FileName, std::string& ErrorText);
void DeleteDirectory(const std::string& Dir, std::string& ErrorText);

// Open a document or web address with the desktop's default handler; errors are ignored.
void ShellOpen(const std::string& Target);
void OpenInIExplore(const std::string& Url);

// Size in bytes; -1 when the file cannot be opened.
std::int64_t FileSize64(const std::string& FileName);

// True when a file that the loader places on the drive is larger than FAT32 can hold.
bool CheckNeedNTFS(const std::string& FileName, std::int32_t LoaderType);

// While the job is paused (and not cancelled), holds the thread that works for it, telling
// the job's owner when the pause starts and when it ends.
void HoldWhilePaused(TJob& job);

// The jobs' progress receivers; `sender` / `Data` is the job.
HRESULT UnpackProgressCallback(void* sender, bool total, std::int64_t value);
std::uint32_t CopyProgressRoutine(std::int64_t TotalFileSize, std::int64_t TotalBytesTransferred,
                                  std::int64_t StreamSize, std::int64_t StreamBytesTransferred,
                                  std::uint32_t StreamNumber, std::uint32_t CallbackReason,
                                  int SourceFile, int DestinationFile, void* Data);

}  // namespace quorvane
