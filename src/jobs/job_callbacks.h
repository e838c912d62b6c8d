// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// Callback types through which the job engine tells its front end what happens. `Sender`
// is always the front end that owns the job list.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace quorvane {

using TSynchronizeCallBack = std::function<void(void* Sender, const std::string& JobName)>;
using TJobFinishedCallBack = std::function<void(void* Sender, const std::string& JobName)>;
using TJobStartedCallBack = std::function<void(void* Sender, const std::string& JobName)>;
using TJobPausedCallBack = std::function<void(void* Sender, const std::string& JobName)>;
using TJobResumeCallBack = std::function<void(void* Sender, const std::string& JobName)>;
using TAllJobsFinished = std::function<void(void* Sender)>;
using TJobsStartedCallBack = std::function<void(void* Sender)>;
using TFromatDriveStartCallBack =
    std::function<void(void* Sender, std::uint8_t Mode, char Drive)>;
using TFormatDriveFinishedCallBack =
    std::function<void(void* Sender, const std::string& Error)>;
using TMBRReplaceFinishedCallBack =
    std::function<void(void* Sender, const std::string& Error)>;
// A longer part of the drive step ("Checking capacity...") and its share done, 0..100,
// or -1 when it has no figure.
using TFormatDriveProgressCallBack =
    std::function<void(void* Sender, const std::string& Step, std::int32_t Percent)>;

}  // namespace quorvane
