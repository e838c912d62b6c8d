// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// One boot entry of the portable window: its loader type and image, the room the image
// needs on the drive, and later its job's status and progress.
#pragma once

#include <QFrame>
#include <cstdint>
#include <functional>
#include <string>

#include "ui/ui_services.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;

namespace quorvane {

class TStyledButton;
class TLdrFrame;

using TOnFrameISOChanged = std::function<void()>;
using TOnFrameMinimized = std::function<void(int FrameId)>;
using TFrameCloseClick = std::function<int(TLdrFrame* Sender)>;

class TLdrFrame : public QFrame {
  Q_OBJECT
 public:
  // Made with height 0, named "LdrFrame" + FrameId. `services` outlives the frame.
  TLdrFrame(QWidget* AOwner, int FrameId, const TPortableWindowServices* services);

  void ChangeStatLblText(const QString& NewText);
  void ChangeStatLblColor(std::uint32_t NewColor);
  void SetProgress(int NewProgress);
  // The loader type turns into a fixed label; type and image can no longer change.
  void LockSelection();
  void LdrSelectBoxHide();
  void IncWidth();
  void DecWidth();

  // The frame's nominal height (the animations step through fractions).
  double FrameHeight() const { return FHeight; }
  void SetFrameHeight(double height);

  // The loader type chosen in the drop-down: 0..9, or -1 while the placeholder shows.
  int LoaderType() const;
  std::uint32_t StatusColor() const { return FStatusColor; }

  // Handlers.
  void ISOSelectBtnClick();
  void LdrSelectBoxChange();
  void MinimizeBtnClick();
  void CloseBtnClick();
  void GoVendorBtnClick();
  void LdrFramePnlClick();

  bool FLive = true;
  TOnFrameISOChanged LdrFileChanged;
  TOnFrameMinimized FOnFrameMinimized;
  int FId = 0;
  TFrameCloseClick CloseClick;
  bool Minimized = false;
  std::string LdrFilePath;
  std::int64_t LdrFileSize = 0;
  bool FNeedNTFS = false;

  QFrame* LdrFramePnl;
  QComboBox* LdrSelectBox;
  QLabel* LdrTypeNameLbl;
  TStyledButton* ISOSelectBtn;
  TStyledButton* GoVendorBtn;
  QLabel* GoVendorLbl;
  QLineEdit* StatusLbl;
  QProgressBar* ProgressBar;
  TStyledButton* MinimizeBtn;
  TStyledButton* CloseBtn;

 protected:
  void mousePressEvent(QMouseEvent* event) override;

 private:
  // Sets the status text and colour as they are, without enabling the field.
  void SetStatus(const QString& text, std::uint32_t color);
  void ClearImage();

  const TPortableWindowServices* FServices;
  double FHeight = 0;
  std::uint32_t FStatusColor = 0xFFFFFFFF;
};

// The text of the frames' image button before an image is chosen.
inline constexpr const char* kChooseImageText = "Click me to select ISO file";

}  // namespace quorvane
