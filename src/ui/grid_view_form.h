// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The single window of portable mode: drive choice, one frame per boot entry, the
// capacity display, the start of a burn and its progress, the end of the run, and the
// drive's test in a virtual machine.
#pragma once

#include <QPointer>
#include <QWidget>
#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "common/transfer_meter.h"

#include "ui/frame_list.h"
#include "ui/ui_services.h"

class QCheckBox;
class QComboBox;
class QAction;
class QLabel;
class QMenu;
class QProgressBar;
class QPropertyAnimation;
class QPushButton;
class QScrollArea;
class QTimer;

namespace quorvane {

class TDragMover;
class TDriveMonitor;
class TJob;
class TJobs;
class TLinkButton;
class TStyledButton;
class TTeamMessageForm;

class TGridViewForm : public QWidget {
  Q_OBJECT
 public:
  explicit TGridViewForm(TPortableWindowServices services, QWidget* parent = nullptr);
  ~TGridViewForm() override;

  void LockInterface();
  void UnlockInterface();

  TJobs* Jobs() const { return FJobs.get(); }
  TFrameList* Frames() const { return FFrames.get(); }
  TTeamMessageForm* TeamMessageForm() const;
  // Name of the picture IconImg shows: "64w", "64ww" or "64c".
  QString IconName() const { return FIconName; }
  // True once the window was closed and the run ends.
  bool CloseRequested() const { return FClosing; }

  // Handlers.
  void RefreshDrives();
  // A drive was plugged in or pulled out: the list is read again, keeping the chosen
  // drive when it is still there; during a burn, once it has ended.
  void DrivesChanged();
  void UpdateDriveInfo();
  int FrameCloseAction(TLdrFrame* frame);
  void CloseButtonClick();
  void MinimizeBtnClick();
  void LdrAddBtnClick();
  void DriveCheckBtnClick();
  void LdrsScrolBoxResize();
  void GoNewBtnClick();
  void GoAddBtnClick();
  void CancelBtnClick();
  void ReportBtnClick();
  void Button1Click();
  void Button1MouseEnter();
  void Button1MouseLeave();
  // "Test in a virtual machine": without QEMU it says what to install, else its menu
  // offers BIOS and UEFI.
  void VmTestBtnClick();
  void StartVmTest(bool uefi);
  // Enables the button for a selected drive outside a burn and sets what it offers
  // from what is installed now.
  void UpdateVmTestBtn();
  void LoadIcon(const QString& name);

  // The job list's callbacks.
  void GridFormatStart(void* Sender, std::uint8_t Mode, char Drive);
  void GridFormatFinished(void* Sender, const std::string& Error);
  void GridMBRReplaceFinished(void* Sender, const std::string& Error);
  void GridWorksStart(void* Sender);
  void GridJobSync(void* Sender, const std::string& JobName);
  void GridJobFinished(void* Sender, const std::string& JobName);
  void GridAllJobsFinished(void* Sender);
  void GridFormatProgress(void* Sender, const std::string& Step, std::int32_t Percent);

  // The text a running job's frame shows: status, speed and time left, or what the step
  // at 100 % still does.
  QString RunningJobText(TJob& job);
  // The window's title: "Quorvane" idle, "42% · Quorvane" while a burn runs.
  void UpdateTitleProgress();

  bool FNeedPreFormat = false;
  std::uint8_t FNeedFS = 0;

  QWidget* MainPnl;
  QLabel* ProdNameLbl;
  QLabel* IconImg;
  TStyledButton* MinimizeBtn;
  TStyledButton* CloseButton;
  QLabel* Label1;
  QComboBox* DrvSelectBox;
  QProgressBar* CapacityProgress;
  QLabel* CapacityLabel;
  TStyledButton* DrvsRefreshBtn;
  QPushButton* DriveCheckBtn;  // the selected drive checked against its manifest
  QLabel* InfoLbl;
  QCheckBox* CapacityCheckBox;  // mode new: check the drive's real capacity first
  QCheckBox* VerifyCheckBox;    // read each entry back after writing it (on by default)
  QScrollArea* LdrsScrolBox;
  QWidget* FramesLayout;
  QWidget* Panel1;
  QPushButton* LdrAddBtn;
  QWidget* GoPnl;
  TStyledButton* ReportBtn;
  QLabel* Label2;
  TLinkButton* Button1;
  QLabel* Label3;
  QLabel* Label4;
  TStyledButton* GoAddBtn;
  TStyledButton* GoNewBtn;
  QPushButton* CancelBtn;
  QPushButton* VmTestBtn;
  QMenu* VmTestMenu;  // the button's choices while QEMU is there
  QAction* VmBiosAction;
  QAction* VmUefiAction;
  TDragMover* FMover;

 signals:
  void Closed();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void FormCreate();
  void BuildControls();
  void StartBurn(bool new_mode);
  // The selected drive entry's index in USBDrives; -1 when no usable drive is selected.
  int SelectedDrive() const;
  void ShowErrorBox(const QString& text);
  // From the start of a burn to its end (its "Continue").
  bool BurnUnderWay() const;
  void RefreshDrivesKeepingChoice();
  void UpdateTabOrder();
  void FollowRunningJob();
  void DriveStepFinished(const char* failure, const std::string& Error, bool recompute);
  // Runs a callback body; whatever it throws is swallowed.
  template <typename F>
  void Guarded(F&& body);

  TPortableWindowServices FServices;
  std::unique_ptr<TFrameList> FFrames;
  std::unique_ptr<TJobs> FJobs;
  QPointer<TTeamMessageForm> FTeamMessageForm;
  QPropertyAnimation* FGlyphAnimation = nullptr;
  QPropertyAnimation* FNoteAnimation = nullptr;
  QWidget* FNoteHolder = nullptr;
  QString FIconName;
  std::map<std::string, TTransferMeter> FMeters;  // per job name, during a burn
  QTimer* FFollowTimer = nullptr;  // looks at the running job twice a second
  std::unique_ptr<TDriveMonitor> FDriveMonitor;
  bool FDrivesChangedLater = false;  // a drive came or went during a burn
  bool FClosing = false;
  bool FCentred = false;
};

// The window's item when no drive is found.
inline constexpr const char* kDriveNotSelected = "Drive not selected";

}  // namespace quorvane
