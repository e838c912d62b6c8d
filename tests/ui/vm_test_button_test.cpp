// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The window's "Test in a virtual machine" button: when it can be used, what it says
// without QEMU or OVMF, its BIOS and UEFI choices and the start's error.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "ui/ask_form.h"
#include "ui/widgets.h"
#include "ui_fixture.h"

namespace quorvane::testing {
namespace {

using namespace std::chrono_literals;

constexpr std::int64_t kDrive = 8000000000;
const std::string kNoQemu =
    "QEMU is not installed: install the package qemu-system-x86 to test a drive in a virtual "
    "machine";
const std::string kNoOvmf =
    "The UEFI firmware for virtual machines is not installed: install the package ovmf";

class VmTestButtonTest : public ::testing::Test {
 protected:
  // Answers the next plain message, keeping its text; `shown` tells that one came. The
  // watch ends with the test, so that one left waiting answers no later test's message.
  void AnswerMessage() {
    shown = false;
    auto* timer = new QTimer(&watches);
    QObject::connect(timer, &QTimer::timeout, [this, timer] {
      for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QMessageBox*>(widget);
        if (!box || !box->isVisible()) continue;
        timer->stop();
        shown = true;
        message = box->text();
        box->button(QMessageBox::Ok)->click();
        return;
      }
    });
    timer->start(5);
  }

  QPushButton* Button() const { return window->VmTestBtn; }

  TWindowRig rig;
  std::unique_ptr<TGridViewForm> window;
  bool shown = false;
  QString message;
  QObject watches;
};

TEST_F(VmTestButtonTest, UsableForASelectedDriveOutsideABurn) {
  window = rig.MakeWindow();
  EXPECT_FALSE(Button()->isEnabled()) << "no drive";
  EXPECT_EQ(Button()->text(), "Test in a virtual machine");

  rig.AddDrive(FixtureDrive('e', kDrive, kDrive - 1000000, "FAT32"));
  window->DrvsRefreshBtn->click();
  EXPECT_TRUE(Button()->isEnabled());

  // An entry held in its copy: the drive is being written.
  rig.AddFrame(*window, 7, rig.Image("a.iso", 1000));
  rig.configure_job = [](TStandInLoader& job) { job.hold = true; };
  WhenShown<TAskForm>([](TAskForm* form) { form->YesBtn->click(); });
  window->GoAddBtn->click();
  ASSERT_TRUE(PumpUntil([&] { return !rig.made.empty() && rig.made[0]->in_copy; }));
  EXPECT_FALSE(Button()->isEnabled()) << "during a burn";
  window->VmBiosAction->trigger();
  EXPECT_TRUE(rig.vm_started.empty()) << "no start while the drive is written";
  rig.made[0]->hold = false;

  // After the burn, on its "Continue", and once the window is idle again.
  ASSERT_TRUE(PumpUntil([&] {
    return !window->CancelBtn->isHidden() && window->CancelBtn->text() == "Continue";
  }));
  EXPECT_TRUE(Button()->isEnabled()) << "after the burn";
  window->VmUefiAction->trigger();
  ASSERT_EQ(rig.vm_started.size(), 1u);
  EXPECT_EQ(rig.vm_started[0], std::make_pair('e', true));
  EXPECT_EQ(window->InfoLbl->text(), "Virtual machine started (UEFI)");
  window->CancelBtn->click();
  EXPECT_TRUE(Button()->isEnabled()) << "idle again";

  // The drive pulled out.
  rig.letters->SetDrives({});
  window->DrvsRefreshBtn->click();
  EXPECT_FALSE(Button()->isEnabled());
}

TEST_F(VmTestButtonTest, WithoutQemuTheButtonSaysWhatToInstall) {
  rig.AddDrive(FixtureDrive('e', kDrive, kDrive - 1000000, "FAT32"));
  rig.vm_missing_bios = kNoQemu;
  window = rig.MakeWindow();
  EXPECT_TRUE(Button()->isEnabled()) << "a click tells what to install";
  EXPECT_EQ(Button()->toolTip().toStdString(), kNoQemu);
  EXPECT_EQ(Button()->accessibleDescription().toStdString(), kNoQemu);
  EXPECT_EQ(Button()->menu(), nullptr) << "no firmware to choose";
  AnswerMessage();
  Button()->click();
  ASSERT_TRUE(shown);
  EXPECT_EQ(message.toStdString(), kNoQemu);
  EXPECT_TRUE(rig.vm_started.empty());
}

TEST_F(VmTestButtonTest, QemuInstalledWhileTheWindowIsOpenIsFoundOnTheClick) {
  rig.AddDrive(FixtureDrive('e', kDrive, kDrive - 1000000, "FAT32"));
  rig.vm_missing_bios = kNoQemu;
  window = rig.MakeWindow();
  rig.vm_missing_bios.clear();
  // The menu opens instead of the message; the keyboard picks BIOS in it.
  const std::shared_ptr<bool> menu_shown = ChooseInNextMenu(window->VmBiosAction);
  Button()->click();
  ASSERT_TRUE(PumpUntil([&] { return !rig.vm_started.empty(); }, 10s));
  EXPECT_TRUE(*menu_shown);
  EXPECT_EQ(rig.vm_started[0], std::make_pair('e', false));
  EXPECT_EQ(Button()->menu(), window->VmTestMenu);
}

TEST_F(VmTestButtonTest, TheChoicesSayWhatUefiLacksAndTheStartsErrorIsShown) {
  rig.AddDrive(FixtureDrive('e', kDrive, kDrive - 1000000, "FAT32"));
  rig.vm_missing_uefi = kNoOvmf;
  window = rig.MakeWindow();
  ASSERT_EQ(Button()->menu(), window->VmTestMenu);
  EXPECT_EQ(window->VmUefiAction->toolTip().toStdString(), kNoOvmf);
  EXPECT_NE(window->VmBiosAction->toolTip().toStdString(), kNoOvmf);
  EXPECT_FALSE(window->VmTestMenu->accessibleName().isEmpty());

  struct TCase {
    QAction* choice;
    std::string answer;  // of the start
    bool uefi;
    QString info;       // the drive state after it
  };
  const TCase cases[] = {
      {window->VmBiosAction, "", false, "Virtual machine started (BIOS)"},
      {window->VmUefiAction, kNoOvmf, true, ""},
      {window->VmBiosAction, "No display to show the virtual machine on\r\nSet DISPLAY", false,
       ""},
  };
  for (const TCase& c : cases) {
    rig.vm_started.clear();
    rig.vm_start_error = c.answer;
    window->InfoLbl->clear();
    AnswerMessage();
    c.choice->trigger();
    ASSERT_EQ(rig.vm_started.size(), 1u) << c.answer;
    EXPECT_EQ(rig.vm_started[0], std::make_pair('e', c.uefi)) << c.answer;
    EXPECT_EQ(window->InfoLbl->text(), c.info) << c.answer;
    if (c.answer.empty()) {
      EXPECT_FALSE(shown) << "a start that worked shows no message";
    } else {
      ASSERT_TRUE(shown) << c.answer;
      // Line ends as the toolkit breaks them.
      EXPECT_EQ(message, QString::fromStdString(c.answer).replace("\r\n", "\n"));
    }
  }
}

}  // namespace
}  // namespace quorvane::testing
