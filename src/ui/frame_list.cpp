// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "ui/frame_list.h"

#include <QComboBox>
#include <QLineEdit>
#include <QScrollArea>
#include <QScrollBar>

#include "ui/widgets.h"

namespace quorvane {

int TFrameList::StepDelayMs = 16;

TFrameList::TFrameList(QScrollArea* VertScrollBox, const TPortableWindowServices* services)
    : FLdrBox(VertScrollBox), FServices(services) {
  FFramesLayout = VertScrollBox->widget();
  for (int i = 0;; ++i) {
    TLdrFrame* frame = FrameByName(QString("LdrFrame%1").arg(i));
    if (!frame) break;
    FFrames.emplace_back(frame);
  }
  RepaintScrollBox();
}

TFrameList::~TFrameList() = default;

std::vector<TLdrFrame*> TFrameList::Frames() const {
  std::vector<TLdrFrame*> frames;
  if (!FFramesLayout) return frames;
  for (QObject* child : FFramesLayout->children())
    if (auto* frame = qobject_cast<TLdrFrame*>(child)) frames.push_back(frame);
  return frames;
}

std::vector<TLdrFrame*> TFrameList::LiveFrames() const {
  std::vector<TLdrFrame*> live;
  for (TLdrFrame* frame : Frames())
    if (frame->FLive) live.push_back(frame);
  return live;
}

TLdrFrame* TFrameList::FrameByName(const QString& name) const {
  if (!FFramesLayout) return nullptr;
  return FFramesLayout->findChild<TLdrFrame*>(name, Qt::FindDirectChildrenOnly);
}

bool TFrameList::Owns(const TLdrFrame* frame) const {
  return frame && FFramesLayout && frame->parentWidget() == FFramesLayout;
}

void TFrameList::ScrollToBottom() {
  QScrollBar* bar = FLdrBox->verticalScrollBar();
  bar->setValue(bar->maximum());
}

TLdrFrame* TFrameList::Add() {
  if (!FFramesLayout) return nullptr;
  int y = 0;
  const std::vector<TLdrFrame*> frames = Frames();
  for (TLdrFrame* frame : frames) y += static_cast<int>(frame->FrameHeight());
  QPointer<TLdrFrame> frame =
      new TLdrFrame(FFramesLayout, static_cast<int>(frames.size()), FServices);
  frame->move(0, y);
  frame->show();
  frame->LdrFileChanged = FOnFrameISOChanged;
  frame->FOnFrameMinimized = [this](int id) { FrameMinimized(id); };
  frame->CloseClick = [this](TLdrFrame* sender) { return ApplyFrameClose(sender); };
  TLdrFrame* made = frame;
  for (int i = 0; i < 12; ++i) {
    // The interface runs between the steps; the frame may be cleared away meanwhile.
    if (!frame || !Owns(frame)) return nullptr;
    frame->SetFrameHeight(9 * i + 1);
    RepaintScrollBox();
    ScrollToBottom();
    AnimationPause(StepDelayMs);
  }
  return frame ? made : nullptr;
}

void TFrameList::Clear() {
  for (TLdrFrame* frame : Frames()) {
    // Taken out of the layout now, destroyed once the interface is back in its loop:
    // a handler of the frame may still be running below us.
    frame->hide();
    frame->setParent(nullptr);
    frame->deleteLater();
  }
  FFrames.clear();
  RepaintScrollBox();
}

void TFrameList::RepaintScrollBox() {
  if (!FFramesLayout) return;
  const int before = FLdrBox->height();
  LayOut();
  if (FLdrBox->height() != before && FOnBoxResized) FOnBoxResized();
}

void TFrameList::LayOut() {
  const std::vector<TLdrFrame*> frames = Frames();
  if (frames.empty()) {
    FFramesLayout->resize(FFramesLayout->width(), 0);
    FLdrBox->setFixedHeight(0);
    return;
  }
  int h = 0;
  for (std::size_t i = 0; i < frames.size(); ++i) {
    frames[i]->setObjectName(QString("LdrFrame%1").arg(i));
    frames[i]->move(0, h);
    h += static_cast<int>(frames[i]->FrameHeight());
  }
  FFramesLayout->resize(FFramesLayout->width(), h);
  if (frames.size() >= 4 && h > kMaxScrollBoxHeight) {
    FLdrBox->setFixedHeight(kMaxScrollBoxHeight);
    FLdrBox->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    NarrowFrames();
  } else {
    FLdrBox->setFixedHeight(h);
    FLdrBox->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    WidenFrames();
  }
}

void TFrameList::LockFrames() {
  for (TLdrFrame* frame : LiveFrames()) {
    try {
      frame->LdrSelectBox->setEnabled(false);
      frame->ISOSelectBtn->setEnabled(false);
      frame->CloseBtn->setEnabled(false);
    } catch (...) {
    }
  }
}

void TFrameList::LockSelection() {
  for (int i = 0;; ++i) {
    TLdrFrame* frame = FrameByName(QString("LdrFrame%1").arg(i));
    if (!frame) break;
    if (frame->FLive) frame->LockSelection();
  }
}

void TFrameList::MinimizeAll() {
  for (int i = 0;; ++i) {
    TLdrFrame* frame = FrameByName(QString("LdrFrame%1").arg(i));
    if (!frame) break;
    if (frame->FLive && !frame->Minimized) frame->MinimizeBtnClick();
  }
}

void TFrameList::FrameMinimized(int) { RepaintScrollBox(); }

void TFrameList::NarrowFrames() {
  FFramesLayout->resize(800, FFramesLayout->height());
  FLdrBox->resize(800, FLdrBox->height());
  for (TLdrFrame* frame : Frames()) frame->DecWidth();
}

void TFrameList::WidenFrames() {
  FFramesLayout->resize(816, FFramesLayout->height());
  FLdrBox->resize(816, FLdrBox->height());
  for (TLdrFrame* frame : Frames()) frame->IncWidth();
}

void TFrameList::RemoveAnimated(TLdrFrame* frame) {
  QPointer<TLdrFrame> guard(frame);
  for (int n = 9; n >= 0; --n) {
    frame->SetFrameHeight(frame->FrameHeight() * n / 10);
    RepaintScrollBox();
    AnimationPause(StepDelayMs);
    if (!guard || !Owns(guard)) return;  // cleared away meanwhile
  }
  frame->FLive = false;
  frame->hide();
  RepaintScrollBox();
  if (FOnFrameISOChanged) FOnFrameISOChanged();
}

int TFrameList::ApplyFrameClose(TLdrFrame* Sender) {
  if (!FOnFrameCloseClick || !Owns(Sender)) return 0;
  const int code = FOnFrameCloseClick(Sender);
  switch (code) {
    case 1:
      RemoveAnimated(Sender);
      break;
    case 2:
      Sender->ChangeStatLblText("Cancelling");
      Sender->CloseBtn->setEnabled(false);
      Sender->MinimizeBtn->setEnabled(true);
      SetOpacity(Sender, 0.9);
      break;
    case 3:
      Sender->ChangeStatLblText("Deactivated");
      Sender->CloseBtn->SetStyleLookup("applybutton");
      Sender->CloseBtn->setEnabled(true);
      Sender->MinimizeBtn->setEnabled(true);
      SetOpacity(Sender, 0.9);
      break;
    case 4:
      Sender->StatusLbl->setText("");
      Sender->CloseBtn->SetStyleLookup("cancelbutton");
      Sender->CloseBtn->setEnabled(true);
      Sender->MinimizeBtn->setEnabled(true);
      SetOpacity(Sender, 1);
      break;
    case 5:
      Sender->StatusLbl->setText("Undefined Error");
      Sender->CloseBtn->setEnabled(true);
      Sender->MinimizeBtn->setEnabled(true);
      break;
    default:
      break;
  }
  return 0;
}

}  // namespace quorvane
