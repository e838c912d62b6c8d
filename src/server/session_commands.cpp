// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The drive, file and session commands: the drive list, the image file dialog, the run's
// session identifier and start text, and the relay to the remote service.
#include <cstdio>
#include <filesystem>

#include "archive/file_operations.h"
#include "common/session_state.h"
#include "drive/usb_drives.h"
#include "loaders/loader_catalog.h"
#include "server/command_replies.h"
#include "server/web_module.h"

namespace quorvane {

TJsonValue TWebModule1::GetFlashDrivesAction() {
  TJsonValue reply;
  try {
    RefreshUSBDrives();
    if (USBDrives.empty()) return reply;
    TJsonValue list = TJsonValue::Array();
    for (const TUSBDriveSet& drive : USBDrives) {
      TJsonValue item;
      item.AddData("Letter", drive.Letter ? std::string(1, drive.Letter) : std::string())
          .AddData("Name", drive.Name)
          .AddData("FS", drive.FileSystem)
          .AddData("FreeSpace", std::to_string(drive.FreeSpace))
          .AddData("FullSize", std::to_string(drive.FullSize))
          // What a person needs to recognise the disk before anything is erased.
          .AddData("Device", drive.VolumeDevice.empty() ? drive.DiskDevice : drive.VolumeDevice)
          .AddData("Disk", drive.DiskDevice)
          .AddData("Vendor", drive.Vendor)
          .AddData("Model", drive.Model)
          .AddData("MountPoint", drive.MountPoint)
          .AddData("ImageFile", drive.ImageFile);
      list.Append(std::move(item));
    }
    reply.AddValue("Drives", std::move(list));
  } catch (...) {
  }
  return reply;
}

TJsonValue TWebModule1::FlOpnDlgAction(const TFormFields& fields) {
  try {
    const std::string name = fields.Get("Name");
    std::int32_t type = 9;
    if (!ParseWholeNumber(fields.Get("Id"), type)) type = 9;
    TFileDialogRequest request;
    request.Title = name.empty() ? "Select ISO file with chosen loader"
                                 : "Select \"" + name + "\" ISO file";
    request.FilterName = "ISO files";
    request.Pattern = "*.iso";
    const TFileDialogResult chosen = FSetup.OpenFileDialog(request);
    if (chosen.Outcome == TFileDialogResult::TOutcome::Failed) {
      std::fprintf(stderr, "quorvane: file dialog: %s\n", chosen.Error.c_str());
      return StatusReply("Error", "Unhandled error in file open dialog execute");
    }
    if (chosen.Outcome == TFileDialogResult::TOutcome::Cancelled)
      return StatusReply("Error", "Dialog cancelled");
    const std::string& path = chosen.Path;
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec))
      return StatusReply("Error", "Selected file not found: \"" + path + "\"");
    std::int64_t size = 0;
    try {
      size = GetNecessarySpace(path, type);
    } catch (...) {
      size = -1;
    }
    if (size < 0) return StatusReply("Error", "Failed to get file size");
    bool need_ntfs = false;
    try {
      need_ntfs = CheckNeedNTFS(path, type);
    } catch (...) {
      return StatusReply("Error", "Failed to open selected archive");
    }
    TJsonValue reply;
    reply.AddStatus("Path", path)
        .AddStatus("Size", std::to_string(size))
        .AddStatus("NeedNTFS", need_ntfs ? "-1" : "0");
    return reply;
  } catch (...) {
    return StatusReply("Error", "Unhandled error in file open dialog execute");
  }
}

TJsonValue TWebModule1::SetSessionIDAction(const TFormFields& fields) {
  try {
    SetSessionId(fields.Get("SessionID"));
    return DataReply("Success", GetSessionId());
  } catch (...) {
    return DataReply("Error", GetSessionId());
  }
}

TJsonValue TWebModule1::GetSessionIdAction() { return DataReply("SessionUID", GetSessionId()); }

TJsonValue TWebModule1::GetExistLoadersAction() {
  return DataReply("ExistLoaders", FSetup.ExistLoaders);
}

void TWebModule1::ForwardAction(const TFormFields& fields, const std::string& path) {
  TJsonValue msg;
  for (const auto& [name, value] : fields.All()) msg.AddData(name, value);
  FSetup.Forward(std::move(msg), path);
}

}  // namespace quorvane
