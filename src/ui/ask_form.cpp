// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "ui/ask_form.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPointer>
#include <QScreen>

#include "common/constants.h"
#include "ui/widgets.h"

namespace quorvane {

namespace {

QPointer<TAskForm>& TheForm() {
  static QPointer<TAskForm> form;
  return form;
}

// The form lives to the end of the program, but not beyond the application object.
void DeleteTheForm() { delete TheForm().data(); }

QLabel* CentredLabel(QWidget* parent, const char* name, const QString& text, int x, int y, int w,
                     int h, int pixel_size) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(name);
  label->setAlignment(Qt::AlignCenter);
  label->setGeometry(x, y, w, h);
  label->setProperty("styleLookup", "asklabel");
  QFont f = label->font();
  f.setFamily("DejaVu Sans Condensed");
  f.setPixelSize(pixel_size);
  label->setFont(f);
  return label;
}

}  // namespace

TAskForm::TAskForm(QWidget* parent) : QDialog(parent) {
  MainRect = MakeFramelessWindow(this, Qt::Dialog, "TAskForm", QSize(428, 282), "MainRect",
                                 QRect(8, 16, 409, 241), FMover);
  setModal(true);

  // The labels sit on the rectangle; positions are those of the form.
  auto at = [this](int x, int y) { return QPoint(x - MainRect->x(), y - MainRect->y()); };
  auto place = [&](const char* name, const QString& text, int x, int y, int w, int h, int size) {
    const QPoint p = at(x, y);
    return CentredLabel(MainRect, name, text, p.x(), p.y(), w, h, size);
  };
  TypeStr = place("TypeStr", "Warning", 8, 24, 409, 33, 27);
  FstStr = place("FstStr", "", 8, 64, 409, 22, 15);
  ScndStr = place("ScndStr", "", 8, 89, 409, 20, 15);
  ThrdStr = place("ThrdStr", "Continue?", 100, 129, 220, 20, 15);
  FrthStr = place("FrthStr", "", 8, 203, 409, 17, 12);
  DriveStr = place("DriveStr", "", 16, 114, 393, 0, 13);
  DriveStr->setWordWrap(true);
  DriveStr->setTextFormat(Qt::PlainText);
  DriveStr->hide();
  NotesStr = place("NotesStr", "", 16, 114, 393, 0, 12);
  NotesStr->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  NotesStr->setWordWrap(true);
  NotesStr->hide();
  for (QLabel* label : {TypeStr, FstStr, ScndStr, ThrdStr, FrthStr, DriveStr, NotesStr})
    label->setAttribute(Qt::WA_TransparentForMouseEvents);
  TypeStr->setProperty("styleLookup", "asktitle");

  YesBtn = new TLinkButton("Yes", QColor("yellowgreen"), QColor("lime"), QColor("limegreen"), 22,
                           MainRect);
  YesBtn->setObjectName("YesBtn");
  YesBtn->setGeometry(QRect(at(292, 137), QSize(112, 26)));
  NoBtn = new TLinkButton("No!", QColor("orangered"), QColor("red"), QColor("maroon"), 22,
                          MainRect);
  NoBtn->setObjectName("NoBtn");
  NoBtn->setGeometry(QRect(at(12, 137), QSize(112, 26)));
  GoEULABtn = new TLinkButton("Reed EULA", QColor("skyblue"), QColor("aqua"),
                              QColor("steelblue"), 13, MainRect);
  GoEULABtn->setObjectName("GoEULABtn");
  GoEULABtn->setGeometry(QRect(at(156, 225), QSize(112, 22)));

  connect(YesBtn, &QPushButton::clicked, this, [this] { YesBtnClick(); });
  connect(NoBtn, &QPushButton::clicked, this, [this] { NoBtnClick(); });
  connect(GoEULABtn, &QPushButton::clicked, this, [this] { GoEULABtnClick(); });
}

void TAskForm::SetNotes(const QString& notes, const QString& drive) {
  constexpr int kWidth = 393;
  constexpr int kGap = 6;
  const auto at = [this](int x, int y) { return QPoint(x - MainRect->x(), y - MainRect->y()); };
  int extra = 0;
  // The drive first, then the notes, each as high as its wrapped text.
  for (QLabel* label : {DriveStr, NotesStr}) {
    const QString& text = label == DriveStr ? drive : notes;
    label->setText(text);
    label->setVisible(!text.isEmpty());
    if (text.isEmpty()) continue;
    const int height = label->heightForWidth(kWidth);
    label->setGeometry(QRect(at(16, 114 + extra), QSize(kWidth, height)));
    extra += height + kGap;
  }
  if (extra) extra += 12 - kGap;
  ThrdStr->move(at(100, 129 + extra));
  YesBtn->move(at(292, 137 + extra));
  NoBtn->move(at(12, 137 + extra));
  FrthStr->move(at(8, 203 + extra));
  GoEULABtn->move(at(156, 225 + extra));
  MainRect->resize(409, 241 + extra);
  setFixedSize(428, 282 + extra);
}

void TAskForm::YesBtnClick() {
  FResult = true;
  close();
}

void TAskForm::NoBtnClick() { close(); }

void TAskForm::GoEULABtnClick() { OpenUiUrl(kSiteLicenseUrl); }

void TAskForm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  NoBtn->setFocus(Qt::OtherFocusReason);
}

void TAskForm::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    close();
    return;
  }
  QDialog::keyPressEvent(event);
}

TAskForm* ConfirmationForm() { return TheForm().data(); }

bool AskConfirmation(const QString& TypeText, const QString& FirstText,
                     const QString& SecondText, const QString& ThirdText,
                     const QString& FourthText, bool ShowEULA, const QString& Notes,
                     const QString& Drive) {
  if (!TheForm()) {
    TheForm() = new TAskForm();
    qAddPostRoutine(DeleteTheForm);
  }
  TAskForm* form = TheForm();
  form->FResult = false;
  form->TypeStr->setText(TypeText);
  form->FstStr->setText(FirstText);
  form->ScndStr->setText(SecondText);
  form->ThrdStr->setText(ThirdText);
  form->FrthStr->setText(FourthText);
  form->GoEULABtn->setVisible(ShowEULA);
  form->SetNotes(Notes, Drive);
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->availableGeometry();
    form->move(area.center() - QPoint(form->width() / 2, form->height() / 2));
  }
  form->exec();
  return form->FResult;
}

}  // namespace quorvane
