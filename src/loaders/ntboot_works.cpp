// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "loaders/ntboot_works.h"

#include <cerrno>
#include <filesystem>

#include "archive/file_operations.h"
#include "common/file_writes.h"
#include "common/resources.h"
#include "common/text.h"
#include "drive/drive_letters.h"

namespace quorvane {

void DeployNTBOOT(char Drive, std::string& Error) {
  Error = "Unhandled error in NTBOOT unpacking";
  try {
    const std::string root = DriveRoot(Drive);
    if (root.empty()) return;
    std::string ignored, folder_error;
    const std::string program = ProgramFolderOnDrive(root, folder_error);
    if (program.empty()) {
      Error = "NTBOOT directory creation failed with error " + folder_error;
      return;
    }
    const std::string folder = program + "NTBOOT";
    // The old package goes; a link or a file of that name goes itself, never what a link
    // points to.
    std::error_code ec;
    const std::filesystem::file_status old = std::filesystem::symlink_status(folder, ec);
    if (std::filesystem::is_directory(old))
      DeleteDirectory(folder, ignored);
    else if (std::filesystem::exists(old))
      ShellDeleteFile(folder, ignored);
    std::filesystem::create_directories(folder, ec);
    if (!std::filesystem::is_directory(std::filesystem::symlink_status(folder))) {
      Error = "NTBOOT directory creation failed with error " +
              SystemErrorText(ec ? ec.value() : ENOTDIR);
      return;
    }
    std::string package;
    const std::string archive = program + "NTBOOT.7z";
    if (!ReadResource("NTBOOT.7z", package, ignored) ||
        !WriteFileFlushed(archive, package, ignored)) {
      Error = "Error in copying NTBOOT to drive";
      return;
    }
    std::string unpack_error;
    UnpackArchive(nullptr, nullptr, archive, unpack_error, program);
    if (!unpack_error.empty()) {
      Error = unpack_error;
      return;
    }
    ShellDeleteFile(archive, ignored);
    std::string copy_error;
    ShellCopyFile(folder + "/W7/ISO.xml", root + "AutoUnattend.xml", copy_error);
    if (!copy_error.empty()) {
      Error = "Error in deploying NTBOOT on USB drive: " + copy_error;
      return;
    }
    Error.clear();
  } catch (...) {
  }
}

}  // namespace quorvane
