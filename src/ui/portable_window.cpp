// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "ui/portable_window.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <cstdio>
#include <mutex>

#include "archive/file_operations.h"
#include "archive/sevenzip.h"
#include "common/desktop_user.h"
#include "drive/drive_monitor.h"
#include "jobs/jobs.h"
#include "loaders/loader_catalog.h"
#include "server/file_dialog.h"
#include "startup/terminal_dialog.h"
#include "ui/desktop_notification.h"
#include "ui/grid_view_form.h"
#include "ui/qt_application.h"
#include "ui/qt_main_thread.h"

namespace quorvane {

namespace {

std::mutex& SenderLock() {
  static std::mutex lock;
  return lock;
}

TFeedbackSender& DefaultSender() {
  static TFeedbackSender sender;
  return sender;
}

std::string ChooseWithDialog(QWidget* owner, const QString& title, const QString& filter) {
  // Running as root for a desktop user, the desktop's own dialog runs as him (his files,
  // his home); the toolkit's dialog, running as root, only when no such program is there.
  const std::optional<TDesktopUser> user = DesktopUser();
  if (user) {
    TFileDialogRequest request;
    request.Title = title.toStdString();
    const qsizetype open = filter.indexOf('(');
    request.FilterName = filter.left(open).trimmed().toStdString();
    request.Pattern = filter.mid(open + 1).chopped(filter.endsWith(')') ? 1 : 0).toStdString();
    const TFileDialogResult result = RunFileOpenDialog(request);
    if (result.Outcome == TFileDialogResult::TOutcome::Chosen) return result.Path;
    if (result.Outcome == TFileDialogResult::TOutcome::Cancelled) return {};
    std::fprintf(stderr, "quorvane: %s\n", result.Error.c_str());
  }
  const QString start = user ? QString::fromStdString(user->Home) : QString();
  return QFileDialog::getOpenFileName(owner, title, start, filter).toStdString();
}

class TQtPortableWindow : public IPortableWindow {
 public:
  TQtPortableWindow(std::shared_ptr<QApplication> app, TPortableWindowServices services)
      : FApp(std::move(app)), FDispatcher(std::make_unique<TQtMainThread>()),
        FScope(std::make_unique<TDispatcherScope>(FDispatcher.get())),
        FForm(std::make_unique<TGridViewForm>(std::move(services))) {}

  ~TQtPortableWindow() override {
    // The job list goes with the window, while the hand-over still serves its workers.
    FForm.reset();
    FScope.reset();
    FDispatcher.reset();
  }

  bool RunUntilClosed() override {
    if (!FForm->CloseRequested()) FForm->show();
    QApplication::exec();
    return true;
  }

  TJobs* Jobs() override { return FForm->Jobs(); }

 private:
  std::shared_ptr<QApplication> FApp;
  std::unique_ptr<TQtMainThread> FDispatcher;
  std::unique_ptr<TDispatcherScope> FScope;
  std::unique_ptr<TGridViewForm> FForm;
};

class TNoDisplayWindow : public IPortableWindow {
 public:
  bool RunUntilClosed() override {
    std::fputs(
        "quorvane: no display for the window of portable mode (DISPLAY and WAYLAND_DISPLAY are "
        "not set)\n",
        stderr);
    return false;
  }
  TJobs* Jobs() override { return nullptr; }
};

class TQtFallbackDialog : public IFallbackDialog {
 public:
  TQtFallbackDialog(int argc, char** argv) : FArgc(argc), FArgv(argv) {}

  TDialogAnswer AskYesNo(const std::string& text) override {
    if (!DisplayAvailable()) return TTerminalDialog().AskYesNo(text);
    if (!FApp) FApp = SharedApplication(FArgc, FArgv);
    QString shown = QString::fromStdString(text);
    shown.replace("\r\n", "\n");
    QMessageBox box(QMessageBox::Warning, "Quorvane", shown, QMessageBox::Yes | QMessageBox::No);
    box.exec();
    if (box.clickedButton() == box.button(QMessageBox::Yes)) return TDialogAnswer::Yes;
    if (box.clickedButton() == box.button(QMessageBox::No)) return TDialogAnswer::No;
    return TDialogAnswer::Closed;
  }

 private:
  int FArgc;
  char** FArgv;
  std::shared_ptr<QApplication> FApp;  // kept for the window that may follow
};

}  // namespace

void SetDefaultFeedbackSender(TFeedbackSender sender) {
  std::lock_guard<std::mutex> guard(SenderLock());
  DefaultSender() = std::move(sender);
}

TPortableWindowServices WithDefaults(TPortableWindowServices services) {
  if (!services.CreateJobs) services.CreateJobs = [] { return std::make_unique<TJobs>(); };
  if (!services.ChooseFile) services.ChooseFile = ChooseWithDialog;
  if (!services.NecessarySpace) services.NecessarySpace = GetNecessarySpace;
  if (!services.NeedNTFS) services.NeedNTFS = CheckNeedNTFS;
  if (!services.OpenUrl) services.OpenUrl = ShellOpen;
  if (!services.PrepareArchiveLibrary) services.PrepareArchiveLibrary = Prepare7zLibraryOrMessage;
  if (!services.Preflight) services.Preflight = RunBurnPreflight;
  if (!services.Notify)
    services.Notify = [](const std::string& title, const std::string& body) {
      SendDesktopNotification(title, body);
    };
  if (!services.CreateDriveMonitor) services.CreateDriveMonitor = WatchSystemDrives;
  services.VmTestBoot = WithDefaults(std::move(services.VmTestBoot));
  if (!services.SendFeedback) {
    std::lock_guard<std::mutex> guard(SenderLock());
    services.SendFeedback = DefaultSender();
  }
  return services;
}

std::unique_ptr<IPortableWindow> CreatePortableWindow(int argc, char** argv,
                                                      TPortableWindowServices services) {
  if (!DisplayAvailable()) return std::make_unique<TNoDisplayWindow>();
  return std::make_unique<TQtPortableWindow>(SharedApplication(argc, argv), std::move(services));
}

std::unique_ptr<IPortableWindow> CreatePortableWindow(int argc, char** argv) {
  return CreatePortableWindow(argc, argv, TPortableWindowServices{});
}

std::unique_ptr<IFallbackDialog> CreateFallbackDialog(int argc, char** argv) {
  return std::make_unique<TQtFallbackDialog>(argc, argv);
}

}  // namespace quorvane
