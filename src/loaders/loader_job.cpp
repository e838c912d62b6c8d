// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "loaders/loader_job.h"

#include <filesystem>

#include "archive/archive_queries.h"
#include "archive/file_operations.h"
#include "common/file_writes.h"
#include "common/text.h"
#include "drive/file_extents.h"
#include "drive/ntfs_contiguous_room.h"
#include "loaders/grub2_menu.h"
#include "loaders/image_check.h"
#include "loaders/menu_files.h"
#include "jobs/job_status.h"

namespace quorvane {

std::string TLoaderJob::Lines(std::initializer_list<std::string> lines) {
  std::string text;
  for (const std::string& line : lines) text += line + kLineEnd;
  return text;
}

bool TLoaderJob::CopyImage(bool mapped_in_place) {
  // An image mapped in place that finds no free run of its size on an NTFS drive would
  // come out in pieces: refused before anything is copied.
  if (mapped_in_place) {
    const std::int64_t size = FileSize64(Consts.SrcFile);
    if (size > 0 && !StepSucceeded(ContiguousRoomProblem(
                        Vars.JobFileNameOnDriveBackSlash, static_cast<std::uint64_t>(size),
                        std::filesystem::path(Consts.SrcFile).filename().string())))
      return false;
  }
  std::string error;
  CopyFileWithProgress(Consts.SrcFile, Vars.JobFileNameOnDriveBackSlash, CopyProgressRoutine,
                       error, Canceled(), this, &WrittenFiles());
  if (!StepSucceeded(error)) return false;
  SetStep(kStepCheckingCopy);
  SyncJobState();
  if (!StepSucceeded(CopiedImageProblem(Consts.SrcFile, Vars.JobFileNameOnDriveBackSlash,
                                        Consts.LdrType)))
    return false;
  if (!mapped_in_place) return true;
  // GRUB4DOS maps an image without "--mem" only when its sectors follow one another.
  SetStep(kStepCheckingLayout);
  SyncJobState();
  const TContiguity layout = CheckFileContiguous(Vars.JobFileNameOnDriveBackSlash);
  return StepSucceeded(layout == TContiguity::Fragmented ? "Image file is fragmented on USB drive"
                                                         : "");
}

std::string TLoaderJob::ImageProblem() const {
  return ImageBootProblem(Consts.SrcFile, Consts.LdrType);
}

bool TLoaderJob::UnpackedFilesWhole(const std::string& folder,
                                    std::initializer_list<const char*> items) {
  SetStep(kStepCheckingCopy);
  SyncJobState();
  std::vector<TArchiveFileItem> files;
  if (!ListArchiveFiles(Consts.SrcFile, files))
    return StepSucceeded("The files of the image cannot be listed");
  for (const char* item : items) {
    std::int64_t size = -1;
    for (const TArchiveFileItem& f : files)
      if (f.Path == item) size = f.Size;
    if (size < 0 || FileSize64(folder + item) != size)
      return StepSucceeded(std::string("The unpacked image on the USB drive lacks ") + item +
                           " or holds it cut off");
  }
  return StepSucceeded("");
}

bool TLoaderJob::WriteEntryFile(const std::string& file_name, const std::string& block) {
  const std::string tail = BootsThroughNTBOOT() ? "title Main menu\r\nconfigfile (hd0,0)/menu.lst"
                                                : "title Main menu\r\nconfigfile /menu.lst";
  std::string error;
  const std::string path = Vars.JobDir + file_name;
  const std::string text = block + kLineEnd + tail;
  CreateTextFile(path, text, error);
  // The file holds the text and a line end after it.
  if (error.empty()) WrittenFiles().Add(WrittenText(path, text + kLineEnd));
  return StepSucceeded(error);
}

bool TLoaderJob::WriteUefiEntryFile(const std::string& file_name, const std::string& items) {
  const std::string& n = Vars.JobFileNameWOExt;
  if (items.empty()) {
    FUefiMainItem = Grub2BiosOnlyItem(n);
    return StepSucceeded("");
  }
  std::string error;
  const std::string path = Vars.JobDir + file_name;
  std::error_code ec;
  if (std::filesystem::exists(std::filesystem::symlink_status(path, ec)))
    return StepSucceeded("File already exists");
  const std::string text = items + "\n" + Grub2MainMenuReturnItem();
  if (!WriteFileFlushed(path, text, error))
    return StepSucceeded("Failed to create txt file " + Quoted(path) + ": " + error);
  WrittenFiles().Add(WrittenText(path, text));
  FUefiMainItem = Grub2ConfigfileItem(n, Vars.JobDirOnHDForwardSlashWOhd + file_name);
  return StepSucceeded("");
}

void TLoaderJob::AppendMainMenuItem(const std::string& file_name) {
  std::string item = "\r\ntitle " + Vars.JobFileNameWOExt + "\r\n" + "configfile " +
                     Vars.JobDirOnHDForwardSlash + file_name;
  if (!BootsThroughNTBOOT()) item += kLineEnd;
  AppendEntryToMainMenu(item, FUefiMainItem);
}

TUefiBoot TLoaderJob::UefiBoot() const { return UefiBootOf(Consts.LdrType, Consts.SrcFile); }

std::string TLoaderJob::UefiImageItem(const TUefiBoot& boot,
                                      const std::string& kernel_params) const {
  return Grub2ImageItem(boot, Vars.JobFileNameWOExt, Vars.JobFileNameForwardSlash, kernel_params);
}

}  // namespace quorvane
