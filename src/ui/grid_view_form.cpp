// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "ui/grid_view_form.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QMessageBox>
#include <QProgressBar>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <QWheelEvent>
#include <algorithm>
#include <chrono>
#include <filesystem>

#include "common/constants.h"
#include "common/main_thread.h"
#include "common/resources.h"
#include "drive/drive_identity.h"
#include "drive/drive_monitor.h"
#include "drive/usb_drives.h"
#include "jobs/job_status.h"
#include "jobs/jobs.h"
#include "ui/ask_form.h"
#include "ui/capacity_rules.h"
#include "ui/confirmation_texts.h"
#include "ui/drive_check_form.h"
#include "ui/drive_item_text.h"
#include "ui/team_message_form.h"
#include "ui/widgets.h"

namespace quorvane {

namespace {

constexpr int kMainPnlHeight = 160;
constexpr int kPanel1Height = 32;
constexpr int kGoPnlHeight = 80;
constexpr int kMaxWindowHeight = 600;
const char* const kContinue = QT_TR_NOOP("Continue");
const char* const kCancel = QT_TR_NOOP("Cancel");

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, int x, int y) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(name);
  label->move(x, y);
  label->adjustSize();
  return label;
}

// Messages keep CR LF in their texts; the toolkit breaks lines on LF alone.
QString ForDisplay(const std::string& text) {
  QString t = QString::fromStdString(text);
  return t.replace("\r\n", "\n");
}

char LocaleDecimalPoint() {
  const QString point = QLocale().decimalPoint();
  return point.size() == 1 && point[0].unicode() < 128 ? static_cast<char>(point[0].unicode())
                                                       : '.';
}

// The number n of a frame named "LdrFrame" + n.
int FrameNumber(const TLdrFrame* frame) {
  return frame->objectName().mid(QString("LdrFrame").size()).toInt();
}

// A job's status as its frame shows it: the status, and ": " and the error when it has one.
QString JobStatusText(const std::string& status, const std::string& error) {
  return QString::fromStdString(error.empty() ? status : status + ": " + error);
}

std::string SiteName() {
  std::string site = kSiteHomeUrl;
  const std::size_t scheme = site.find("://");
  if (scheme != std::string::npos) site.erase(0, scheme + 3);
  while (!site.empty() && site.back() == '/') site.pop_back();
  return site;
}

}  // namespace

template <typename F>
void TGridViewForm::Guarded(F&& body) {
  try {
    body();
  } catch (...) {
    // The window keeps its state when a handler fails.
  }
}

TGridViewForm::TGridViewForm(TPortableWindowServices services, QWidget* parent)
    : QWidget(parent), FServices(WithDefaults(std::move(services))) {
  SetUiUrlOpener(FServices.OpenUrl);
  BuildControls();
  FormCreate();
}

TGridViewForm::~TGridViewForm() {
  // No drive notice may arrive for a window that is going.
  FDriveMonitor.reset();
  // FormDestroy: the frames, then the job list (which waits for a running job).
  FFrames.reset();
  FJobs.reset();
  delete FTeamMessageForm.data();
  SetUiUrlOpener(nullptr);
}

void TGridViewForm::BuildControls() {
  MainPnl = MakeFramelessWindow(this, Qt::Window, "TGridViewForm", QSize(800, 272), "MainPnl",
                                QRect(0, 0, 800, kMainPnlHeight), FMover);

  ProdNameLbl = new QLabel(tr("Welcome to Quorvane"), MainPnl);
  ProdNameLbl->setObjectName("ProdNameLbl");
  ProdNameLbl->setGeometry(245, 9, 273, 41);

  IconImg = new QLabel(MainPnl);
  IconImg->setObjectName("IconImg");
  IconImg->setGeometry(504, 4, 64, 64);
  IconImg->setCursor(Qt::PointingHandCursor);
  IconImg->installEventFilter(this);

  MinimizeBtn = new TStyledButton("removebutton", "", MainPnl);
  MinimizeBtn->setObjectName("MinimizeBtn");
  MinimizeBtn->Place(718, 12, 40, 40);
  MinimizeBtn->setToolTip(tr("Minimize"));
  CloseButton = new TStyledButton("closebutton", tr("Close App"), MainPnl);
  CloseButton->setObjectName("CloseButton");
  CloseButton->Place(763, 12, 40, 40);
  CloseButton->setToolTip(tr("Close App"));

  Label1 = MakeLabel(MainPnl, "Label1", tr("Choose USB drive"), 10, 66);
  DrvSelectBox = new TComboBox(MainPnl);
  DrvSelectBox->setObjectName("DrvSelectBox");
  DrvSelectBox->setGeometry(8, 91, 500, 24);
  DrvSelectBox->addItem(kDriveNotSelected);

  CapacityProgress = new QProgressBar(MainPnl);
  CapacityProgress->setObjectName("CapacityProgress");
  CapacityProgress->setGeometry(7, 115, 502, 22);
  CapacityProgress->setRange(0, kCapacityBarMax);
  CapacityProgress->setValue(0);
  CapacityProgress->setTextVisible(false);
  CapacityLabel = MakeLabel(MainPnl, "CapacityLabel", "", 184, 116);
  CapacityLabel->setMinimumHeight(20);
  SetTextColor(CapacityLabel, kGreenYellow);

  DrvsRefreshBtn = new TStyledButton("refreshbutton", "", MainPnl);
  DrvsRefreshBtn->setObjectName("DrvsRefreshBtn");
  DrvsRefreshBtn->SetScale(0.7);
  DrvsRefreshBtn->Place(516, 89, 40, 40);
  DrvsRefreshBtn->setToolTip(tr("Refresh the drive list"));

  DriveCheckBtn = new QPushButton(tr("Check drive"), MainPnl);
  DriveCheckBtn->setObjectName("DriveCheckBtn");
  DriveCheckBtn->setGeometry(388, 62, 120, 24);
  DriveCheckBtn->setCursor(Qt::PointingHandCursor);
  DriveCheckBtn->setToolTip(
      tr("Read every file written to the drive back and compare it with the drive's manifest"));
  DriveCheckBtn->setEnabled(false);

  InfoLbl = new QLabel(MainPnl);
  InfoLbl->setObjectName("InfoLbl");
  InfoLbl->setGeometry(552, 90, 241, 25);
  SetTextColor(InfoLbl, kGreenYellow);
  SetOpacity(InfoLbl, 0.75);

  CapacityCheckBox = new QCheckBox(tr("Check real capacity first"), MainPnl);
  CapacityCheckBox->setObjectName("CapacityCheckBox");
  CapacityCheckBox->setGeometry(552, 113, 241, 24);
  CapacityCheckBox->setToolTip(tr(
      "Before the drive is formatted, a few hundred blocks are written across it and read "
      "back, to find a stick that claims more than it holds. It takes seconds, and the blocks' "
      "contents are put back; a drive that fails is not formatted."));
  CapacityCheckBox->setAccessibleName(tr("Check the drive's real capacity before formatting it"));
  CapacityCheckBox->hide();

  VerifyCheckBox = new QCheckBox(tr("Verify after writing"), MainPnl);
  VerifyCheckBox->setObjectName("VerifyCheckBox");
  VerifyCheckBox->setGeometry(552, 136, 241, 24);
  VerifyCheckBox->setChecked(true);
  VerifyCheckBox->setToolTip(tr(
      "After each entry is written, its files are read back from the drive and compared with "
      "what was written; an entry that reads back differently fails and is taken off the "
      "drive. Reading back takes about as long as reading the images once more."));
  VerifyCheckBox->setAccessibleName(tr("Read each entry back from the drive after writing it"));

  LdrsScrolBox = new QScrollArea(this);
  LdrsScrolBox->setObjectName("LdrsScrolBox");
  LdrsScrolBox->setFrameShape(QFrame::NoFrame);
  // The entries' own controls take the focus, not the box that holds them.
  LdrsScrolBox->setFocusPolicy(Qt::NoFocus);
  LdrsScrolBox->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  LdrsScrolBox->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  LdrsScrolBox->setWidgetResizable(false);
  LdrsScrolBox->setGeometry(0, kMainPnlHeight, 816, 0);
  FramesLayout = new QWidget;
  FramesLayout->setObjectName("FramesLayout");
  FramesLayout->resize(816, 0);
  LdrsScrolBox->setWidget(FramesLayout);

  Panel1 = new QWidget(this);
  Panel1->setObjectName("Panel1");
  Panel1->setAttribute(Qt::WA_StyledBackground);
  Panel1->setGeometry(0, kMainPnlHeight, 800, kPanel1Height);
  LdrAddBtn = new QPushButton(tr("One more loader?"), Panel1);
  LdrAddBtn->setObjectName("LdrAddBtn");
  LdrAddBtn->setGeometry(100, 1, 600, 30);
  LdrAddBtn->setEnabled(false);
  LdrAddBtn->setCursor(Qt::PointingHandCursor);

  GoPnl = new QWidget(this);
  GoPnl->setObjectName("GoPnl");
  GoPnl->setAttribute(Qt::WA_StyledBackground);
  GoPnl->setGeometry(0, kMainPnlHeight + kPanel1Height, 800, kGoPnlHeight);

  ReportBtn = new TStyledButton("contactsbuttontext", tr("Community"), GoPnl);
  ReportBtn->setObjectName("ReportBtn");
  ReportBtn->Place(11, 8, 142, 68);
  Label2 = MakeLabel(GoPnl, "Label2", tr("Try our online application on"), 250, 24);
  Button1 = new TLinkButton(QString::fromStdString(SiteName()), QColor("skyblue"),
                            QColor("aqua"), QColor("steelblue"), 15, GoPnl);
  Button1->setObjectName("Button1");
  Button1->setGeometry(449, 23, 112, 25);
  // The note is revealed from the left: its holder widens while the text stays put.
  FNoteHolder = new QWidget(GoPnl);
  FNoteHolder->setGeometry(126, 48, 557, 25);
  Label3 = new QLabel(tr("* Online version currently in beta testing and works only in "
                         "Internet Explorer..."),
                      FNoteHolder);
  Label3->setObjectName("Label3");
  Label3->setGeometry(0, 0, 557, 25);
  Label3->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  Label3->hide();
  Label4 = new QLabel(QString::fromUtf8("\u27A4"), GoPnl);
  Label4->setObjectName("Label4");
  Label4->setGeometry(161, 48, 30, 26);
  Label4->hide();

  GoAddBtn = new TStyledButton("addbuttontext", tr("Add loaders to USB"), GoPnl);
  GoAddBtn->setObjectName("GoAddBtn");
  GoAddBtn->Place(672, 8, 132, 68);
  GoAddBtn->setEnabled(false);
  GoNewBtn = new TStyledButton("applybuttontext", tr("Create bootable USB"), GoPnl);
  GoNewBtn->setObjectName("GoNewBtn");
  GoNewBtn->Place(672, 8, 132, 68);
  GoNewBtn->setEnabled(false);
  GoNewBtn->hide();
  CancelBtn = new QPushButton(tr(kCancel), GoPnl);
  CancelBtn->setObjectName("CancelBtn");
  CancelBtn->setGeometry(690, 20, 90, 40);
  CancelBtn->setCursor(Qt::PointingHandCursor);
  CancelBtn->hide();

  VmTestBtn = new QPushButton(tr("Test in a virtual machine"), MainPnl);
  VmTestBtn->setObjectName("VmTestBtn");
  VmTestBtn->setGeometry(576, 60, 217, 26);
  VmTestBtn->setCursor(Qt::PointingHandCursor);
  VmTestBtn->setEnabled(false);
  VmTestMenu = new QMenu(VmTestBtn);
  VmTestMenu->setObjectName("VmTestMenu");
  VmTestMenu->setToolTipsVisible(true);
  VmTestMenu->setMinimumWidth(VmTestBtn->width());
  VmBiosAction = VmTestMenu->addAction(tr("BIOS"));
  VmBiosAction->setObjectName("VmBiosAction");
  VmUefiAction = VmTestMenu->addAction(tr("UEFI (OVMF)"));
  VmUefiAction->setObjectName("VmUefiAction");

  FGlyphAnimation = new QPropertyAnimation(Label4, "pos", this);
  FGlyphAnimation->setDuration(600);
  FGlyphAnimation->setStartValue(QPoint(175, 48));
  FGlyphAnimation->setEndValue(QPoint(655, 48));
  connect(FGlyphAnimation, &QPropertyAnimation::finished, Label4, &QWidget::hide);
  FNoteAnimation = new QPropertyAnimation(FNoteHolder, "geometry", this);
  FNoteAnimation->setDuration(600);
  FNoteAnimation->setStartValue(QRect(126, 48, 0, 25));
  FNoteAnimation->setEndValue(QRect(126, 48, 557, 25));

  FFollowTimer = new QTimer(this);
  FFollowTimer->setInterval(500);
  connect(FFollowTimer, &QTimer::timeout, this, [this] { FollowRunningJob(); });

  // Names for screen readers where a control shows no text of its own.
  MinimizeBtn->setAccessibleName(tr("Minimize"));
  CloseButton->setAccessibleName(tr("Close App"));
  DrvSelectBox->setAccessibleName(tr("USB drive"));
  DrvsRefreshBtn->setAccessibleName(tr("Refresh the drive list"));
  CapacityProgress->setAccessibleName(tr("Share of the drive in use after the burn"));
  DriveCheckBtn->setAccessibleName(tr("Check the selected drive against its manifest"));
  LdrAddBtn->setAccessibleName(LdrAddBtn->text());
  // Enter presses the plain buttons too, as Space does.
  LdrAddBtn->setAutoDefault(true);
  CancelBtn->setAutoDefault(true);
  CancelBtn->setAccessibleName(CancelBtn->text());
  VmTestBtn->setAutoDefault(true);
  VmTestBtn->setAccessibleName(VmTestBtn->text());
  VmTestMenu->setAccessibleName(tr("Firmware of the virtual machine"));
  Button1->setAccessibleName(tr("Open the web site %1").arg(Button1->text()));
  Button1->setAccessibleDescription(Label2->text());
  IconImg->setAccessibleName(tr("Quorvane's web site"));
  InfoLbl->setAccessibleName(tr("Drive state"));
  UpdateTabOrder();

  connect(CloseButton, &QPushButton::clicked, this, [this] { CloseButtonClick(); });
  connect(MinimizeBtn, &QPushButton::clicked, this, [this] { MinimizeBtnClick(); });
  connect(DrvSelectBox, &QComboBox::currentIndexChanged, this, [this] { UpdateDriveInfo(); });
  connect(DrvsRefreshBtn, &QPushButton::clicked, this, [this] { RefreshDrives(); });
  connect(LdrAddBtn, &QPushButton::clicked, this, [this] { LdrAddBtnClick(); });
  connect(DriveCheckBtn, &QPushButton::clicked, this, [this] { DriveCheckBtnClick(); });
  connect(GoNewBtn, &QPushButton::clicked, this, [this] { GoNewBtnClick(); });
  connect(GoAddBtn, &QPushButton::clicked, this, [this] { GoAddBtnClick(); });
  connect(CancelBtn, &QPushButton::clicked, this, [this] { CancelBtnClick(); });
  connect(ReportBtn, &QPushButton::clicked, this, [this] { ReportBtnClick(); });
  connect(VmTestBtn, &QPushButton::clicked, this, [this] { VmTestBtnClick(); });
  connect(VmBiosAction, &QAction::triggered, this, [this] { StartVmTest(false); });
  connect(VmUefiAction, &QAction::triggered, this, [this] { StartVmTest(true); });
  connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
  connect(Button1, &TLinkButton::Entered, this, [this] { Button1MouseEnter(); });
  connect(Button1, &TLinkButton::Left, this, [this] { Button1MouseLeave(); });
}

void TGridViewForm::FormCreate() {
  if (FServices.PrepareArchiveLibrary) {
    std::string error;
    try {
      error = FServices.PrepareArchiveLibrary();
    } catch (const std::exception& e) {
      error = e.what();
    }
    if (!error.empty()) {
      ShowPlainMessage(this, ForDisplay(error));
      // The rest is still made; the run ends as soon as the event loop takes the request.
      FClosing = true;
      QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    }
  }
  LoadIcon("64w");
  FNeedPreFormat = false;
  FNeedFS = FileSystemFAT32;

  FFrames = std::make_unique<TFrameList>(LdrsScrolBox, &FServices);
  FFrames->FOnFrameISOChanged = [this] { UpdateDriveInfo(); };
  FFrames->FOnFrameCloseClick = [this](TLdrFrame* frame) { return FrameCloseAction(frame); };
  FFrames->FOnBoxResized = [this] { LdrsScrolBoxResize(); };
  LdrsScrolBoxResize();

  FJobs = FServices.CreateJobs();
  FJobs->SetOwner(this);
  FJobs->SetOnFormatStarted(
      [this](void* s, std::uint8_t mode, char drive) { GridFormatStart(s, mode, drive); });
  FJobs->SetOnFormatFinished([this](void* s, const std::string& e) { GridFormatFinished(s, e); });
  FJobs->SetOnMBRReplaceFinishedCB(
      [this](void* s, const std::string& e) { GridMBRReplaceFinished(s, e); });
  FJobs->SetOnWorksStart([this](void* s) { GridWorksStart(s); });
  FJobs->SetOnJobSync([this](void* s, const std::string& n) { GridJobSync(s, n); });
  FJobs->SetOnJobFinish([this](void* s, const std::string& n) { GridJobFinished(s, n); });
  FJobs->SetOnWorksFinish([this](void* s) { GridAllJobsFinished(s); });
  FJobs->SetOnFormatProgress([this](void* s, const std::string& step, std::int32_t percent) {
    GridFormatProgress(s, step, percent);
  });

  RefreshDrives();

  // Drives plugged in or pulled out show up by themselves. The notice comes on the
  // monitor's thread and is handed to the window's.
  if (FServices.CreateDriveMonitor) {
    try {
      FDriveMonitor = FServices.CreateDriveMonitor([this] {
        QMetaObject::invokeMethod(this, [this] { DrivesChanged(); }, Qt::QueuedConnection);
      });
    } catch (...) {
      FDriveMonitor.reset();
    }
  }
}

void TGridViewForm::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (FCentred) return;
  FCentred = true;
  if (QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - QPoint(width() / 2, height() / 2));
}

void TGridViewForm::LoadIcon(const QString& name) {
  QPixmap picture(QString::fromStdString(ResourcePath(name.toStdString() + ".png")));
  IconImg->setPixmap(picture);
  FIconName = name;
}

bool TGridViewForm::eventFilter(QObject* watched, QEvent* event) {
  if (watched == IconImg) {
    switch (event->type()) {
      case QEvent::Enter:
        LoadIcon("64ww");
        break;
      case QEvent::Leave:
        LoadIcon("64w");
        break;
      case QEvent::MouseButtonPress:
        LoadIcon("64c");
        return true;
      case QEvent::MouseButtonRelease: {
        LoadIcon("64ww");
        auto* e = static_cast<QMouseEvent*>(event);
        if (IconImg->rect().contains(e->position().toPoint())) OpenUiUrl(kSiteHomeUrl);
        return true;
      }
      default:
        break;
    }
  }
  return QWidget::eventFilter(watched, event);
}

// ---------------------------------------------------------------------------------------
// Drives, capacity and mode

void TGridViewForm::RefreshDrives() {
  {
    const QSignalBlocker quiet(DrvSelectBox);
    DrvSelectBox->clear();
    try {
      RefreshUSBDrives();
    } catch (...) {
      USBDrives.clear();
    }
    if (USBDrives.empty()) {
      DrvSelectBox->addItem(kDriveNotSelected);
      DrvSelectBox->setCurrentIndex(0);
      CapacityProgress->setValue(0);
      CapacityLabel->clear();
    } else {
      for (const TUSBDriveSet& drive : USBDrives)
        DrvSelectBox->addItem(QString::fromStdString(DriveItemText(drive)));
      DrvSelectBox->setCurrentIndex(0);
    }
  }
  // A selection made here counts as the user's.
  UpdateDriveInfo();
}

void TGridViewForm::DrivesChanged() {
  // Not while a burn runs or is being started: the entries are bound to the drive.
  if (FClosing || FJobs->Starting() || !CancelBtn->isHidden() || !DrvSelectBox->isEnabled() ||
      QApplication::activeModalWidget()) {
    FDrivesChangedLater = true;
    return;
  }
  RefreshDrivesKeepingChoice();
}

void TGridViewForm::RefreshDrivesKeepingChoice() {
  FDrivesChangedLater = false;
  const int before = SelectedDrive();
  const TUSBDriveSet chosen = before >= 0 ? USBDrives[before] : TUSBDriveSet{};
  RefreshDrives();
  if (before < 0) return;
  for (std::size_t i = 0; i < USBDrives.size(); ++i) {
    const TUSBDriveSet& d = USBDrives[i];
    if (d.DiskDevice == chosen.DiskDevice && d.VolumeDevice == chosen.VolumeDevice &&
        d.ImageFile == chosen.ImageFile) {
      if (static_cast<int>(i) != DrvSelectBox->currentIndex())
        DrvSelectBox->setCurrentIndex(static_cast<int>(i));
      return;
    }
  }
}

int TGridViewForm::SelectedDrive() const {
  const int index = DrvSelectBox->currentIndex();
  if (USBDrives.empty() || index < 0 || index >= static_cast<int>(USBDrives.size())) return -1;
  if (DrvSelectBox->itemText(index) == kDriveNotSelected) return -1;
  return index;
}

void TGridViewForm::UpdateDriveInfo() {
  FNeedPreFormat = false;
  FNeedFS = FileSystemFAT32;
  LdrAddBtn->setEnabled(false);
  GoAddBtn->setEnabled(false);
  GoNewBtn->setEnabled(false);
  GoAddBtn->hide();
  GoNewBtn->hide();
  CapacityCheckBox->hide();
  CapacityLabel->clear();
  SetTextColor(CapacityLabel, kGreenYellow);
  InfoLbl->clear();
  UpdateVmTestBtn();

  const int index = SelectedDrive();
  // Never while the drive is being written: the selection is locked then.
  DriveCheckBtn->setEnabled(index >= 0 && DrvSelectBox->isEnabled());
  if (index < 0) {
    CapacityProgress->setValue(0);
    if (USBDrives.empty()) InfoLbl->setText(tr("Plug in a USB drive"));
    return;
  }
  const TUSBDriveSet drive = USBDrives[index];
  std::vector<TCapacityEntry> entries;
  if (FFrames) {
    for (TLdrFrame* frame : FFrames->LiveFrames()) {
      try {
        entries.push_back({frame->LdrFileSize, frame->FNeedNTFS});
      } catch (...) {
      }
    }
  }
  const TCapacityOutcome out = EvaluateCapacity(drive, entries, LocaleDecimalPoint());
  FNeedPreFormat = out.FNeedPreFormat;
  FNeedFS = out.FNeedFS;
  CapacityLabel->setText(QString::fromStdString(out.SizeText));
  CapacityLabel->adjustSize();
  if (out.Fits) {
    if (!FNeedPreFormat) {
      GoAddBtn->setEnabled(true);
      GoAddBtn->show();
    } else {
      GoNewBtn->setEnabled(true);
      GoNewBtn->show();
      CapacityCheckBox->show();
      InfoLbl->setText(tr("Drive format required"));
    }
    LdrAddBtn->setEnabled(true);
    CapacityProgress->setValue(out.Bar);
    SetTextColor(CapacityLabel, kGreenYellow);
  } else {
    CapacityProgress->setValue(kCapacityBarMax);
    GoNewBtn->show();
    SetTextColor(CapacityLabel, kRed);
  }
}

// ---------------------------------------------------------------------------------------
// Frames

void TGridViewForm::LdrAddBtnClick() {
  TLdrFrame* frame = FFrames->Add();
  UpdateTabOrder();
  // The keyboard goes on with the new entry's first choice.
  if (frame) frame->LdrSelectBox->setFocus(Qt::TabFocusReason);
}

void TGridViewForm::DriveCheckBtnClick() {
  const int index = SelectedDrive();
  if (index < 0) return;
  auto* form = new TDriveCheckForm(USBDrives[index].Letter, this);
  form->setAttribute(Qt::WA_DeleteOnClose);
  form->open();
}

void TGridViewForm::UpdateTabOrder() {
  // Top to bottom, left to right, as the window reads: the drive, the entries, the
  // buttons below them, the links and the window's own buttons last.
  std::vector<QWidget*> order{DrvSelectBox, DrvsRefreshBtn, DriveCheckBtn, VmTestBtn,
                              CapacityCheckBox, VerifyCheckBox};
  if (FFrames) {
    for (TLdrFrame* frame : FFrames->Frames())
      for (QWidget* w : std::initializer_list<QWidget*>{frame->LdrSelectBox, frame->ISOSelectBtn,
                                                        frame->GoVendorBtn, frame->MinimizeBtn,
                                                        frame->CloseBtn})
        order.push_back(w);
  }
  for (QWidget* w : std::initializer_list<QWidget*>{LdrAddBtn, GoAddBtn, GoNewBtn, CancelBtn,
                                                    ReportBtn, Button1, MinimizeBtn, CloseButton})
    order.push_back(w);
  for (std::size_t i = 1; i < order.size(); ++i) QWidget::setTabOrder(order[i - 1], order[i]);
}

void TGridViewForm::LdrsScrolBoxResize() {
  const int box = LdrsScrolBox->height();
  Panel1->move(0, kMainPnlHeight + box);
  GoPnl->move(0, kMainPnlHeight + box + kPanel1Height);
  setFixedSize(800, std::min(kMaxWindowHeight, kMainPnlHeight + box + kPanel1Height + kGoPnlHeight));
}

void TGridViewForm::wheelEvent(QWheelEvent* event) {
  QScrollBar* bar = LdrsScrolBox->verticalScrollBar();
  bar->setValue(bar->value() - event->angleDelta().y());
  event->accept();
}

int TGridViewForm::FrameCloseAction(TLdrFrame* frame) {
  if (!frame || frame->parentWidget() != FFrames->FramesLayout()) return 0;
  if (!FJobs->Starting()) return 1;
  TJob* job = FJobs->GetJobByName(frame->objectName().toStdString());
  if (!job) return 5;
  if (job == FJobs->Current()) {
    job->Cancel();
    return 2;
  }
  if (job->Active()) {
    job->Deactivate();
    return 3;
  }
  job->Activate();
  return 4;
}

// ---------------------------------------------------------------------------------------
// A burn

void TGridViewForm::GoNewBtnClick() { StartBurn(true); }
void TGridViewForm::GoAddBtnClick() { StartBurn(false); }

void TGridViewForm::StartBurn(bool new_mode) {
  const int index = SelectedDrive();
  if (index < 0) return;
  std::vector<TLoaderCheckEntry> checks;
  for (TLdrFrame* frame : FFrames->LiveFrames())
    checks.push_back({FrameNumber(frame), frame->LdrSelectBox->currentIndex(),
                      frame->LdrSelectBox->currentText().toStdString(), frame->LdrFilePath});
  const std::string refusal = CheckLoaders(checks);
  if (!refusal.empty()) {
    ShowPlainMessage(this, QString::fromStdString(refusal));
    return;
  }
  const TUSBDriveSet drive = USBDrives[index];
  const std::uint8_t mode = new_mode ? FormatModeNew : FormatModeAdd;
  // Everything that can fail without touching the drive, before the question.
  TPreflightRequest request;
  request.Drive = drive.Letter;
  request.Mode = mode;
  request.FileSystem = new_mode ? FNeedFS : FileSystemFAT32;
  for (TLdrFrame* frame : FFrames->LiveFrames())
    request.Entries.push_back({frame->LdrSelectBox->currentIndex() - 1, frame->LdrFilePath,
                               frame->objectName().toStdString(), frame->LdrFileSize,
                               frame->FNeedNTFS});
  TPreflightReport report;
  try {
    report = FServices.Preflight(request);
  } catch (const std::exception& e) {
    report.Refuse(e.what());
  }
  if (!report.Passed()) {
    ShowPlainMessage(this, ForDisplay(report.RefusalText()));
    return;
  }
  std::string notes = report.MountsText(mode);
  if (!report.Remarks.empty()) notes += (notes.empty() ? "" : "\n") + report.RemarkText();
  const TConfirmationTexts texts = ConfirmationTexts(mode);
  if (!AskConfirmation(QString::fromStdString(texts.Title), QString::fromStdString(texts.First),
                       QString::fromStdString(texts.Second),
                       QString::fromStdString(texts.Question),
                       QString::fromStdString(texts.Footer), texts.ShowEULA,
                       QString::fromStdString(notes),
                       tr("Drive: %1").arg(QString::fromStdString(DriveIdentityText(drive)))))
    return;
  LockInterface();
  const char letter = DrvSelectBox->currentText().toStdString().front();
  for (TLdrFrame* frame : FFrames->LiveFrames())
    FJobs->Add(frame->LdrSelectBox->currentIndex() - 1, frame->LdrFilePath, letter,
               frame->objectName().toStdString());
  Guarded([this] { FFrames->MinimizeAll(); });
  if (new_mode) {
    FJobs->Start(drive.Letter, FormatModeNew, FNeedFS,
                 {.CheckCapacity = CapacityCheckBox->isChecked(),
                  .Verify = VerifyCheckBox->isChecked()});
  } else {
    FJobs->Start(drive.Letter, FormatModeAdd, FileSystemNTFS,
                 {.Verify = VerifyCheckBox->isChecked()});
  }
}

void TGridViewForm::LockInterface() {
  Guarded([this] {
    DrvSelectBox->setEnabled(false);
    DrvsRefreshBtn->setEnabled(false);
    DriveCheckBtn->setEnabled(false);
    LdrAddBtn->setEnabled(false);
    GoAddBtn->hide();
    GoNewBtn->hide();
    CapacityCheckBox->setEnabled(false);
    VerifyCheckBox->setEnabled(false);
    if (CancelBtn->isHidden()) {
      // A new run: a button left disabled by an earlier stop must work again.
      CancelBtn->setText(tr(kCancel));
      CancelBtn->setEnabled(true);
    }
    CancelBtn->show();
    UpdateVmTestBtn();
  });
}

void TGridViewForm::UnlockInterface() {
  DrvSelectBox->setEnabled(true);
  DrvsRefreshBtn->setEnabled(true);
  DriveCheckBtn->setEnabled(SelectedDrive() >= 0);
  CapacityCheckBox->setEnabled(true);
  VerifyCheckBox->setEnabled(true);
  CancelBtn->hide();
  FFollowTimer->stop();
  UpdateTitleProgress();
  UpdateVmTestBtn();
  // What was plugged in or pulled out meanwhile.
  if (FDrivesChangedLater)
    QTimer::singleShot(0, this, [this] {
      if (FDrivesChangedLater) DrivesChanged();
    });
}

void TGridViewForm::CancelBtnClick() {
  if (CancelBtn->text() == tr(kContinue)) {
    CancelBtn->setText(tr(kCancel));
    InfoLbl->clear();
    FFrames->Clear();
    RefreshDrives();
    UnlockInterface();
    return;
  }
  FFrames->LockFrames();
  CancelBtn->setEnabled(false);
  FJobs->Stop();
}

bool TGridViewForm::BurnUnderWay() const {
  return !CancelBtn->isHidden() && CancelBtn->text() != tr(kContinue);
}

void TGridViewForm::ShowErrorBox(const QString& text) {
  if (FClosing) return;
  QMessageBox box(QMessageBox::Critical, "Quorvane", text, QMessageBox::Abort, this);
  box.setObjectName("ErrorMessage");
  box.exec();
}

void TGridViewForm::GridFormatStart(void*, std::uint8_t Mode, char) {
  Guarded([&] {
    LockInterface();
    FMeters.clear();
    FFollowTimer->start();
    UpdateTitleProgress();
    InfoLbl->setText(Mode == FormatModeNew ? tr("Formatting...") : tr("Replacing MBR..."));
    FFrames->LockSelection();
  });
}

void TGridViewForm::DriveStepFinished(const char* failure, const std::string& Error,
                                      bool recompute) {
  Guarded([&] {
    InfoLbl->clear();
    if (Error.empty()) return;
    FFollowTimer->stop();
    FServices.Notify(tr("Quorvane: the drive could not be prepared").toStdString(), Error);
    // The failed run ends here: its entries are dropped and the window is Idle again.
    ShowErrorBox(ForDisplay(failure + ("\r\n" + Error)));
    FFrames->Clear();
    FJobs->DeactAll();
    FJobs->Stop();
    UnlockInterface();
    if (recompute) UpdateDriveInfo();
  });
}

void TGridViewForm::GridFormatFinished(void*, const std::string& Error) {
  DriveStepFinished("Drive format error:", Error, true);
}

// After a failed boot-code step the start buttons stay hidden until the drive selection
// changes or the list is read again.
void TGridViewForm::GridMBRReplaceFinished(void*, const std::string& Error) {
  DriveStepFinished("MBR replacing error:", Error, false);
}

// A longer part of the drive step, such as the capacity check, with its share done.
void TGridViewForm::GridFormatProgress(void*, const std::string& Step, std::int32_t Percent) {
  Guarded([&] {
    QString text = QString::fromStdString(Step);
    if (Percent >= 0) text += " " + QString::number(Percent) + "%";
    InfoLbl->setText(text);
  });
}

void TGridViewForm::GridWorksStart(void*) { LockInterface(); }

void TGridViewForm::GridJobSync(void*, const std::string& JobName) {
  Guarded([&] {
    TLdrFrame* frame = FFrames->FrameByName(QString::fromStdString(JobName));
    TJob* job = FJobs->GetJobByName(JobName);
    if (!frame || !job) return;
    frame->ProgressBar->setValue(job->Progress());
    const std::string status = job->Status();
    const bool moving = status == kStatusRunning || status == kStatusVerifying;
    frame->ChangeStatLblText(moving && job->Error().empty()
                                 ? RunningJobText(*job)
                                 : JobStatusText(status, job->Error()));
    UpdateTitleProgress();
  });
}

QString TGridViewForm::RunningJobText(TJob& job) {
  // The write, or the read-back after it: each measured on its own (the count starts again).
  const QString word = job.Status() == kStatusVerifying ? tr("Verifying") : tr("Running");
  const std::string step = job.Step();
  if (!step.empty()) return tr("%1: %2").arg(word, QString::fromStdString(step));
  const std::int64_t total = job.Vars.BytesTotal.load();
  if (total <= 0) return word;
  TTransferMeter& meter = FMeters[job.Name()];
  meter.Sample(std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
                   .count(),
               job.Vars.BytesDone.load(), total);
  const std::string rate = RateText(meter.BytesPerSecond());
  const std::string left = TimeLeftText(meter.SecondsLeft());
  if (rate.empty()) return word;
  if (left.empty()) return tr("%1, %2").arg(word, QString::fromStdString(rate));
  return tr("%1, %2, %3").arg(word, QString::fromStdString(rate), QString::fromStdString(left));
}

void TGridViewForm::FollowRunningJob() {
  TJob* job = FJobs ? FJobs->Current() : nullptr;
  if (job && job->Running()) GridJobSync(this, job->Name());
}

void TGridViewForm::UpdateTitleProgress() {
  const bool burning = FJobs && FJobs->Starting() && !CancelBtn->isHidden() &&
                       CancelBtn->text() != tr(kContinue);
  if (!burning || !FFrames) {
    setWindowTitle("Quorvane");
    return;
  }
  int sum = 0, count = 0;
  for (TLdrFrame* frame : FFrames->LiveFrames()) {
    TJob* job = FJobs->GetJobByName(frame->objectName().toStdString());
    if (!job) continue;
    const std::string status = job->Status();
    const bool ended = status == kStatusFinished || status == kStatusFailed ||
                       status == kStatusCancelled;
    if (!job->Active() && !ended && !job->Running()) continue;
    sum += ended ? 100 : std::clamp(job->Progress(), 0, 100);
    ++count;
  }
  const int percent = count ? sum / count : 0;
  setWindowTitle(tr("%1% \u00b7 Quorvane").arg(percent));
}

void TGridViewForm::GridJobFinished(void*, const std::string& JobName) {
  Guarded([&] {
    TLdrFrame* frame = FFrames->FrameByName(QString::fromStdString(JobName));
    TJob* job = FJobs->GetJobByName(JobName);
    if (!frame || !job) return;
    const std::string status = job->Status();
    frame->ChangeStatLblText(JobStatusText(status, job->Error()));
    frame->ChangeStatLblColor(status == kStatusFinished ? kGreenYellow : kRed);
    frame->SetProgress(job->Progress());
    frame->CloseBtn->setEnabled(false);
  });
}

void TGridViewForm::GridAllJobsFinished(void*) {
  Guarded([this] {
    FJobs->DeactAll();
    FFrames->LockFrames();
  });
  FFollowTimer->stop();
  Guarded([this] {
    int finished = 0, entries = 0;
    for (TLdrFrame* frame : FFrames->LiveFrames()) {
      TJob* job = FJobs->GetJobByName(frame->objectName().toStdString());
      if (!job || job->Status() == kStatusReady) continue;
      ++entries;
      if (job->Status() == kStatusFinished) ++finished;
    }
    const int index = SelectedDrive();
    const QString drive =
        index >= 0 ? QString::fromStdString(DriveDeviceText(USBDrives[index])) : QString();
    const QString title = finished == entries && entries > 0
                              ? tr("Quorvane: the USB drive is ready")
                              : tr("Quorvane: the burn has ended");
    FServices.Notify(title.toStdString(),
                     tr("%1 of %2 entries written to %3").arg(finished).arg(entries).arg(drive)
                         .toStdString());
  });
  CancelBtn->show();
  CancelBtn->setEnabled(true);
  CancelBtn->setText(tr(kContinue));
  FNeedPreFormat = false;
  FNeedFS = FileSystemFAT32;
  UpdateTitleProgress();
  UpdateVmTestBtn();
}

// ---------------------------------------------------------------------------------------
// The rest of the window

void TGridViewForm::CloseButtonClick() {
  if (FClosing && !isVisible()) return;
  FClosing = true;
  FJobs->Stop();
  hide();
  if (FTeamMessageForm) FTeamMessageForm->hide();
  // The drive is left neither half-written by a job nor with half a boot code: the run
  // ends once the job or drive step under way has ended and its end has been handled (a
  // cancelled job's roll-back runs in that handler, which its thread queues as it ends).
  if (HasMainThreadDispatcher())
    MainThread().ServeUntil([this] { return !FJobs->Busy(); });
  emit Closed();
  QCoreApplication::quit();
}

void TGridViewForm::closeEvent(QCloseEvent* event) {
  event->accept();
  if (!FClosing || isVisible()) CloseButtonClick();
}

TTeamMessageForm* TGridViewForm::TeamMessageForm() const { return FTeamMessageForm.data(); }

void TGridViewForm::MinimizeBtnClick() { showMinimized(); }

void TGridViewForm::ReportBtnClick() {
  if (!FTeamMessageForm) FTeamMessageForm = new TTeamMessageForm(FServices.SendFeedback);
  FTeamMessageForm->show();
  FTeamMessageForm->raise();
  FTeamMessageForm->activateWindow();
}

// ---------------------------------------------------------------------------------------
// The drive in a virtual machine

void TGridViewForm::UpdateVmTestBtn() {
  VmTestBtn->setEnabled(SelectedDrive() >= 0 && !BurnUnderWay());
  const std::string qemu_missing = FServices.VmTestBoot.MissingTools(false);
  if (!qemu_missing.empty()) {
    // A click says what to install, as the tooltip does.
    VmTestBtn->setMenu(nullptr);
    VmTestBtn->setToolTip(ForDisplay(qemu_missing));
  } else {
    VmTestBtn->setMenu(VmTestMenu);
    VmTestBtn->setToolTip(tr("Boots the drive in a virtual machine, under BIOS or UEFI, to "
                             "look at its menus; the drive is not written"));
    const std::string ovmf_missing = FServices.VmTestBoot.MissingTools(true);
    VmUefiAction->setToolTip(ovmf_missing.empty() ? tr("Boots through the UEFI firmware OVMF")
                                                  : ForDisplay(ovmf_missing));
    VmBiosAction->setToolTip(tr("Boots through the PC BIOS"));
  }
  VmTestBtn->setAccessibleDescription(VmTestBtn->toolTip());
}

void TGridViewForm::VmTestBtnClick() {
  // QEMU may have been installed since the button was last set.
  UpdateVmTestBtn();
  if (VmTestBtn->menu()) {
    VmTestBtn->showMenu();
    return;
  }
  ShowPlainMessage(this, VmTestBtn->toolTip());
}

void TGridViewForm::StartVmTest(bool uefi) {
  const int index = SelectedDrive();
  if (index < 0 || BurnUnderWay()) return;
  const std::string error = FServices.VmTestBoot.Start(USBDrives[index].Letter, uefi);
  if (!error.empty()) {
    ShowPlainMessage(this, ForDisplay(error));
    return;
  }
  InfoLbl->setText(uefi ? tr("Virtual machine started (UEFI)")
                        : tr("Virtual machine started (BIOS)"));
}

void TGridViewForm::Button1Click() { OpenUiUrl(kSiteHomeUrl); }

void TGridViewForm::Button1MouseEnter() {
  Label3->show();
  Label4->show();
  FGlyphAnimation->stop();
  FNoteAnimation->stop();
  FGlyphAnimation->start();
  FNoteAnimation->start();
}

void TGridViewForm::Button1MouseLeave() {
  FGlyphAnimation->stop();
  FNoteAnimation->stop();
  Label3->hide();
  Label4->hide();
}

}  // namespace quorvane
