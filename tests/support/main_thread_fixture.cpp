// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "support/main_thread_fixture.h"

#include <filesystem>

namespace quorvane::testing {

MainThreadTest::MainThreadTest() : letters(std::make_shared<TFolderDriveLetters>()) {
  SetMainThreadDispatcher(&queue);
  SetDriveLetters(letters);
}

MainThreadTest::~MainThreadTest() {
  SetDriveLetters(nullptr);
  SetMainThreadDispatcher(nullptr);
}

bool MainThreadTest::PumpUntil(const std::function<bool()>& done,
                               std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    if (queue.WaitForMessage(std::chrono::milliseconds(5))) queue.DispatchWaiting();
  }
  return true;
}

void MainThreadTest::PumpPending() { queue.DispatchWaiting(); }

std::string MainThreadTest::MapDrive(char letter) {
  const std::string root = temp / (std::string("drive-") + letter);
  std::filesystem::create_directories(root);
  letters->Map(letter, root);
  return root + "/";
}

}  // namespace quorvane::testing
