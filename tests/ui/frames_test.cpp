// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QScrollArea>

#include "common/constants.h"
#include "ui/widgets.h"
#include "ui_fixture.h"

namespace quorvane::testing {
namespace {

class FramesTest : public ::testing::Test {
 protected:
  FramesTest() {
    rig.AddDrive(FixtureDrive('e', 8000000000, 7000000000, "FAT32"));
    window = rig.MakeWindow();
  }

  std::vector<TLdrFrame*> Frames() const { return window->Frames()->Frames(); }
  int BoxHeight() const { return window->LdrsScrolBox->height(); }

  TWindowRig rig;
  std::unique_ptr<TGridViewForm> window;
};

TEST_F(FramesTest, FramesStackAndTheFourthBringsScrollBars) {
  for (int i = 0; i < 3; ++i) ASSERT_NE(rig.AddFrame(*window, 7, ""), nullptr);
  std::vector<TLdrFrame*> frames = Frames();
  ASSERT_EQ(frames.size(), 3u);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(frames[i]->objectName(), QString("LdrFrame%1").arg(i));
    EXPECT_EQ(frames[i]->y(), 100 * i);
    EXPECT_EQ(frames[i]->height(), 100);
    EXPECT_EQ(frames[i]->width(), 816);
    EXPECT_EQ(frames[i]->CloseBtn->x(), 781);
  }
  EXPECT_EQ(BoxHeight(), 300);
  EXPECT_EQ(window->LdrsScrolBox->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
  EXPECT_EQ(window->height(), 160 + 300 + 32 + 80);
  EXPECT_EQ(window->Panel1->y(), 460);

  ASSERT_NE(rig.AddFrame(*window, 7, ""), nullptr);
  frames = Frames();
  EXPECT_EQ(window->FramesLayout->height(), 400);
  EXPECT_EQ(BoxHeight(), kMaxScrollBoxHeight);
  EXPECT_EQ(window->LdrsScrolBox->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  for (TLdrFrame* frame : frames) {
    EXPECT_EQ(frame->width(), 800);
    EXPECT_EQ(frame->CloseBtn->x(), 765);
    EXPECT_EQ(frame->MinimizeBtn->x(), 735);
  }
  EXPECT_EQ(window->height(), 600);
  for (int i = 0; i < 3; ++i) rig.AddFrame(*window, 7, "");
  EXPECT_EQ(window->height(), 600) << "the window never grows beyond 600 pixels";
}

TEST_F(FramesTest, ANewFrameGrowsInTwelveSteps) {
  std::vector<int> heights;
  window->Frames()->FOnBoxResized = [&] { heights.push_back(BoxHeight()); };
  rig.AddFrame(*window, 0, "");
  EXPECT_EQ(heights, (std::vector<int>{1, 10, 19, 28, 37, 46, 55, 64, 73, 82, 91, 100}));
}

TEST_F(FramesTest, SevenMinimizedFramesAlsoScroll) {
  for (int i = 0; i < 7; ++i) rig.AddFrame(*window, 7, "");
  for (TLdrFrame* frame : Frames()) frame->MinimizeBtn->click();
  EXPECT_EQ(window->FramesLayout->height(), 350);
  EXPECT_EQ(BoxHeight(), kMaxScrollBoxHeight);
  EXPECT_EQ(Frames()[6]->y(), 300);
}

TEST_F(FramesTest, MinimizeThenRestoreReturnsEveryControl) {
  TLdrFrame* frame = rig.AddFrame(*window, 7, "");
  std::vector<std::pair<QWidget*, QRect>> before;
  for (QWidget* child : frame->findChildren<QWidget*>()) before.emplace_back(child, child->geometry());
  frame->MinimizeBtn->click();
  EXPECT_TRUE(frame->Minimized);
  EXPECT_EQ(frame->height(), 50);
  EXPECT_EQ(frame->StatusLbl->geometry(), QRect(408, 0, 310, 22));
  EXPECT_EQ(frame->ProgressBar->height(), 12);
  EXPECT_TRUE(frame->ISOSelectBtn->isHidden());
  EXPECT_TRUE(frame->GoVendorLbl->isHidden());
  EXPECT_EQ(frame->MinimizeBtn->StyleLookup(), "roundbutton");
  EXPECT_EQ(BoxHeight(), 50);
  frame->MinimizeBtn->click();
  EXPECT_FALSE(frame->Minimized);
  for (const auto& [child, geometry] : before)
    EXPECT_EQ(child->geometry(), geometry) << child->objectName().toStdString();
  EXPECT_FALSE(frame->ISOSelectBtn->isHidden());
  EXPECT_EQ(frame->MinimizeBtn->StyleLookup(), "removebutton");
  EXPECT_EQ(BoxHeight(), 100);
}

TEST_F(FramesTest, ClosingTheMiddleFrameKeepsTheNamesAndDropsItsSize) {
  rig.AddFrame(*window, 7, rig.Image("a.iso", 1073741824));
  TLdrFrame* middle = rig.AddFrame(*window, 7, rig.Image("b.iso", 2147483648));
  rig.AddFrame(*window, 7, rig.Image("c.iso", 1073741824));
  const QString with_all = window->CapacityLabel->text();
  middle->CloseBtn->click();
  std::vector<TLdrFrame*> frames = Frames();
  ASSERT_EQ(frames.size(), 3u);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(frames[i]->objectName(), QString("LdrFrame%1").arg(i));
  EXPECT_FALSE(middle->FLive);
  EXPECT_EQ(middle->height(), 0);
  EXPECT_EQ(frames[2]->y(), 100);
  EXPECT_EQ(BoxHeight(), 200);
  EXPECT_EQ(window->Frames()->LiveFrames().size(), 2u);
  // 0.93 Gb in use now and 4 Gb of images; the closed frame's 2 Gb no longer count.
  EXPECT_EQ(with_all.toStdString(), "4.93 GiB / 7.45 GiB");
  EXPECT_EQ(window->CapacityLabel->text().toStdString(), "2.93 GiB / 7.45 GiB");
}

TEST_F(FramesTest, TheShrinkStopsWhenTheFramesAreClearedMeanwhile) {
  TLdrFrame* frame = rig.AddFrame(*window, 7, "");
  QPointer<TLdrFrame> alive(frame);
  // Half-way through the shrink, a "Continue" destroys every frame.
  int steps = 0;
  window->Frames()->FOnBoxResized = [&] {
    if (++steps == 3) window->Frames()->Clear();
  };
  frame->CloseBtn->click();
  EXPECT_EQ(steps, 4) << "the shrink ended with the clearing";
  EXPECT_TRUE(window->Frames()->Frames().empty());
  EXPECT_EQ(BoxHeight(), 0);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(alive.isNull());
}

TEST_F(FramesTest, ImageWithoutLoaderTypeIsRefused) {
  TLdrFrame* frame = rig.AddFrame(*window, 0, "");
  QString shown;
  WhenShown<QMessageBox>([&](QMessageBox* box) {
    shown = box->text();
    box->accept();
  });
  frame->ISOSelectBtn->click();
  EXPECT_EQ(shown, "Please choose loader type before selecting type");
  EXPECT_TRUE(rig.chooser_asked.empty()) << "no file dialog is opened";
}

TEST_F(FramesTest, ChoosingImagesThroughTheFileDialog) {
  // A Windows 10 image of more than 4 GiB.
  const std::string big = rig.Image("Win10.iso", 5000000000, true);
  TLdrFrame* frame = rig.AddFrame(*window, 3, big);
  ASSERT_EQ(rig.chooser_asked.size(), 1u);
  EXPECT_EQ(rig.chooser_asked[0].first, "Select \"Windows 10 x86/64\" ISO or VHD file");
  EXPECT_EQ(rig.chooser_asked[0].second, "ISO or VHD files (*.iso *.vhd)");
  EXPECT_EQ(frame->LdrFilePath, big);
  EXPECT_EQ(frame->LdrFileSize, 5000000000);
  EXPECT_TRUE(frame->FNeedNTFS);
  EXPECT_EQ(frame->ISOSelectBtn->text().toStdString(), big);
  EXPECT_EQ(frame->StatusLbl->text(), "NTFS required");
  EXPECT_EQ(frame->StatusColor(), kGreenYellow);
  EXPECT_TRUE(window->GoNewBtn->isEnabled());

  // Another type forgets the image.
  frame->LdrSelectBox->setCurrentIndex(7);
  EXPECT_TRUE(frame->LdrFilePath.empty());
  EXPECT_EQ(frame->LdrFileSize, 0);
  EXPECT_FALSE(frame->FNeedNTFS);
  EXPECT_EQ(frame->StatusLbl->text(), "");
  EXPECT_EQ(frame->StatusColor(), kWhite);
  EXPECT_EQ(frame->ISOSelectBtn->text(), kChooseImageText);
  EXPECT_TRUE(window->GoAddBtn->isEnabled());

  rig.chooser_answers.push_back(rig.Image("hbcd.iso", 700000000));
  frame->ISOSelectBtn->click();
  EXPECT_EQ(rig.chooser_asked.back().first, "Select \"Hiren's Boot CD\" ISO file");
  EXPECT_EQ(rig.chooser_asked.back().second, "ISO files (*.iso)");
  EXPECT_EQ(frame->LdrFileSize, 700000000);
}

TEST_F(FramesTest, ACancelledOrMissingChoiceChangesNothing) {
  const std::string image = rig.Image("a.iso", 1000);
  TLdrFrame* frame = rig.AddFrame(*window, 7, image);
  rig.chooser_answers.push_back("");
  frame->ISOSelectBtn->click();
  rig.chooser_answers.push_back(rig.temp / "gone.iso");
  frame->ISOSelectBtn->click();
  EXPECT_EQ(rig.chooser_asked.size(), 3u);
  EXPECT_EQ(frame->LdrFilePath, image);
  EXPECT_EQ(frame->LdrFileSize, 1000);
}

TEST_F(FramesTest, VendorLinkOpensTheLoadersPage) {
  TLdrFrame* frame = rig.AddFrame(*window, 0, "");
  frame->GoVendorBtn->click();
  EXPECT_TRUE(rig.opened_urls.empty());
  frame->LdrSelectBox->setCurrentIndex(6);
  frame->GoVendorBtn->click();
  EXPECT_EQ(rig.opened_urls, std::vector<std::string>{"https://ubuntu.com/download/desktop"});
}

}  // namespace
}  // namespace quorvane::testing
