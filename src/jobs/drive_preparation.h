// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The drive step of a burn as the job list sees it: a worker thread that prepares the
// drive and leaves an error text (empty on success).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "common/worker_thread.h"

namespace quorvane {

class TDrivePreparation : public TWorkerThread {
 public:
  std::string ErrorString;  // empty on success; read after the thread has ended
};

// Makes the preparation thread for a drive, file system and mode.
using TDrivePreparationFactory =
    std::function<std::unique_ptr<TDrivePreparation>(char Drive, std::uint8_t FileSystem,
                                                     std::uint8_t Mode)>;

// The program's own preparation: repartition and format (mode new), boot code, NTBOOT.
std::unique_ptr<TDrivePreparation> CreateDrivePreparation(char Drive, std::uint8_t FileSystem,
                                                          std::uint8_t Mode);

}  // namespace quorvane
