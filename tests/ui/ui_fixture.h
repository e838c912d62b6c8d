// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// Helpers for driving the portable window in tests and for its screenshots: a letter
// table whose drives are fixture records over folders, stand-in services, and a way to
// answer modal dialogs from inside their own event loop.
#pragma once

#include <QAction>
#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "drive/drive_letters.h"
#include "drive/drive_monitor.h"
#include "drive/usb_drive_set.h"
#include "support/fake_device_events.h"
#include "support/temp_dir.h"
#include "support/test_loaders.h"
#include "ui/grid_view_form.h"
#include "ui/qt_main_thread.h"
#include "ui/ui_services.h"

namespace quorvane::testing {

// Folder-backed drive letters that list fixture drive records.
class TFixtureDrives : public TFolderDriveLetters, public IDriveLister {
 public:
  void SetDrives(TUSBDrives drives);
  void AddDrive(const TUSBDriveSet& drive);
  TUSBDrives ListUSBDrives() override;
  void VolumeNameAndFS(char letter, std::string& name, std::string& file_system) override;
  int Listings() const { return FListings; }

 private:
  std::mutex FLock;
  TUSBDrives FDrives;
  int FListings = 0;
};

TUSBDriveSet FixtureDrive(char letter, std::int64_t full, std::int64_t free,
                          const std::string& file_system, const std::string& name = "STICK");

// Runs `action` on the first visible top-level widget of class T that appears within
// `timeout`; used to answer modal dialogs, whose event loop runs inside the call under test.
template <typename T>
void WhenShown(std::function<void(T*)> action,
               std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
  auto* timer = new QTimer;
  auto deadline = std::chrono::steady_clock::now() + timeout;
  QObject::connect(timer, &QTimer::timeout, [timer, action, deadline] {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      T* target = qobject_cast<T*>(widget);
      if (target && target->isVisible()) {
        timer->stop();
        timer->deleteLater();
        action(target);
        return;
      }
    }
    if (std::chrono::steady_clock::now() > deadline) {
      timer->stop();
      timer->deleteLater();
    }
  });
  timer->start(5);
}

// Picks `action` in the next menu that opens, by the arrow keys and Enter, as a person
// at the keyboard would; the flag turns true once that menu was shown.
std::shared_ptr<bool> ChooseInNextMenu(QAction* action);

// Drops the offscreen platform's notices about window-manager features it lacks.
void QuietOffscreenNotices();

// Serves the interface until `done` holds; false after `timeout`.
bool PumpUntil(const std::function<bool()>& done,
               std::chrono::milliseconds timeout = std::chrono::seconds(20));

// The window with stand-in services: stand-in loaders and drive step, a file chooser that
// answers from a queue, image sizes from a table, and recorded web addresses and feedback.
class TWindowRig {
 public:
  TWindowRig();
  ~TWindowRig();

  std::unique_ptr<TGridViewForm> MakeWindow();

  // A small image file whose needed space and NTFS need the window is told.
  std::string Image(const std::string& name, std::int64_t size, bool need_ntfs = false);
  // Maps `letter` to a folder and lists it as a drive; returns the folder.
  std::string AddDrive(const TUSBDriveSet& drive);

  // Adds a frame through "One more loader?", picks `choice` in its drop-down (1..10) and,
  // when `image` is not empty, chooses it through the file chooser.
  TLdrFrame* AddFrame(TGridViewForm& window, int choice, const std::string& image);

  TQtMainThread dispatcher;
  TDispatcherScope scope{&dispatcher};
  TTempDir temp;
  std::shared_ptr<TFixtureDrives> letters = std::make_shared<TFixtureDrives>();
  std::shared_ptr<TPreparationLog> prep = std::make_shared<TPreparationLog>();
  std::vector<TStandInLoader*> made;
  std::deque<std::string> chooser_answers;
  std::vector<std::pair<QString, QString>> chooser_asked;  // title, filter
  std::map<std::string, std::pair<std::int64_t, bool>> images;
  std::vector<std::string> opened_urls;
  struct TFeedback {
    std::string subject, email, nick, text;
    TCommunity kind;
  };
  std::mutex feedback_lock;
  std::vector<TFeedback> feedback;
  std::function<void(TStandInLoader&)> configure_job;  // applied to every job made
  TBurnPreflight preflight;  // the check before a burn; the plan's checks when empty
  std::vector<std::pair<std::string, std::string>> notifications;  // title, body
  TFakeEventSource* device_events = nullptr;  // the window's drive monitor's source
  // The virtual machine: what the lookup says is missing per firmware (nothing by
  // default), the start's answer, and the starts asked for (letter, UEFI).
  std::string vm_missing_bios, vm_missing_uefi, vm_start_error;
  std::vector<std::pair<char, bool>> vm_started;
};

}  // namespace quorvane::testing
