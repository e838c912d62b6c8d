// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// What the portable window takes from outside: its job list, the file chooser, the image
// queries, the opening of web addresses and the feedback request. Each has the program's
// own default; tests give stand-ins.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "common/community.h"
#include "jobs/burn_preflight.h"
#include "jobs/vm_test_boot_services.h"

class QString;
class QWidget;

namespace quorvane {

class TDriveMonitor;
class TJobs;

// Asks for one existing file; empty when the user cancels. `filter` has the toolkit's
// form ("ISO files (*.iso)").
using TFileChooser =
    std::function<std::string(QWidget* owner, const QString& title, const QString& filter)>;

// Posts one feedback message to the remote service; decides itself whether the message is
// worth sending. Runs on a thread of the form's own.
using TFeedbackSender =
    std::function<void(const std::string& Subject, const std::string& Email,
                       const std::string& Nick, TCommunity Kind, const std::string& Text)>;

struct TPortableWindowServices {
  // The window's job list; by default the program's loaders and drive preparation.
  std::function<std::unique_ptr<TJobs>()> CreateJobs;
  TFileChooser ChooseFile;
  // Bytes an image needs on the drive, and whether it needs NTFS there.
  std::function<std::int64_t(const std::string& file, std::int32_t loader_type)> NecessarySpace;
  std::function<bool(const std::string& file, std::int32_t loader_type)> NeedNTFS;
  std::function<void(const std::string& url)> OpenUrl;
  // None: the feedback form posts nothing.
  TFeedbackSender SendFeedback;
  // Puts the archive library in place; the message to show when it cannot, empty on
  // success. None: nothing to do.
  std::function<std::string()> PrepareArchiveLibrary;
  // The check before a burn (default: RunBurnPreflight).
  TBurnPreflight Preflight;
  // Sends a desktop notification; by default through the session's notification service,
  // when there is one.
  std::function<void(const std::string& title, const std::string& body)> Notify;
  // Watches for drives plugged in or pulled out and calls `on_change` (on a thread of its
  // own); by default udev. A result of nullptr: the list follows only the refresh button.
  std::function<std::unique_ptr<TDriveMonitor>(std::function<void()> on_change)>
      CreateDriveMonitor;
  // The lookup of QEMU and OVMF and the start of a drive in a virtual machine.
  TVmTestBootServices VmTestBoot;
};

// Fills every service left empty with the program's own.
TPortableWindowServices WithDefaults(TPortableWindowServices services);

}  // namespace quorvane

namespace quorvane {

// The feedback request the program's windows use when none is given; set once at start-up
// by whoever owns the remote service client.
void SetDefaultFeedbackSender(TFeedbackSender sender);

}  // namespace quorvane
