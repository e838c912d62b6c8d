// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// Tests that run workers: the test's thread acts as the main thread, with the online
// message queue as its hand-over, and drive letters map to temporary folders.
#pragma once

#include <chrono>
#include <functional>
#include <memory>

#include <gtest/gtest.h>

#include "common/message_queue.h"
#include "drive/drive_letters.h"
#include "support/temp_dir.h"

namespace quorvane::testing {

class MainThreadTest : public ::testing::Test {
 public:
  MainThreadTest();
  ~MainThreadTest() override;

  // Serves the main thread's messages until `done` holds; false after `timeout`.
  bool PumpUntil(const std::function<bool()>& done,
                 std::chrono::milliseconds timeout = std::chrono::seconds(30));
  // Serves whatever is waiting now.
  void PumpPending();

  // Maps `letter` to a new folder under the test's temporary folder and returns its root.
  std::string MapDrive(char letter);

  TMessageQueue queue;
  TTempDir temp;
  std::shared_ptr<TFolderDriveLetters> letters;
};

}  // namespace quorvane::testing
