// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "ui/ldr_frame.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QProgressBar>
#include <algorithm>

#include "loaders/loader_catalog.h"
#include "ui/capacity_rules.h"
#include "ui/widgets.h"

namespace quorvane {

TLdrFrame::TLdrFrame(QWidget* AOwner, int FrameId, const TPortableWindowServices* services)
    : QFrame(AOwner), FId(FrameId), FServices(services) {
  setObjectName(QString("LdrFrame%1").arg(FrameId));
  resize(800, 0);

  LdrFramePnl = new QFrame(this);
  LdrFramePnl->setObjectName("LdrFramePnl");
  LdrFramePnl->setGeometry(0, 0, 800, 100);

  LdrSelectBox = new TComboBox(LdrFramePnl);
  LdrSelectBox->setObjectName("LdrSelectBox");
  LdrSelectBox->setGeometry(8, 5, 390, 28);
  LdrSelectBox->setAccessibleName(tr("Loader type of entry %1").arg(FrameId + 1));
  LdrSelectBox->addItem(kLoaderNotSelected);
  try {
    for (const char* name : LoaderNames) LdrSelectBox->addItem(QString::fromUtf8(name));
  } catch (...) {
  }
  LdrSelectBox->setCurrentIndex(0);

  LdrTypeNameLbl = new QLabel(LdrFramePnl);
  LdrTypeNameLbl->setObjectName("LdrTypeNameLbl");
  LdrTypeNameLbl->setProperty("styleLookup", "listboxheaderlabel");
  LdrTypeNameLbl->setGeometry(13, 5, 385, 22);
  LdrTypeNameLbl->hide();

  ISOSelectBtn = new TStyledButton("listitembutton", kChooseImageText, LdrFramePnl);
  ISOSelectBtn->setObjectName("ISOSelectBtn");
  ISOSelectBtn->Place(8, 40, 390, 28);
  ISOSelectBtn->setAccessibleName(tr("ISO image of entry %1").arg(FrameId + 1));

  GoVendorBtn = new TStyledButton("searchbutton", "Vendor site", LdrFramePnl);
  GoVendorBtn->setObjectName("GoVendorBtn");
  GoVendorBtn->SetScale(0.6);
  GoVendorBtn->Place(404, 7, 40, 40);
  GoVendorBtn->setToolTip(tr("Vendor site"));
  GoVendorBtn->setAccessibleName(tr("Vendor site of entry %1").arg(FrameId + 1));

  GoVendorLbl = new QLabel("Go vendor site", LdrFramePnl);
  GoVendorLbl->setObjectName("GoVendorLbl");
  GoVendorLbl->setGeometry(434, 9, 129, 17);

  StatusLbl = new QLineEdit(LdrFramePnl);
  StatusLbl->setObjectName("StatusLbl");
  StatusLbl->setReadOnly(true);
  StatusLbl->setGeometry(408, 36, 380, 22);
  StatusLbl->setEnabled(false);
  StatusLbl->setAccessibleName(tr("Status of entry %1").arg(FrameId + 1));
  StatusLbl->setFocusPolicy(Qt::NoFocus);
  SetTextColor(StatusLbl, kWhite);

  ProgressBar = new QProgressBar(LdrFramePnl);
  ProgressBar->setObjectName("ProgressBar");
  ProgressBar->setRange(0, 100);
  ProgressBar->setValue(0);
  ProgressBar->setTextVisible(false);
  ProgressBar->setGeometry(8, 80, 784, 20);
  ProgressBar->setAccessibleName(tr("Progress of entry %1").arg(FrameId + 1));

  MinimizeBtn = new TStyledButton("removebutton", "", LdrFramePnl);
  MinimizeBtn->setObjectName("MinimizeBtn");
  MinimizeBtn->SetScale(0.7);
  MinimizeBtn->Place(735, 5, 40, 40);
  MinimizeBtn->setAccessibleName(tr("Fold entry %1").arg(FrameId + 1));

  CloseBtn = new TStyledButton("cancelbutton", "", LdrFramePnl);
  CloseBtn->setObjectName("CloseBtn");
  CloseBtn->SetScale(0.7);
  CloseBtn->Place(765, 5, 40, 40);
  CloseBtn->setAccessibleName(tr("Remove, skip or cancel entry %1").arg(FrameId + 1));

  connect(LdrSelectBox, &QComboBox::currentIndexChanged, this, [this] { LdrSelectBoxChange(); });
  connect(ISOSelectBtn, &QPushButton::clicked, this, [this] { ISOSelectBtnClick(); });
  connect(GoVendorBtn, &QPushButton::clicked, this, [this] { GoVendorBtnClick(); });
  connect(MinimizeBtn, &QPushButton::clicked, this, [this] { MinimizeBtnClick(); });
  connect(CloseBtn, &QPushButton::clicked, this, [this] { CloseBtnClick(); });
}

void TLdrFrame::SetFrameHeight(double height) {
  FHeight = height;
  resize(width(), static_cast<int>(height));
}

int TLdrFrame::LoaderType() const {
  const int index = LdrSelectBox->currentIndex();
  return index >= 1 && index <= kLoaderCount ? index - 1 : -1;
}

void TLdrFrame::SetStatus(const QString& text, std::uint32_t color) {
  StatusLbl->setText(text);
  SetTextColor(StatusLbl, color);
  FStatusColor = color;
}

void TLdrFrame::ChangeStatLblText(const QString& NewText) {
  try {
    StatusLbl->setText(NewText);
    StatusLbl->setCursorPosition(0);
    if (!StatusLbl->isEnabled()) StatusLbl->setEnabled(true);
  } catch (...) {
  }
}

void TLdrFrame::ChangeStatLblColor(std::uint32_t NewColor) {
  try {
    if (!StatusLbl->isEnabled()) StatusLbl->setEnabled(true);
    SetTextColor(StatusLbl, NewColor);
    FStatusColor = NewColor;
  } catch (...) {
  }
}

void TLdrFrame::SetProgress(int NewProgress) {
  ProgressBar->setValue(std::clamp(NewProgress, 0, 100));
}

void TLdrFrame::LockSelection() {
  LdrSelectBox->setEnabled(false);
  ISOSelectBtn->setEnabled(false);
  LdrSelectBoxHide();
}

void TLdrFrame::LdrSelectBoxHide() {
  LdrTypeNameLbl->setText(LdrSelectBox->currentText());
  LdrTypeNameLbl->show();
  LdrSelectBox->hide();
}

void TLdrFrame::IncWidth() {
  resize(816, height());
  LdrFramePnl->resize(816, LdrFramePnl->height());
  MinimizeBtn->move(751, MinimizeBtn->y());
  CloseBtn->move(781, CloseBtn->y());
}

void TLdrFrame::DecWidth() {
  resize(800, height());
  LdrFramePnl->resize(800, LdrFramePnl->height());
  MinimizeBtn->move(735, MinimizeBtn->y());
  CloseBtn->move(765, CloseBtn->y());
}

void TLdrFrame::ISOSelectBtnClick() {
  try {
    const int index = LdrSelectBox->currentIndex();
    if (index == 0) {
      ShowPlainMessage(window(), "Please choose loader type before selecting type");
      return;
    }
    const bool windows = index >= 1 && index <= 3;
    const QString filter = windows ? "ISO or VHD files (*.iso *.vhd)" : "ISO files (*.iso)";
    const QString name = LdrSelectBox->currentText();
    const QString title = name.isEmpty() ? QString("Select ISO file with chosen loader")
                                         : "Select \"" + name + "\"" +
                                               (windows ? " ISO or VHD file" : " ISO file");
    const std::string file = FServices->ChooseFile(window(), title, filter);
    if (!ImageFileExists(file)) return;
    const std::int32_t type = index - 1;
    const std::int64_t size = FServices->NecessarySpace(file, type);
    const bool need_ntfs = FServices->NeedNTFS(file, type);
    LdrFilePath = file;
    LdrFileSize = size;
    FNeedNTFS = need_ntfs;
    ISOSelectBtn->setText(QString::fromStdString(file));
    ISOSelectBtn->setToolTip(QString::fromStdString(file));
    if (need_ntfs) {
      ChangeStatLblText("NTFS required");
      ChangeStatLblColor(kGreenYellow);
    } else {
      SetStatus("", kWhite);
    }
    if (LdrFileChanged) LdrFileChanged();
  } catch (...) {
  }
}

void TLdrFrame::ClearImage() {
  LdrFilePath.clear();
  LdrFileSize = 0;
  FNeedNTFS = false;
  SetStatus("", kWhite);
  ISOSelectBtn->setText(kChooseImageText);
  ISOSelectBtn->setToolTip(QString());
}

void TLdrFrame::LdrSelectBoxChange() {
  ClearImage();
  if (LdrFileChanged) LdrFileChanged();
}

void TLdrFrame::MinimizeBtnClick() {
  Minimized = !Minimized;
  const int height = Minimized ? 50 : 100;
  ISOSelectBtn->setVisible(!Minimized);
  GoVendorBtn->setVisible(!Minimized);
  GoVendorLbl->setVisible(!Minimized);
  StatusLbl->setGeometry(408, Minimized ? 0 : 36, Minimized ? 310 : 380, 22);
  LdrFramePnl->resize(LdrFramePnl->width(), height);
  SetFrameHeight(height);
  const int bar = Minimized ? 12 : 20;
  ProgressBar->setGeometry(8, height - bar, 784, bar);
  MinimizeBtn->SetStyleLookup(Minimized ? "roundbutton" : "removebutton");
  if (FOnFrameMinimized) FOnFrameMinimized(FId);
}

void TLdrFrame::CloseBtnClick() {
  if (!FLive) return;
  CloseBtn->setEnabled(false);
  MinimizeBtn->setEnabled(false);
  if (CloseClick) CloseClick(this);  // the frame may be gone when this returns
}

void TLdrFrame::GoVendorBtnClick() {
  const int type = LoaderType();
  if (type >= 0) OpenUiUrl(LoaderPages[type]);
}

void TLdrFrame::LdrFramePnlClick() {
  StatusLbl->deselect();
  StatusLbl->clearFocus();
}

void TLdrFrame::mousePressEvent(QMouseEvent* event) {
  LdrFramePnlClick();
  QFrame::mousePressEvent(event);
}

}  // namespace quorvane
