// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The modal yes/no question asked before every burn, with a link to the licence terms.
#pragma once

#include <QDialog>
#include <QString>

class QLabel;

namespace quorvane {

class TDragMover;
class TLinkButton;

class TAskForm : public QDialog {
  Q_OBJECT
 public:
  explicit TAskForm(QWidget* parent = nullptr);

  // Lines shown between the second text and the question: the drive the burn writes to
  // (device, vendor and model, size, label), then the notes (the drive's mounts,
  // remarks); the form grows to hold them. Empty: none.
  void SetNotes(const QString& notes, const QString& drive = QString());

  void YesBtnClick();
  void NoBtnClick();
  void GoEULABtnClick();

  QWidget* MainRect;
  QLabel* TypeStr;
  QLabel* FstStr;
  QLabel* ScndStr;
  QLabel* ThrdStr;
  QLabel* FrthStr;
  QLabel* DriveStr;
  QLabel* NotesStr;
  TLinkButton* YesBtn;
  TLinkButton* NoBtn;
  TLinkButton* GoEULABtn;
  TDragMover* FMover;
  bool FResult = false;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  // The keyboard starts on "No!": Enter must not erase a drive.
  void showEvent(QShowEvent* event) override;
};

// Shows the question with its five texts (and the drive and notes, when given) and waits
// for the answer: true only for "Yes". The form is made on first use and kept for later
// calls.
bool AskConfirmation(const QString& TypeText, const QString& FirstText,
                     const QString& SecondText, const QString& ThirdText,
                     const QString& FourthText, bool ShowEULA, const QString& Notes = QString(),
                     const QString& Drive = QString());

// The form AskConfirmation uses; nullptr before its first use.
TAskForm* ConfirmationForm();

}  // namespace quorvane
