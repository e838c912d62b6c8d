// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QTest>

#include "common/constants.h"
#include "common/session_state.h"
#include "startup/front_ends.h"
#include "ui/ask_form.h"
#include "ui/team_message_form.h"
#include "ui/widgets.h"
#include "ui_fixture.h"

namespace quorvane::testing {
namespace {

using namespace std::chrono_literals;

bool Ask(std::function<void(TAskForm*)> answer, bool show_eula = true) {
  WhenShown<TAskForm>(std::move(answer));
  return AskConfirmation("Warning", "First", "Second", "Continue?", "Footer", show_eula);
}

TEST(AskConfirmation, OnlyYesConfirms) {
  EXPECT_FALSE(Ask([](TAskForm* form) { QTest::keyClick(form, Qt::Key_Escape); }));
  EXPECT_FALSE(Ask([](TAskForm* form) { form->NoBtn->click(); }));
  EXPECT_TRUE(Ask([](TAskForm* form) { form->YesBtn->click(); }));
  // The kept form starts from "no" again.
  EXPECT_FALSE(Ask([](TAskForm* form) { form->close(); }));
}

TEST(AskConfirmation, ShowsItsTextsAndTheLicenceLinkOnRequest) {
  std::vector<std::string> opened;
  SetUiUrlOpener([&](const std::string& url) { opened.push_back(url); });
  bool eula_visible = true;
  QString first, footer;
  Ask([&](TAskForm* form) {
        eula_visible = !form->GoEULABtn->isHidden();
        first = form->FstStr->text();
        footer = form->FrthStr->text();
        form->NoBtn->click();
      },
      false);
  EXPECT_FALSE(eula_visible);
  EXPECT_EQ(first, "First");
  EXPECT_EQ(footer, "Footer");
  Ask([&](TAskForm* form) {
    eula_visible = !form->GoEULABtn->isHidden();
    form->GoEULABtn->click();
    form->NoBtn->click();
  });
  EXPECT_TRUE(eula_visible);
  EXPECT_EQ(opened, std::vector<std::string>{kSiteLicenseUrl});
  SetUiUrlOpener(nullptr);
}

TEST(FallbackDialog, AsksInAWarningBox) {
  char name[] = "quorvane";
  char* argv[] = {name, nullptr};
  std::unique_ptr<IFallbackDialog> dialog = CreateFallbackDialog(1, argv);
  QString text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  WhenShown<QMessageBox>([&](QMessageBox* box) {
    text = box->text();
    icon = box->icon();
    box->button(QMessageBox::Yes)->click();
  });
  EXPECT_EQ(dialog->AskYesNo("Sorry\r\nOnline start error: x\r\nWould you?"), TDialogAnswer::Yes);
  EXPECT_EQ(text, "Sorry\nOnline start error: x\nWould you?");
  EXPECT_EQ(icon, QMessageBox::Warning);
  WhenShown<QMessageBox>([](QMessageBox* box) { box->button(QMessageBox::No)->click(); });
  EXPECT_EQ(dialog->AskYesNo("again"), TDialogAnswer::No);
}

class FeedbackFormTest : public ::testing::Test {
 protected:
  FeedbackFormTest() {
    window = rig.MakeWindow();
    window->ReportBtn->click();
    form = window->TeamMessageForm();
  }

  void Choose(TClickRect* tile) {
    QTest::mouseClick(tile, Qt::LeftButton);
    ASSERT_TRUE(PumpUntil([&] { return !form->FLocked; }));
  }
  void PressEsc() {
    QTest::keyClick(form, Qt::Key_Escape);
    PumpUntil([] { return false; }, 120ms);  // the Esc tile's flash
  }
  std::string Memo() const { return form->MessageText(); }

  TWindowRig rig;
  std::unique_ptr<TGridViewForm> window;
  TTeamMessageForm* form = nullptr;
};

TEST_F(FeedbackFormTest, EachKindKeepsItsOwnText) {
  ASSERT_NE(form, nullptr);
  EXPECT_TRUE(form->isVisible());
  EXPECT_EQ(form->FState, TCommunity::CommNone);
  EXPECT_TRUE(form->MessageRect->isHidden());
  Choose(form->BugRect);
  EXPECT_EQ(form->FState, TCommunity::CommBugReport);
  EXPECT_EQ(Memo(), KindPlaceholder(TCommunity::CommBugReport));
  EXPECT_EQ(form->InfoLbl->text(), "Post any bug to our forum directly");
  EXPECT_EQ(form->PostMsgBtn->Fill(), QColor("orangered"));
  EXPECT_EQ(form->BugRect->size(), QSize(138, 40));
  EXPECT_FALSE(form->MessageRect->isHidden());

  // Typing into the placeholder replaces it.
  form->MessageMemo->setFocus();
  QTest::keyClicks(form->MessageMemo, "it crashed");
  EXPECT_EQ(Memo(), "it crashed");

  Choose(form->SuggestionRect);
  EXPECT_EQ(Memo(), KindPlaceholder(TCommunity::CommSuggestion));
  EXPECT_DOUBLE_EQ(Opacity(form->SuggestionRect), 1.0);
  EXPECT_DOUBLE_EQ(Opacity(form->BugRect), 0.75);
  Choose(form->BugRect);
  EXPECT_EQ(Memo(), "it crashed");

  // An emptied field keeps the kind's placeholder.
  form->MessageMemo->clear();
  Choose(form->OtherRect);
  Choose(form->BugRect);
  EXPECT_EQ(Memo(), KindPlaceholder(TCommunity::CommBugReport));
}

TEST_F(FeedbackFormTest, EscWaitsForTheFadeThenGoesBackAndCloses) {
  QTest::mouseClick(form->GratitudeRect, Qt::LeftButton);
  ASSERT_TRUE(form->FLocked);
  form->EscRectClick();  // during the fade: nothing happens
  EXPECT_EQ(form->FState, TCommunity::CommGratitude);
  EXPECT_FALSE(form->MessageRect->isHidden());
  ASSERT_TRUE(PumpUntil([&] { return !form->FLocked; }));
  PressEsc();
  EXPECT_EQ(form->FState, TCommunity::CommNone);
  EXPECT_TRUE(form->MessageRect->isHidden());
  EXPECT_EQ(form->GratitudeRect->geometry(), QRect(11, 170, 273, 118));
  EXPECT_EQ(form->InfoLbl->text(), "Post bugs and messages to forum directly from application");
  PressEsc();
  EXPECT_FALSE(form->isVisible());

  // Shown again, it is as it was left.
  window->ReportBtn->click();
  EXPECT_TRUE(form->isVisible());
  EXPECT_EQ(window->TeamMessageForm(), form);
  EXPECT_EQ(form->FState, TCommunity::CommNone);
}

TEST_F(FeedbackFormTest, PostingSendsTheFiveValuesAndResetsTheSubject) {
  Choose(form->GratitudeRect);
  form->SubjEdit->setText("Thanks");
  form->MessageMemo->setPlainText("Works well\nwith two sticks");
  QTest::mouseClick(form->PostMsgBtn, Qt::LeftButton);
  EXPECT_FALSE(form->PostMsgBtn->isEnabled());
  ASSERT_TRUE(PumpUntil([&] { return form->PostMsgBtn->isEnabled(); }));
  EXPECT_EQ(form->SubjEdit->text(), "Subject");
  EXPECT_EQ(Memo(), "Works well\r\nwith two sticks") << "the message field keeps its text";
  std::lock_guard<std::mutex> guard(rig.feedback_lock);
  ASSERT_EQ(rig.feedback.size(), 1u);
  EXPECT_EQ(rig.feedback[0].subject, "Thanks");
  EXPECT_EQ(rig.feedback[0].email, "Contact Email");
  EXPECT_EQ(rig.feedback[0].nick, "Forum NickName");
  EXPECT_EQ(rig.feedback[0].kind, TCommunity::CommGratitude);
  EXPECT_EQ(rig.feedback[0].text, "Works well\r\nwith two sticks");
}

TEST_F(FeedbackFormTest, InputsGiveWayToTheUserAndShowHints) {
  Choose(form->BugRect);
  QTest::mouseClick(form->SubjEdit, Qt::LeftButton);
  EXPECT_EQ(form->SubjEdit->text(), "");
  QTest::keyClicks(form->SubjEdit, "Crash");
  EXPECT_EQ(form->SubjEdit->text(), "Crash");
  QTest::mouseClick(form->EmailEdit, Qt::LeftButton);
  EXPECT_EQ(form->EmailEdit->text(), "");
  form->NickNameEdit->setFocus();
  EXPECT_EQ(form->EmailEdit->text(), "Contact Email") << "an input left empty shows its placeholder";

  const QString before = form->InfoLbl->text();
  QEvent enter(QEvent::Enter);
  QCoreApplication::sendEvent(form->NickNameEdit, &enter);
  EXPECT_EQ(form->InfoLbl->text(), "You may specify NickName for forum posts");
  QEvent leave(QEvent::Leave);
  QCoreApplication::sendEvent(form->NickNameEdit, &leave);
  EXPECT_EQ(form->InfoLbl->text(), before);
}

TEST_F(FeedbackFormTest, TheForumLinkCarriesTheSessionId) {
  const std::string saved = GetSessionId();
  SetSessionId("0123456789ABCDEF0123456789ABCDEF");
  form->GoForumBtn->click();
  SetSessionId(saved);
  EXPECT_EQ(rig.opened_urls,
            std::vector<std::string>{std::string(kSiteForumUrl) + "0123456789ABCDEF0123456789ABCDEF"});
}

}  // namespace
}  // namespace quorvane::testing
