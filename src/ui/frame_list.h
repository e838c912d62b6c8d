// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The stack of boot-entry frames in the main window's scroll box: adds them with a grow
// animation, names and places them, sizes the box, removes a frame on its close button
// and applies the locks of a burn.
#pragma once

#include <QPointer>
#include <vector>

#include "ui/ldr_frame.h"

class QScrollArea;

namespace quorvane {

class TFrameList {
 public:
  // Over `VertScrollBox`, whose content widget holds the frames layout (the parent of
  // every frame). `services` outlives the list.
  TFrameList(QScrollArea* VertScrollBox, const TPortableWindowServices* services);
  ~TFrameList();
  TFrameList(const TFrameList&) = delete;
  TFrameList& operator=(const TFrameList&) = delete;

  // A new frame at the bottom, grown to its full height.
  TLdrFrame* Add();
  // Destroys every frame, live or not.
  void Clear();
  void RepaintScrollBox();
  // Type, image and close buttons of every live frame disabled.
  void LockFrames();
  void LockSelection();
  void MinimizeAll();
  int ApplyFrameClose(TLdrFrame* Sender);
  void FrameMinimized(int FrameId);
  void NarrowFrames();
  void WidenFrames();

  // The frames in the layout's order, live or not / only the live ones.
  std::vector<TLdrFrame*> Frames() const;
  std::vector<TLdrFrame*> LiveFrames() const;
  // The frame named "LdrFrame" + n among the layout's children; nullptr when none.
  TLdrFrame* FrameByName(const QString& name) const;
  QWidget* FramesLayout() const { return FFramesLayout; }

  TOnFrameISOChanged FOnFrameISOChanged;
  TFrameCloseClick FOnFrameCloseClick;
  // The scroll box changed its height (the main window follows it).
  std::function<void()> FOnBoxResized;

  // Pause between the steps of the grow and shrink animations, in milliseconds.
  static int StepDelayMs;

 private:
  bool Owns(const TLdrFrame* frame) const;
  void LayOut();
  void ScrollToBottom();
  void RemoveAnimated(TLdrFrame* frame);

  std::vector<QPointer<TLdrFrame>> FFrames;  // frames present when the list was made
  QScrollArea* FLdrBox;
  QPointer<QWidget> FFramesLayout;
  const TPortableWindowServices* FServices;
};

// Height of the scroll box from which it shows scroll bars instead of growing.
inline constexpr int kMaxScrollBoxHeight = 328;

}  // namespace quorvane
