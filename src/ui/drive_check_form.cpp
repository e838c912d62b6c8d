// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "ui/drive_check_form.h"

#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <climits>

#include "common/binary_size.h"
#include "jobs/drive_check_run.h"
#include "ui/widgets.h"

namespace quorvane {

namespace {

// The bar counts in KiB so that drives of any size fit its int range.
int Kib(std::uint64_t bytes) {
  return static_cast<int>(std::min<std::uint64_t>(bytes >> 10, INT_MAX));
}

QString StateColor(TEntryCheckState state) {
  switch (state) {
    case TEntryCheckState::Intact:
      return "#7fd13a";
    case TEntryCheckState::Changed:
    case TEntryCheckState::Missing:
      return "#ff5c5c";
    case TEntryCheckState::NotRecorded:
      return "#9aa5b1";
  }
  return {};
}

}  // namespace

TDriveCheckForm::TDriveCheckForm(char letter, QWidget* parent)
    : QDialog(parent), FRun(std::make_unique<TDriveCheckRun>(letter)) {
  setObjectName("DriveCheckForm");
  setWindowTitle(tr("Check drive %1:").arg(QChar(letter)));
  setModal(true);
  resize(640, 380);
  auto* layout = new QVBoxLayout(this);
  StatusLbl = new QLabel(tr("Reading the drive back..."), this);
  StatusLbl->setObjectName("StatusLbl");
  StatusLbl->setWordWrap(true);
  StatusLbl->setTextFormat(Qt::PlainText);  // the drive's names are no markup
  layout->addWidget(StatusLbl);
  Progress = new QProgressBar(this);
  Progress->setObjectName("Progress");
  Progress->setAccessibleName(tr("Progress of the drive check"));
  Progress->setRange(0, 0);
  layout->addWidget(Progress);
  EntryList = new QTreeWidget(this);
  EntryList->setObjectName("EntryList");
  EntryList->setAccessibleName(tr("Entries of the drive and their states"));
  EntryList->setHeaderLabels({tr("Entry"), tr("State"), tr("Detail")});
  EntryList->setRootIsDecorated(false);
  EntryList->setWordWrap(true);
  EntryList->header()->setStretchLastSection(true);
  EntryList->hide();
  layout->addWidget(EntryList, 1);
  CloseBtn = new QPushButton(tr("Cancel"), this);
  CloseBtn->setObjectName("CloseBtn");
  CloseBtn->setAccessibleName(tr("Cancel the drive check"));
  CloseBtn->setAutoDefault(true);
  layout->addWidget(CloseBtn, 0, Qt::AlignRight);
  connect(CloseBtn, &QPushButton::clicked, this, [this] { reject(); });

  FTimer = new QTimer(this);
  connect(FTimer, &QTimer::timeout, this, [this] { Follow(); });
  FRun->Start();
  FTimer->start(100);
}

TDriveCheckForm::~TDriveCheckForm() = default;  // the run is cancelled and waited for

void TDriveCheckForm::reject() {
  // A check under way stops at its next block; the dialog shows what it had found.
  if (!FShown) {
    FRun->Cancel();
    return;
  }
  QDialog::reject();
}

void TDriveCheckForm::Follow() {
  const TDriveCheckProgress& progress = FRun->Progress();
  const std::uint64_t total = progress.Total.load(), done = progress.Done.load();
  if (total > 0) {
    Progress->setRange(0, std::max(Kib(total), 1));
    Progress->setValue(std::min(Kib(done), Progress->maximum()));
    StatusLbl->setText(
        tr("Reading the drive back: %1 of %2")
            .arg(QString::fromStdString(BinarySizeText(static_cast<std::int64_t>(done))),
                 QString::fromStdString(BinarySizeText(static_cast<std::int64_t>(total)))));
  }
  if (FRun->Finished()) ShowResult();
}

void TDriveCheckForm::ShowResult() {
  FTimer->stop();
  FShown = true;
  Progress->hide();
  CloseBtn->setText(tr("Close"));
  CloseBtn->setAccessibleName(tr("Close"));
  const std::optional<TDriveCheckResult> result = FRun->Result();
  if (!result) {
    StatusLbl->setText(QString::fromStdString(FRun->Failure()));
    return;
  }
  StatusLbl->setText(QString::fromStdString(result->Summary()));
  SetTextColor(StatusLbl, result->AllIntact() ? kGreenYellow : 0xFFFF5C5C);
  for (const TEntryCheck& e : result->Entries) {
    auto* item = new QTreeWidgetItem(EntryList,
                                     {QString::fromStdString(e.Title), EntryCheckStateName(e.State),
                                      QString::fromStdString(e.Detail)});
    item->setForeground(1, QColor(StateColor(e.State)));
    item->setToolTip(2, QString::fromStdString(e.Detail));
  }
  EntryList->resizeColumnToContents(0);
  EntryList->resizeColumnToContents(1);
  EntryList->show();
  CloseBtn->setFocus(Qt::OtherFocusReason);
}

}  // namespace quorvane
