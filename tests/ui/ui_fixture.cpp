// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "ui_fixture.h"

#include <QComboBox>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QTest>

#include "common/constants.h"
#include "jobs/jobs.h"
#include "support/iso_images.h"
#include "ui/widgets.h"

namespace quorvane::testing {

void TFixtureDrives::SetDrives(TUSBDrives drives) {
  std::lock_guard<std::mutex> guard(FLock);
  FDrives = std::move(drives);
}

void TFixtureDrives::AddDrive(const TUSBDriveSet& drive) {
  std::lock_guard<std::mutex> guard(FLock);
  FDrives.push_back(drive);
}

TUSBDrives TFixtureDrives::ListUSBDrives() {
  std::lock_guard<std::mutex> guard(FLock);
  ++FListings;
  return FDrives;
}

void TFixtureDrives::VolumeNameAndFS(char letter, std::string& name, std::string& file_system) {
  std::lock_guard<std::mutex> guard(FLock);
  for (const TUSBDriveSet& drive : FDrives) {
    if (drive.Letter != letter) continue;
    name = drive.Name;
    file_system = drive.FileSystem;
  }
}

TUSBDriveSet FixtureDrive(char letter, std::int64_t full, std::int64_t free,
                          const std::string& file_system, const std::string& name) {
  TUSBDriveSet drive;
  drive.Letter = letter;
  drive.Name = name;
  drive.FileSystem = file_system;
  drive.IntFileSystem = IntFileSystemOf(file_system);
  drive.FullSize = full;
  drive.FreeSpace = free;
  drive.DiskDevice = "/dev/sdx";
  drive.Vendor = "Fixture";
  drive.Model = "Stick 8G";
  return drive;
}

void QuietOffscreenNotices() {
  static QtMessageHandler previous = nullptr;
  previous = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext& context,
                                       const QString& text) {
    if (text.contains("does not support propagateSizeHints") ||
        text.contains("does not support raise") || text.contains("XDG_RUNTIME_DIR"))
      return;
    if (previous) previous(type, context, text);
  });
}

std::shared_ptr<bool> ChooseInNextMenu(QAction* action) {
  auto shown = std::make_shared<bool>(false);
  QPointer<QAction> wanted(action);
  WhenShown<QMenu>([shown, wanted](QMenu* menu) {
    *shown = true;
    for (int i = 0; i < menu->actions().size() && menu->activeAction() != wanted; ++i)
      QTest::keyClick(menu, Qt::Key_Down);
    QTest::keyClick(menu, Qt::Key_Return);
  });
  return shown;
}

bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  return QTest::qWaitFor(done, static_cast<int>(timeout.count()));
}

TWindowRig::TWindowRig() {
  SetDriveLetters(letters);
  TFrameList::StepDelayMs = 0;
}

TWindowRig::~TWindowRig() { SetDriveLetters(nullptr); }

std::string TWindowRig::Image(const std::string& name, std::int64_t size, bool need_ntfs) {
  const std::string path = temp / ("images/" + name);
  // An image every loader type accepts: the window checks it before a burn.
  MakeLoaderImage(path, -1);
  images[path] = {size, need_ntfs};
  return path;
}

std::string TWindowRig::AddDrive(const TUSBDriveSet& drive) {
  const std::string root = temp / (std::string("drive-") + drive.Letter);
  WriteFile(root + "/.keep", "");
  letters->Map(drive.Letter, root);
  letters->AddDrive(drive);
  return root + "/";
}

std::unique_ptr<TGridViewForm> TWindowRig::MakeWindow() {
  TPortableWindowServices services;
  // The drive step is a stand-in: only the plan is checked before a burn.
  services.Preflight = [this](const TPreflightRequest& request) {
    return preflight ? preflight(request) : RunPlanPreflight(request);
  };
  services.CreateJobs = [this] {
    TJobFactory loaders = StandInLoaderFactory(&made);
    TJobFactory configured = [this, loaders](std::int32_t type, const std::string& file,
                                             char drive, const std::string& name) {
      std::unique_ptr<TJob> job = loaders(type, file, drive, name);
      if (configure_job) configure_job(static_cast<TStandInLoader&>(*job));
      return job;
    };
    return std::make_unique<TJobs>(configured, RecordingPreparation(prep));
  };
  services.ChooseFile = [this](QWidget*, const QString& title, const QString& filter) {
    chooser_asked.emplace_back(title, filter);
    if (chooser_answers.empty()) return std::string();
    std::string answer = chooser_answers.front();
    chooser_answers.pop_front();
    return answer;
  };
  services.NecessarySpace = [this](const std::string& file, std::int32_t) {
    auto it = images.find(file);
    return it == images.end() ? std::int64_t{0} : it->second.first;
  };
  services.NeedNTFS = [this](const std::string& file, std::int32_t) {
    auto it = images.find(file);
    return it != images.end() && it->second.second;
  };
  services.OpenUrl = [this](const std::string& url) { opened_urls.push_back(url); };
  services.SendFeedback = [this](const std::string& subject, const std::string& email,
                                 const std::string& nick, TCommunity kind,
                                 const std::string& text) {
    std::lock_guard<std::mutex> guard(feedback_lock);
    feedback.push_back({subject, email, nick, text, kind});
  };
  services.Notify = [this](const std::string& title, const std::string& body) {
    notifications.emplace_back(title, body);
  };
  services.CreateDriveMonitor = [this](std::function<void()> on_change) {
    auto source = std::make_unique<TFakeEventSource>();
    device_events = source.get();
    return std::make_unique<TDriveMonitor>(std::move(source), std::move(on_change),
                                           std::chrono::milliseconds(50));
  };
  services.VmTestBoot.MissingTools = [this](bool uefi) {
    return !vm_missing_bios.empty() ? vm_missing_bios : uefi ? vm_missing_uefi : std::string();
  };
  services.VmTestBoot.Start = [this](char letter, bool uefi) {
    vm_started.emplace_back(letter, uefi);
    return vm_start_error;
  };
  auto window = std::make_unique<TGridViewForm>(std::move(services));
  window->show();
  return window;
}

TLdrFrame* TWindowRig::AddFrame(TGridViewForm& window, int choice, const std::string& image) {
  const std::size_t before = window.Frames()->Frames().size();
  window.LdrAddBtn->click();
  const std::vector<TLdrFrame*> frames = window.Frames()->Frames();
  if (frames.size() != before + 1) return nullptr;
  TLdrFrame* frame = frames.back();
  frame->LdrSelectBox->setCurrentIndex(choice);
  if (!image.empty()) {
    chooser_answers.push_back(image);
    frame->ISOSelectBtn->click();
  }
  return frame;
}

}  // namespace quorvane::testing
