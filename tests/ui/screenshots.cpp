// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// Takes the screenshots of the portable window shown in the README: the window idle with
// two frames, during a burn, the question before the burn, the choices of the test in a
// virtual machine after it, and the feedback form. Runs on
// the offscreen platform with stand-in loaders and fixture drives.
//   quorvane_screenshots FOLDER
// With --grab-screen FILE it instead saves the whole screen of the current display (the
// real program's window under Xvfb).
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "jobs/jobs.h"
#include "common/resources.h"
#include "ui/ask_form.h"
#include "ui/color_scheme.h"
#include "ui/frame_list.h"
#include "ui/qt_application.h"
#include "ui/team_message_form.h"
#include "ui/widgets.h"
#include "ui_fixture.h"

using namespace quorvane;
using namespace quorvane::testing;

namespace {

QString g_folder;
int g_failures = 0;

// The window over a dark desktop-like backdrop, so that its translucency shows; with
// `popup`, that menu drawn over it where it stands on the screen.
void Save(QWidget* widget, const char* name, QWidget* popup = nullptr) {
  QCoreApplication::processEvents();
  QPixmap shot = widget->grab();
  if (popup) {
    QPainter over(&shot);
    over.drawPixmap(popup->pos() - widget->pos(), popup->grab());
  }
  const int margin = 28;
  QImage canvas(shot.width() + 2 * margin, shot.height() + 2 * margin, QImage::Format_ARGB32);
  QPainter p(&canvas);
  QLinearGradient backdrop(0, 0, canvas.width(), canvas.height());
  backdrop.setColorAt(0, QColor(0x3a, 0x5f, 0x8a));
  backdrop.setColorAt(0.55, QColor(0x5b, 0x3f, 0x7a));
  backdrop.setColorAt(1, QColor(0x1e, 0x6b, 0x6b));
  p.fillRect(canvas.rect(), backdrop);
  p.setPen(QPen(QColor(255, 255, 255, 22), 2));
  for (int x = -canvas.height(); x < canvas.width(); x += 46)
    p.drawLine(x, canvas.height(), x + canvas.height(), 0);
  p.drawPixmap(margin, margin, shot);
  p.end();
  const QString path = g_folder + "/" + name;
  if (!canvas.save(path, "PNG")) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    ++g_failures;
    return;
  }
  std::printf("%s\n", qPrintable(path));
}

void Require(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "screenshots: %s\n", what);
  std::exit(1);
}

}  // namespace

int GrabScreen(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) return 1;
  const QPixmap shot = screen->grabWindow(0);
  if (shot.isNull() || !shot.save(QString::fromLocal8Bit(argv[2]), "PNG")) {
    std::fprintf(stderr, "cannot grab the screen into %s\n", argv[2]);
    return 1;
  }
  std::printf("%s\n", argv[2]);
  return 0;
}

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--grab-screen") return GrabScreen(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
    return 2;
  }
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  g_folder = QString::fromLocal8Bit(argv[1]);
  QDir().mkpath(g_folder);
  QuietOffscreenNotices();
  // The dark look first, whatever this machine's desktop prefers; the light one follows.
  setenv("QUORVANE_COLOR_SCHEME", "dark", 1);
  std::shared_ptr<QApplication> app = SharedApplication(argc, argv);

  TWindowRig rig;
  TFrameList::StepDelayMs = 0;
  TUSBDriveSet stick = FixtureDrive('e', 15518924800, 11811160064, "FAT32", "KINGSTON");
  stick.DiskDevice = "/dev/sdb";
  stick.Vendor = "Kingston";
  stick.Model = "DataTraveler 3.0";
  rig.AddDrive(stick);
  TUSBDriveSet other = FixtureDrive('f', 31914983424, 30000000000, "exFAT", "SANDISK");
  other.DiskDevice = "/dev/sdc";
  other.Vendor = "SanDisk";
  other.Model = "Cruzer Blade";
  rig.AddDrive(other);

  std::unique_ptr<TGridViewForm> window = rig.MakeWindow();
  // The images lie where a person keeps them, so that the frames show a plausible path.
  const std::string downloads = QDir::tempPath().toStdString() + "/Downloads/";
  auto image = [&](const std::string& name, std::int64_t size, bool need_ntfs) {
    const std::string path = downloads + name;
    WriteFile(path, "image");
    rig.images[path] = {size, need_ntfs};
    return path;
  };
  const std::string windows = image("Win10_22H2_English_x64.iso", 5905580032, true);
  const std::string hirens = image("HBCD_PE_x64.iso", 3064987648, false);
  rig.AddFrame(*window, 3, windows);
  rig.AddFrame(*window, 7, hirens);
  Save(window.get(), "main-window-idle.png");

  // The burn: the question first, then the first entry held half-way through its copy.
  // Held in its first half, the copy goes on at 31 MB/s, so that the frame shows a speed
  // and a time left.
  rig.configure_job = [](TStandInLoader& job) {
    job.steps = 2;
    job.hold = true;
    job.total_bytes = 5905580032;
    job.held_bytes_per_second = 31.4e6;
  };
  WhenShown<TAskForm>([](TAskForm* form) {
    Save(form, "confirmation.png");
    form->YesBtn->click();
  });
  window->GoNewBtn->click();
  Require(PumpUntil([&] { return !rig.made.empty() && rig.made[0]->in_copy; }),
          "the first entry never started copying");
  Require(PumpUntil([&] { return rig.made[0]->Progress() >= 50; }), "no progress shown");
  Require(PumpUntil([&] {
            return window->Frames()->Frames()[0]->StatusLbl->text().contains(" left");
          }),
          "no speed and time left shown");
  PumpUntil([] { return false; }, std::chrono::milliseconds(50));
  Save(window.get(), "main-window-burning.png");
  for (TStandInLoader* job : rig.made) job->hold = false;
  rig.configure_job = nullptr;
  Require(PumpUntil([&] { return window->CancelBtn->text() == "Continue"; }),
          "the burn never ended");
  Save(window.get(), "main-window-finished.png");

  // The drive just written, in a virtual machine: the button's choices.
  window->VmTestMenu->popup(window->VmTestBtn->mapToGlobal(QPoint(0, window->VmTestBtn->height())));
  Require(PumpUntil([&] { return window->VmTestMenu->isVisible(); }), "the menu never opened");
  window->VmTestMenu->setActiveAction(window->VmUefiAction);
  Save(window.get(), "main-window-vm-test.png", window->VmTestMenu);
  window->VmTestMenu->hide();

  // The feedback form, writing a bug report.
  window->ReportBtn->click();
  TTeamMessageForm* form = window->TeamMessageForm();
  Require(form != nullptr, "no feedback form");
  Save(form, "feedback-tiles.png");
  form->ChooseKind(TCommunity::CommBugReport);
  Require(PumpUntil([&] { return !form->FLocked; }), "the form stayed locked");
  PumpUntil([] { return false; }, std::chrono::milliseconds(250));
  form->SubjEdit->setText("Second stick not listed after refresh");
  form->MessageMemo->setPlainText(
      "With two sticks plugged in, the refresh button lists only the first one.\n"
      "Unplugging it shows the second. Debian 12, Qt 6.4.");
  form->EmailEdit->setText("me@example.org");
  form->NickNameEdit->setText("tester");
  Save(form, "feedback-form.png");
  form->hide();
  window.reset();

  // Without a drive, the window asks for one.
  rig.letters->SetDrives({});
  window = rig.MakeWindow();
  Save(window.get(), "main-window-no-drive.png");
  window.reset();

  // The light look, as a desktop that prefers light gets it.
  rig.letters->SetDrives({});
  rig.AddDrive(stick);
  std::string sheet, error;
  Require(ReadResource(StyleSheetResource(TColorScheme::Light), sheet, error), "no light sheet");
  UseLightSchemeTextColors(true);
  app->setStyleSheet(QString::fromStdString(sheet));
  window = rig.MakeWindow();
  rig.AddFrame(*window, 3, windows);
  rig.AddFrame(*window, 7, hirens);
  Save(window.get(), "main-window-light.png");
  window.reset();
  std::remove(windows.c_str());
  std::remove(hirens.c_str());
  return g_failures == 0 ? 0 : 1;
}
