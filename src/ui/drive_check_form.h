// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The window's check of a drive against its manifest: a dialog that runs the check on a
// worker thread with a progress bar, then lists every entry with its state.
#pragma once

#include <QDialog>
#include <memory>

class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;
class QTreeWidget;

namespace quorvane {

class TDriveCheckRun;

class TDriveCheckForm : public QDialog {
  Q_OBJECT
 public:
  // Starts the check of `letter` at once; "Cancel" stops it, "Close" ends the dialog.
  TDriveCheckForm(char letter, QWidget* parent = nullptr);
  ~TDriveCheckForm() override;

  // The check has ended and its result is shown.
  bool ResultShown() const { return FShown; }

  QLabel* StatusLbl;
  QProgressBar* Progress;
  QTreeWidget* EntryList;  // title, state, detail
  QPushButton* CloseBtn;

 protected:
  void reject() override;

 private:
  void Follow();
  void ShowResult();

  std::unique_ptr<TDriveCheckRun> FRun;
  QTimer* FTimer;
  bool FShown = false;
};

}  // namespace quorvane
