// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "loaders/loader_job.h"

#include "archive/archive_queries.h"
#include "archive/file_operations.h"
#include "drive/file_extents.h"
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
  std::string error;
  CopyFileWithProgress(Consts.SrcFile, Vars.JobFileNameOnDriveBackSlash, CopyProgressRoutine,
                       error, Canceled(), this);
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
  CreateTextFile(Vars.JobDir + file_name, block + kLineEnd + tail, error);
  return StepSucceeded(error);
}

void TLoaderJob::AppendMainMenuItem(const std::string& file_name) {
  std::string item = "\r\ntitle " + Vars.JobFileNameWOExt + "\r\n" + "configfile " +
                     Vars.JobDirOnHDForwardSlash + file_name;
  if (!BootsThroughNTBOOT()) item += kLineEnd;
  AppendEntryToMainMenu(item);
}

}  // namespace quorvane
