// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The job class of each loader type.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "jobs/job.h"

namespace quorvane {

// A new job of the class that writes this loader type; nullptr for a type outside 0..9.
std::unique_ptr<TJob> CreateLoaderJob(std::int32_t LoaderType, const std::string& SourceFile,
                                      char TargetDrive, const std::string& JobName);

}  // namespace quorvane
