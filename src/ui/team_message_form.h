// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The feedback form behind the main window's "Community" button: four kinds of message,
// one text kept per kind, posted to the remote service on a thread of its own.
#pragma once

#include <QWidget>
#include <array>
#include <string>

#include "common/community.h"
#include "ui/ui_services.h"

class QLabel;
class QLineEdit;
class QPlainTextEdit;

namespace quorvane {

class TClickRect;
class TDragMover;
class TLinkButton;

// A panel that unfolds from the top: its height follows its vertical scale (0..1) while
// its children keep their places.
class TFoldPanel : public QWidget {
  Q_OBJECT
  Q_PROPERTY(double foldScale READ FoldScale WRITE SetFoldScale)
 public:
  TFoldPanel(int full_height, QWidget* parent);
  double FoldScale() const { return FScale; }
  void SetFoldScale(double scale);

 private:
  int FFullHeight;
  double FScale = 1;
};

class TTeamMessageForm : public QWidget {
  Q_OBJECT
 public:
  explicit TTeamMessageForm(TFeedbackSender sender, QWidget* parent = nullptr);

  // Choosing a kind (the four tiles), Esc, posting and the forum link.
  void ChooseKind(TCommunity kind);
  void EscRectClick();
  void PostMsgBtnClick();
  void GoForumBtnClick();
  // The message field's text with CR LF line ends, as it is posted.
  std::string MessageText() const;
  // True while a post is on its way.
  bool Posting() const { return FPosting; }

  TCommunity FState = TCommunity::CommNone;
  bool FLocked = false;
  TDragMover* FMover;
  QString FBugMessage, FAdviceMessage, FOtherMessage, FGratMessage;
  QString FPrevInfo;

  QWidget* MainRect;
  QLabel* InfoLbl;
  TClickRect* EscRect;
  TClickRect* BugRect;
  TClickRect* SuggestionRect;
  TClickRect* GratitudeRect;
  TClickRect* OtherRect;
  TFoldPanel* MessageRect;
  QLineEdit* SubjEdit;
  QPlainTextEdit* MessageMemo;
  QLineEdit* EmailEdit;
  QLineEdit* NickNameEdit;
  TClickRect* PostMsgBtn;
  TLinkButton* GoForumBtn;

  TClickRect* Tile(TCommunity kind) const;

 signals:
  void PostFinished();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QString* KeptText(TCommunity kind);
  void StoreKindText();
  void ShowMessagePanel();
  void PlaceTiles();
  void ShowTiles();
  void SetTileLook(TCommunity kind, const char* style, int label_margin);
  void FadeIn(QWidget* widget, double to, const std::function<void()>& finished);
  void SetMemoText(const QString& text);
  bool MemoShowsPlaceholder() const;
  void WireTile(TCommunity kind);
  void WireInput(QLineEdit* edit, const char* placeholder, const char* hint);
  void OnPostFinished();

  TFeedbackSender FSender;
  bool FPosting = false;
  bool FCentred = false;
};

}  // namespace quorvane
