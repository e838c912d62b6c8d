// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The status texts of a job.
#pragma once

namespace quorvane {

inline constexpr const char* kStatusReady = "Ready";
inline constexpr const char* kStatusInitializing = "Initializing";
inline constexpr const char* kStatusRunning = "Running";
// The entry is written; its files are read back from the drive and compared.
inline constexpr const char* kStatusVerifying = "Verifying";
inline constexpr const char* kStatusFailed = "Failed";
inline constexpr const char* kStatusFinished = "Finished";
inline constexpr const char* kStatusCancelling = "Cancelling";
inline constexpr const char* kStatusCancelled = "Cancelled";

// What a running job still does once its bytes are all written (TJob::Step).
inline constexpr const char* kStepFlushing = "flushing to the drive";
inline constexpr const char* kStepCheckingCopy = "checking the copy";
inline constexpr const char* kStepCheckingLayout = "checking the image's layout";

}  // namespace quorvane
