// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QTreeWidget>
#include <QPushButton>
#include <filesystem>
#include <thread>

#include "common/constants.h"
#include "jobs/jobs.h"
#include "support/recorded_drive.h"
#include "ui/ask_form.h"
#include "ui/drive_check_form.h"
#include "ui/widgets.h"
#include "ui_fixture.h"

namespace quorvane::testing {
namespace {

using namespace std::chrono_literals;

constexpr std::int64_t kDrive = 8000000000;

class WindowTest : public ::testing::Test {
 protected:
  std::vector<TLdrFrame*> Frames() const { return window->Frames()->Frames(); }
  QString Label() const { return window->CapacityLabel->text(); }
  bool LabelIsRed() const { return window->CapacityLabel->styleSheet().contains("255, 0, 0"); }

  // Answers the next confirmation, keeping what it asked.
  void AnswerConfirmation(bool yes) {
    WhenShown<TAskForm>([this, yes](TAskForm* form) {
      asked = {form->TypeStr->text(), form->FstStr->text(), form->ScndStr->text(),
               form->ThrdStr->text(), form->FrthStr->text()};
      eula_shown = !form->GoEULABtn->isHidden();
      notes = form->NotesStr->isHidden() ? QString() : form->NotesStr->text();
      drive_line = form->DriveStr->isHidden() ? QString() : form->DriveStr->text();
      (yes ? form->YesBtn : form->NoBtn)->click();
    });
  }

  // Answers the next plain or error message box, keeping its text.
  void AnswerMessage() {
    WhenShown<QMessageBox>([this](QMessageBox* box) {
      message = box->text();
      box->button(box->standardButtons() & QMessageBox::Abort ? QMessageBox::Abort
                                                               : QMessageBox::Ok)
          ->click();
    });
  }

  bool RunToContinue() {
    return PumpUntil([&] {
      return !window->CancelBtn->isHidden() && window->CancelBtn->text() == "Continue";
    });
  }

  TWindowRig rig;
  std::unique_ptr<TGridViewForm> window;
  std::vector<QString> asked;
  bool eula_shown = false;
  QString notes;
  QString drive_line;
  QString message;
};

TEST_F(WindowTest, WithoutADriveNothingCanStart) {
  window = rig.MakeWindow();
  ASSERT_EQ(window->DrvSelectBox->count(), 1);
  EXPECT_EQ(window->DrvSelectBox->itemText(0), "Drive not selected");
  EXPECT_EQ(window->CapacityProgress->value(), 0);
  EXPECT_EQ(Label(), "");
  EXPECT_TRUE(window->GoAddBtn->isHidden());
  EXPECT_TRUE(window->GoNewBtn->isHidden());
  EXPECT_FALSE(window->LdrAddBtn->isEnabled());
  EXPECT_TRUE(window->CancelBtn->isHidden());
  EXPECT_EQ(window->size(), QSize(800, 272));
}

TEST_F(WindowTest, CheckDriveListsEachEntryWithItsState) {
  window = rig.MakeWindow();
  EXPECT_FALSE(window->DriveCheckBtn->isEnabled()) << "no drive to check";
  window.reset();
  const std::string root = rig.AddDrive(FixtureDrive('e', kDrive, kDrive / 2, "FAT32"));
  RecordEntry(root, kEntryA, "a.iso", {{"a.iso", std::string(6000, 'a')}});
  RecordEntry(root, kEntryB, "b.iso", {{"b.iso", std::string(2000, 'b')}});
  std::filesystem::remove(root + "Quorvane/" + kEntryB + "/b.iso");
  window = rig.MakeWindow();
  ASSERT_TRUE(window->DriveCheckBtn->isEnabled());
  window->DriveCheckBtn->click();
  TDriveCheckForm* form = window->findChild<TDriveCheckForm*>();
  ASSERT_NE(form, nullptr);
  ASSERT_TRUE(PumpUntil([&] { return form->ResultShown(); }));
  EXPECT_TRUE(form->isVisible());
  EXPECT_EQ(form->StatusLbl->text(), "1 of 2 entries intact: 0 changed, 1 missing.");
  ASSERT_EQ(form->EntryList->topLevelItemCount(), 2);
  const QTreeWidgetItem* a = form->EntryList->topLevelItem(0);
  const QTreeWidgetItem* b = form->EntryList->topLevelItem(1);
  EXPECT_EQ(a->text(0), "a.iso");
  EXPECT_EQ(a->text(1), "intact");
  EXPECT_EQ(b->text(1), "missing");
  EXPECT_EQ(b->text(2).toStdString(), "Quorvane/" + std::string(kEntryB) + "/b.iso is gone");
  EXPECT_EQ(form->CloseBtn->text(), "Close");
  form->CloseBtn->click();
  EXPECT_TRUE(PumpUntil([&] { return window->findChild<TDriveCheckForm*>() == nullptr; }));
}

TEST_F(WindowTest, TheDriveListShowsWhatWillBeErased) {
  rig.AddDrive(FixtureDrive('e', kDrive, 1000000000, "FAT32", "KINGSTON"));
  window = rig.MakeWindow();
  EXPECT_EQ(window->DrvSelectBox->currentText().toStdString(),
            "e:\\, KINGSTON, FAT32 (/dev/sdx, Fixture Stick 8G)");
  // A drive plugged in later shows after a refresh.
  rig.AddDrive(FixtureDrive('f', kDrive, kDrive, "NTFS", "BIG"));
  EXPECT_EQ(window->DrvSelectBox->count(), 1);
  window->DrvsRefreshBtn->click();
  EXPECT_EQ(window->DrvSelectBox->count(), 2);
  EXPECT_EQ(window->DrvSelectBox->currentIndex(), 0);
}

struct DisplayCase {
  const char* name;
  std::int64_t image;
  bool need_ntfs;
  bool add_shown, new_shown, start_enabled;
  const char* info;
  const char* size_text;
  bool red;
  int bar;
};

void PrintTo(const DisplayCase& c, std::ostream* os) { *os << c.name; }

class CapacityDisplay : public WindowTest, public ::testing::WithParamInterface<DisplayCase> {};

TEST_P(CapacityDisplay, ShowsModeBarAndSizeText) {
  const DisplayCase& c = GetParam();
  rig.AddDrive(FixtureDrive('e', kDrive, 1000000000, "FAT32"));
  window = rig.MakeWindow();
  rig.AddFrame(*window, 7, rig.Image("image.iso", c.image, c.need_ntfs));
  EXPECT_EQ(!window->GoAddBtn->isHidden(), c.add_shown);
  EXPECT_EQ(!window->GoNewBtn->isHidden(), c.new_shown);
  QPushButton* start = c.add_shown ? window->GoAddBtn : window->GoNewBtn;
  EXPECT_EQ(start->isEnabled(), c.start_enabled);
  EXPECT_EQ(window->LdrAddBtn->isEnabled(), c.start_enabled);
  EXPECT_EQ(window->InfoLbl->text().toStdString(), c.info);
  EXPECT_EQ(Label().toStdString(), c.size_text);
  EXPECT_EQ(LabelIsRed(), c.red);
  EXPECT_EQ(window->CapacityProgress->value(), c.bar);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CapacityDisplay,
    ::testing::Values(
        DisplayCase{"NeedsNTFS", 5000000000, true, false, true, true, "Drive format required",
                    "4.74 GiB / 7.45 GiB", false, 6357},
        DisplayCase{"FitsAsItIs", 700000000, false, true, false, true, "", "7.17 GiB / 7.45 GiB",
                    false, 9625},
        DisplayCase{"TooLarge", kDrive - 4136960 + 1, false, false, true, false, "",
                    "7.45 GiB / 7.45 GiB", true, 10000}),
    [](const ::testing::TestParamInfo<DisplayCase>& info) { return info.param.name; });

TEST_F(WindowTest, ClosingTheFrameThatDidNotFitBringsTheStartBack) {
  rig.AddDrive(FixtureDrive('e', kDrive, 1000000000, "FAT32"));
  window = rig.MakeWindow();
  rig.AddFrame(*window, 7, rig.Image("small.iso", 100000000));
  TLdrFrame* big = rig.AddFrame(*window, 7, rig.Image("big.iso", kDrive));
  EXPECT_FALSE(window->GoNewBtn->isEnabled());
  EXPECT_TRUE(LabelIsRed());
  big->CloseBtn->click();
  EXPECT_FALSE(window->GoAddBtn->isHidden());
  EXPECT_TRUE(window->GoAddBtn->isEnabled());
  EXPECT_FALSE(LabelIsRed());
}

struct RefusalCase {
  const char* name;
  std::vector<std::pair<int, bool>> frames;  // drop-down index, image chosen
  bool close_all;
  const char* message;
};

void PrintTo(const RefusalCase& c, std::ostream* os) { *os << c.name; }

class PreBurnCheck : public WindowTest, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(PreBurnCheck, RefusesIncompleteEntries) {
  rig.AddDrive(FixtureDrive('e', kDrive, kDrive - 1000000, "FAT32"));
  window = rig.MakeWindow();
  int n = 0;
  for (const auto& [choice, with_image] : GetParam().frames) {
    const std::string image = with_image ? rig.Image(std::to_string(n++) + ".iso", 1000) : "";
    rig.AddFrame(*window, choice, image);
  }
  if (GetParam().close_all)
    for (TLdrFrame* frame : Frames()) frame->CloseBtn->click();
  ASSERT_TRUE(window->GoAddBtn->isEnabled());
  AnswerMessage();
  window->GoAddBtn->click();
  EXPECT_EQ(message.toStdString(), GetParam().message);
  EXPECT_EQ(window->Jobs()->Count(), 0);
  EXPECT_TRUE(window->CancelBtn->isHidden());
  EXPECT_TRUE(window->DrvSelectBox->isEnabled());
  EXPECT_EQ(window->Frames()->LiveFrames().size(), GetParam().close_all ? 0u : GetParam().frames.size());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PreBurnCheck,
    ::testing::Values(
        RefusalCase{"SecondWithoutImage", {{7, true}, {7, false}}, false,
                    "File not found for loader 1"},
        RefusalCase{"FirstWithoutType", {{0, false}, {7, true}}, false,
                    "Type for loader 0 not selected"},
        RefusalCase{"AllClosed", {{7, true}, {7, true}}, true, "There are no loaders selected"}),
    [](const ::testing::TestParamInfo<RefusalCase>& info) { return info.param.name; });

TEST_F(WindowTest, TheCheckBeforeABurnRefusesOrStatesTheMountsInTheQuestion) {
  rig.AddDrive(FixtureDrive('e', kDrive, kDrive - 1000000, "FAT32"));
  std::vector<TPreflightRequest> asked_checks;
  TPreflightReport answer;
  rig.preflight = [&](const TPreflightRequest& request) {
    asked_checks.push_back(request);
    return answer;
  };
  window = rig.MakeWindow();
  const std::string image = rig.Image("hbcd.iso", 1000);
  rig.AddFrame(*window, 7, image);
  ASSERT_TRUE(window->GoAddBtn->isEnabled());

  answer.Refuse("the archive library /usr/lib/p7zip/7z.so cannot be used: not a regular file");
  AnswerMessage();
  window->GoAddBtn->click();
  EXPECT_EQ(message.toStdString(),
            "the archive library /usr/lib/p7zip/7z.so cannot be used: not a regular file");
  EXPECT_TRUE(asked.empty()) << "no question after a refusal";
  EXPECT_EQ(window->Jobs()->Count(), 0);
  EXPECT_EQ(rig.prep->runs, 0);
  EXPECT_TRUE(window->DrvSelectBox->isEnabled());
  ASSERT_EQ(asked_checks.size(), 1u);
  EXPECT_EQ(asked_checks[0].Drive, 'e');
  EXPECT_EQ(asked_checks[0].Mode, FormatModeAdd);
  ASSERT_EQ(asked_checks[0].Entries.size(), 1u);
  EXPECT_EQ(asked_checks[0].Entries[0].LoaderType, 6);
  EXPECT_EQ(asked_checks[0].Entries[0].SourceFile, image);
  EXPECT_EQ(asked_checks[0].Entries[0].NeedSpace, 1000);

  answer = TPreflightReport();
  answer.ForeignMounts = {{"/dev/sdx1", "/media/ann/STICK", "by the desktop for user ann"}};
  answer.Remark("Note: a remark");
  AnswerConfirmation(false);
  window->GoAddBtn->click();
  EXPECT_EQ(notes.toStdString(),
            "Mounted now, not by this program:\n  /dev/sdx1 at /media/ann/STICK, mounted by the "
            "desktop for user ann\nThe entries are written through them while they stay "
            "mounted.\nNote: a remark");
  EXPECT_EQ(window->Jobs()->Count(), 0);
  // Without anything to state, the question has no notes.
  answer = TPreflightReport();
  AnswerConfirmation(false);
  window->GoAddBtn->click();
  EXPECT_EQ(notes, QString());
}

TEST_F(WindowTest, ABurnInAddModeRunsToContinueAndBack) {
  const std::string root = rig.AddDrive(FixtureDrive('e', kDrive, kDrive - 1000000, "FAT32"));
  window = rig.MakeWindow();
  rig.AddFrame(*window, 7, rig.Image("hbcd.iso", 1000));
  rig.AddFrame(*window, 8, rig.Image("pmagic.iso", 1000));
  ASSERT_TRUE(window->GoAddBtn->isEnabled());
  const int listings = rig.letters->Listings();

  AnswerConfirmation(true);
  window->GoAddBtn->click();
  EXPECT_EQ(asked, (std::vector<QString>{"Warning",
                                         "Master Boot Code of selected drive will be overwritten.",
                                         "It's safe for your data", "Continue?",
                                         "By continuing, you accept the License Agreement Terms"}));
  EXPECT_TRUE(eula_shown);
  // The drive step has begun: the interface is locked and the frames minimized.
  EXPECT_FALSE(window->DrvSelectBox->isEnabled());
  EXPECT_FALSE(window->DrvsRefreshBtn->isEnabled());
  EXPECT_FALSE(window->CancelBtn->isHidden());
  EXPECT_EQ(window->CancelBtn->text(), "Cancel");
  EXPECT_TRUE(window->GoAddBtn->isHidden());
  for (TLdrFrame* frame : Frames()) {
    EXPECT_TRUE(frame->Minimized);
    EXPECT_TRUE(frame->LdrSelectBox->isHidden());
    EXPECT_FALSE(frame->LdrTypeNameLbl->isHidden());
    EXPECT_FALSE(frame->ISOSelectBtn->isEnabled());
  }
  EXPECT_EQ(Frames()[0]->LdrTypeNameLbl->text(), "Hiren's Boot CD");

  ASSERT_TRUE(RunToContinue());
  EXPECT_EQ(rig.prep->mode, FormatModeAdd);
  EXPECT_EQ(rig.prep->fs, FileSystemNTFS);
  EXPECT_EQ(rig.prep->drive, 'e');
  ASSERT_EQ(window->Jobs()->Count(), 2);
  EXPECT_EQ(window->Jobs()->GetJobById(0)->Name(), "LdrFrame0");
  EXPECT_EQ(window->Jobs()->GetJobById(1)->LType(), 7);
  for (TLdrFrame* frame : Frames()) {
    EXPECT_EQ(frame->StatusLbl->text(), "Finished");
    EXPECT_EQ(frame->StatusColor(), kGreenYellow);
    EXPECT_EQ(frame->ProgressBar->value(), 100);
    EXPECT_FALSE(frame->CloseBtn->isEnabled());
  }
  EXPECT_TRUE(Exists(root + "menu.lst"));
  int folders = 0;
  for (const auto& entry : std::filesystem::directory_iterator(root + "Quorvane")) {
    (void)entry;
    ++folders;
  }
  EXPECT_EQ(folders, 2);

  window->CancelBtn->click();
  EXPECT_EQ(window->CancelBtn->text(), "Cancel");
  EXPECT_TRUE(window->CancelBtn->isHidden());
  EXPECT_TRUE(Frames().empty());
  EXPECT_GT(rig.letters->Listings(), listings) << "the drive list is read again";
  EXPECT_EQ(window->DrvSelectBox->currentIndex(), 0);
  EXPECT_TRUE(window->DrvSelectBox->isEnabled());
  EXPECT_FALSE(window->GoAddBtn->isHidden());
  EXPECT_EQ(window->height(), 272);
}

TEST_F(WindowTest, ABurnInNewModeFormatsWithTheChosenFileSystem) {
  rig.AddDrive(FixtureDrive('e', kDrive, 1000000000, "FAT32"));
  window = rig.MakeWindow();
  rig.AddFrame(*window, 3, rig.Image("win10.iso", 5000000000, true));
  rig.prep->hold = true;
  AnswerConfirmation(true);
  window->GoNewBtn->click();
  EXPECT_EQ(asked.at(1), "Selected drive will be formated.");
  EXPECT_EQ(asked.at(2), "Formating will erase ALL data on this disk!");
  EXPECT_EQ(window->InfoLbl->text(), "Formatting...");
  EXPECT_EQ(rig.prep->mode, FormatModeNew);
  EXPECT_EQ(rig.prep->fs, FileSystemNTFS);
  rig.prep->hold = false;
  ASSERT_TRUE(RunToContinue());
  EXPECT_EQ(window->InfoLbl->text(), "");
  EXPECT_EQ(Frames()[0]->StatusLbl->text(), "Finished");
}

TEST_F(WindowTest, TheCapacityCheckIsOfferedForNewModeShowsItsProgressAndCanBeCancelled) {
  rig.AddDrive(FixtureDrive('e', kDrive, 1000000000, "FAT32"));
  window = rig.MakeWindow();
  rig.AddFrame(*window, 7, rig.Image("a.iso", 1000));
  EXPECT_TRUE(window->CapacityCheckBox->isHidden()) << "add mode repartitions nothing";
  rig.AddFrame(*window, 3, rig.Image("win10.iso", 5000000000, true));
  ASSERT_FALSE(window->GoNewBtn->isHidden());
  EXPECT_FALSE(window->CapacityCheckBox->isHidden());
  EXPECT_FALSE(window->CapacityCheckBox->isChecked());
  window->CapacityCheckBox->setChecked(true);
  rig.prep->progress = {0, 42};
  rig.prep->wait_for_cancel = true;
  AnswerConfirmation(true);
  window->GoNewBtn->click();
  const bool shown =
      PumpUntil([&] { return window->InfoLbl->text() == "Checking capacity... 42%"; });
  EXPECT_TRUE(rig.prep->options.CheckCapacity);
  EXPECT_FALSE(window->CapacityCheckBox->isEnabled());
  AnswerMessage();
  window->CancelBtn->click();
  const bool ended = PumpUntil([&] { return !message.isEmpty(); });
  rig.prep->wait_for_cancel = false;  // a step that missed the request must still end
  ASSERT_TRUE(shown);
  ASSERT_TRUE(ended);
  EXPECT_EQ(message, "Drive format error:\ncancelled");
  EXPECT_TRUE(window->CapacityCheckBox->isEnabled());
  EXPECT_TRUE(window->CancelBtn->isHidden());
}

TEST_F(WindowTest, TheReadBackIsOnByDefaultAndCanBeTurnedOffForABurn) {
  rig.AddDrive(FixtureDrive('e', kDrive, 1000000000, "FAT32"));
  window = rig.MakeWindow();
  rig.AddFrame(*window, 7, rig.Image("a.iso", 1000));
  EXPECT_FALSE(window->VerifyCheckBox->isHidden()) << "both modes write entries";
  EXPECT_TRUE(window->VerifyCheckBox->isChecked());
  window->VerifyCheckBox->setChecked(false);
  rig.prep->hold = true;
  AnswerConfirmation(true);
  window->GoAddBtn->click();
  EXPECT_FALSE(window->VerifyCheckBox->isEnabled());
  rig.prep->hold = false;
  ASSERT_TRUE(RunToContinue());
  EXPECT_FALSE(rig.prep->options.Verify);
}

TEST_F(WindowTest, AnsweringNoStartsNothing) {
  rig.AddDrive(FixtureDrive('e', kDrive, kDrive - 1000000, "FAT32"));
  window = rig.MakeWindow();
  rig.AddFrame(*window, 7, rig.Image("a.iso", 1000));
  AnswerConfirmation(false);
  window->GoAddBtn->click();
  EXPECT_EQ(asked.size(), 5u);
  EXPECT_EQ(window->Jobs()->Count(), 0);
  EXPECT_EQ(rig.prep->runs, 0);
  EXPECT_TRUE(window->CancelBtn->isHidden());
  EXPECT_FALSE(Frames()[0]->Minimized);
}

class BurnControlTest : public WindowTest {
 protected:
  // Two entries; the first stays in its copy until released.
  void StartHeldBurn() {
    root = rig.AddDrive(FixtureDrive('e', kDrive, kDrive - 1000000, "FAT32"));
    window = rig.MakeWindow();
    rig.AddFrame(*window, 7, rig.Image("a.iso", 1000));
    rig.AddFrame(*window, 7, rig.Image("b.iso", 1000));
    rig.configure_job = [this](TStandInLoader& job) {
      if (rig.made.size() == 1) job.hold = true;
    };
    AnswerConfirmation(true);
    window->GoAddBtn->click();
    // Held in its copy, with the first quarter shown.
    ASSERT_TRUE(PumpUntil([&] {
      return !rig.made.empty() && rig.made[0]->in_copy && Frame(0)->ProgressBar->value() == 25;
    }));
  }
  TLdrFrame* Frame(int i) { return Frames().at(i); }
  std::string root;
};

TEST_F(BurnControlTest, AFramesCloseButtonDeactivatesActivatesAndCancels) {
  StartHeldBurn();
  TLdrFrame* waiting = Frame(1);
  waiting->CloseBtn->click();
  EXPECT_EQ(waiting->StatusLbl->text(), "Deactivated");
  EXPECT_EQ(waiting->CloseBtn->StyleLookup(), "applybutton");
  EXPECT_TRUE(waiting->CloseBtn->isEnabled());
  EXPECT_DOUBLE_EQ(Opacity(waiting), 0.9);
  EXPECT_FALSE(rig.made[1]->Active());
  waiting->CloseBtn->click();
  EXPECT_EQ(waiting->StatusLbl->text(), "");
  EXPECT_EQ(waiting->CloseBtn->StyleLookup(), "cancelbutton");
  EXPECT_DOUBLE_EQ(Opacity(waiting), 1.0);
  EXPECT_TRUE(rig.made[1]->Active());

  TLdrFrame* running = Frame(0);
  EXPECT_EQ(running->ProgressBar->value(), 25);
  running->CloseBtn->click();
  EXPECT_EQ(running->StatusLbl->text(), "Cancelling");
  EXPECT_FALSE(running->CloseBtn->isEnabled());
  EXPECT_TRUE(rig.made[0]->Canceled());

  // The cancelled entry is rolled back; the next one still runs.
  ASSERT_TRUE(RunToContinue());
  EXPECT_EQ(running->StatusLbl->text(), "Cancelled");
  EXPECT_EQ(running->StatusColor(), kRed);
  EXPECT_EQ(rig.made[0]->Status(), "Cancelled");
  EXPECT_EQ(waiting->StatusLbl->text(), "Finished");
  EXPECT_EQ(rig.made[1]->Status(), "Finished");
}

TEST_F(BurnControlTest, CancelStopsTheRunAndLeavesTheRestWaiting) {
  StartHeldBurn();
  window->CancelBtn->click();
  EXPECT_FALSE(window->CancelBtn->isEnabled());
  for (TLdrFrame* frame : Frames()) EXPECT_FALSE(frame->CloseBtn->isEnabled());
  ASSERT_TRUE(RunToContinue());
  EXPECT_TRUE(window->CancelBtn->isEnabled());
  EXPECT_EQ(rig.made[0]->Status(), "Cancelled");
  EXPECT_EQ(rig.made[1]->Status(), "Ready");
  EXPECT_FALSE(rig.made[1]->Active()) << "the jobs left over are deactivated";
  EXPECT_FALSE(window->Jobs()->Starting());

  // A second burn from the same window: a fresh Cancel button that works.
  window->CancelBtn->click();
  rig.configure_job = nullptr;
  rig.AddFrame(*window, 7, rig.Image("c.iso", 1000));
  AnswerConfirmation(true);
  window->GoAddBtn->click();
  EXPECT_EQ(window->CancelBtn->text(), "Cancel");
  EXPECT_TRUE(window->CancelBtn->isEnabled());
  ASSERT_TRUE(RunToContinue());
  EXPECT_EQ(window->Jobs()->Count(), 3);
  EXPECT_EQ(window->Jobs()->GetJobByName("LdrFrame0")->Status(), "Finished");
}

TEST_F(BurnControlTest, ClosingTheWindowWaitsForTheRunningEntry) {
  StartHeldBurn();
  bool closed = false;
  QObject::connect(window.get(), &TGridViewForm::Closed, [&] { closed = true; });
  window->CloseButton->click();
  EXPECT_TRUE(closed);
  EXPECT_TRUE(window->isHidden());
  EXPECT_TRUE(rig.made[0]->Finished()) << "the entry was cancelled and has ended";
  EXPECT_EQ(rig.made[1]->Status(), "Ready");
  // Its roll-back ran before the run ended: nothing of the entry is left on the drive.
  EXPECT_EQ(rig.made[0]->Status(), "Cancelled");
  EXPECT_FALSE(rig.made[0]->Vars.JobDir.empty());
  EXPECT_FALSE(Exists(rig.made[0]->Vars.JobDir));
  EXPECT_EQ(window->Jobs()->Current(), nullptr);
}

TEST_F(BurnControlTest, ClosingRightAfterTheEntryEndedStillRollsItBack) {
  StartHeldBurn();
  // The entry's thread ends while the interface is busy: its completion (the roll-back)
  // is still queued when the window is closed.
  rig.made[0]->Cancel();
  for (int i = 0; i < 5000 && !rig.made[0]->Finished(); ++i) std::this_thread::sleep_for(1ms);
  ASSERT_TRUE(rig.made[0]->Finished());
  window->CloseButton->click();
  EXPECT_EQ(rig.made[0]->Status(), "Cancelled");
  EXPECT_FALSE(Exists(rig.made[0]->Vars.JobDir)) << "the cancelled entry was rolled back";
  EXPECT_EQ(rig.made[1]->Status(), "Ready");
}

TEST_F(WindowTest, ClosingTheWindowWaitsForTheDriveStep) {
  rig.AddDrive(FixtureDrive('e', kDrive, kDrive - 1000000, "FAT32"));
  window = rig.MakeWindow();
  rig.AddFrame(*window, 7, rig.Image("a.iso", 1000));
  rig.prep->hold = true;
  AnswerConfirmation(true);
  window->GoAddBtn->click();
  std::thread release([this] {
    std::this_thread::sleep_for(150ms);
    rig.prep->hold = false;
  });
  window->CloseButton->click();
  release.join();
  EXPECT_EQ(rig.prep->runs, 1) << "the boot code was written to its end before the run ended";
}

TEST_F(WindowTest, AFormatErrorReturnsToIdleAndTheNextStartWorks) {
  rig.AddDrive(FixtureDrive('e', kDrive, 1000000000, "FAT32"));
  window = rig.MakeWindow();
  rig.AddFrame(*window, 3, rig.Image("win10.iso", 5000000000, true));
  rig.prep->error = "Diskpart script failed";
  AnswerConfirmation(true);
  AnswerMessage();
  window->GoNewBtn->click();
  ASSERT_TRUE(PumpUntil([&] { return !message.isEmpty(); }));
  EXPECT_EQ(message, "Drive format error:\nDiskpart script failed");
  PumpUntil([&] { return Frames().empty(); });
  EXPECT_TRUE(Frames().empty());
  EXPECT_FALSE(window->Jobs()->Starting());
  EXPECT_TRUE(window->CancelBtn->isHidden());
  EXPECT_TRUE(window->DrvSelectBox->isEnabled());
  EXPECT_FALSE(window->GoAddBtn->isHidden()) << "the drive display is computed again";
  EXPECT_FALSE(rig.made[0]->Active());

  rig.prep->error.clear();
  rig.AddFrame(*window, 7, rig.Image("hbcd.iso", 1000));
  AnswerConfirmation(true);
  window->GoAddBtn->click();
  ASSERT_TRUE(RunToContinue());
  EXPECT_EQ(rig.made.back()->Status(), "Finished");
}

TEST_F(WindowTest, ABootCodeErrorHidesTheStartUntilTheDrivesAreReadAgain) {
  rig.AddDrive(FixtureDrive('e', kDrive, kDrive - 1000000, "FAT32"));
  window = rig.MakeWindow();
  rig.AddFrame(*window, 7, rig.Image("a.iso", 1000));
  rig.prep->error = "Error writing to device";
  AnswerConfirmation(true);
  AnswerMessage();
  window->GoAddBtn->click();
  ASSERT_TRUE(PumpUntil([&] { return !message.isEmpty(); }));
  EXPECT_EQ(message, "MBR replacing error:\nError writing to device");
  PumpUntil([&] { return Frames().empty(); });
  EXPECT_TRUE(window->CancelBtn->isHidden());
  EXPECT_TRUE(window->GoAddBtn->isHidden());
  EXPECT_FALSE(window->LdrAddBtn->isEnabled());
  window->DrvsRefreshBtn->click();
  EXPECT_FALSE(window->GoAddBtn->isHidden());
  EXPECT_TRUE(window->LdrAddBtn->isEnabled());
}

TEST_F(WindowTest, TheLinksOpenTheProductsPages) {
  window = rig.MakeWindow();
  window->Button1->click();
  EXPECT_EQ(window->Button1->text().toStdString(), "quorvane.org");
  EXPECT_EQ(rig.opened_urls, std::vector<std::string>{kSiteHomeUrl});
  EXPECT_EQ(window->IconName(), "64w");
  EXPECT_FALSE(window->IconImg->pixmap().isNull()) << "the picture is read from the resources";
}

TEST_F(WindowTest, TheEraseQuestionNamesTheDevice) {
  TUSBDriveSet stick = FixtureDrive('e', kDrive, 1000000000, "FAT32", "KINGSTON");
  stick.VolumeDevice = "/dev/sdx1";
  rig.AddDrive(stick);
  window = rig.MakeWindow();
  rig.AddFrame(*window, 7, rig.Image("big.iso", 5000000000, true));
  ASSERT_TRUE(window->GoNewBtn->isEnabled());
  AnswerConfirmation(false);
  window->GoNewBtn->click();
  ASSERT_FALSE(asked.empty());
  EXPECT_EQ(asked[1], "Selected drive will be formated.");
  // The same device as the page and quorvane-cli name: the disk, its partition in brackets.
  EXPECT_EQ(drive_line, "Drive: /dev/sdx (/dev/sdx1), Fixture Stick 8G, 7.45 GiB, label \"KINGSTON\"");
}

TEST_F(WindowTest, DrivesPluggedInOrPulledOutShowByThemselves) {
  window = rig.MakeWindow();
  EXPECT_EQ(window->InfoLbl->text(), "Plug in a USB drive");
  ASSERT_NE(rig.device_events, nullptr);
  const int listings = rig.letters->Listings();
  rig.AddDrive(FixtureDrive('e', kDrive, kDrive, "FAT32", "FIRST"));
  rig.device_events->Push({"add", "block", "disk", "sdx"});
  rig.device_events->Push({"add", "block", "partition", "sdx1"});
  ASSERT_TRUE(PumpUntil([&] { return window->DrvSelectBox->currentText().contains("FIRST"); }));
  EXPECT_EQ(window->InfoLbl->text(), "");
  EXPECT_EQ(rig.letters->Listings(), listings + 1) << "one reading for the burst";

  // A second stick: the chosen one stays chosen.
  TUSBDriveSet second = FixtureDrive('f', kDrive, kDrive, "NTFS", "SECOND");
  second.DiskDevice = "/dev/sdy";
  rig.AddDrive(second);
  window->DrvsRefreshBtn->click();
  window->DrvSelectBox->setCurrentIndex(1);
  TUSBDriveSet third = FixtureDrive('g', kDrive, kDrive, "FAT32", "THIRD");
  third.DiskDevice = "/dev/sdz";
  rig.letters->SetDrives({third, FixtureDrive('e', kDrive, kDrive, "FAT32", "FIRST"), second});
  rig.device_events->Push({"add", "block", "disk", "sdz"});
  ASSERT_TRUE(PumpUntil([&] { return window->DrvSelectBox->count() == 3; }));
  EXPECT_TRUE(window->DrvSelectBox->currentText().contains("SECOND"))
      << window->DrvSelectBox->currentText().toStdString();

  // All pulled out.
  rig.letters->SetDrives({});
  rig.device_events->Push({"remove", "block", "disk", "sdx"});
  ASSERT_TRUE(PumpUntil([&] { return window->InfoLbl->text() == "Plug in a USB drive"; }));
  EXPECT_EQ(window->DrvSelectBox->currentText(), "Drive not selected");
}

TEST_F(BurnControlTest, TheTitleShowsTheProgressAndTheEndIsNotified) {
  StartHeldBurn();
  // Two entries, the first a quarter through.
  EXPECT_EQ(window->windowTitle(), QString::fromUtf8("12% \u00b7 Quorvane"));
  EXPECT_TRUE(Frame(0)->StatusLbl->text().startsWith("Running")) << Frame(0)->StatusLbl->text().toStdString();
  // A drive plugged in during the burn changes nothing until the burn is over.
  const int listings = rig.letters->Listings();
  rig.device_events->Push({"add", "block", "disk", "sdq"});
  PumpUntil([] { return false; }, 300ms);
  EXPECT_EQ(rig.letters->Listings(), listings);
  rig.made[0]->hold = false;
  ASSERT_TRUE(RunToContinue());
  EXPECT_EQ(window->windowTitle(), "Quorvane");
  ASSERT_EQ(rig.notifications.size(), 1u);
  EXPECT_EQ(rig.notifications[0].first, "Quorvane: the USB drive is ready");
  EXPECT_EQ(rig.notifications[0].second, "2 of 2 entries written to /dev/sdx");
  window->CancelBtn->click();
  EXPECT_GT(rig.letters->Listings(), listings);
}

TEST(WindowTexts, TheRunningFrameTellsSpeedTimeLeftAndTheStepAtTheEnd) {
  TWindowRig rig;
  auto window = rig.MakeWindow();
  TStandInLoader job(7, rig.Image("t.iso", 1000), 'e', "LdrFrame0");
  EXPECT_EQ(window->RunningJobText(job), "Running");
  job.Vars.BytesTotal = 100000000;
  job.Vars.BytesDone = 0;
  window->RunningJobText(job);
  std::this_thread::sleep_for(600ms);
  job.Vars.BytesDone = 30000000;
  const QString text = window->RunningJobText(job);
  EXPECT_TRUE(text.startsWith("Running, ")) << text.toStdString();
  EXPECT_TRUE(text.contains(" MB/s, ")) << text.toStdString();
  EXPECT_TRUE(text.endsWith(" s left")) << text.toStdString();
  job.SetStep("flushing to the drive");
  EXPECT_EQ(window->RunningJobText(job), "Running: flushing to the drive");
}

}  // namespace
}  // namespace quorvane::testing
